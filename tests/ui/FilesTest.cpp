// Parameter files, the copy buffer and the address dialog: what a save
// leaves in a file, what a load may and may not change, the dialogs, a
// failed save, and a file that travels between the window and qx25ctl.
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
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

// Fills the address dialog's fields, then presses Key (Enter, Esc), on the
// next dialog that comes up; Fresh tells whether it opened at 0 and 0.
void OnNextAddressDialog(int Dispenser, int Nozzle, Qt::Key Key, bool* Fresh) {
  OnNextModal<TAddrFrm>([=](TAddrFrm& Dialog) {
    auto* dispenser = Dialog.findChild<QSpinBox*>("NTrkEdit");
    auto* nozzle = Dialog.findChild<QSpinBox*>("NPstEdit");
    *Fresh = dispenser->value() == 0 && nozzle->value() == 0;
    dispenser->setValue(Dispenser);
    nozzle->setValue(Nozzle);
    if (Key == Qt::Key_unknown)
      Dialog.close();
    else
      QTest::keyClick(&Dialog, Key);
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
      for (auto [button, name, title, suffix] :
           {std::tuple{w.Form().SaveBtn, "SaveDialog", "Сохранение файла настроек", "par"},
            std::tuple{w.Form().LoadBtn, "OpenDialog", "Считать параметры из файла", "tar"}}) {
        bool seen = false;
        QString shownName, shownTitle, shownSuffix, shownDirectory, shownFile;
        OnNextModal<QFileDialog>([&](QFileDialog& d) {
          seen = true;
          shownName = d.objectName();
          shownTitle = d.windowTitle();
          shownSuffix = d.defaultSuffix();
          shownDirectory = QDir(d.directory()).absolutePath();
          shownFile = d.findChild<QLineEdit*>("fileNameEdit")->text();
          d.reject();
        });
        button->click();
        QVERIFY(seen);
        QCOMPARE(shownName, QString(name));
        QCOMPARE(shownTitle, QString(title));
        QCOMPARE(shownSuffix, QString(suffix));
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
          warned = Box.icon() == QMessageBox::Warning && Box.text().contains(target);
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

  void TheAddressDialogWorksOutTheAddress() {
    WindowRig rig;
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      QSpinBox* address = w.Form().AddrEdit;
      struct Case { int Dispenser, Nozzle; Qt::Key Key; int Expected; };
      for (const Case& c : {Case{3, 2, Qt::Key_Return, 4}, Case{0, 5, Qt::Key_Return, 5},
                            Case{0, 0, Qt::Key_Return, 1}, Case{60, 30, Qt::Key_Return, 64},
                            Case{2, 2, Qt::Key_Escape, 64}, Case{2, 2, Qt::Key_unknown, 64}}) {
        bool fresh = false;
        OnNextAddressDialog(c.Dispenser, c.Nozzle, c.Key, &fresh);
        w.Form().AddrBtn->click();
        QVERIFY(fresh);
        QCOMPARE(address->value(), c.Expected);
      }
      TAddrFrm dialog(&w);
      dialog.show();
      QVERIFY(QTest::qWaitForWindowExposed(&dialog));
      QCOMPARE(dialog.objectName(), QString("AddrFrm"));
      QCOMPARE(dialog.windowTitle(), QString("Адрес пистолета"));
      QCOMPARE(dialog.size(), QSize(226, 104));
      QCOMPARE(QApplication::focusWidget(), dialog.findChild<QSpinBox*>("NPstEdit"));
      WriteScreenshot(dialog, "AddrFrm");
    }));
    TParamFrm orphan;
    orphan.FormShow();  // shown without a driver
    QVERIFY(!orphan.Form().AddrBtn->isEnabled());
  }
};

static TRegisterTest<FilesTest> registered("FilesTest");

#include "FilesTest.moc"
