// A line that comes back with something else on it: another adapter behind
// its by-id link, or controllers whose totalizers went backwards. The line
// says "другое устройство" in red, nothing is sent to what is there, and the
// operator accepts it or waits for the line's own.
#include <QAction>
#include <QProcess>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "ConsoleRig.h"
#include "HostTests.h"
#include "LineListModel.h"
#include "driver/protocol/Protocol.h"
#include "record/RecordingFormat.h"
#include "testsupport/FakeDeviceTree.h"

using namespace qx25::station;
using consoletest::PanelWidgets;
using consoletest::Parse;
namespace fs = std::filesystem;

namespace {

constexpr int kPort = kSimulatedPort;
constexpr int kWaitMs = 10000;  // only a broken console waits this long
constexpr int kReplayWaitMs = 300000;  // a bound on waiting only, never a measure
constexpr char kOwnAdapter[] = "FT4Q25A";
constexpr char kOtherAdapter[] = "FT9Z99B";
constexpr int64_t kOtherTotal = 40;

QMessageBox* OtherDeviceBox(Station& S) {
  return consoletest::OpenQuestion(S.Window(), "OtherDeviceBox");
}

QString LineState(Station& S) {
  LineListModel& lines = S.Window().LineModel();
  for (int row = 0; row < lines.rowCount(); ++row)
    if (lines.data(lines.index(row, LineListModel::PortColumn)) == PortName(kPort))
      return lines.data(lines.index(row, LineListModel::StateColumn)).toString();
  return {};
}

// The console on the built-in simulator behind a by-id style link, its
// terminal shown as a USB adapter; the link's device can be swapped.
struct LinkedConsole {
  explicit LinkedConsole(std::vector<std::string> Args = {"--simulate"})
      : S(Parse(std::move(Args))), Tree(fs::path(Dir.path().toStdString()) / "sys") {
    Link = Dir.filePath(QStringLiteral("usb-FTDI-if00-port0")).toStdString();
    S.Dispatcher().SetDeviceTree(Tree.Root());
    Tree.Adapter(S.Simulator()->DevicePath(), kOwnAdapter);
    fs::create_symlink(S.Simulator()->DevicePath(), Link);
    S.Dispatcher().SetDevicePath(kPort, Link);
    S.Start();
    S.Window().show();
  }
  // The adapter goes, and Path comes back behind the link as Serial.
  void Unplug() {
    S.Simulator()->Endpoint().Stop();
    fs::remove(Link);
    Pending = S.Simulator()->Endpoint().OpenPseudoTerminal();
  }
  void PlugIn(const std::string& Path, const std::string& Serial) {
    Tree.Adapter(Path, Serial);
    fs::remove(Link);
    fs::create_symlink(Path, Link);
  }
  void PlugOwnBack() {
    PlugIn(Pending, kOwnAdapter);
    S.Simulator()->Endpoint().Start();
  }

  QTemporaryDir Dir;
  Station S;
  FakeDeviceTree Tree;
  std::string Link;
  std::string Pending;
};

}  // namespace

void UnplugTest::anotherDeviceBehindTheLinkIsHeld() {
  LinkedConsole console;
  Station& station = console.S;
  HostWindow& window = station.Window();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  PanelWidgets w(*window.Panel(kPort, 1));
  const QString ownTotal = LitresText(static_cast<double>(qx25::sim::kSimTotaliser));
  QTRY_COMPARE_WITH_TIMEOUT(w.Text("TotalLabel1"), ownTotal, kWaitMs);

  // Another station's adapter, its controllers at other counts, behind the link.
  qx25::sim::BuiltInSimulator other;
  other.Simulator().SetTotaliser(1, kOtherTotal);
  console.Unplug();
  QTRY_COMPARE_WITH_TIMEOUT(LineState(station), QStringLiteral("нет устройства"), kWaitMs);
  console.PlugIn(other.DevicePath(), kOtherAdapter);
  QTRY_COMPARE_WITH_TIMEOUT(LineState(station), QStringLiteral("другое устройство"), kWaitMs);
  LineListModel& lines = window.LineModel();
  const QModelIndex state = lines.index(0, LineListModel::StateColumn);
  QCOMPARE(lines.data(state, Qt::ForegroundRole).value<QBrush>().color(), QColor(0xB0, 0x00, 0x00));
  QVERIFY(lines.data(state, Qt::ToolTipRole).toString().contains(QString::fromUtf8(kOtherAdapter)));
  QTRY_VERIFY_WITH_TIMEOUT(w.Text("PollStatusLabel").contains(QStringLiteral("другое устройство")),
                           kWaitMs);
  QCOMPARE(w.Text("TotalLabel1"), ownTotal);  // never the other's counts
  QTRY_VERIFY_WITH_TIMEOUT(OtherDeviceBox(station) != nullptr, kWaitMs);
  QVERIFY(OtherDeviceBox(station)->text().contains(QString::fromUtf8(kOtherAdapter)));
  QVERIFY(window.findChild<QAction*>(QStringLiteral("AcceptDeviceAction"))->isEnabled());
  // A stop is not sent to the other station's dispensers either.
  w.Click("StopBtn");
  QTRY_COMPARE_WITH_TIMEOUT(w.Text("CommandStatusLabel"),
                            QStringLiteral("Команда: стоп — не отправлена: другое устройство"),
                            kWaitMs);
  consoletest::WriteScreenshot(window, QStringLiteral("qx25-host-other-device"));
  QCOMPARE(other.Simulator().ExchangeCount(), uint64_t{0});

  // Waiting: the line's own adapter comes back and is polled as ever.
  consoletest::Answer(OtherDeviceBox(station), QStringLiteral("Ждать прежнее"))->click();
  console.PlugOwnBack();
  QTRY_COMPARE_WITH_TIMEOUT(LineState(station), QStringLiteral("готова"), kWaitMs);
  QTRY_VERIFY_WITH_TIMEOUT(w.Text("PollStatusLabel") == QStringLiteral("Опрос: принято"), kWaitMs);
  QVERIFY(!window.findChild<QAction*>(QStringLiteral("AcceptDeviceAction"))->isEnabled());
  QCOMPARE(other.Simulator().ExchangeCount(), uint64_t{0});

  // The other one again, and this time the operator takes it.
  console.Unplug();
  QTRY_COMPARE_WITH_TIMEOUT(LineState(station), QStringLiteral("нет устройства"), kWaitMs);
  console.PlugIn(other.DevicePath(), kOtherAdapter);
  QTRY_VERIFY_WITH_TIMEOUT(OtherDeviceBox(station) != nullptr, kWaitMs);
  consoletest::Answer(OtherDeviceBox(station), QStringLiteral("Принять новое устройство"))->click();
  QTRY_COMPARE_WITH_TIMEOUT(w.Text("TotalLabel1"), LitresText(kOtherTotal), kWaitMs);
  QTRY_COMPARE_WITH_TIMEOUT(LineState(station), QStringLiteral("готова"), kWaitMs);
  QVERIFY(other.Simulator().ExchangeCount() > 0);
}

void UnplugTest::totalizerGoingBackwardsHoldsTheLine() {
  LinkedConsole console;
  Station& station = console.S;
  HostWindow& window = station.Window();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  PanelWidgets w(*window.Panel(kPort, 1));
  qx25::sim::Simulator& controllers = station.Simulator()->Simulator();
  const auto own = static_cast<double>(qx25::sim::kSimTotaliser);
  QTRY_COMPARE_WITH_TIMEOUT(w.Text("TotalLabel1"), LitresText(own), kWaitMs);

  // The same adapter comes back, but what answers through it counts less:
  // not the controllers the line had.
  console.Unplug();
  QTRY_COMPARE_WITH_TIMEOUT(LineState(station), QStringLiteral("нет устройства"), kWaitMs);
  controllers.SetTotaliser(1, kOtherTotal);
  controllers.ClearHistory();
  console.PlugOwnBack();
  QTRY_COMPARE_WITH_TIMEOUT(LineState(station), QStringLiteral("другое устройство"), kWaitMs);
  QTRY_VERIFY_WITH_TIMEOUT(OtherDeviceBox(station) != nullptr, kWaitMs);
  QVERIFY(OtherDeviceBox(station)->text().contains(QStringLiteral("счётчик 40 л, был 12345 л")));
  QCOMPARE(w.Text("TotalLabel1"), LitresText(own));
  // Held, the line hears only the counters being read: no poll, no command.
  w.Click("StartBtn");
  QTRY_VERIFY_WITH_TIMEOUT(w.Text("CommandStatusLabel").contains(QStringLiteral("не отправлена")),
                           kWaitMs);
  for (const qx25::sim::Exchange& x : controllers.History())
    QVERIFY(x.Data && x.Data->size() >= 3 && (*x.Data)[2] == qx25::kTotalRequest.Letter);

  // The right controllers back: it polls again by itself.
  controllers.SetTotaliser(1, static_cast<int64_t>(own) + 1);
  QTRY_COMPARE_WITH_TIMEOUT(LineState(station), QStringLiteral("готова"), kWaitMs);
  QTRY_COMPARE_WITH_TIMEOUT(w.Text("TotalLabel1"), LitresText(own + 1), kWaitMs);
  QTRY_VERIFY_WITH_TIMEOUT(OtherDeviceBox(station) == nullptr, kWaitMs);
}

// A console recording with a lost device in it, and a reply whose bytes the
// recording shows arriving 262 ms apart (a loaded machine that read them
// late): every exchange checks as recorded.
void UnplugTest::recordingOfALossAndLateBytesChecksAsRecorded() {
  QTemporaryDir files;
  const std::string path = files.filePath(QStringLiteral("station.rec")).toStdString();
  LinkedConsole console({"--simulate", "--record", path});
  Station& station = console.S;
  PanelWidgets w(*station.Window().Panel(kPort, 1));
  QTRY_COMPARE_WITH_TIMEOUT(w.Text("TotalLabel1"),
                            LitresText(static_cast<double>(qx25::sim::kSimTotaliser)), kWaitMs);
  console.Unplug();
  QTRY_COMPARE_WITH_TIMEOUT(LineState(station), QStringLiteral("нет устройства"), kWaitMs);
  console.PlugOwnBack();
  QTRY_COMPARE_WITH_TIMEOUT(LineState(station), QStringLiteral("готова"), kWaitMs);
  QTRY_VERIFY_WITH_TIMEOUT(w.Text("PollStatusLabel") == QStringLiteral("Опрос: принято"), kWaitMs);
  station.StopRecording();

  qx25::record::Recording r = qx25::record::ReadRecordingFile(path);
  QCOMPARE(r.Header.FirstByteMs, 500);
  QCOMPARE(r.Header.BetweenMs, 50);
  size_t lost = 0;
  bool stretched = false;
  for (qx25::record::RecordedExchange& x : r.Exchanges) {
    lost += x.Verdict == "device-lost" || x.Verdict == "no-such-device";
    if (!stretched && x.Verdict == "ok" && x.Reply.size() >= 2) {
      for (size_t k = 1; k < x.Reply.size(); ++k) x.Reply[k].AtMs += 262;
      stretched = true;
    }
  }
  QVERIFY(lost >= 2);
  QVERIFY(stretched);
  {
    std::ofstream out(path, std::ios::trunc);
    out << qx25::record::FormatHeader(r.Header);
    for (const qx25::record::RecordedExchange& x : r.Exchanges)
      out << qx25::record::FormatExchange(x) << '\n';
  }
  QProcess check;
  check.start(QStringLiteral(QX25CTL_PATH),
              {QStringLiteral("--json"), QStringLiteral("replay-check"), QString::fromStdString(path)});
  QVERIFY(check.waitForFinished(kReplayWaitMs));
  const QByteArray said = check.readAllStandardOutput();
  QVERIFY2(check.exitCode() == 0, said.constData());
  QVERIFY2(said.contains(("\"checked\": " + std::to_string(r.Exchanges.size())).c_str()),
           said.constData());
}
