// "Линия" -> "Сравнить с файлом…" against the built-in simulator: a
// controller whose parameters were made to differ from a file, an equal one,
// one that refuses or does not answer, and files that are no parameter file.
#include <QCheckBox>
#include <QFile>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <set>

#include "CompareDialog.h"
#include "ConsoleRig.h"
#include "HostTests.h"
#include "params/ParameterFile.h"

using namespace consoletest;

namespace {

constexpr int kAddress = 2;  // nozzle 2 of the simulated line
constexpr int kSilentPort = 2;
constexpr int kWaitMs = 60000;  // only a broken console waits this long

// Gives the controller and a file the same value of every bulk code (each
// within its limits), so that only what a test changes afterwards differs.
QString SameAsController(qx25::sim::BuiltInSimulator& Sim, const QString& Dir) {
  CTRKParameters catalog;
  catalog.Fill();
  for (int i = kBulkFirst; i < catalog.Count(); ++i) {
    CParameter& p = catalog.Items(i);
    p.Value = std::clamp(p.Value, p.MinValue, p.MaxValue);
    Sim.Simulator().SetParam(kAddress, p.Code, p.Value);
  }
  const QString path = Dir + QStringLiteral("/ТРК.par");
  SaveParameterFile(catalog, QFile::encodeName(path).toStdString());
  return path;
}

CompareDialog* Compare(Station& S, int Port, int Nozzle, const QString& File) {
  S.Window().CompareAction()->trigger();
  auto* dialog = S.Window().findChildren<CompareDialog*>().constLast();
  dialog->SelectNozzle(Port, Nozzle);
  dialog->SetFile(File);
  dialog->StartComparing();
  return dialog;
}

bool Done(CompareDialog& D) {
  return WaitFor([&] { return !D.Running(); }, kWaitMs);
}

// Column 0 of every row: the codes listed.
std::set<int> Codes(const QTableWidget& T) {
  std::set<int> codes;
  for (int row = 0; row < T.rowCount(); ++row) codes.insert(T.item(row, 0)->text().toInt());
  return codes;
}

QString RowOf(const QTableWidget& T, int Code) {
  for (int row = 0; row < T.rowCount(); ++row)
    if (T.item(row, 0)->text().toInt() == Code) {
      QStringList cells;
      for (int column = 0; column < T.columnCount(); ++column) cells << T.item(row, column)->text();
      return cells.join(QStringLiteral(" | "));
    }
  return {};
}

}  // namespace

void CompareTest::listsExactlyTheCodesThatDiffer() {
  QTemporaryDir dir;
  auto station = Started({"--simulate"});
  const QString file = SameAsController(*station->Simulator(), dir.path());
  auto& sim = station->Simulator()->Simulator();
  sim.SetParam(kAddress, 3, 1);       // a list: its value's name
  sim.SetParam(kAddress, 16, 80000);  // scaled, with units
  sim.SetParam(kAddress, 36, 250);    // a temperature below zero
  station->Window().show();
  CompareDialog* dialog = Compare(*station, kSimulatedPort, kAddress, file);
  QVERIFY(dialog->Running());
  QVERIFY(Done(*dialog));
  QCOMPARE(Codes(dialog->Table()), (std::set<int>{3, 16, 36}));
  QVERIFY2(
      RowOf(dialog->Table(), 3).contains(QStringLiteral("| 1-Двухканальный | 0-Одноканальный |")),
      qPrintable(RowOf(dialog->Table(), 3)));
  QVERIFY2(RowOf(dialog->Table(), 36).contains(QStringLiteral("| -50 | 0 | С")),
           qPrintable(RowOf(dialog->Table(), 36)));
  QVERIFY(RowOf(dialog->Table(), 16).endsWith(QStringLiteral("кг/м3")));
  QVERIFY2(dialog->ResultText().contains(QStringLiteral("3 из 43")),
           qPrintable(dialog->ResultText()));
  dialog->resize(1100, 360);
  WriteScreenshot(*dialog, QStringLiteral("qx25-host-compare-differs"));

  // Leaving out counters and readings drops code 36, a reading, without a new read.
  dialog->findChild<QCheckBox*>(QStringLiteral("SettingsOnlyBox"))->setChecked(true);
  QCOMPARE(Codes(dialog->Table()), (std::set<int>{3, 16}));

  // The same controller set back equals the file.
  sim.SetParam(kAddress, 3, 0);
  sim.SetParam(kAddress, 16, 120000);  // the catalog value, held to the limit
  sim.SetParam(kAddress, 36, 0);
  dialog->StartComparing();
  QVERIFY(Done(*dialog));
  QCOMPARE(dialog->Table().rowCount(), 0);
  QVERIFY2(dialog->ResultText().startsWith(QStringLiteral("Совпадают с файлом ТРК.par все")),
           qPrintable(dialog->ResultText()));
}

void CompareTest::unreadCodesAreMarkedNotEqual() {
  QTemporaryDir dir;
  SilentLine silent;
  auto station = Started({"--simulate", "--port", std::to_string(kSilentPort) + "=" + silent.Path(),
                          "--timeout", "100"});
  const QString file = SameAsController(*station->Simulator(), dir.path());
  QFile read(file);
  QVERIFY(read.open(QIODevice::ReadOnly));
  const QByteArray before = read.readAll();
  auto& sim = station->Simulator()->Simulator();
  // A refusal and a silence on one code each: the rest are still compared.
  sim.SetCodeFault(5, qx25::sim::Fault::Refuse, qx25::sim::ParamAccess::Read, kAddress);
  sim.SetCodeFault(17, qx25::sim::Fault::Silence, qx25::sim::ParamAccess::Read, kAddress);
  CompareDialog* dialog = Compare(*station, kSimulatedPort, kAddress, file);
  QVERIFY(Done(*dialog));
  QCOMPARE(Codes(dialog->Table()), (std::set<int>{5, 17}));
  QVERIFY2(RowOf(dialog->Table(), 5).contains(QStringLiteral("не прочитан: отказ")),
           qPrintable(RowOf(dialog->Table(), 5)));
  QVERIFY2(dialog->ResultText().contains(QStringLiteral("Не прочитано: 2")),
           qPrintable(dialog->ResultText()));
  QVERIFY(!dialog->ResultText().contains(QStringLiteral("все параметры")));

  // A dead line: a clear line, the rest not tried, the file untouched.
  CompareDialog* dead = Compare(*station, kSilentPort, 1, file);
  QVERIFY(Done(*dead));
  QVERIFY2(dead->ResultText().contains(QStringLiteral("не ответил")),
           qPrintable(dead->ResultText()));
  QVERIFY(RowOf(dead->Table(), 45).contains(QStringLiteral("не опрошен")));
  read.seek(0);
  QCOMPARE(read.readAll(), before);
}

void CompareTest::fileThatIsNoParameterFileIsSaid() {
  QTemporaryDir dir;
  auto station = Started({"--simulate"});
  const QString other = dir.path() + QStringLiteral("/notes.ini");
  QFile text(other);
  QVERIFY(text.open(QIODevice::WriteOnly));
  text.write("[Other]\r\n16=1\r\n");
  text.close();
  const struct {
    QString Path;
    QString Said;
  } cases[] = {{dir.path() + QStringLiteral("/none.par"), QStringLiteral("Файл не найден")},
               {other, QStringLiteral("нет раздела [Parametr]")},
               {dir.path(), QStringLiteral("Файл не прочитан")},
               {QString(), QStringLiteral("Выберите файл")}};
  for (const auto& c : cases) {
    CompareDialog* dialog = Compare(*station, kSimulatedPort, kAddress, c.Path);
    QVERIFY(!dialog->Running());
    QVERIFY2(dialog->ResultText().contains(c.Said), qPrintable(dialog->ResultText()));
    QCOMPARE(dialog->Table().rowCount(), 0);
  }
}
