// The forecourt while the driver's service window is open. Run in a process of
// its own: only a process's first station gets the driver's menu entry.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTimer>

#include "ConsoleRig.h"
#include "HostMenu.h"
#include "HostTests.h"

using namespace consoletest;

namespace {

constexpr double kPresetLitres = 30;
constexpr int kDeliveryWaitMs = 30000;
constexpr int kAnswerWaitMs = 5000;

// A click as the window system delivers it, so that a modal window blocks it
// as it would block the operator's mouse.
void ClickOnScreen(QWidget& Button) {
  QWidget* top = Button.window();
  QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {},
                    Button.mapTo(top, Button.rect().center()));
}

}  // namespace

void ServiceWindowTest::stopWorksWhileTheServiceWindowIsOpen() {
  auto station = Started({"--simulate"});
  QVERIFY(ShowAndStartDelivery(*station, 1, kPresetLitres, kDeliveryWaitMs));
  HostWindow& window = station->Window();
  PanelWidgets w(*window.Panel(kSimulatedPort, 1));

  QAction* dispenser = TopLevelEntry(*window.menuBar(), QString::fromUtf8(kDispenserMenuText));
  QVERIFY(dispenser && dispenser->menu() && !dispenser->menu()->actions().isEmpty());
  QAction* entry = dispenser->menu()->actions().constFirst();
  QString opened;
  QString stateWhileOpen;
  bool forecourtBlocked = true;
  QTimer::singleShot(0, [&] {
    QWidget* service = QApplication::activeModalWidget();
    if (service == nullptr) return;
    opened = service->objectName();
    // Its owner is the console's own, not the forecourt.
    forecourtBlocked = service->window()->parentWidget() == &window;
    ClickOnScreen(*w.Child<QAbstractButton>("StopBtn"));
    WaitFor([&] { return w.Text("StateLabel") == QStringLiteral("налив остановлен, сторона 1"); },
            kAnswerWaitMs);
    stateWhileOpen = w.Text("StateLabel");
    QTest::keyClick(service, Qt::Key_Escape);
  });
  entry->trigger();
  QCOMPARE(opened, QStringLiteral("ParamFrm"));
  QVERIFY(!forecourtBlocked);
  QCOMPARE(stateWhileOpen, QStringLiteral("налив остановлен, сторона 1"));
  // The controller holds the delivery where the Stop caught it.
  const qx25::sim::ControllerState held = station->Simulator()->Simulator().State(1);
  QVERIFY(held.State == qx25::sim::DeliveryState::Suspended);
  QVERIFY2(held.Volume < kPresetLitres, qPrintable(QString::number(held.Volume)));
}
