// Parameter files, the copy buffer and the address dialog: what a save
// leaves in a file, what a load may and may not change, the dialogs, a
// failed save, and a file that travels between the window and qx25ctl.
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

#include "TestRegistry.h"
#include "WindowRig.h"
#include "tests/tools/Spawn.h"
#include "ui/AddrForm.h"
#include "ui/ui_AddrForm.h"

using namespace uitest;

namespace {

QString Read(const QString& Path) {
  QFile file(Path);
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

void Write(const QString& Path, const QString& Text) {
  QFile file(Path);
  QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(Text.toUtf8());
}

std::vector<int64_t> Values(const TParamFrm& W) {
  std::vector<int64_t> values;
  for (int i = 0; i < W.Catalog()->Count(); ++i) values.push_back(W.Catalog()->Items(i).Value);
  return values;
}

// What the address dialog showed: whether it opened at 0 and 0, and, when it
// refused the numbers, the reason and the texts it kept.
struct TAddrSeen {
  bool Fresh = false;
  QString Reason, Nozzle, Dispenser;
};

void TypeInto(QSpinBox* Box, const QString& Text) {
  Box->selectAll();
  QTest::keyClick(Box, Qt::Key_Delete);
  QTest::keyClicks(Box, Text);
}

// Types the numbers into the next address dialog, then presses Key (Enter,
// Esc; Key_unknown: the close box). A dialog that stays open refused them:
// it is then given Retry's nozzle and dispenser, or cancelled without them.
void OnNextAddressDialog(const QString& Dispenser, const QString& Nozzle, Qt::Key Key,
                         TAddrSeen* Seen, std::optional<std::pair<QString, QString>> Retry = {}) {
  OnNextModal<TAddrFrm>([=](TAddrFrm& Dialog) {
    auto* dispenser = Dialog.findChild<QSpinBox*>("NTrkEdit");
    auto* nozzle = Dialog.findChild<QSpinBox*>("NPstEdit");
    auto* reason = Dialog.findChild<QLabel*>("AddrReason");
    Seen->Fresh = dispenser->text() == "0" && nozzle->text() == "0" && reason->text().isEmpty();
    TypeInto(dispenser, Dispenser);
    TypeInto(nozzle, Nozzle);
    if (Key == Qt::Key_unknown)
      Dialog.close();
    else
      QTest::keyClick(&Dialog, Key);
    // Enter clicks the default button a moment later.
    (void)QTest::qWaitFor([&] { return !Dialog.isVisible() || !reason->text().isEmpty(); }, 2000);
    if (!Dialog.isVisible()) return;
    Seen->Reason = reason->text();
    Seen->Nozzle = nozzle->text();
    Seen->Dispenser = dispenser->text();
    if (!Retry) return Dialog.reject();
    TypeInto(dispenser, Retry->second);
    TypeInto(nozzle, Retry->first);
    Dialog.findChild<QPushButton*>("BitBtn1")->click();
  });
}

}  // namespace

class FilesTest : public QObject {
  Q_OBJECT

 private slots:
  void SavingTwiceKeepsOneSectionAndTheOtherSections() {
    WindowRig rig;
    QTemporaryDir dir;
    const QString path = dir.filePath("station.par");
    Write(path, "[Station]\r\nName=Север\r\n[Parametr]\r\n99=5\r\n");
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      w.SaveToFile(path);
      w.Catalog()->Items(20).Value = 80000;
      w.SaveToFile(path);
    }));
    const QString text = Read(path);
    QCOMPARE(text.count("[Parametr]"), 1);
    QVERIFY(text.contains("[Station]\r\nName=Север\r\n"));
    QVERIFY(!text.contains("99="));
    QVERIFY(text.contains("\r\n16=80000\r\n"));
    const qsizetype start = text.indexOf("[Parametr]");
    const QString section = text.mid(start, text.indexOf("\r\n[", start) - start);
    QCOMPARE(section.count('='), 43);
    // Where the values came from: the window's port and address, once.
    QCOMPARE(text.count("[Info]"), 1);
    QVERIFY(text.contains("\r\nPort=") && text.contains("\r\nAddress="));
  }

  void ALoadChangesOnlyWhatTheFileHolds() {
    WindowRig rig;
    QTemporaryDir dir;
    const QString path = dir.filePath("hand.par");
    // Codes 0 and 1 name common commands and the limit card too: a file
    // reaches only the bulk range.
    Write(path, "[Parametr]\r\n16=80000\r\n5=abc\r\n0=7\r\n1=9\r\n2=2\r\n");
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      std::vector<int64_t> expected = Values(w);
      expected[20] = 80000;  // code 16
      expected[7] = 2;       // code 2 of the bulk range, not the common command
      w.LoadFromFile(path);
      QVERIFY(Values(w) == expected);
      w.LoadFromFile(dir.filePath("missing.par"));
      QVERIFY(Values(w) == expected);
    }));
  }

  void CopyAndPasteGoThroughTheBuffer() {
    WindowRig rig;
    QFile::remove(BufferFileName());
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      const std::vector<int64_t> initial = Values(w);
      w.PasteToolClick();  // no buffer yet: nothing changes
      QVERIFY(Values(w) == initial);
      w.Catalog()->Items(9).Value = 123;
      w.Form().CopyTool->trigger();
      QVERIFY(QFile::exists(BufferFileName()));
      w.Catalog()->Items(9).Value = 0;
      w.Form().PasteTool->trigger();
      QCOMPARE(w.Catalog()->Items(9).Value, 123);
    }));
    QVERIFY(BufferFileName().endsWith("/ZARO/Settings/Vedo.buf"));
  }

  void TheDialogsStartInTheSettingsDirectory() {
    WindowRig rig;
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      for (auto [button, name, title] :
           {std::tuple{w.Form().SaveBtn, "SaveDialog", "Сохранение файла настроек"},
            std::tuple{w.Form().LoadBtn, "OpenDialog", "Считать параметры из файла"}}) {
        bool seen = false;
        QString shownName, shownTitle, shownDirectory, shownFile;
        OnNextModal<QFileDialog>([&](QFileDialog& d) {
          seen = true;
          shownName = d.objectName();
          shownTitle = d.windowTitle();
          shownDirectory = QDir(d.directory()).absolutePath();
          shownFile = d.findChild<QLineEdit*>("fileNameEdit")->text();
          d.reject();
        });
        button->click();
        QVERIFY(seen);
        QCOMPARE(shownName, QString(name));
        QCOMPARE(shownTitle, QString(title));
        QCOMPARE(shownDirectory, QDir(SettingsDirectory()).absolutePath());
        QCOMPARE(shownFile, QString("ТРК"));
      }
      // A name without an extension is saved with "par".
      QFile::remove(SettingsDirectory() + "/station.par");
      OnNextModal<QFileDialog>([](QFileDialog& d) {
        d.findChild<QLineEdit*>("fileNameEdit")->setText("station");
        QMetaObject::invokeMethod(&d, "accept");
      });
      w.Form().SaveBtn->click();
      QVERIFY(QFile::exists(SettingsDirectory() + "/station.par"));
      QCOMPARE(Status(w), "Сохранено: " + SettingsDirectory() + "/station.par");
      // A device keeps its name, and the box says in Russian why it takes no file.
      QString warning;
      OnNextModal<QFileDialog>([&](QFileDialog& d) {
        OnNextModal<QMessageBox>([&](QMessageBox& Box) {
          warning = Box.text();
          Box.accept();
        });
        d.findChild<QLineEdit*>("fileNameEdit")->setText("/dev/full");
        QMetaObject::invokeMethod(&d, "accept");
      });
      w.Form().SaveBtn->click();
      QVERIFY(!QFile::exists("/dev/full.par"));
      QCOMPARE(warning, QString("Не удалось сохранить параметры в файл /dev/full:\n"
                                "это не обычный файл, а устройство или канал"));
    }));
  }

  void AFailedSaveWarnsAndLeavesTheOldFileWhole() {
    WindowRig rig;
    QTemporaryDir dir;
    const QString blocker = dir.filePath("not-a-directory");
    Write(blocker, "x");
    const QString old = dir.filePath("locked/station.par");
    QDir().mkpath(dir.filePath("locked"));
    Write(old, "[Parametr]\r\n16=80000\r\n");
    const bool canLock = geteuid() != 0;  // root writes into a read-only directory
    if (canLock) QFile::setPermissions(dir.filePath("locked"), QFile::ReadOwner | QFile::ExeOwner);
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      for (const QString& target : {blocker + "/station.par", old}) {
        if (target == old && !canLock) continue;
        bool warned = false;
        OnNextModal<QMessageBox>([&](QMessageBox& Box) {
          warned = Box.icon() == QMessageBox::Warning && Box.text().contains(target) &&
                   !Box.text().contains("Cannot");
          Box.accept();
        });
        w.SaveToFile(target);
        QVERIFY2(warned, qPrintable(target));
      }
    }));
    if (canLock) QFile::setPermissions(dir.filePath("locked"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(Read(old), QString("[Parametr]\r\n16=80000\r\n"));
  }

  void AFileTravelsBetweenTheWindowAndTheTool() {
    WindowRig rig;
    QTemporaryDir dir;
    const QString saved = dir.filePath("window.par"), readBack = dir.filePath("tool.par");
    std::vector<int64_t> sent;
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      // Values within every limit, so the tool sends them all; the ones
      // write-all leaves out are what the controller already holds.
      for (int i = kBulkFirst; i < w.Catalog()->Count(); ++i) {
        CParameter& p = w.Catalog()->Items(i);
        const int64_t span = p.MaxValue - p.MinValue + 1;
        p.Value = p.SkipOnWriteAll ? rig.Sim.State(1).Params[p.Code] : p.MinValue + (p.Code * 7) % span;
      }
      sent = Values(w);
      w.SaveToFile(saved);
    }));
    // The tool takes the simulated line over from the window's driver.
    rig.Lines.Close(kPort);
    const std::string device = rig.Wire->DevicePath();
    const RunResult write = Ctl({"--device", device, "write-all", saved.toStdString()});
    QVERIFY2(write.Status == 0, write.Err.c_str());
    const RunResult read = Ctl({"--device", device, "read-all", "--save", readBack.toStdString()});
    QVERIFY2(read.Status == 0, read.Err.c_str());
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      w.LoadFromFile(readBack);
      const std::vector<int64_t> loaded = Values(w);
      for (int i = kBulkFirst; i < w.Catalog()->Count(); ++i)
        QCOMPARE(loaded[i], sent[i]);
    }));
  }

  // The numbers are read as typed: numbers that give no address the window
  // can use keep the dialog open, as typed, with the reason, and change nothing.
  void TheAddressDialogWorksOutTheAddressOrSaysWhyNot() {
    WindowRig rig;
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      QSpinBox* address = w.Form().AddrEdit;
      struct Case {
        const char *Dispenser, *Nozzle;
        Qt::Key Key;
        const char* Reason;  // empty: accepted or cancelled
        int Expected;
      };
      for (const Case& c : {
               Case{"3", "2", Qt::Key_Return, "", 4},
               {"0", "5", Qt::Key_Return, "", 5},
               {"0", "0", Qt::Key_Return, "№ пистолета: вне пределов 1 … 32", 5},
               {"1", "33", Qt::Key_Return, "№ пистолета: вне пределов 1 … 32", 5},
               {"65", "1", Qt::Key_Return, "№ ТРК: вне пределов 0 … 64", 5},
               {"2", "x", Qt::Key_Return, "№ пистолета: не число", 5},
               {"60", "30", Qt::Key_Return, "адрес 89 вне пределов 1 … 64", 5},
               {"34", "32", Qt::Key_Return, "адрес 65 вне пределов 1 … 64", 5},
               {"33", "32", Qt::Key_Return, "", 64},
               {"2", "2", Qt::Key_Escape, "", 64},
               {"2", "2", Qt::Key_unknown, "", 64},
           }) {
        TAddrSeen seen;
        OnNextAddressDialog(c.Dispenser, c.Nozzle, c.Key, &seen);
        w.Form().AddrBtn->click();
        QVERIFY(seen.Fresh);
        QCOMPARE(seen.Reason, QString::fromUtf8(c.Reason));
        if (!seen.Reason.isEmpty()) {
          QCOMPARE(seen.Nozzle, QString(c.Nozzle));
          QCOMPARE(seen.Dispenser, QString(c.Dispenser));
        }
        QCOMPARE(address->value(), c.Expected);
      }
      // Corrected in the same dialog, the numbers give their address.
      TAddrSeen seen;
      OnNextAddressDialog("40", "30", Qt::Key_Return, &seen, std::pair<QString, QString>{"2", "3"});
      w.Form().AddrBtn->click();
      QCOMPARE(seen.Reason, QString("адрес 69 вне пределов 1 … 64"));
      QCOMPARE(address->value(), 4);
      TAddrFrm dialog(rig.Driver.get(), &w);
      dialog.show();
      QVERIFY(QTest::qWaitForWindowExposed(&dialog));
      QCOMPARE(dialog.objectName(), QString("AddrFrm"));
      QCOMPARE(dialog.windowTitle(), QString("Адрес пистолета"));
      QCOMPARE(dialog.size(), QSize(226, 104));
      QCOMPARE(QApplication::focusWidget(), dialog.findChild<QSpinBox*>("NPstEdit"));
      WriteScreenshot(dialog, "AddrFrm");
      // The reason fits beside the fields; the dialog keeps its size.
      TypeInto(dialog.findChild<QSpinBox*>("NTrkEdit"), "-1");
      TypeInto(dialog.findChild<QSpinBox*>("NPstEdit"), "1");
      dialog.findChild<QPushButton*>("BitBtn1")->click();
      QVERIFY(dialog.isVisible());
      const QLabel* reason = dialog.findChild<QLabel*>("AddrReason");
      QCOMPARE(reason->text(), QString("№ ТРК: отрицательное значение недопустимо"));
      QVERIFY(QFontMetrics(reason->font()).horizontalAdvance(reason->text()) <= reason->width());
      QCOMPARE(dialog.size(), QSize(226, 104));
      WriteScreenshot(dialog, "AddrFrm-refused");
    }));
    TParamFrm orphan;
    orphan.FormShow();  // shown without a driver
    QVERIFY(!orphan.Form().AddrBtn->isEnabled());
  }
};

static TRegisterTest<FilesTest> registered("FilesTest");

#include "FilesTest.moc"
