// Quitting with a nozzle authorised: the question names it beside the
// running ones, follows them while it is shown, and cancels the
// authorisations before the console goes.
#include <QPushButton>
#include <QTest>

#include "ConsoleRig.h"
#include "HostTests.h"

using namespace qx25::station;
using consoletest::Answer;
using consoletest::OpenQuestion;
using consoletest::PanelWidgets;

namespace {

constexpr int kWaitMs = 10000;  // only a broken console waits this long
constexpr double kLitres = 50;  // long enough to be stopped while it runs

}  // namespace

void ConsoleTest::quitNamesAuthorisedNozzlesAndCancelsThem() {
  auto station = consoletest::Started({"--simulate"});
  QVERIFY(consoletest::ShowAndStartDelivery(*station, 1, kLitres, kWaitMs));
  HostWindow& window = station->Window();
  PanelWidgets running(*window.Panel(kSimulatedPort, 1));
  PanelWidgets authorised(*window.Panel(kSimulatedPort, 3));
  authorised.Child<QDoubleSpinBox>("PresetEdit")->setValue(kLitres);
  authorised.Click("PresetBtn");
  QTRY_COMPARE_WITH_TIMEOUT(authorised.Text("StateLabel"), QStringLiteral("налив разрешён"), kWaitMs);

  window.ExitAction()->trigger();
  QMessageBox* question = OpenQuestion(window, "QuitBox");
  QVERIFY(question != nullptr);
  const QString asked = question->text();
  QVERIFY2(asked.contains(running.Panel.title() + QStringLiteral(": идёт налив")), qPrintable(asked));
  QVERIFY2(asked.contains(authorised.Panel.title() + QStringLiteral(": налив разрешён")),
           qPrintable(asked));
  auto* cancel = question->findChild<QPushButton*>(QStringLiteral("CancelAuthorisationButton"));
  QVERIFY(cancel != nullptr && cancel->isVisible());

  // Stopped behind the question, the running nozzle is no longer said to run.
  running.Panel.StopNow();
  QTRY_VERIFY_WITH_TIMEOUT(question->text().contains(running.Panel.title() +
                                                     QStringLiteral(": налив остановлен")),
                           kWaitMs);
  QVERIFY(!question->text().contains(QStringLiteral("идёт налив")));

  // Cancelling leaves no authorisation behind the console.
  cancel->click();
  QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), kWaitMs);
  QTRY_COMPARE_WITH_TIMEOUT(authorised.Text("StateLabel"), QStringLiteral("свободна"), kWaitMs);
  QCOMPARE(running.Text("StateLabel"), QStringLiteral("налив остановлен, сторона 1"));
  QVERIFY(Answer(OpenQuestion(window, "QuitBox"), QStringLiteral("Выйти")) == nullptr);
}
