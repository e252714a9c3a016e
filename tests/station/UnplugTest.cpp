// qx25-host on the built-in simulator reached through a by-id style link, the
// line's adapter (its terminal shown in the device tree as a USB adapter with
// a serial number) pulled and put back ten times while the console runs: the
// line shows "нет устройства" while it is gone, polls again by itself when it
// returns, and the counters it shows are what the controllers hold.
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>

#include "ConsoleRig.h"
#include "HostTests.h"
#include "LineListModel.h"
#include "testsupport/FakeDeviceTree.h"

using namespace qx25::station;
using consoletest::PanelWidgets;
using consoletest::Parse;
namespace fs = std::filesystem;

namespace {

constexpr int kPort = kSimulatedPort;
constexpr int kCycles = 10;
constexpr int kWaitMs = 10000;  // only a broken console waits this long
constexpr double kPresetLitres = 3;
constexpr double kPrice = 2.5;
constexpr char kAdapter[] = "FT4Q25A";

QString LineState(Station& S) {
  LineListModel& lines = S.Window().LineModel();
  for (int row = 0; row < lines.rowCount(); ++row)
    if (lines.data(lines.index(row, LineListModel::PortColumn)) == PortName(kPort))
      return lines.data(lines.index(row, LineListModel::StateColumn)).toString();
  return {};
}

}  // namespace

void UnplugTest::survivesTenUnplugCycles() {
  QTemporaryDir dir;
  QVERIFY(dir.isValid());
  const std::string link = dir.filePath(QStringLiteral("usb-qx25-if00-port0")).toStdString();
  Station station(Parse({"--simulate"}));
  qx25::sim::BuiltInSimulator& sim = *station.Simulator();
  FakeDeviceTree tree(fs::path(dir.path().toStdString()) / "sys");
  station.Dispatcher().SetDeviceTree(tree.Root());
  tree.Adapter(sim.DevicePath(), kAdapter);
  fs::create_symlink(sim.DevicePath(), link);
  station.Dispatcher().SetDevicePath(kPort, link);
  station.Start();
  HostWindow& window = station.Window();
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  PanelWidgets w(*window.Panel(kPort, 1));
  double total = static_cast<double>(qx25::sim::kSimTotaliser);
  QTRY_COMPARE_WITH_TIMEOUT(w.Text("TotalLabel1"), LitresText(total), kWaitMs);

  for (int cycle = 1; cycle <= kCycles; ++cycle) {
    // The adapter goes: its terminal hangs up, udev removes its link.
    sim.Endpoint().Stop();
    fs::remove(link);
    const std::string next = sim.Endpoint().OpenPseudoTerminal();
    QTRY_COMPARE_WITH_TIMEOUT(LineState(station), QStringLiteral("нет устройства"), kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(w.Text("PollStatusLabel").contains(QStringLiteral("нет устройства")),
                             kWaitMs);
    // Meanwhile the totalizer moves (a delivery by hand at the dispenser).
    total += 1;
    sim.Simulator().SetTotaliser(1, static_cast<int64_t>(total));
    // It comes back under the same link, its controllers as they were.
    tree.Adapter(next, kAdapter);
    fs::create_symlink(next, link);
    sim.Endpoint().Start();
    QTRY_COMPARE_WITH_TIMEOUT(LineState(station), QStringLiteral("готова"), kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(w.Text("TotalLabel1"), LitresText(total), kWaitMs);
  }

  // A delivery that ends while the line is gone is reported once it is back.
  w.Child<QDoubleSpinBox>("PriceEdit1")->setValue(kPrice);
  w.Click("PriceBtn1");
  QTRY_COMPARE_WITH_TIMEOUT(w.Text("CommandStatusLabel"), QStringLiteral("Команда: цена — задана"),
                            kWaitMs);
  w.Child<QDoubleSpinBox>("PresetEdit")->setValue(kPresetLitres);
  w.Child<QComboBox>("PresetKindBox")->setCurrentIndex(kPresetByVolume);
  w.Click("PresetBtn");
  QTRY_VERIFY_WITH_TIMEOUT(w.Text("StateLabel") == QStringLiteral("налив разрешён"), kWaitMs);
  w.Click("StartBtn");
  QTRY_COMPARE_WITH_TIMEOUT(w.Text("CommandStatusLabel"), QStringLiteral("Команда: пуск — принято"),
                            kWaitMs);
  sim.Endpoint().Stop();
  fs::remove(link);
  const std::string next = sim.Endpoint().OpenPseudoTerminal();
  QTRY_COMPARE_WITH_TIMEOUT(LineState(station), QStringLiteral("нет устройства"), kWaitMs);
  // The delivery ends meanwhile.
  QTRY_VERIFY_WITH_TIMEOUT(sim.Simulator().State(1).State == qx25::sim::DeliveryState::Finished,
                           kWaitMs);
  tree.Adapter(next, kAdapter);
  fs::create_symlink(next, link);
  sim.Endpoint().Start();
  const QString final =
      LitresText(kPresetLitres) + QStringLiteral(" · ") + MoneyText(kPresetLitres * kPrice);
  QTRY_COMPARE_WITH_TIMEOUT(w.Text("FinalLabel"), final, kWaitMs);
  QTRY_COMPARE_WITH_TIMEOUT(w.Text("TotalLabel1"), LitresText(total + kPresetLitres), kWaitMs);

  // Every loss counted once in the statistics' own column.
  StatisticsModel& figures = station.StatisticsRows();
  figures.Refresh();
  const int row = figures.RowOf(kPort);
  QVERIFY(row >= 0);
  QCOMPARE(figures.data(figures.index(row, StatisticsModel::DeviceLossesColumn)).toInt(),
           kCycles + 1);
  fs::remove(link);
}
