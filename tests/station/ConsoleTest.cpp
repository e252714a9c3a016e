// The forecourt console over the built-in simulator, driven as a user drives
// it: through the panels' buttons, with the pollers on their own threads.
#include <QCheckBox>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <algorithm>

#include "ConsoleRig.h"
#include "ConsoleWords.h"
#include "HostTests.h"
#include "StatisticsModel.h"
#include "TraceFilter.h"
#include "TraceModel.h"
#include "driver/HostContract.h"

using namespace consoletest;

namespace {

constexpr int kSimPort = kSimulatedPort;
constexpr int kSilentPort = 2;
// A delivery long enough to be seen running between polls.
constexpr double kPresetLitres = 30;
constexpr double kPrice = 2.5;
// Waits that only a broken console reaches.
constexpr int kDeliveryWaitMs = 30000;
constexpr int kAnswerWaitMs = 5000;
// The silent line's reply time-out.
constexpr int kSilentTimeoutMs = 400;
// Readings the live line must deliver while the silent one times out: more
// than one round of its nozzles, so the poller is seen going round again.
constexpr int kLiveReadings = 12;
// A whole station: each line its own pseudo-terminal, simulator and poller.
constexpr int kStationLines = 30;
constexpr int kNozzlesPerLine = 4;

const QString kPresetAccepted = QStringLiteral("Команда: доза в литрах — принято");

QString Total(double Litres) { return LitresText(Litres); }

}  // namespace

void ConsoleTest::deliveryThroughTheButtons() {
  auto station = Started({"--simulate"});
  HostWindow& window = station->Window();
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  NozzlePanel* panel = window.Panel(kSimPort, 1);
  QVERIFY(panel != nullptr);
  PanelWidgets w(*panel);

  // The first poll reads the totalizer; the dispenser's other nozzle too.
  const double before = static_cast<double>(qx25::sim::kSimTotaliser);
  QTRY_COMPARE_WITH_TIMEOUT(w.Text("TotalLabel1"), Total(before), kAnswerWaitMs);
  PanelWidgets neighbour(*window.Panel(kSimPort, 2));
  QTRY_COMPARE_WITH_TIMEOUT(neighbour.Text("TotalLabel1"), Total(before), kAnswerWaitMs);
  QCOMPARE(w.Text("StateLabel"), QStringLiteral("свободна"));

  w.Child<QDoubleSpinBox>("PriceEdit1")->setValue(kPrice);
  w.Click("PriceBtn1");
  QTRY_COMPARE_WITH_TIMEOUT(w.Text("CommandStatusLabel"), QStringLiteral("Команда: цена — задана"),
                            kAnswerWaitMs);
  w.Child<QDoubleSpinBox>("PresetEdit")->setValue(kPresetLitres);
  w.Child<QComboBox>("PresetKindBox")->setCurrentIndex(kPresetByVolume);
  w.Click("PresetBtn");
  QTRY_COMPARE_WITH_TIMEOUT(w.Text("CommandStatusLabel"),
                            QStringLiteral("Команда: доза в литрах — принято"), kAnswerWaitMs);
  QTRY_COMPARE_WITH_TIMEOUT(w.Text("StateLabel"), QStringLiteral("налив разрешён"), kAnswerWaitMs);
  w.Click("StartBtn");
  QTRY_COMPARE_WITH_TIMEOUT(w.Text("CommandStatusLabel"), QStringLiteral("Команда: пуск — принято"),
                            kAnswerWaitMs);

  // Mid-delivery: the state names the side, the volume and money run.
  QTRY_COMPARE_WITH_TIMEOUT(w.Text("StateLabel"), QStringLiteral("идёт налив, сторона 1"),
                            kDeliveryWaitMs);
  QTRY_VERIFY_WITH_TIMEOUT(w.Text("CurrentLabel") != QStringLiteral("—"), kAnswerWaitMs);
  WriteScreenshot(window, QStringLiteral("qx25-host-console-delivering"));

  const QString final =
      LitresText(kPresetLitres) + QStringLiteral(" · ") + MoneyText(kPresetLitres * kPrice);
  QTRY_COMPARE_WITH_TIMEOUT(w.Text("FinalLabel"), final, kDeliveryWaitMs);
  QTRY_COMPARE_WITH_TIMEOUT(w.Text("TotalLabel1"), Total(before + kPresetLitres), kAnswerWaitMs);
  // The other nozzle delivered nothing.
  QCOMPARE(neighbour.Text("TotalLabel1"), Total(before));
  QVERIFY2(w.Text("PollStatusLabel") == QStringLiteral("Опрос: принято"),
           qPrintable(w.Text("PollStatusLabel")));
  WriteScreenshot(window, QStringLiteral("qx25-host-console-finished"));

  // The delivery's commands, without the polls around them.
  window.findChild<QCheckBox*>(QStringLiteral("HidePollsBox"))->setChecked(true);
  window.findChild<QTabWidget*>(QStringLiteral("ConsoleTabs"))->setCurrentIndex(0);
  QVERIFY(window.TraceShown().rowCount() > 0);
  WriteScreenshot(window, QStringLiteral("qx25-host-trace-filtered"));
}

void ConsoleTest::stopAndResetCloseADelivery() {
  auto station = Started({"--simulate"});
  PanelWidgets w(*station->Window().Panel(kSimPort, 2));
  const double before = static_cast<double>(qx25::sim::kSimTotaliser);
  QTRY_COMPARE_WITH_TIMEOUT(w.Text("TotalLabel1"), Total(before), kAnswerWaitMs);
  w.Child<QDoubleSpinBox>("PresetEdit")->setValue(kPresetLitres);
  w.Click("PresetBtn");
  QTRY_COMPARE_WITH_TIMEOUT(w.Text("CommandStatusLabel"), kPresetAccepted, kAnswerWaitMs);
  w.Click("StartResetBtn");
  QTRY_COMPARE_WITH_TIMEOUT(w.Text("CommandStatusLabel"),
                            QStringLiteral("Команда: пуск со сбросом — принято"), kAnswerWaitMs);
  QTRY_COMPARE_WITH_TIMEOUT(w.Text("StateLabel"), QStringLiteral("идёт налив, сторона 1"),
                            kDeliveryWaitMs);

  // A stop holds the delivery; stop and reset closes it where it stands.
  w.Click("StopBtn");
  QTRY_COMPARE_WITH_TIMEOUT(w.Text("StateLabel"), QStringLiteral("налив остановлен, сторона 1"),
                            kAnswerWaitMs);
  w.Click("StopResetBtn");
  QTRY_COMPARE_WITH_TIMEOUT(w.Text("CommandStatusLabel"),
                            QStringLiteral("Команда: стоп и сброс — принято"), kAnswerWaitMs);
  QTRY_VERIFY_WITH_TIMEOUT(w.Text("FinalLabel") != QStringLiteral("—"), kAnswerWaitMs);
  const double delivered = w.Text("FinalLabel").section(QLatin1Char(' '), 0, 0).toDouble();
  QVERIFY2(delivered >= 1 && delivered < kPresetLitres, qPrintable(w.Text("FinalLabel")));
  QTRY_COMPARE_WITH_TIMEOUT(w.Text("TotalLabel1"), Total(before + delivered), kAnswerWaitMs);
  QTRY_COMPARE_WITH_TIMEOUT(w.Text("StateLabel"), QStringLiteral("свободна"), kAnswerWaitMs);
  QCOMPARE(w.Child<QLabel>("StateLabel")->toolTip(), QStringLiteral("Сторона 1: свободна"));
}

void ConsoleTest::refusalShowsCodeAndMeaning() {
  auto station = Started({"--simulate"});
  PanelWidgets w(*station->Window().Panel(kSimPort, 3));
  QTRY_VERIFY_WITH_TIMEOUT(w.Text("StateLabel") == QStringLiteral("свободна"), kAnswerWaitMs);

  // No dose set: the controller refuses the start.
  w.Click("StartBtn");
  QTRY_COMPARE_WITH_TIMEOUT(w.Text("CommandStatusLabel"),
                            QStringLiteral("Команда: пуск — отказ: пуск не принят (код 16)"),
                            kAnswerWaitMs);
  // A dose of nothing is refused too, with the preset's own code.
  w.Child<QDoubleSpinBox>("PresetEdit")->setValue(0);
  w.Click("PresetBtn");
  QTRY_COMPARE_WITH_TIMEOUT(
      w.Text("CommandStatusLabel"),
      QStringLiteral("Команда: доза в литрах — отказ: предустановка не принята (код 18)"),
      kAnswerWaitMs);
  // A price of 0 is given only when the operator agrees; a dose in money
  // cannot be counted at it, and the panel says so.
  w.Child<QDoubleSpinBox>("PriceEdit1")->setValue(0);
  w.Click("PriceBtn1");
  QMessageBox* question = OpenQuestion(w.Panel, "ConfirmBox");
  QVERIFY(question != nullptr);
  Answer(question, QStringLiteral("Задать"))->click();
  QTRY_COMPARE_WITH_TIMEOUT(w.Text("CommandStatusLabel"), QStringLiteral("Команда: цена — задана"),
                            kAnswerWaitMs);
  w.Child<QComboBox>("PresetKindBox")->setCurrentIndex(kPresetByMoney);
  w.Child<QDoubleSpinBox>("PresetEdit")->setValue(100);
  w.Click("PresetBtn");
  QCOMPARE(w.Text("CommandStatusLabel"),
           QStringLiteral("Команда: доза в деньгах — цена не задана"));
}

void ConsoleTest::silentLineLeavesTheRestResponsive() {
  SilentLine silent;
  auto station = Started({"--simulate", "--port", std::to_string(kSilentPort) + "=" + silent.Path(),
                          "--timeout", std::to_string(kSilentTimeoutMs)});
  HostWindow& window = station->Window();
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  // Counted on the window's thread, in the order the two pollers made them:
  // the live line's answered polls (a failure leaking over from the silent
  // line shows), and the longest run of them with no poll of the silent line
  // ending between. Were the lines served one after the other, every live
  // reading would wait out a silent time-out and no run would pass 1.
  int simReadings = 0;
  int simFailures = 0;
  int run = 0;
  int longestRun = 0;
  QObject::connect(station->Pollers()->Poller(kSimPort), &PortPoller::Reading, &window,
                   [&](const NozzleReading& R) {
                     if (R.Error.isEmpty() && R.PortStatus == qx25::kLineOk) {
                       ++simReadings;
                       longestRun = std::max(longestRun, ++run);
                     } else {
                       ++simFailures;
                     }
                   });
  QObject::connect(station->Pollers()->Poller(kSilentPort), &PortPoller::Reading, &window,
                   [&run] { run = 0; });

  const LoopProbe probe;
  PanelWidgets dead(*window.Panel(kSilentPort, 1));
  QVERIFY(
      WaitFor([&] { return dead.Text("PollStatusLabel").contains(QStringLiteral("нет ответа")); },
              kAnswerWaitMs));
  // The simulator's line answers a command while the silent one times out.
  PanelWidgets live(*window.Panel(kSimPort, 1));
  live.Click("PresetBtn");
  QVERIFY(
      WaitFor([&] { return live.Text("CommandStatusLabel") == kPresetAccepted; }, kAnswerWaitMs));
  // A command on the silent line fails as a line failure, and says so.
  dead.Click("StopBtn");
  QVERIFY(WaitFor(
      [&] { return dead.Text("CommandStatusLabel").contains(QStringLiteral("нет ответа")); },
      kAnswerWaitMs));
  // The live line goes on being read, every poll answered, while the silent
  // one times out on every exchange. How fast, and how long the window's
  // loop stood still, depend on the machine: printed, not asserted.
  const int before = simReadings;
  run = longestRun = 0;
  QElapsedTimer wall;
  wall.start();
  QVERIFY2(WaitFor([&] { return simReadings >= before + kLiveReadings && longestRun >= 3; },
                   kDeliveryWaitMs),
           qPrintable(QStringLiteral("%1 readings, at most %2 between two silent polls")
                          .arg(simReadings - before)
                          .arg(longestRun)));
  const double seconds = std::max(static_cast<double>(wall.elapsed()) / 1e3, 1e-3);
  QCOMPARE(simFailures, 0);
  qInfo("%d readings from the live line in %.2f s (%.1f a second), up to %d between two "
        "silent polls; worst event-loop gap %.1f ms over %d turns",
        simReadings - before, seconds, (simReadings - before) / seconds, longestRun,
        probe.WorstGapMs(), probe.Turns());

  // The statistics count the silent line's time-outs, and none on the other.
  StatisticsModel& figures = station->StatisticsRows();
  const auto figure = [&](int Port, int Column) {
    const int row = figures.RowOf(Port);
    return row < 0 ? -1 : figures.data(figures.index(row, Column)).toInt();
  };
  QVERIFY(WaitFor([&] { return figure(kSilentPort, StatisticsModel::TimeoutsColumn) > 0; },
                  kAnswerWaitMs));
  // Every exchange but one under way timed out.
  QVERIFY(figure(kSilentPort, StatisticsModel::TimeoutsColumn) + 1 >=
          figure(kSilentPort, StatisticsModel::ExchangesColumn));
  QVERIFY(figure(kSimPort, StatisticsModel::ExchangesColumn) > 0);
  QCOMPARE(figure(kSimPort, StatisticsModel::TimeoutsColumn), 0);

  // The trace shows the silent line's requests and their time-outs.
  TraceModel& trace = station->Trace();
  bool timedOut = false;
  for (int row = 0; row < trace.rowCount() && !timedOut; ++row)
    timedOut =
        trace.data(trace.index(row, TraceModel::PortColumn)).toString() == PortName(kSilentPort) &&
        trace.data(trace.index(row, TraceModel::ResultColumn)).toString() ==
            QStringLiteral("нет ответа");
  QVERIFY(timedOut);
}

void ConsoleTest::wholeStationRunsAtOnce() {
  auto station = Started({"--station", std::to_string(kStationLines)});
  HostWindow& window = station->Window();
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  QCOMPARE(window.Panels().size(), size_t{kStationLines * kNozzlesPerLine});
  QCOMPARE(station->Pollers()->LineCount(), size_t{kStationLines});
  const LoopProbe probe;

  // Every nozzle of every line is polled, each line on its own simulator.
  for (NozzlePanel* panel : window.Panels()) {
    PanelWidgets w(*panel);
    QVERIFY2(
        WaitFor([&] { return w.Text("StateLabel") == QStringLiteral("свободна"); }, kAnswerWaitMs),
        qPrintable(panel->objectName() + ": " + w.Text("StateLabel")));
  }
  station->StatisticsRows().Refresh();
  QCOMPARE(station->StatisticsRows().rowCount(), kStationLines);
  // A delivery on the last line does not disturb the first line's controllers.
  PanelWidgets last(*window.Panel(kStationLines, kNozzlesPerLine));
  last.Click("PresetBtn");
  QVERIFY(
      WaitFor([&] { return last.Text("CommandStatusLabel") == kPresetAccepted; }, kAnswerWaitMs));
  // Reported, not asserted: the first paint of 120 panels is the window's
  // own work, and a sanitizer build triples it. Blocking is asserted above.
  qInfo("worst event-loop gap %.1f ms over %d turns", probe.WorstGapMs(), probe.Turns());
  // The statistics tab, with a row a line.
  station->StatisticsRows().Refresh();
  window.findChild<QTabWidget*>(QStringLiteral("ConsoleTabs"))->setCurrentIndex(1);
  WriteScreenshot(window, QStringLiteral("qx25-host-console-station"));
  // Asked after the probe: the simulator's lock is its line thread's too.
  QCOMPARE(station->SimulatedLines()->Simulator(1).Simulator().State(kNozzlesPerLine).Dose, 0);
  QCOMPARE(
      station->SimulatedLines()->Simulator(kStationLines).Simulator().State(kNozzlesPerLine).Dose,
      static_cast<int>(10));
}

void ConsoleTest::pollerReportsRefusalsAndFailures() {
  // A poller on a line of the test's own, run on this thread, so that each
  // fault lands on the request meant.
  auto station = Started({"--timeout", "100"});
  qx25::sim::BuiltInSimulator sim;
  constexpr int kPort = 5;
  station->Dispatcher().SetDevicePath(kPort, sim.DevicePath());
  TQX25& qx = *station->Driver();
  QCOMPARE(qx.SetupPort(kPort), 0);
  qRegisterMetaType<NozzleReading>();
  qRegisterMetaType<CommandOutcome>();
  PortPoller poller(qx, kPort, {{kPort, 1, 1, 0}});
  QSignalSpy readings(&poller, &PortPoller::Reading);
  QSignalSpy outcomes(&poller, &PortPoller::CommandDone);
  const auto lastOutcome = [&] { return outcomes.takeLast().at(0).value<CommandOutcome>(); };
  const auto lastReading = [&] { return readings.takeLast().at(0).value<NozzleReading>(); };
  using qx25::sim::Fault;

  // The controller refuses a dose: the outcome carries the code, and the
  // poll that follows finds the nozzle as it was, with its totalizer.
  sim.Simulator().InjectFault(Fault::Refuse);
  poller.Execute({CommandKind::PresetVolume, kPort, 1, 1, kPresetLitres, {}});
  CommandOutcome outcome = lastOutcome();
  QCOMPARE(outcome.PortStatus, 18);
  QVERIFY(outcome.Error.isEmpty());
  NozzleReading reading = lastReading();
  QCOMPARE(int{reading.Poll.State}, 192);
  QCOMPARE(reading.PortStatus, 1);
  QCOMPARE(reading.Totals.size(), size_t{1});
  QCOMPARE(*reading.Totals[0], static_cast<double>(qx25::sim::kSimTotaliser));

  // A refused stop, then a status request answered without data: the poll
  // reports that and reads nothing more.
  sim.Simulator().InjectFault(Fault::Refuse);
  sim.Simulator().InjectFault(Fault::Refuse);
  poller.Execute({CommandKind::Stop, kPort, 1, 1, 0, {}});
  QCOMPARE(lastOutcome().PortStatus, 20);
  reading = lastReading();
  QCOMPARE(reading.PortStatus, 26);
  QVERIFY(!reading.Current && !reading.Final && reading.Totals.empty());

  // Silence: both the command and the poll fail with the driver's message
  // and the line's verdict.
  sim.Simulator().InjectFault(Fault::Silence);
  sim.Simulator().InjectFault(Fault::Silence);
  poller.Execute({CommandKind::Stop, kPort, 1, 1, 0, {}});
  outcome = lastOutcome();
  QCOMPARE(outcome.Error, QStringLiteral("Can't STOP POMP"));
  QCOMPARE(outcome.PortStatus, int{qx25::serial::kLineTimeout});
  reading = lastReading();
  QCOMPARE(reading.Error, QStringLiteral("Can't GetSost"));
  QCOMPARE(reading.PortStatus, int{qx25::serial::kLineTimeout});
  station->Dispatcher().Close(kPort);
}

void ConsoleTest::noStartAtAPriceNeverSent() {
  auto station = Started({"--simulate"});
  PanelWidgets w(*station->Window().Panel(kSimPort, 4));
  QTRY_COMPARE_WITH_TIMEOUT(w.Text("StateLabel"), QStringLiteral("свободна"), kAnswerWaitMs);
  constexpr double kLitres = 3;
  const double shown = w.Child<QDoubleSpinBox>("PriceEdit1")->value();
  QVERIFY(shown > 0);

  // "Задать" never pressed: the start carries the price the box shows.
  w.Child<QDoubleSpinBox>("PresetEdit")->setValue(kLitres);
  w.Click("PresetBtn");
  QTRY_COMPARE_WITH_TIMEOUT(w.Text("CommandStatusLabel"), kPresetAccepted, kAnswerWaitMs);
  w.Click("StartBtn");
  QTRY_COMPARE_WITH_TIMEOUT(
      w.Text("FinalLabel"),
      LitresText(kLitres) + QStringLiteral(" · ") + MoneyText(kLitres * shown), kDeliveryWaitMs);

  // A price of nothing goes out only on the operator's word.
  QSignalSpy asked(w.Child<QWidget>("StartBtn")->parentWidget()->parentWidget(),
                   SIGNAL(Command(qx25::station::NozzleCommand)));
  w.Child<QDoubleSpinBox>("PriceEdit1")->setValue(0);
  w.Click("PresetBtn");
  w.Click("StartBtn");
  QMessageBox* question = OpenQuestion(w.Panel, "ConfirmBox");
  QVERIFY(question != nullptr);
  QCOMPARE(asked.count(), 1);  // the preset alone
  Answer(question, QStringLiteral("Отмена"))->click();
  QCOMPARE(asked.count(), 1);
  w.Click("StartBtn");
  question = OpenQuestion(w.Panel, "ConfirmBox");
  QVERIFY(question != nullptr);
  Answer(question, QStringLiteral("Пустить"))->click();
  QCOMPARE(asked.count(), 2);
  const auto start = asked.takeLast().at(0).value<NozzleCommand>();
  QVERIFY(start.Kind == CommandKind::Start && start.PriceFirst && *start.PriceFirst == 0);
  QTRY_COMPARE_WITH_TIMEOUT(w.Text("FinalLabel"),
                            LitresText(kLitres) + QStringLiteral(" · ") + MoneyText(0),
                            kDeliveryWaitMs);

  // A dose in money needs a price: refused in the panel, nothing sent.
  w.Child<QComboBox>("PresetKindBox")->setCurrentIndex(kPresetByMoney);
  w.Click("PresetBtn");
  QCOMPARE(asked.count(), 1);
  QCOMPARE(w.Text("CommandStatusLabel"),
           QStringLiteral("Команда: доза в деньгах — цена не задана"));
}

void ConsoleTest::quitDuringADeliveryAsksFirst() {
  auto station = Started({"--simulate"});
  QVERIFY(ShowAndStartDelivery(*station, 1, kPresetLitres, kDeliveryWaitMs));
  HostWindow& window = station->Window();
  PanelWidgets w(*window.Panel(kSimPort, 1));

  window.ExitAction()->trigger();
  QVERIFY(window.isVisible());
  QMessageBox* question = OpenQuestion(window, "QuitBox");
  QVERIFY(question != nullptr);
  QVERIFY2(question->text().contains(w.Panel.title()), qPrintable(question->text()));
  QVERIFY(question->text().contains(QStringLiteral("ничего не остановит")));
  // The forecourt stays usable while the question waits.
  QVERIFY(!question->isModal());
  Answer(question, QStringLiteral("Остаться"))->click();
  QVERIFY(window.isVisible());

  window.ExitAction()->trigger();
  question = OpenQuestion(window, "QuitBox");
  QVERIFY(question != nullptr);
  Answer(question, QStringLiteral("Выйти"))->click();
  QVERIFY(!window.isVisible());
  // Quitting left the delivery running.
  QVERIFY(station->Simulator()->Simulator().State(1).State == qx25::sim::DeliveryState::Delivering);
}
