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

      OpenEditor(w, kRowCode16);
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
};

static TRegisterTest<RussianTest> registered("RussianTest");
#include "RussianTest.moc"
