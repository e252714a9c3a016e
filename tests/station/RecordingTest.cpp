// The console's recording: started from the command line, stopped from the
// "Файл" menu, with a delivery and the faults of a field on the line; then
// checked against the driver by qx25ctl replay-check.
#include <QAction>
#include <QFile>
#include <QProcess>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <map>

#include "ConsoleRig.h"
#include "HostTests.h"
#include "record/RecordingFormat.h"
#include "sim/Faults.h"

using namespace consoletest;

namespace {
constexpr int kRecordWaitMs = 10000;
// A bound on waiting only: replay-check replays the recorded time-outs at
// their own pace, which a loaded machine stretches.
constexpr int kReplayCheckWaitMs = 300000;
}  // namespace

void ConsoleTest::recordingReplaysWithTheSameOutcomes() {
  QTemporaryDir dir;
  const std::string path = (dir.path() + QStringLiteral("/station.rec")).toStdString();
  auto station = Started({"--simulate", "--record", path});
  QAction* item = station->RecordItem().Action();
  QVERIFY(item->isChecked());
  QVERIFY(ShowAndStartDelivery(*station, 1, 50.0, kRecordWaitMs));
  qx25::sim::Simulator& sim = station->Simulator()->Simulator();
  for (const auto fault :
       {qx25::sim::Fault::Refuse, qx25::sim::Fault::FlipBit, qx25::sim::Fault::Silence})
    sim.InjectFault(fault);
  const auto recorder = station->Recording();
  QVERIFY(recorder != nullptr);
  const uint64_t seen = recorder->Exchanges();
  QVERIFY(WaitFor([&] { return recorder->Exchanges() > seen + 20; }, kRecordWaitMs));

  item->trigger();  // stops it
  QVERIFY(!item->isChecked());
  QCOMPARE(station->Recording(), nullptr);
  const uint64_t recorded = recorder->Exchanges();
  Spin(300);
  QCOMPARE(recorder->Exchanges(), recorded);  // nothing after the stop

  const qx25::record::Recording r = qx25::record::ReadRecordingFile(path);
  QCOMPARE(r.Header.Program.rfind("qx25-host ", 0), size_t{0});
  QCOMPARE(r.Header.Lines.size(), size_t{1});
  std::map<std::string, int> outcomes;
  for (const auto& x : r.Exchanges) ++outcomes[x.Verdict + " " + x.Outcome];
  QVERIFY(outcomes["ok refused"] >= 1);
  QVERIFY(outcomes["reply-rejected failed"] + outcomes["time-out failed"] >= 2);
  QVERIFY(outcomes["ok answered"] >= 10);

  QProcess check;
  check.start(QStringLiteral(QX25CTL_PATH),
              {QStringLiteral("replay-check"), QString::fromStdString(path)});
  QVERIFY(check.waitForFinished(kReplayCheckWaitMs));
  QVERIFY2(check.exitCode() == 0, check.readAllStandardOutput().constData());
}

// A recording whose file is removed (or whose disk fills) stops writing; the
// item must not stay checked as if it still recorded, and the operator is told.
void ConsoleTest::aRecordingThatStopsByItselfSaysWhy() {
  QTemporaryDir dir;
  const QString path = dir.path() + QStringLiteral("/station.rec");
  auto station = Started({"--simulate", "--record", path.toStdString()});
  QAction* item = station->RecordItem().Action();
  QVERIFY(item->isChecked());
  QVERIFY(QFile::remove(path));
  QVERIFY(WaitFor([&] { return !item->isChecked(); }, kRecordWaitMs));
  const QString message = station->Window().statusBar()->currentMessage();
  QVERIFY2(message.startsWith(QStringLiteral("Запись обмена прервана: ")) &&
               message.contains(QStringLiteral("was removed")),
           qPrintable(message));
  QCOMPARE(station->Recording(), nullptr);
  // Started again, it records anew.
  QVERIFY(station->RecordItem().RecordTo(path));
  QVERIFY(item->isChecked());
  QVERIFY(WaitFor([&] { return station->Recording() && station->Recording()->Exchanges() > 0; },
                  kRecordWaitMs));
}
