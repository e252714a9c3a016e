// What the window leaves the technician after a run, a file or a key: the
// end-of-run summary and the rows a write left out, a busy text that goes
// with its run, a host's quit that stops a write-all after the write in
// flight, files that say what they did and why they failed, and the keyboard.
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QStatusBar>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

#include "TestRegistry.h"
#include "WindowRig.h"
#include "station/ServiceWriteRun.h"
#include "ui/Workers.h"

using namespace uitest;
using qx25::sim::Fault;
using qx25::sim::ParamAccess;

namespace {

constexpr int kRunWaitMs = 30000;  // only a broken line takes this long
constexpr int kRowCode20 = 25, kRowCode5 = 10;

bool StatusIsRed(const TParamFrm& Window) {
  return Window.StatusColour() == TParamFrm::TStatusColour::Failure;
}

// Silent rows late in the range keep a run going long enough to act on it.
void SlowWritesFrom(qx25::sim::Simulator& Sim, int FirstCode) {
  for (int code = FirstCode; code <= 45; ++code)
    Sim.SetCodeFault(code, Fault::Silence, ParamAccess::Write);
}

// The console's main window as far as its quit goes.
class QuittingHost : public QMainWindow {
 protected:
  void closeEvent(QCloseEvent* Event) override {
    if (qx25::station::QuitWaitsForServiceWrite(*this)) Event->ignore();
  }
};

}  // namespace

class RunsTest : public QObject {
  Q_OBJECT

 private slots:
  void RunsEndOnWhatTheyLeftOut() {
    WindowRig rig;
    rig.Sim.SetCodeFault(20, Fault::Refuse, ParamAccess::Write);
    rig.Sim.SetCodeFault(5, Fault::Silence, ParamAccess::Read);
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      w.Form().TabControl1->Tabs()->setCurrentIndex(2);
      w.Form().WriteBtn->click();
      QTRY_VERIFY_WITH_TIMEOUT(!WriteParamsThread, kRunWaitMs);
      QCOMPARE(Status(w), QString("Записано 26 из 31; не записаны: 16, 31, 34, 39 (вне пределов), "
                                  "20 (ошибка записи)"));
      QVERIFY(StatusIsRed(w));
      // The row the controller refused stays marked, and its hint says why.
      const QModelIndex code20 = w.Model().index(kRowCode20 - 1, TParamModel::ColWrite);
      QVERIFY(code20.data(Qt::ForegroundRole).isValid());
      QVERIFY(code20.data(Qt::ToolTipRole).toString().contains("ошибка записи"));
      w.Form().RxDGCommon->scrollTo(code20, QAbstractItemView::PositionAtCenter);
      WriteScreenshot(w, "write-all-summary");

      // The summary stays red past the two seconds an ordinary failure shows.
      QTest::qWait(2200);
      QVERIFY(StatusIsRed(w));

      w.Form().Button1->click();
      QTRY_VERIFY_WITH_TIMEOUT(!ReadParamsThread, kRunWaitMs);
      QCOMPARE(Status(w), QString("Прочитано 42 из 43; не прочитаны: 5 (ошибка чтения)"));
      // The read column shortens what it cannot hold; the hint has it whole.
      const QModelIndex code5 = w.Model().index(kRowCode5 - 1, TParamModel::ColRead);
      QVERIFY(code5.data(Qt::ToolTipRole).toString().startsWith("Ошибка чтения!\n"));
    }));
  }

  void ABusyTextGoesWithItsRun() {
    WindowRig rig;
    SlowWritesFrom(rig.Sim, 40);
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      w.Form().WriteBtn->click();
      w.Form().WriteBtn->click();
      QCOMPARE(Status(w), QString("Запись всех параметров ещё идёт"));
      QTRY_VERIFY_WITH_TIMEOUT(!WriteParamsThread, kRunWaitMs);
      QVERIFY(Status(w).startsWith("Записано "));
    }));
    // Closed while its run goes on, then opened again and asked for another.
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      w.Form().WriteBtn->click();
      QVERIFY(WriteParamsThread);
    }));
    QVERIFY(WriteParamsThread);
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      w.Form().WriteBtn->click();
      QCOMPARE(Status(w), QString("Запись всех параметров ещё идёт"));
      QTRY_VERIFY_WITH_TIMEOUT(!WriteParamsThread, kRunWaitMs);
      QTRY_VERIFY(Status(w).startsWith("Записано "));
    }));
  }

  // The console's quit: asked while a write-all goes on, in a window closed
  // meanwhile; stopped after the write in flight, with how far it got.
  void AQuitDuringWriteAllAsksAndStopsTheRun() {
    WindowRig rig;
    SlowWritesFrom(rig.Sim, 30);
    QuittingHost host;
    host.setWindowTitle("qx25-host");
    host.statusBar();
    host.show();
    QVERIFY(!qx25::station::QuitWaitsForServiceWrite(host));
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      QVERIFY(w.WriteRunProgress().isEmpty());
      w.Form().WriteBtn->click();
      QTRY_VERIFY(w.WriteRunProgress().startsWith("записано "));
    }));
    QVERIFY(WriteParamsThread);
    QVERIFY(!host.close());
    auto* question = host.findChild<QMessageBox*>("WriteRunQuitBox");
    QVERIFY(question);
    QCOMPARE(question->text(), QString("Идёт запись параметров в ТРК: прервать?"));
    WriteScreenshot(*question, "quit-during-write-all");
    QVERIFY(!host.close());  // asked once
    const uint64_t before = rig.Sim.ExchangeCount();
    for (QAbstractButton* button : question->buttons())
      if (button->text() == "Прервать и выйти") button->click();
    QVERIFY(!WriteParamsThread);
    QVERIFY(!host.isVisible());
    QVERIFY(host.statusBar()->currentMessage().startsWith("Запись параметров прервана: записано "));
    QVERIFY(host.statusBar()->currentMessage().endsWith(" из 31"));
    QTest::qWait(400);
    QVERIFY(rig.Sim.ExchangeCount() <= before + 1);  // the write in flight, nothing after
  }

  void FilesSayWhatTheyDidAndWhyTheyFailed() {
    WindowRig rig;
    QFile::remove(BufferFileName());
    QTemporaryDir dir;
    QFile binary(dir.filePath("binary.par"));
    QVERIFY(binary.open(QIODevice::WriteOnly));
    binary.write(QByteArray("[Parametr]\r\n16=80000\r\n\0\x01", 24));
    binary.close();
    // A name a Windows station wrote in its code page: "ТРК" in Windows-1251.
    QDir().mkpath(SettingsDirectory());
    const QByteArray cp1251 = QFile::encodeName(SettingsDirectory()) + "/\xd2\xd0\xca.par";
    {
      FILE* raw = std::fopen(cp1251.constData(), "wb");
      QVERIFY(raw);
      std::fputs("[Parametr]\r\n16=90000\r\n", raw);
      std::fclose(raw);
    }
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      w.Form().PasteTool->trigger();
      QCOMPARE(Status(w), QString("Буфер пуст: параметры ещё не копировались"));
      w.Form().CopyTool->trigger();
      QCOMPARE(Status(w), QString("Параметры скопированы в буфер"));
      // Alt+В is "Вставить"'s accelerator.
      const auto ve = Qt::Key(QChar(u'В').unicode());
      QTest::sendKeyEvent(QTest::Press, &w, ve, QString("в"), Qt::AltModifier);
      QTest::sendKeyEvent(QTest::Release, &w, ve, QString("в"), Qt::AltModifier);
      QVERIFY(Status(w).startsWith("Параметры вставлены из буфера: взято значений 39"));

      w.LoadFromFile(dir.filePath("binary.par"));
      QCOMPARE(Status(w),
               "Файл не прочитан: " + dir.filePath("binary.par") + ": это не текстовый файл");
      QVERIFY(StatusIsRed(w));
      w.LoadFromFile(dir.path());
      QCOMPARE(Status(w), "Файл не прочитан: " + dir.path() + ": это папка");
      WriteScreenshot(w, "refused-load");
      QCOMPARE(w.Catalog()->Items(20).Value, 750000);  // code 16 as it was

      // Qt cannot list a name that is no UTF-8; typed as the Windows station
      // shows it, it loads.
      OnNextModal<QFileDialog>([&](QFileDialog& d) {
        d.findChild<QLineEdit*>("fileNameEdit")->setText("ТРК.par");
        QMetaObject::invokeMethod(&d, "accept");
      });
      w.Form().LoadBtn->click();
      QCOMPARE(Status(w), QString("ТРК.par: взято значений 1"));
      QCOMPARE(w.Catalog()->Items(20).Value, 90000);
    }));
    std::remove(cp1251.constData());  // a name QTemporaryDir cannot spell either
  }

  // Tab and Shift+Tab go round every control, the tool buttons, the tabs and
  // the grid included, once each: the grid's cells are the arrows' to move in.
  void TheKeyboardReachesEveryControl() {
    WindowRig rig;
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      Ui::ParamFrm& c = w.Form();
      const QList<QWidget*> wanted = {c.ComPortEdit,
                                      c.AddrEdit,
                                      c.Button1,
                                      c.SaveBtn,
                                      c.LoadBtn,
                                      c.WriteBtn,
                                      c.ToolBar1->widgetForAction(c.CopyTool),
                                      c.ToolBar1->widgetForAction(c.PasteTool),
                                      c.BitBtn1,
                                      c.TabControl1->Tabs(),
                                      c.RxDGCommon};
      for (Qt::KeyboardModifier direction : {Qt::NoModifier, Qt::ShiftModifier}) {
        c.ComPortEdit->setFocus();
        QList<QWidget*> reached;
        for (int press = 0; press <= wanted.size() + 1; ++press) {
          QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, direction);
          // A spin box's focus lies in its line edit.
          for (QWidget* at = QApplication::focusWidget(); at; at = at->parentWidget())
            if (wanted.contains(at)) reached << at;
        }
        for (QWidget* control : wanted)
          QVERIFY2(reached.contains(control), qPrintable(control->objectName()));
      }
    }));
  }
};

static TRegisterTest<RunsTest> registered("RunsTest");

#include "RunsTest.moc"
