// Two faults a technician and a host ran into: a host that quits while a
// closed window's runs go on, and the limit-card code cut to one digit.
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPointer>
#include <QTest>

#include "TestRegistry.h"
#include "WindowRig.h"
#include "ui/Workers.h"

using namespace uitest;
using qx25::sim::Fault;

namespace {
constexpr int kRowCard = 7;
}  // namespace

class WindowFaultsTest : public QObject {
  Q_OBJECT

 private slots:
  void AHostThatQuitsDuringRunsFreesItsWindowThenItsDriver() {
    WindowRig rig;
    // A host whose main window owns the service window.
    auto* host = new QWidget;
    DriverPtr driver(GetQX25(0, reinterpret_cast<uintptr_t>(host), &rig.Lines));
    driver->SetupPort(kPort);
    // A silent row keeps the runs going long after the window is closed.
    rig.Sim.SetCodeFault(40, Fault::Silence);
    QPointer<TParamFrm> closed;
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      QCOMPARE(w.parentWidget(), host);
      closed = &w;
      rig.Sim.ClearHistory();
      w.Form().Button1->click();
      w.Form().WriteBtn->click();
      const uint64_t before = rig.Sim.ExchangeCount();
      QTRY_VERIFY(rig.Sim.ExchangeCount() > before);
    }));
    QVERIFY(closed && ReadParamsThread && WriteParamsThread);

    delete host;  // the host quits: its main window goes first
    QVERIFY(!closed);
    QVERIFY(!ReadParamsThread && !WriteParamsThread && !ParamWindow && !TrkParameters);
    const uint64_t sent = rig.Sim.ExchangeCount();
    QVERIFY(sent < 43 + 31);  // stopped, not run to the end

    driver.reset();  // then the driver
    QVERIFY(!CurrentDriver);
    QCoreApplication::processEvents();
    QCOMPARE(rig.Sim.ExchangeCount(), sent);
  }

  void TheLimitCardCodeIsWrittenAndShownWhole() {
    WindowRig rig;
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      QCOMPARE(CellText(w, kRowCard, TParamModel::ColLimits),
               QString("от 0 до 999,999,999,999,999 "));
      OpenEditor(w, kRowCard);
      w.Form().WriteValueEdit->setValue(123456789012345.0);
      QCOMPARE(w.Form().WriteValueEdit->value(), 123456789012345.0);
      w.WriteOne(kRowCard);
      QCOMPARE(w.StatusColour(), TParamFrm::TStatusColour::Success);
      QCOMPARE(rig.Sim.State(1).Params[1], int64_t{123456789012345});
      QCOMPARE(CellText(w, kRowCard, TParamModel::ColRead), QString("123,456,789,012,345"));
      QCOMPARE(CellText(w, kRowCard, TParamModel::ColWrite), QString("123,456,789,012,345"));
    }));
  }
};

static TRegisterTest<WindowFaultsTest> registered("WindowFaultsTest");

#include "WindowFaultsTest.moc"
