// qx25-host built as main() builds it, over the built-in simulator: the driver
// comes from libqx25.so through dlopen (this program is not linked to it).
#include <dlfcn.h>
#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include "ConsoleRig.h"
#include "HostMenu.h"
#include "HostTests.h"
#include "RecordMenu.h"
#include "Station.h"
#include "testsupport/FileModesBind.h"

using namespace qx25::station;
using consoletest::Parse;
using consoletest::Started;

namespace {

constexpr int kSimPort = kSimulatedPort;
constexpr int kMissingPort = 3;
const char kMissingDevice[] = "/dev/qx25-no-such-line";

QString Canonical(const std::string& Path) {
  return QFileInfo(QString::fromStdString(Path)).canonicalFilePath();
}

QMenuBar& Bar(Station& S) { return *S.Window().menuBar(); }

}  // namespace

void HostAppTest::loadsDriverThroughDlopen() {
  auto station = Started({"--simulate"});
  const DriverLibrary& library = station->Library();
  QVERIFY(library.Loaded());
  QVERIFY(station->Driver() != nullptr);

  // GetQX25 came from the file the search found, and from nowhere else: this
  // program does not carry the symbol, and the library was opened locally.
  Dl_info info{};
  QVERIFY(dladdr(reinterpret_cast<void*>(library.Factory()), &info) != 0);
  QCOMPARE(Canonical(info.dli_fname), Canonical(library.Path()));
  // The build tree's copy, the first place looked.
  QCOMPARE(library.Path(), DriverSearchList(QX25_HOST_DIR).front());
  QVERIFY(dlsym(RTLD_DEFAULT, kDriverEntry) == nullptr);

  QCOMPARE(static_cast<int>(station->Driver()->GetDriverInfo().Length), 27);
  // The status line names the library and the driver's own description.
  const QString driverText = station->Window().DriverText();
  QVERIFY2(driverText.contains(QStringLiteral("libqx25.so.2")), qPrintable(driverText));
  QVERIFY2(driverText.contains(QStringLiteral("Протокол наливной Ж-4")), qPrintable(driverText));
  QVERIFY_THROWS_EXCEPTION(std::logic_error, station->Start());

  // The first station of the process gets the driver's menu entry, and the
  // entry opens the service window over the host (the window is modal: it
  // is closed from inside its own loop), while the console's pollers run.
  QVERIFY(station->Pollers() != nullptr && station->Pollers()->LineCount() == 1);
  QAction* dispenser = TopLevelEntry(Bar(*station), QString::fromUtf8(kDispenserMenuText));
  QVERIFY(dispenser && dispenser->menu() && !dispenser->menu()->actions().isEmpty());
  QAction* entry = dispenser->menu()->actions().constFirst();
  QCOMPARE(entry->text(), QStringLiteral("Программирование параметров наливной"));
  QString opened;
  QTimer::singleShot(0, [&] {
    QWidget* window = QApplication::activeModalWidget();
    if (!window) return;
    opened = window->objectName() + " " + window->windowTitle();
    QTest::keyClick(window, Qt::Key_Escape);
  });
  entry->trigger();
  QCOMPARE(opened, QStringLiteral("ParamFrm Программирование параметров ТРК"));
}

void HostAppTest::searchListFindsTheBuiltLibrary() {
  const std::vector<std::string> list = DriverSearchList(QX25_HOST_DIR);
  QVERIFY(list.size() >= 2);
  // The build tree's layout is what the first candidate says it is.
  QVERIFY2(QFileInfo::exists(QString::fromStdString(list.front())), list.front().c_str());
  // Last, the bare soname, for the loader's own search.
  QVERIFY(list.back().find('/') == std::string::npos);
  QVERIFY(QString::fromStdString(list.back()).startsWith(QStringLiteral("libqx25.so")));
}

void HostAppTest::menuBarHasFileAndDispenserEntries() {
  auto station = Started({"--simulate"});
  QAction* file = TopLevelEntry(Bar(*station), QString::fromUtf8(kFileMenuText));
  QAction* dispenser = TopLevelEntry(Bar(*station), QStringLiteral("&ТРК"));
  QVERIFY(file != nullptr && file->menu() != nullptr);
  QVERIFY(dispenser != nullptr && dispenser->menu() != nullptr);

  QAction* exit = station->Window().ExitAction();
  QCOMPARE(exit->text(), QStringLiteral("В&ыход"));
  QCOMPARE(exit->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
  QVERIFY(file->menu()->actions().contains(exit));
  station->Window().show();
  QVERIFY(QTest::qWaitForWindowExposed(&station->Window()));
  exit->trigger();
  QVERIFY(!station->Window().isVisible());
}

void HostAppTest::menuFunctionAddsUnderDispenserEntry() {
  auto station = Started({"--simulate"});
  QAction* file = TopLevelEntry(Bar(*station), QString::fromUtf8(kFileMenuText));
  QAction* dispenser = TopLevelEntry(Bar(*station), QString::fromUtf8(kDispenserMenuText));
  // Whatever slot 24 added went under "&ТРК": the file menu holds only the
  // console's own items (recording, Exit) and separators.
  for (QAction* action : file->menu()->actions())
    QVERIFY2(action->isSeparator() || action == station->Window().ExitAction() ||
                 action->text() == QString::fromUtf8(kRecordText),
             qPrintable(action->text()));

  const auto before = dispenser->menu()->actions().size();
  auto* item = static_cast<QAction*>(CreateMenuItem(dispenser, kAppendItem));
  QVERIFY(item != nullptr);
  QCOMPARE(dispenser->menu()->actions().size(), before + 1);
  QCOMPARE(dispenser->menu()->actions().last(), item);
  QVERIFY(!file->menu()->actions().contains(item));
}

void HostAppTest::driverRunsEndToEndOnSimulator() {
  auto station = Started({"--simulate", "--timeout", "1000"});
  TQX25& driver = *station->Driver();
  qx25::sim::Simulator& sim = station->Simulator()->Simulator();
  QCOMPARE(station->Dispatcher().Timeouts().FirstByte, std::chrono::milliseconds(1000));

  // Side 1 of nozzle 1 is address 1; parameter number 15 is its code 5.
  sim.SetParam(1, 5, 250);
  QCOMPARE(driver.GetParam(kSimPort, 1, 15), 250);
  QCOMPARE(static_cast<int>(driver.GetPortStatus(kSimPort)), 1);

  double total = 0;
  uint64_t second = 0;
  driver.GetTotalCounter(kSimPort, 1, 1, total, second, 0, 0);
  QCOMPARE(total, static_cast<double>(qx25::sim::kSimTotaliser));

  driver.PollNozzle(kSimPort, 1, 1);
  QCOMPARE(static_cast<int>(driver.GetPortStatus(kSimPort)), 1);
}

void HostAppTest::listsLinesWithTheirState() {
  auto station =
      Started({"--port", std::to_string(kMissingPort) + "=" + kMissingDevice, "--simulate"});
  const LineListModel& model = station->Window().LineModel();
  QCOMPARE(model.rowCount(), 2);
  const auto cell = [&](int Row, int Column) {
    return model.data(model.index(Row, Column)).toString();
  };
  // Port order, whatever the order of the options.
  QCOMPARE(cell(0, LineListModel::PortColumn), QStringLiteral("COM1"));
  QCOMPARE(cell(0, LineListModel::DeviceColumn),
           QString::fromStdString(station->Simulator()->DevicePath()));
  QCOMPARE(cell(0, LineListModel::KindColumn), QStringLiteral("симулятор"));
  QCOMPARE(cell(0, LineListModel::StateColumn), QStringLiteral("готова"));
  // A line whose device is missing is shown as such; the station still runs.
  QCOMPARE(cell(1, LineListModel::PortColumn), QStringLiteral("COM3"));
  QCOMPARE(cell(1, LineListModel::DeviceColumn), QString::fromUtf8(kMissingDevice));
  QCOMPARE(cell(1, LineListModel::KindColumn), QStringLiteral("последовательный порт"));
  QCOMPARE(cell(1, LineListModel::StateColumn), QStringLiteral("нет устройства"));
  QVERIFY(station->Driver() != nullptr);

  const QString status = station->Window().LinesText();
  QVERIFY2(status.contains(QStringLiteral("COM1 (симулятор)")), qPrintable(status));
  QVERIFY2(status.contains(QStringLiteral("COM3 ") + kMissingDevice), qPrintable(status));
}

void HostAppTest::aLineWithoutAccessSaysWhy() {
  QTemporaryDir dir;
  const std::string device = dir.filePath(QStringLiteral("ttyUSB0")).toStdString();
  QVERIFY(QFile(QString::fromStdString(device)).open(QIODevice::WriteOnly));
  QCOMPARE(chmod(device.c_str(), 0), 0);
  std::unique_ptr<Station> station;
  {
    const FileModesBind bind;
    station = Started({"--port", std::to_string(kMissingPort) + "=" + device});
  }
  LineListModel& model = station->Window().LineModel();
  const QModelIndex state = model.index(0, LineListModel::StateColumn);
  QCOMPARE(model.data(state).toString(), QStringLiteral("нет доступа к устройству"));
  // The system's own words are in the tip; nothing opened the device again for them.
  QCOMPARE(model.data(state, Qt::ToolTipRole).toString(),
           QStringLiteral("нет доступа к устройству: Permission denied"));
  // A poll that reaches the line again (access granted) makes it ready, and the reason goes.
  model.ShowPortStatus(kMissingPort, qx25::serial::kLineAccepted);
  QCOMPARE(model.data(state).toString(), QStringLiteral("готова"));
  QVERIFY(model.data(state, Qt::ToolTipRole).isNull());
  model.ShowPortStatus(kMissingPort, qx25::serial::kLineNoAccess);
  QCOMPARE(model.data(state).toString(), QStringLiteral("нет доступа к устройству"));
}

void HostAppTest::noLineSaysHowToAddOne() {
  auto station = Started({});
  QCOMPARE(station->Window().LineModel().rowCount(), 0);
  QVERIFY(station->Simulator() == nullptr);
  const QString status = station->Window().LinesText();
  QVERIFY2(
      status.contains(QStringLiteral("--port")) && status.contains(QStringLiteral("--simulate")),
      qPrintable(status));
  // The driver is there for the menu even with no line.
  QVERIFY(station->Driver() != nullptr);
}

void HostAppTest::missingLibraryIsAClearError() {
  const std::string missing = "/nonexistent/qx25/libqx25.so.2";
  Station station(Parse({"--simulate", "--driver", missing}));
  try {
    station.Start();
    QFAIL("a missing library was loaded");
  } catch (const DriverLoadError& e) {
    const QString message = QString::fromUtf8(e.what());
    QVERIFY2(message.contains(QString::fromStdString(missing)), e.what());
  }
  QVERIFY(station.Driver() == nullptr);
  QVERIFY(!station.Library().Loaded());
  QVERIFY(station.Window().DriverText().contains(QStringLiteral("не загружен")));

  // Every path tried is named, with why it failed; a library without the
  // entry is passed over, not called.
  DriverLibrary library;
  try {
    library.Load({"/nonexistent/a/libqx25.so.2", "libqx25-not-installed.so.2", "libm.so.6"});
    QFAIL("a library without GetQX25 was taken");
  } catch (const DriverLoadError& e) {
    const QString message = QString::fromUtf8(e.what());
    QVERIFY2(message.contains(QStringLiteral("/nonexistent/a/libqx25.so.2:")), e.what());
    QVERIFY2(message.contains(QStringLiteral("libqx25-not-installed.so.2:")), e.what());
    QVERIFY2(message.contains(QStringLiteral("libm.so.6: no GetQX25")), e.what());
  }
  QVERIFY(!library.Loaded());
  QVERIFY(library.Factory() == nullptr);
}

void HostAppTest::screenshot() {
  auto station =
      Started({"--simulate", "--port", std::to_string(kMissingPort) + "=" + kMissingDevice});
  HostWindow& window = station->Window();
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  const QString dir = QStringLiteral(QX25_SCREENSHOT_DIR);
  QVERIFY(QDir().mkpath(dir));
  QVERIFY(window.grab().save(dir + QStringLiteral("/qx25-host.png")));

  QVERIFY(!window.findChild<QLabel*>(QStringLiteral("NoNozzlesLabel"))->isVisible());
  // With no line, the status line and the empty forecourt say how to add one.
  auto empty = Started({});
  empty->Window().show();
  QVERIFY(QTest::qWaitForWindowExposed(&empty->Window()));
  const auto* hint = empty->Window().findChild<QLabel*>(QStringLiteral("NoNozzlesLabel"));
  QVERIFY(hint && hint->isVisible());
  QCOMPARE(hint->text(), empty->Window().LinesText());
  QVERIFY(empty->Window().grab().save(dir + QStringLiteral("/qx25-host-no-lines.png")));
}
