// The window under a Russian locale (ctest runs this class with
// LC_ALL=ru_RU.UTF-8): numbers as a Russian reader writes them, and Qt's own
// buttons and file dialogs in Russian.
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTest>

#include "TestRegistry.h"
#include "TypedEntry.h"
#include "WindowRig.h"

using namespace uitest;

class RussianTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    if (QLocale::system().language() != QLocale::Russian) QSKIP("run under LC_ALL=ru_RU.UTF-8");
  }

  void NumbersAndStandardTextsAreRussian() {
    constexpr int kRowCode16 = 21;
    WindowRig rig;
    rig.LocaleNumbers = true;
    rig.Sim.SetParam(1, 16, 123456);
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      const QString group = QLocale::system().groupSeparator();
      QVERIFY(group.size() == 1 && group[0].isSpace());
      QCOMPARE(w.LimitsText(kRowCode16), "от 600,00 до 1" + group + "200,00 кг/м3");
      QCOMPARE(w.ReadOne(kRowCode16), "1" + group + "234,56");

      // The value read lies above the limits: the editor shows it, and Enter
      // would refuse it; a value within them is typed first.
      OpenEditor(w, kRowCode16);
      QCOMPARE(w.Form().WriteValueEdit->text(), "1" + group + "234,56");
      Type(w.Form().WriteValueEdit, "1 000,5");
      QString cancel;
      OnNextModal<QMessageBox>([&](QMessageBox& Box) {
        cancel = Box.button(QMessageBox::Cancel)->text();
        WriteScreenshot(Box, "write-confirmation-ru");
        Box.button(QMessageBox::Cancel)->click();
      });
      QTest::keyClick(w.Form().WriteValueEdit, Qt::Key_Return);
      QCOMPARE(cancel, QString("Отмена"));

      QString filter, dialogCancel;
      OnNextModal<QFileDialog>([&](QFileDialog& Dialog) {
        filter = Dialog.findChild<QComboBox*>("fileTypeCombo")->currentText();
        const auto* buttons = Dialog.findChild<QDialogButtonBox*>();
        dialogCancel = buttons->button(QDialogButtonBox::Cancel)->text();
        Dialog.reject();
      });
      w.LoadBtnClick();
      QCOMPARE(filter, QString("Все файлы (*)"));
      QCOMPARE(dialogCancel, QString("Отмена"));
    }));
  }

  // Typed key by key: either decimal separator, the locale's groups, and the
  // refusals in the locale's numbers.
  void TypedNumbersAreReadAsARussianWritesThem() {
    constexpr int kRowCode5 = 10, kRowCode10 = 15, kRowCode15 = 20, kRowCode16 = 21,
                  kRowCode31 = 36, kRowCode36 = 41;
    WindowRig rig;
    rig.LocaleNumbers = true;
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      const TTyped cases[] = {
          {kRowCode5, "4.7", 47, ""},
          {kRowCode5, "4,7", 47, ""},
          {kRowCode16, "950.5", 95050, ""},
          {kRowCode16, "1 100,5", 110050, ""},
          {kRowCode15, "2", -1, "вне пределов 3 … 15"},
          {kRowCode10, "1,234", -1, "нужно целое число"},
          {kRowCode36, "-15", 215, ""},
          {kRowCode31, "1500", -1, "вне пределов 600,00 … 1\u00A0200,00"},
      };
      for (const TTyped& c : cases) {
        TypeAndEnter(rig, w, c);
        if (QTest::currentTestFailed()) return;
      }
      WriteScreenshot(w, "refused-edit-ru");
    }));
  }
};

static TRegisterTest<RussianTest> registered("RussianTest");
#include "RussianTest.moc"
