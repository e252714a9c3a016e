// The window as a technician meets it: the read column shows what the
// controller holds, nothing outside the limits is sent, Esc takes the editor
// away before the window, the confirmation names the value, a click that
// does nothing says why, and the rows hold their boxes and editors.
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QTabBar>
#include <QTest>

#include "TestRegistry.h"
#include "WindowRig.h"
#include "ui/Workers.h"

using namespace uitest;
using Colour = TParamFrm::TStatusColour;

namespace {

constexpr int kRunWaitMs = 30000;  // only a broken line takes this long
constexpr int kRowCode5 = 10;      // one decimal, 0.0 to 50.0 мс
constexpr int kRowCode12 = 17;     // a list of three
constexpr int kRowCode16 = 21;     // 600.00 to 1200.00
constexpr int kRowCode45 = 50;     // a list of two, the last row a write-all sends
constexpr int kColRead = TParamModel::ColRead, kColWrite = TParamModel::ColWrite;

QVariant CellData(const TParamFrm& W, int Row, int Col, int Role) {
  return W.Model().data(W.Model().index(Row - 1, Col), Role);
}

}  // namespace

class TechnicianTest : public QObject {
  Q_OBJECT

 private slots:
  void TheReadColumnShowsWhatTheControllerHolds() {
    WindowRig rig;
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      w.Form().TabControl1->Tabs()->setCurrentIndex(2);
      w.Form().Button1->click();
      QTRY_VERIFY_WITH_TIMEOUT(!ReadParamsThread, kRunWaitMs);
      QCOMPARE(CellText(w, kRowCode16, kColRead), QString("0.00"));
      QCOMPARE(CellData(w, kRowCode16, kColRead, Qt::ForegroundRole).value<QColor>(),
               QColor(Qt::red));
      QVERIFY(CellData(w, kRowCode16, kColRead, Qt::ToolTipRole)
                  .toString()
                  .endsWith("вне пределов 600.00 … 1,200.00"));
      QCOMPARE(CellText(w, kRowCode16, kColWrite), QString("600.00"));
      QVERIFY(!CellData(w, kRowCode5, kColRead, Qt::ForegroundRole).isValid());
      w.Form().RxDGCommon->scrollTo(w.Model().index(kRowCode16 - 1, kColRead));
      WriteScreenshot(w, "read-column-out-of-limits");
    }));
  }

  void ABadFileIsReportedAndItsValuesNeverSent() {
    WindowRig rig;
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      const QString file = QDir::temp().filePath("qx25-technician-bad.par");
      QFile out(file);
      QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
      out.write(
          "[Parametr]\r\n12=7\r\n9=99999999\r\n10=-5\r\n16=80000\r\n31=70000\r\n"
          "34=65000\r\n15=5\r\n39=4\r\n");
      out.close();
      w.LoadFromFile(file);
      QVERIFY(
          Status(w).contains(": взято значений 5; пропущено: 12=7 (вне пределов 0 … 2), "
                             "9=99999999 (вне пределов 0 … 9,999), 10=-5"));
      QCOMPARE(w.StatusColour(), Colour::Failure);
      QCOMPARE(w.Catalog()->Items(kRowCode12 - 1).Value, 0);

      // The file left code 12 alone, so put bad values in by hand: write-all
      // refuses those rows, says why, and writes the others.
      w.Catalog()->Items(kRowCode12 - 1).Value = 7;
      w.Catalog()->Items(kRowCode45 - 1).Value = 3;
      w.Form().TabControl1->Tabs()->setCurrentIndex(2);
      rig.Sim.SetParam(1, 12, 1);
      w.Form().WriteBtn->click();
      QTRY_VERIFY_WITH_TIMEOUT(!WriteParamsThread, kRunWaitMs);
      QTRY_COMPARE(Status(w), QString("Записано 29 из 31; не записаны: 12, 45 (вне пределов)"));
      QCOMPARE(w.StatusColour(), Colour::Failure);
      QCOMPARE(rig.Sim.State(1).Params[12], 1);
      QCOMPARE(rig.Sim.State(1).Params[45], 0);
      QCOMPARE(rig.Sim.State(1).Params[16], 80000);
      QCOMPARE(CellData(w, kRowCode12, kColWrite, Qt::ForegroundRole).value<QColor>(),
               QColor(Qt::red));
      w.LoadFromFile(file);  // the report again, over a grid with a refused row
      w.Form().RxDGCommon->scrollTo(w.Model().index(kRowCode12 - 1, kColWrite));
      WriteScreenshot(w, "refused-row-after-bad-file");

      w.LoadFromFile(file + ".missing");
      QVERIFY(Status(w).startsWith("Файл не найден: "));
      QVERIFY(!QApplication::activeModalWidget() || QApplication::activeModalWidget() == &w);
      QFile::remove(file);
    }));
  }

  void EscClosesTheEditorFirstThenTheWindow() {
    WindowRig rig;
    bool closed = false;
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      const Ui::ParamFrm& c = w.Form();
      OpenEditor(w, kRowCode5);
      QVERIFY(c.WriteValueEdit->isVisible());
      QTest::keyClick(c.WriteValueEdit, Qt::Key_Escape);
      QVERIFY(w.isVisible());
      QVERIFY(!c.WriteValueEdit->isVisible());
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
      closed = !w.isVisible();
    }));
    QVERIFY(closed);
  }

  void TheConfirmationSaysWhatWillBeWritten() {
    WindowRig rig;
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      const Ui::ParamFrm& c = w.Form();
      OpenEditor(w, kRowCode16);
      c.WriteValueEdit->setValue(812.5);
      QString informative;
      OnNextModal<QMessageBox>([&](QMessageBox& Box) {
        informative = Box.informativeText();
        WriteScreenshot(Box, "write-confirmation");
        Box.button(QMessageBox::Cancel)->click();
      });
      QTest::keyClick(c.WriteValueEdit, Qt::Key_Return);
      QCOMPARE(informative, QString("Средняя (за один отпуск) плотность топлива: 812.50 кг/м3"));

      c.edIDNumber->setValue(4321);
      OpenEditor(w, 1);
      c.WriteValueEdit->setValue(7);
      OnNextModal<QMessageBox>([&](QMessageBox& Box) {
        informative = Box.informativeText();
        Box.button(QMessageBox::Cancel)->click();
      });
      QTest::keyClick(c.WriteValueEdit, Qt::Key_Return);
      QCOMPARE(informative, QString("Новый сетевой адрес: 7, ID-номер: 4321"));
    }));
  }

  void AClickThatStartsNothingSaysWhy() {
    WindowRig rig;
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      w.Form().Button1->click();
      QVERIFY(ReadParamsThread);
      w.Form().Button1->click();
      QCOMPARE(Status(w), QString("Чтение всех параметров ещё идёт"));
      w.Form().WriteBtn->click();
      w.Form().WriteBtn->click();
      QCOMPARE(Status(w).left(6), QString("Запись"));
      QTRY_VERIFY_WITH_TIMEOUT(!ReadParamsThread && !WriteParamsThread, kRunWaitMs);
    }));
  }

  void RowsHoldTheirBoxesAndEditors() {
    WindowRig rig;
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      const Ui::ParamFrm& c = w.Form();
      for (int row : {kRowCode5, kRowCode12}) {
        OpenEditor(w, row);
        QWidget* editor = row == kRowCode12 ? static_cast<QWidget*>(c.WriteValueCB)
                                            : static_cast<QWidget*>(c.WriteValueEdit);
        QVERIFY(editor->isVisible());
        QVERIFY(editor->height() >= editor->sizeHint().height());
        const QRect cell = c.RxDGCommon->CellRect(kColWrite, row, c.TabControl1);
        QVERIFY2(cell.contains(editor->geometry()), qPrintable(QString("row %1").arg(row)));
      }
      // After address programming the code cell holds the ID number.
      w.Catalog()->Items(0).Code = 123456789;
      w.Form().TabControl1->Tabs()->setCurrentIndex(1);
      w.RepaintGrid();
      WriteScreenshot(w, "address-row-id-number");
    }));
  }
};

static TRegisterTest<TechnicianTest> registered("TechnicianTest");
#include "TechnicianTest.moc"
