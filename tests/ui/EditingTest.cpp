// Single reads and writes from the grid, against the simulated controllers:
// which cells read, how each kind's editor opens, what each kind writes,
// the confirmation, and what the status bar says afterwards.
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QTabBar>
#include <QTest>

#include "TestRegistry.h"
#include "WindowRig.h"

using namespace uitest;
using Colour = TParamFrm::TStatusColour;

namespace {
constexpr int kAddress = 1;     // AddrEdit's initial value
constexpr int kRowCode3 = 9;    // list, six names
constexpr int kRowCode5 = 10;   // one decimal
constexpr int kRowCode16 = 21;  // two decimals, 600.00 to 1200.00
constexpr int kRowCode18 = 23;  // five digits: room for a pair
constexpr int kRowCode36 = 41;  // the temperature
constexpr int kColRead = TParamModel::ColRead, kColWrite = TParamModel::ColWrite;
const QString kWritten = "Операция записи проведена.";
const QString kWriteFailed = "Ошибка при проведении операции записи.";

int64_t Stored(WindowRig& Rig, int Code) { return Rig.Sim.State(kAddress).Params[Code]; }
}  // namespace

class EditingTest : public QObject {
  Q_OBJECT

 private slots:
  void OnlyTheReadColumnReads() {
    WindowRig rig;
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      w.Form().TabControl1->Tabs()->setCurrentIndex(2);
      TRXDrawGrid* grid = w.Form().RxDGCommon;
      const uint64_t before = rig.Sim.ExchangeCount();
      for (int col : {0, 1, 2, kColWrite})
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {},
                           grid->visualRect(grid->model()->index(kRowCode5 - 1, col)).center());
      QTest::mouseDClick(grid->horizontalHeader()->viewport(), Qt::LeftButton, {}, QPoint(600, 5));
      QCOMPARE(rig.Sim.ExchangeCount(), before);

      rig.Sim.SetParam(kAddress, 5, 7);
      QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {},
                         grid->visualRect(grid->model()->index(kRowCode5 - 1, kColRead)).center());
      QCOMPARE(rig.Sim.ExchangeCount(), before + 1);
      QCOMPARE(CellText(w, kRowCode5, kColRead), QString("0.7"));
      QCOMPARE(w.Catalog()->Items(kRowCode5 - 1).Value, 7);
    }));
  }

  void CommandsAndTheAddressNeverRead() {
    WindowRig rig;
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      for (int row : {1, 2, 6}) {
        QCOMPARE(w.ReadOne(row), QString());
        QCOMPARE(CellText(w, row, kColRead), QString("Ошибка чтения!"));
      }
      // A link failure reads the same way, and clears the text read before.
      rig.Sim.SetParam(kAddress, 5, 9);
      w.RxDGCommonDblClick(kColRead, kRowCode5);
      QCOMPARE(CellText(w, kRowCode5, kColRead), QString("0.9"));
      rig.Sim.InjectFault(qx25::sim::Fault::Silence);
      w.RxDGCommonDblClick(kColRead, kRowCode5);
      QCOMPARE(CellText(w, kRowCode5, kColRead), QString("Ошибка чтения!"));
      QCOMPARE(w.Catalog()->Items(kRowCode5 - 1).ReadText, "");
      QCOMPARE(w.Catalog()->Items(kRowCode5 - 1).Value, 9);
    }));
  }

  void NumberEditorOpensAtTheValueWithinItsLimits() {
    WindowRig rig;
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      QDoubleSpinBox* edit = w.Form().WriteValueEdit;
      w.Catalog()->Items(kRowCode16 - 1).Value = 75000;
      OpenEditor(w, kRowCode16);
      QVERIFY(edit->isVisible() && !w.Form().WriteValueEdit2->isVisible());
      QCOMPARE(edit->parentWidget(), w.Form().TabControl1);
      QCOMPARE(edit->value(), 750.0);
      QCOMPARE(edit->decimals(), 2);
      QCOMPARE(edit->singleStep(), 0.01);
      QCOMPARE(edit->minimum(), 600.0);
      QCOMPARE(edit->maximum(), 1200.0);
      QVERIFY(edit->height() >= 18);  // the classic height at least: the font's own
      w.Catalog()->Items(kRowCode16 - 1).Value = 0;
      OpenEditor(w, kRowCode16);
      QCOMPARE(edit->value(), 600.0);
      // Above the maximum: a set value is held to it; a typed one stays as typed
      // and is refused on Enter (see TypedEditingTest).
      edit->setValue(5000);
      QCOMPARE(edit->value(), 1200.0);
      edit->selectAll();
      QTest::keyClicks(edit, "50000");
      edit->interpretText();
      QVERIFY(edit->value() >= 600.0 && edit->value() <= 1200.0);
      // Another column hides the editor.
      w.PlaceEditor(kRowCode16, kColRead);
      QVERIFY(edit->isHidden());
    }));
  }

  void ListEditorOpensOnTheStoredItem() {
    WindowRig rig;
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      QComboBox* list = w.Form().WriteValueCB;
      w.Catalog()->Items(kRowCode3 - 1).Value = 4;
      OpenEditor(w, kRowCode3);
      QVERIFY(list->isVisible() && list->isEnabled() && w.Form().WriteValueEdit->isHidden());
      QCOMPARE(list->count(), 6);
      QCOMPARE(list->currentIndex(), 4);
      list->setCurrentIndex(2);
      w.WriteOne(kRowCode3);
      QCOMPARE(Stored(rig, 3), 2);
      // A list without names: disabled, and a write sends nothing and says why.
      w.Catalog()->Items(kRowCode3 - 1).ValueNames.clear();
      OpenEditor(w, kRowCode3);
      QVERIFY(!list->isEnabled());
      const uint64_t before = rig.Sim.ExchangeCount();
      w.WriteOne(kRowCode3);
      QCOMPARE(rig.Sim.ExchangeCount(), before);
      QCOMPARE(Status(w), kWriteFailed + " (вне пределов: список пуст)");
    }));
  }

  void EachKindWritesItsRawValue() {
    WindowRig rig;
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      const Ui::ParamFrm& c = w.Form();
      CParameter& spare = w.Catalog()->Items(kRowCode18 - 1);
      spare.Kind = pkPair;
      OpenEditor(w, kRowCode18);
      QVERIFY(c.WriteValueEdit->isVisible() && c.WriteValueEdit2->isVisible());
      QVERIFY(c.WriteValueEdit->geometry().right() < c.WriteValueEdit2->geometry().left());
      c.WriteValueEdit->setValue(12);
      c.WriteValueEdit2->setValue(345);
      w.WriteOne(kRowCode18);
      QCOMPARE(Stored(rig, 18), 12345);

      for (auto [typed, raw] : {std::pair{-15, 215}, {0, 0}, {200, 200}}) {
        OpenEditor(w, kRowCode36);
        c.WriteValueEdit->setValue(typed);
        w.WriteOne(kRowCode36);
        QCOMPARE(Stored(rig, 36), raw);
        QCOMPARE(w.Catalog()->Items(kRowCode36 - 1).Value, raw);
      }

      spare.Kind = pkTemperatureList;
      spare.ValueNames = {"1-включить датчик", "200-отключить датчик"};
      for (auto [item, raw] : {std::pair{0, 1}, {1, 200}}) {
        OpenEditor(w, kRowCode18);
        c.WriteValueCB->setCurrentIndex(item);
        w.WriteOne(kRowCode18);
        QCOMPARE(Stored(rig, 18), raw);
      }
    }));
  }

  void EditorsOpenOnTheValueThatWasThere() {
    WindowRig rig;
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      const Ui::ParamFrm& c = w.Form();
      // A stored negative temperature opens as that temperature, and Enter
      // without a change writes the same raw value back.
      w.Catalog()->Items(kRowCode36 - 1).Value = 215;
      OpenEditor(w, kRowCode36);
      QCOMPARE(c.WriteValueEdit->value(), -15.0);
      QCOMPARE(c.WriteValueEdit->minimum(), -99.0);
      w.WriteOne(kRowCode36);
      QCOMPARE(Stored(rig, 36), 215);

      CParameter& spare = w.Catalog()->Items(kRowCode18 - 1);
      spare.Kind = pkNegativeTemperature;
      spare.Value = 207;
      OpenEditor(w, kRowCode18);
      QCOMPARE(c.WriteValueEdit->value(), -7.0);
      QCOMPARE(c.WriteValueEdit->maximum(), 0.0);

      spare.Kind = pkTemperatureList;
      spare.ValueNames = {"1-включить датчик", "200-отключить датчик"};
      for (auto [raw, item] : {std::pair{1, 0}, {200, 1}, {57, -1}}) {
        spare.Value = raw;
        OpenEditor(w, kRowCode18);
        QCOMPARE(c.WriteValueCB->currentIndex(), item);
      }
    }));
  }

  void EnterAsksAndOkWritesThenTheBarTurnsBack() {
    WindowRig rig;
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      const Ui::ParamFrm& c = w.Form();
      OpenEditor(w, kRowCode5);
      c.WriteValueEdit->setValue(2.5);
      const uint64_t before = rig.Sim.ExchangeCount();
      bool asked = false;
      AnswerNextBox(QMessageBox::Cancel, &asked);
      QTest::keyClick(c.WriteValueEdit, Qt::Key_Return);
      QVERIFY(asked);
      QCOMPARE(rig.Sim.ExchangeCount(), before);
      QVERIFY(c.WriteValueEdit->isVisible());  // the editor stays where it is

      asked = false;
      AnswerNextBox(QMessageBox::Ok, &asked);
      QTest::keyClick(c.WriteValueEdit, Qt::Key_Return);
      QVERIFY(asked);
      QCOMPARE(Stored(rig, 5), 25);
      QCOMPARE(Status(w), kWritten);
      QCOMPARE(w.StatusColour(), Colour::Success);
      QCOMPARE(c.StatusBar1->palette().color(QPalette::Window), QColor(0x00, 0x80, 0x00));
      QCOMPARE(CellText(w, kRowCode5, kColRead), QString("2.5"));
      QCOMPARE(CellText(w, kRowCode5, kColWrite), QString("2.5"));
      QTRY_COMPARE_WITH_TIMEOUT(w.StatusColour(), Colour::Normal, 5000);
      QCOMPARE(Status(w), kWritten);
    }));
  }

  void ARefusedWriteIsRedAndKeepsTheRecord() {
    WindowRig rig;
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      const Ui::ParamFrm& c = w.Form();
      CParameter& p = w.Catalog()->Items(kRowCode5 - 1);
      p.ReadText = "0.4";
      OpenEditor(w, kRowCode5);
      c.WriteValueEdit->setValue(3.3);
      rig.Sim.InjectFault(qx25::sim::Fault::Refuse);
      w.WriteOne(kRowCode5);
      QCOMPARE(Status(w), kWriteFailed);
      QCOMPARE(w.StatusColour(), Colour::Failure);
      QCOMPARE(c.StatusBar1->palette().color(QPalette::Window), QColor(0xFF, 0x00, 0x00));
      QCOMPARE(p.Value, 4);
      QCOMPARE(p.ReadText, "0.4");
    }));
  }

  void AnAddressIsProgrammedByIdNumber() {
    WindowRig rig;
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      const Ui::ParamFrm& c = w.Form();
      c.TabControl1->Tabs()->setCurrentIndex(1);
      c.edIDNumber->setValue(static_cast<int>(qx25::sim::DefaultIdNumber(2)));
      OpenEditor(w, 1);
      c.WriteValueEdit->setValue(9);
      w.WriteOne(1);
      QCOMPARE(Status(w), kWritten);
      QCOMPARE(rig.Sim.Addresses(), (std::vector<int>{1, 3, 4, 9}));
      QCOMPARE(rig.Sim.State(9).IdNumber, qx25::sim::DefaultIdNumber(2));
      QCOMPARE(CellText(w, 1, 0), QString::number(qx25::sim::DefaultIdNumber(2)));
      rig.Sim.SetParam(9, 5, 3);
      QCOMPARE(rig.Driver->ReadParam(lmParameter, kPort, 9, 5, 3), 3);

      // No controller has this ID number: the line stays silent, the driver
      // raises, and the bar turns red with no message and no dialog.
      c.edIDNumber->setValue(1234);
      w.WriteOne(1);
      QCOMPARE(Status(w), QString());
      QCOMPARE(w.StatusColour(), Colour::Failure);
      QCOMPARE(QApplication::activeModalWidget(), &w);
    }));
  }

  void TheKeyboardReachesTheEditor() {
    WindowRig rig;
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      const Ui::ParamFrm& c = w.Form();
      TRXDrawGrid* grid = c.RxDGCommon;
      c.TabControl1->Tabs()->setCurrentIndex(2);
      grid->setFocus();
      grid->SetCurrentCell(0, kRowCode5);
      for (int i = 0; i < 4; ++i) QTest::keyClick(grid, Qt::Key_Right);
      QCOMPARE(grid->Col(), kColWrite);
      QTRY_VERIFY(c.WriteValueEdit->isVisible());
      QCOMPARE(c.WriteValueEdit->value(), 0.4);
      const int firstTop = c.WriteValueEdit->y();
      // The editor follows the current cell.
      grid->setFocus();
      QTest::keyClick(grid, Qt::Key_Down);
      QCOMPARE(grid->Row(), kRowCode5 + 1);
      QTRY_VERIFY(c.WriteValueCB->isVisible());  // code 6 is a list
      QVERIFY(c.WriteValueEdit->isHidden());
      QVERIFY(c.WriteValueCB->y() > firstTop);
      QCOMPARE(c.WriteValueCB->currentIndex(), 0);
      QTest::keyClick(c.WriteValueCB, Qt::Key_Down);
      AnswerNextBox(QMessageBox::Ok);
      QTest::keyClick(c.WriteValueCB, Qt::Key_Return);
      QCOMPARE(Stored(rig, 6), 1);
      // Away from "Запись", the editor goes.
      grid->setFocus();
      QTest::keyClick(grid, Qt::Key_Left);
      QTRY_VERIFY(c.WriteValueCB->isHidden());
    }));
  }

  void ThePairKeepsBothHalvesWhileTheFocusMovesBetweenThem() {
    WindowRig rig;
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      const Ui::ParamFrm& c = w.Form();
      w.Catalog()->Items(kRowCode18 - 1).Kind = pkPair;
      OpenEditor(w, kRowCode18);
      QTRY_VERIFY(c.WriteValueEdit->hasFocus());
      c.WriteValueEdit2->setFocus();
      QTRY_VERIFY(c.WriteValueEdit2->hasFocus());
      QApplication::processEvents();
      QVERIFY(c.WriteValueEdit->isVisible() && c.WriteValueEdit2->isVisible());
      c.ComPortEdit->setFocus();
      QTRY_VERIFY(c.WriteValueEdit->isHidden() && c.WriteValueEdit2->isHidden());
    }));
  }
};

static TRegisterTest<EditingTest> registered("EditingTest");

#include "EditingTest.moc"
