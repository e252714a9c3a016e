// What a technician types into the "Запись" editor, key by key, against the
// simulated controllers: what the confirmation names is what reaches the
// line, or nothing does and the status bar says why. Also the editor's place
// while the grid scrolls, and its reopening after Esc.
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QPointer>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include "TestRegistry.h"
#include "TypedEntry.h"
#include "WindowRig.h"
#include "ui/Workers.h"

using namespace uitest;
using Colour = TParamFrm::TStatusColour;

namespace {
constexpr int kAddress = 1;
constexpr int kColRead = TParamModel::ColRead, kColWrite = TParamModel::ColWrite;
constexpr int kRowCard = 7, kRowCode3 = 9, kRowCode5 = 10, kRowCode10 = 15, kRowCode15 = 20,
              kRowCode16 = 21, kRowCode31 = 36, kRowCode36 = 41;

}  // namespace

class TypedEditingTest : public QObject {
  Q_OBJECT

 private slots:
  void TypedTextsAreWrittenAsConfirmedOrRefusedWithTheirReason() {
    WindowRig rig;
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      const TTyped cases[] = {
          {kRowCode5, "4.7", 47, ""},
          {kRowCode5, "4,7", -1, "не число"},  // ',' groups thousands here
          {kRowCode16, "950.5", 95050, ""},
          {kRowCode15, "2", -1, "вне пределов 3 … 15"},
          {kRowCode15, "3", 3, ""},
          {kRowCode15, "16", -1, "вне пределов 3 … 15"},
          {kRowCode31, "1500", -1, "вне пределов 600.00 … 1,200.00"},
          {kRowCode31, "1,200", 120000, ""},
          {kRowCode10, "1,234", 1234, ""},
          {kRowCode36, "-15", 215, ""},
          {kRowCard, "123456789012345", 123456789012345, ""},
          {kRowCode5, "-1", -1, "отрицательное значение недопустимо"},
          {kRowCode5, "4.75", -1, "не более 1 знака после запятой"},
          {kRowCode5, "abc", -1, "не число"},
          {kRowCode5, "", -1, "не введено значение"},
      };
      for (const TTyped& c : cases) {
        TypeAndEnter(rig, w, c);
        if (QTest::currentTestFailed()) return;
      }
      // A second Enter on the unchanged text says the same again.
      w.ShowStatus({});
      QTest::keyClick(w.Form().WriteValueEdit, Qt::Key_Return);
      QCOMPARE(Status(w), QString("не введено значение"));
    }));
  }

  // A port or an address outside its field's range stays as typed and is
  // refused, named, by every request: nothing goes to a clamped line.
  void ThePortAndAddressFieldsRefuseNumbersOutsideTheirRange() {
    WindowRig rig;
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      Ui::ParamFrm& c = w.Form();
      QDoubleSpinBox* edit = c.WriteValueEdit;
      const struct {
        QSpinBox* Field;
        const char* Text;
        const char* Refusal;
      } cases[] = {
          {c.AddrEdit, "99", "Адрес пистолета: вне пределов 1 … 64"},
          {c.AddrEdit, "0", "Адрес пистолета: вне пределов 1 … 64"},
          {c.ComPortEdit, "25", "№ СОМ-порта: вне пределов 1 … 24"},
          {c.ComPortEdit, "", "№ СОМ-порта: не введено значение"},
      };
      for (const auto& Case : cases) {
        const QString good = Case.Field->text();
        Case.Field->selectAll();
        QTest::keyClick(Case.Field, Qt::Key_Delete);
        QTest::keyClicks(Case.Field, Case.Text);
        // Leaving the field keeps the text: no clamping, no last value put back.
        c.RxDGCommon->setFocus();
        QCOMPARE(Case.Field->text(), QString(Case.Text));
        const uint64_t before = rig.Sim.ExchangeCount();
        auto refused = [&](const char* What) {
          QVERIFY2(rig.Sim.ExchangeCount() == before, What);
          QCOMPARE(Status(w), QString::fromUtf8(Case.Refusal));
          QCOMPARE(w.StatusColour(), Colour::Failure);
          w.ShowStatus({});
        };
        w.RxDGCommonDblClick(kColRead, kRowCode16);
        refused("a single read");
        c.Button1->click();
        refused("read-all");
        c.WriteBtn->click();
        refused("write-all");
        OpenEditor(w, kRowCode16);
        Type(edit, "950");
        QCOMPARE(ConfirmOnEnter(edit), QString("none"));
        refused("a single write");
        Case.Field->selectAll();
        QTest::keyClick(Case.Field, Qt::Key_Delete);
        QTest::keyClicks(Case.Field, good);
      }
      // Typed back into range, a request goes to the number shown.
      c.AddrEdit->selectAll();
      QTest::keyClicks(c.AddrEdit, "2");
      rig.Sim.SetParam(2, 16, 88800);
      w.RxDGCommonDblClick(kColRead, kRowCode16);
      QCOMPARE(CellText(w, kRowCode16, kColRead), QString("888.00"));
    }));
  }

  // Typed during read-all, an address out of range stops what the run sends
  // (the row in flight aside) and says why; the run does not go on to a clamped one.
  void ARunSendsNothingWhileTheAddressDoesNotRead() {
    WindowRig rig;
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      QSpinBox* address = w.Form().AddrEdit;
      w.Form().Button1->click();
      QVERIFY(ReadParamsThread);
      address->selectAll();
      QTest::keyClicks(address, "99");
      const uint64_t typed = rig.Sim.ExchangeCount();
      QCOMPARE(Status(w), QString("Адрес пистолета: вне пределов 1 … 64"));
      QTRY_VERIFY_WITH_TIMEOUT(!ReadParamsThread, 30000);
      QVERIFY(rig.Sim.ExchangeCount() <= typed + 2);  // the rows in flight at '9' and at "99"
      QCOMPARE(address->text(), QString("99"));
    }));
  }

  void AListValueWithoutANameAsksForAChoice() {
    WindowRig rig;
    rig.Sim.SetParam(kAddress, 3, 7);
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      w.RxDGCommonDblClick(kColRead, kRowCode3);
      QCOMPARE(CellText(w, kRowCode3, kColRead), QString("7 (нет в списке)"));
      OpenEditor(w, kRowCode3);
      QComboBox* list = w.Form().WriteValueCB;
      QVERIFY(list->isVisible());
      QCOMPARE(list->currentIndex(), -1);
      const uint64_t before = rig.Sim.ExchangeCount();
      QCOMPARE(ConfirmOnEnter(list), QString("none"));
      QCOMPARE(rig.Sim.ExchangeCount(), before);
      QCOMPARE(Status(w), QString("Выберите значение из списка"));
    }));
  }

  void TheEditorStaysOnItsRowWhileTheGridScrolls() {
    WindowRig rig;
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      TRXDrawGrid* grid = w.Form().RxDGCommon;
      QDoubleSpinBox* edit = w.Form().WriteValueEdit;
      OpenEditor(w, kRowCode5);
      QVERIFY(edit->isVisible());
      Type(edit, "2.5");
      auto overItsRow = [&] {
        const QRect cell = grid->CellRect(kColWrite, kRowCode5, w.Form().TabControl1);
        return cell.contains(edit->geometry().center());
      };
      QVERIFY(overItsRow());
      // Two notches of the wheel over the grid.
      const QPoint at = grid->viewport()->rect().center();
      QWheelEvent wheel(at, grid->viewport()->mapToGlobal(at), {}, QPoint(0, -240), Qt::NoButton,
                        Qt::NoModifier, Qt::NoScrollPhase, false);
      QApplication::sendEvent(grid->viewport(), &wheel);
      QVERIFY(grid->verticalScrollBar()->value() > 0);
      QVERIFY(edit->isHidden() || overItsRow());
      if (edit->isVisible()) QCOMPARE(edit->text(), QString("2.5"));
      // The scroll bar to the end: the row is out of sight and the editor closed, unsent.
      const uint64_t before = rig.Sim.ExchangeCount();
      grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->maximum());
      QVERIFY(edit->isHidden());
      QTest::keyClick(grid, Qt::Key_Return);
      QTest::keyClick(grid, Qt::Key_Escape);
      QCOMPARE(rig.Sim.ExchangeCount(), before);
      QCOMPARE(rig.Sim.State(kAddress).Params[5], 0);
    }));
  }

  void TheEditorReopensOnTheSelectedCellAfterEsc() {
    WindowRig rig;
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      TRXDrawGrid* grid = w.Form().RxDGCommon;
      QDoubleSpinBox* edit = w.Form().WriteValueEdit;
      OpenEditor(w, kRowCode16);
      const QPoint cell =
          grid->visualRect(grid->model()->index(kRowCode16 - 1, kColWrite)).center();
      auto escape = [&] {
        QTest::keyClick(edit, Qt::Key_Escape);
        QVERIFY(edit->isHidden());
        QCOMPARE(grid->Row(), kRowCode16);
      };
      escape();
      QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell);
      QTRY_VERIFY(edit->isVisible());
      escape();
      QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell);
      QTRY_VERIFY(edit->isVisible());
      escape();
      QTest::keyClick(grid, Qt::Key_Return);
      QVERIFY(edit->isVisible());
      escape();
      QTest::keyClick(grid, Qt::Key_F2);
      QVERIFY(edit->isVisible());
      // Code 16 starts above its limits: the editor shows that, unclamped, as the cell does.
      QCOMPARE(edit->text(), CellText(w, kRowCode16, kColWrite));
    }));
  }
};

static TRegisterTest<TypedEditingTest> registered("TypedEditingTest");

#include "TypedEditingTest.moc"
