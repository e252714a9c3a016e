// Read-all and write-all on their threads, against the simulated controllers:
// which codes go out, what the grid and the status bar show, a silent row,
// the one-worker-per-kind rule, and a window closed while a run goes on.
#include <QLabel>
#include <QTest>
#include <algorithm>
#include <stdexcept>

#include "TestRegistry.h"
#include "WindowRig.h"
#include "ui/Workers.h"

using namespace uitest;
using qx25::sim::Fault;

namespace {

constexpr int kRunWaitMs = 30000;  // only a broken line takes this long

// The codes of the parameter requests ('N' reads, 'O' writes) the simulator
// has seen since History was last cleared, in order.
std::vector<int> Codes(const qx25::sim::Simulator& Sim, uint8_t Letter) {
  std::vector<int> codes;
  for (const auto& exchange : Sim.History())
    if (exchange.Data && exchange.Data->size() > 3 && (*exchange.Data)[2] == Letter)
      codes.push_back((*exchange.Data)[3] - '0');
  return codes;
}

// The controller is given the window's values, so that a read-all running
// beside a write-all hands the write the values it would have sent anyway:
// otherwise which rows go out depends on which run reaches a row first.
void MirrorWindowValues(qx25::sim::Simulator& Sim, const CTRKParameters& Catalog) {
  for (int i = 0; i < Catalog.Count(); ++i) {
    const CParameter& p = Catalog.Items(i);
    try {
      Sim.SetParam(1, p.Code, p.Value);
    } catch (const std::invalid_argument&) {
      // A value the controller cannot hold: it keeps its own.
    }
  }
}

std::vector<int> BulkCodes() {
  std::vector<int> codes = {2, 3};
  for (int code = 5; code <= 45; ++code) codes.push_back(code);
  return codes;
}

}  // namespace

class WorkersTest : public QObject {
  Q_OBJECT

 private slots:
  void ReadAllReadsTheBulkRangeAndGoesOnPastASilentRow() {
    WindowRig rig;
    rig.Sim.SetParam(1, 16, 75000);
    rig.Sim.SetParam(1, 2, 7);  // a list value without a name still reads
    rig.Sim.SetCodeFault(9, Fault::Silence);
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      rig.Sim.ClearHistory();
      w.Form().Button1->click();
      QVERIFY(ReadParamsThread);
      TReadParamsTread* first = ReadParamsThread;
      w.Form().Button1->click();  // a second click starts nothing
      QCOMPARE(ReadParamsThread, first);
      QTRY_VERIFY_WITH_TIMEOUT(!ReadParamsThread, kRunWaitMs);
      QCOMPARE(Codes(rig.Sim, 'N'), BulkCodes());
      QCOMPARE(CellText(w, 21, TParamModel::ColRead), QString("750.00"));
      // Code 2 holds 7, a list value without a name: its number, said so.
      QCOMPARE(CellText(w, 8, TParamModel::ColRead), QString("7 (нет в списке)"));
      QCOMPARE(CellText(w, 14, TParamModel::ColRead), QString("Ошибка чтения!"));  // code 9
      QCOMPARE(CellText(w, 15, TParamModel::ColRead), QString("0"));  // code 10, after it
      for (int row = 1; row <= 7; ++row) QVERIFY(CellText(w, row, TParamModel::ColRead).isEmpty());
      // The slot is free again: the button starts a new run.
      rig.Sim.ClearCodeFaults();
      rig.Sim.ClearHistory();
      w.Form().Button1->click();
      QVERIFY(ReadParamsThread);
      QTRY_VERIFY_WITH_TIMEOUT(!ReadParamsThread, kRunWaitMs);
      QCOMPARE(CellText(w, 14, TParamModel::ColRead), QString("0"));
    }));
  }

  void WriteAllSendsTheValuesAsTheyStandAndNeverTheReadOnlyOnes() {
    WindowRig rig;
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      rig.Sim.ClearHistory();
      w.Form().WriteBtn->click();
      QVERIFY(WriteParamsThread);
      QTRY_VERIFY_WITH_TIMEOUT(!WriteParamsThread, kRunWaitMs);
      const std::vector<int> written = Codes(rig.Sim, 'O');
      // 31 rows less the initial values outside their limits (codes 16, 31,
      // 34 and 39), which are refused rather than sent.
      QCOMPARE(written.size(), size_t{27});
      for (int skipped : {2, 18, 19, 22, 24, 25, 26, 27, 28, 29, 36, 44, 16, 31, 34, 39})
        QVERIFY(std::find(written.begin(), written.end(), skipped) == written.end());
      QCOMPARE(Status(w), QString("Записано 27 из 31; не записаны: 16, 31, 34, 39 (вне пределов)"));
      QCOMPARE(rig.Sim.State(1).Params[16], 0);
      QCOMPARE(rig.Sim.State(1).Params[17], 5);

      // The other kind of worker may run at the same time.
      MirrorWindowValues(rig.Sim, *w.Catalog());
      rig.Sim.ClearHistory();
      w.Form().WriteBtn->click();
      w.Form().Button1->click();
      QVERIFY(WriteParamsThread && ReadParamsThread);
      QTRY_VERIFY_WITH_TIMEOUT(!WriteParamsThread && !ReadParamsThread, kRunWaitMs);
      QCOMPARE(Codes(rig.Sim, 'O').size(), size_t{27});  // the initial values within limits
      QCOMPARE(Codes(rig.Sim, 'N').size(), size_t{43});
    }));
  }

  void ARefusedWriteIsReportedAndTheRunGoesOn() {
    WindowRig rig;
    rig.Sim.SetCodeFault(45, Fault::Refuse, qx25::sim::ParamAccess::Write);
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      w.Form().WriteBtn->click();
      QTRY_VERIFY_WITH_TIMEOUT(!WriteParamsThread, kRunWaitMs);
      QCOMPARE(Status(w), QString("Записано 26 из 31; не записаны: 16, 31, 34, 39 (вне пределов), "
                                  "45 (ошибка записи)"));
    }));
  }

  void ClosingTheWindowMidRunLetsTheRunFinish() {
    WindowRig rig;
    // Silent rows late in the range keep the run going well past the close,
    // however slowly a loaded machine lets this thread reach it.
    for (int code = 40; code <= 45; ++code)
      rig.Sim.SetCodeFault(code, Fault::Silence, qx25::sim::ParamAccess::Read);
    QPointer<TParamFrm> closed;
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      closed = &w;
      MirrorWindowValues(rig.Sim, *w.Catalog());
      rig.Sim.ClearHistory();
      w.Form().Button1->click();
      w.Form().WriteBtn->click();
      const uint64_t before = rig.Sim.ExchangeCount();
      QTRY_VERIFY(rig.Sim.ExchangeCount() > before);
    }));
    // Closed, not yet destroyed: hidden, and freed when the last worker ends.
    QVERIFY(!ParamWindow && !TrkParameters);
    QVERIFY(closed && !closed->isVisible());
    QVERIFY(ReadParamsThread);
    QTRY_VERIFY_WITH_TIMEOUT(!ReadParamsThread && !WriteParamsThread, kRunWaitMs);
    QTRY_VERIFY(!closed);
    QCOMPARE(Codes(rig.Sim, 'N').size(), size_t{43});
    QCOMPARE(Codes(rig.Sim, 'O').size(), size_t{27});  // the initial values within limits
    // A window opened afterwards starts clean and works.
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      QVERIFY(w.Catalog() && TrkParameters == w.Catalog());
      QCOMPARE(CellText(w, 21, TParamModel::ColRead), QString());
      rig.Sim.ClearCodeFaults();
      rig.Sim.SetParam(1, 17, 9);
      w.Form().Button1->click();
      QTRY_VERIFY_WITH_TIMEOUT(!ReadParamsThread, kRunWaitMs);
      QCOMPARE(CellText(w, 22, TParamModel::ColRead), QString("9"));
    }));
  }
};

static TRegisterTest<WorkersTest> registered("WorkersTest");

#include "WorkersTest.moc"
