// The forecourt overview and the line charts: a tile's word, colour and marks
// fed by hand; thirty simulated lines on one screen, chosen by mouse and
// keyboard, with a delivery on every line and one line dead (geometry,
// screenshots, the window's load); the charts against the statistics model.
#include <QScrollBar>
#include <QSet>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <algorithm>
#include <numeric>

#include "ConsoleRig.h"
#include "ConsoleWords.h"
#include "DeliveryChart.h"
#include "ForecourtOverview.h"
#include "HostTests.h"
#include "LineCharts.h"
#include "NozzleTile.h"
#include "OverviewPane.h"
#include "StatisticsPage.h"
#include "driver/protocol/Link.h"
#include "driver/HostContract.h"

using namespace consoletest;
using qx25::kCodeAuthorised;
using qx25::kCodeDelivering;
using qx25::kCodeFinished;
using qx25::kCodeIdle;
using qx25::kCodeNoState;
using qx25::kLineOk;
using qx25::serial::PortStatistics;

namespace {

constexpr int kLines = 30;
constexpr int kNozzles = 4;
constexpr int kDeadLine = 12;
constexpr int kWaitMs = 8000;
constexpr double kLongDose = 900;  // litres: flows through the whole measurement
constexpr int kMeasureMs = 8000;
const QSize kConsoleSize{1400, 900};

NozzleReading Polled(uint16_t State, std::optional<Amounts> Current = {},
                     std::optional<Amounts> Final = {}) {
  NozzleReading r;
  r.Nozzle = {3, 2, 1, 0};
  r.Poll.State = State;
  r.PortStatus = kLineOk;
  r.Current = Current;
  r.Final = Final;
  return r;
}

NozzleReading LineDead() {
  NozzleReading r = Polled(0);
  r.PortStatus = qx25::serial::kLineTimeout;
  r.Error = QStringLiteral("Can't GetSost");
  return r;
}

CommandOutcome Refused() { return {{CommandKind::PresetVolume, 3, 2, 1, 10, {}}, 18, {}, false}; }

// The tile's background, away from its words and its mark.
QColor Background(NozzleTile& Tile) {
  return Tile.grab().toImage().pixelColor(Tile.width() - 4, 6);
}

// Where a widget stands in Ancestor's coordinates.
QRect Within(const QWidget& W, const QWidget& Ancestor) {
  return QRect(W.mapTo(&Ancestor, QPoint(0, 0)), W.size());
}

}  // namespace

void OverviewTest::tileFollowsItsNozzle() {
  NozzleTile tile({3, 2, 1, 0});
  tile.resize(tile.sizeHint());
  const struct {
    NozzleReading Reading;
    QString Word;
    TileTone Tone;
    QString Amounts;
  } steps[] = {
      {Polled(kCodeIdle), "свободна", TileTone::Idle, ""},
      {Polled(kCodeAuthorised), "налив разрешён", TileTone::Waiting, ""},
      {Polled(kCodeDelivering + 1, Amounts{12, 600}), "идёт налив", TileTone::Flowing,
       "12 л · 600.00"},
      {Polled(kCodeFinished + 1, Amounts{20, 1000}), "остановлен", TileTone::Halted,
       "20 л · 1000.00"},
      // The result read at the end counts, not the last running figure.
      {Polled(kCodeFinished, {}, Amounts{21, 1050}), "налив окончен", TileTone::Finished,
       "21 л · 1050.00"},
      {LineDead(), "сбой линии", TileTone::LineDown, ""},
      // A poll that read no state leaves the last one standing.
      {Polled(kCodeNoState), "налив окончен", TileTone::Finished, "21 л · 1050.00"},
      // Hung up: the result stays until the operator has seen it.
      {Polled(kCodeIdle), "налив окончен", TileTone::Finished, "21 л · 1050.00"},
  };
  for (const auto& step : steps) {
    tile.ShowReading(step.Reading);
    QCOMPARE(tile.State().Word(), step.Word);
    QCOMPARE(tile.State().Amounts(), step.Amounts);
    QCOMPARE(tile.State().Tone(), step.Tone);
    QCOMPARE(Background(tile), NozzleTile::ToneColour(step.Tone));
  }
  // Every tone its own colour: a glance tells them apart.
  QSet<QRgb> colours;
  for (TileTone t : {TileTone::Unknown, TileTone::Idle, TileTone::Waiting, TileTone::Flowing,
                     TileTone::Halted, TileTone::Finished, TileTone::LineDown})
    colours.insert(NozzleTile::ToneColour(t).rgb());
  QCOMPARE(colours.size(), 7);
}

void OverviewTest::marksStayUntilSeen() {
  NozzleTile tile({3, 2, 1, 0});
  tile.resize(tile.sizeHint());
  tile.ShowReading(Polled(kCodeIdle));
  const QImage plain = tile.grab().toImage();

  // A refusal is marked, and good polls after it do not take the mark away.
  tile.ShowOutcome(Refused());
  tile.ShowReading(Polled(kCodeIdle));
  QVERIFY(tile.State().RefusalMarked());
  QVERIFY(tile.grab().toImage() != plain);
  tile.SetChosen(true);
  QVERIFY(!tile.State().RefusalMarked());
  // While chosen its panel is beside it: nothing new is marked.
  tile.ShowOutcome(Refused());
  tile.ShowReading(LineDead());
  QVERIFY(!tile.State().RefusalMarked() && !tile.State().FailureMarked());
  tile.SetChosen(false);
  tile.ShowReading(Polled(kCodeIdle));

  // A line that goes down is marked once; seen, it stays unmarked while down,
  // and is marked again when it fails anew after coming back.
  tile.ShowReading(LineDead());
  QVERIFY(tile.State().FailureMarked());
  tile.ShowReading(Polled(kCodeIdle));
  QVERIFY(tile.State().FailureMarked());
  tile.ShowReading(LineDead());
  tile.SetChosen(true);
  tile.SetChosen(false);
  tile.ShowReading(LineDead());
  QVERIFY(!tile.State().FailureMarked());
  tile.ShowReading(Polled(kCodeIdle));
  QCOMPARE(tile.grab().toImage(), plain);
  tile.ShowReading(LineDead());
  QVERIFY(tile.State().FailureMarked());
  // A command whose exchange failed is a line failure too.
  tile.SetChosen(true);
  tile.SetChosen(false);
  tile.ShowOutcome({{CommandKind::Stop, 3, 2, 1, 0, {}}, 3, QStringLiteral("Can't STOP POMP")});
  QVERIFY(tile.State().FailureMarked() && !tile.State().RefusalMarked());
}

void OverviewTest::deliveryCurveInItsPanel() {
  NozzlePanel panel({3, 2, 1, 0});
  auto* curve = panel.findChild<DeliveryChart*>(QStringLiteral("DeliveryChart"));
  QVERIFY(curve != nullptr);
  const auto litres = [&] {
    QList<double> y;
    for (const QPointF& p : curve->Points()) y << p.y();
    return y;
  };
  panel.ShowReading(Polled(kCodeAuthorised, Amounts{0, 0}));
  panel.ShowReading(Polled(kCodeDelivering + 1, Amounts{5, 250}));
  // The result read at the end closes the curve where the delivery ended.
  panel.ShowReading(Polled(kCodeFinished, {}, Amounts{10, 500}));
  QCOMPARE(litres(), (QList<double>{0, 5, 10}));
  // Idle polls leave the last curve; the next delivery starts a new one.
  panel.ShowReading(Polled(kCodeIdle));
  QCOMPARE(litres().size(), 3);
  panel.ShowReading(Polled(kCodeDelivering + 1, Amounts{2, 100}));
  QCOMPARE(litres(), (QList<double>{2}));

  // A long delivery keeps its shape in bounded memory: the start, the end
  // and the rise between.
  DeliveryChart alone;
  constexpr int kPolls = 20000;
  for (int i = 0; i <= kPolls; ++i) alone.Add(i * 0.2, i);
  QVERIFY(alone.Points().size() < 1100);
  QCOMPARE(alone.Points().front().y(), 0.0);
  QCOMPARE(alone.Points().back().y(), double{kPolls});
  QVERIFY(std::is_sorted(alone.Points().begin(), alone.Points().end(),
                         [](const QPointF& A, const QPointF& B) { return A.y() < B.y(); }));
}

void OverviewTest::thirtyLinesAtAGlance() {
  auto station = Started({"--station", std::to_string(kLines), "--timeout", "200"});
  HostWindow& window = station->Window();
  window.resize(kConsoleSize);
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  QVERIFY(window.Overview() != nullptr);
  OverviewPane& pane = *window.Overview();
  ForecourtOverview& overview = pane.Overview();
  QCOMPARE(overview.Tiles().size(), size_t{kLines * kNozzles});

  // Marks on many tiles go at once, as the operator says he has seen them.
  for (NozzleTile* tile : {overview.Tiles()[5], overview.Tiles()[40]}) {
    tile->ShowOutcome(Refused());
    QVERIFY(tile->State().RefusalMarked());
  }
  window.ClearMarksAction()->trigger();
  for (const NozzleTile* tile : overview.Tiles()) QVERIFY(!tile->State().RefusalMarked());

  // Every tile on the screen at once, whole, none over another, and the
  // chosen panel beside them.
  QCOMPARE(overview.verticalScrollBar()->maximum(), 0);
  std::vector<QRect> placed;
  for (NozzleTile* tile : overview.Tiles()) {
    const QRect at = Within(*tile, *overview.viewport());
    QVERIFY2(tile->isVisible() && overview.viewport()->rect().contains(at),
             qPrintable(tile->objectName()));
    QVERIFY(tile->width() >= tile->sizeHint().width());
    for (const QRect& other : placed)
      QVERIFY2(!at.intersects(other), qPrintable(tile->objectName()));
    placed.push_back(at);
  }
  QVERIFY(pane.ShownPanel()->isVisible());
  QVERIFY(!Within(*pane.ShownPanel(), window).intersects(Within(overview, window)));
  for (NozzleTile* tile : overview.Tiles())
    QVERIFY2(WaitFor([&] { return tile->State().Tone() == TileTone::Idle; }, kWaitMs),
             qPrintable(tile->objectName() + ": " + tile->State().Word()));

  // Chosen by the mouse, then by the arrows and Enter: the panel follows.
  QTest::mouseClick(overview.Tile(5, 3), Qt::LeftButton);
  QCOMPARE(pane.ShownPanel(), window.Panel(5, 3));
  QTest::keyClick(&overview, Qt::Key_Right);
  QTest::keyClick(&overview, Qt::Key_Down);
  QCOMPARE(pane.ShownPanel(), window.Panel(5, 3));
  QTest::keyClick(&overview, Qt::Key_Return);
  NozzleTile* below = pane.Overview().ChosenTile();
  QCOMPARE(below->Config().Nozzle, 4);
  QVERIFY(below->geometry().top() > overview.Tile(5, 4)->geometry().top());
  QCOMPARE(below->geometry().left(), overview.Tile(5, 4)->geometry().left());
  QCOMPARE(pane.ShownPanel(), window.Panel(below->Config().Port, 4));

  // A delivery on every line, started from its panel as an operator would.
  for (int line = 1; line <= kLines; ++line) {
    const int nozzle = 1 + (line - 1) % kNozzles;
    pane.Choose(line, nozzle);
    PanelWidgets w(*pane.ShownPanel());
    w.Child<QDoubleSpinBox>("PresetEdit")->setValue(kLongDose);
    w.Click("PresetBtn");
    w.Click("StartBtn");
  }
  for (int line = 1; line <= kLines; ++line) {
    NozzleTile* tile = overview.Tile(line, 1 + (line - 1) % kNozzles);
    QVERIFY2(WaitFor([&] { return tile->State().Tone() == TileTone::Flowing; }, kWaitMs),
             qPrintable(tile->objectName() + ": " + tile->State().Word()));
  }
  // One line goes dead: its tiles turn red and are marked.
  pane.Choose(1, 1);
  station->SimulatedLines()->Simulator(kDeadLine).Simulator().SetFaultRate(
      1.0, 1, {qx25::sim::Fault::Silence});
  for (int nozzle = 1; nozzle <= kNozzles; ++nozzle) {
    NozzleTile* tile = overview.Tile(kDeadLine, nozzle);
    QVERIFY(WaitFor([&] { return tile->State().FailureMarked(); }, kWaitMs));
    QCOMPARE(tile->State().Word(), QStringLiteral("сбой линии"));
  }

  // The window's load with all of that going on. Measured, printed, not
  // asserted: a sanitizer build and a busy machine change it.
  const HostCpu before = HostCpuSeconds();
  QElapsedTimer wall;
  wall.start();
  Spin(kMeasureMs);
  const HostCpu used = HostCpuSeconds() - before;
  const double seconds = static_cast<double>(wall.elapsed()) / 1e3;
  const LoopProbe probe;
  Spin(kMeasureMs / 2);
  qInfo(
      "overview, %d lines, a delivery on each, line %d dead, over %.1f s: host %.2f%% of one "
      "core (window thread %.2f%%, pollers and sampler %.2f%%); worst event-loop gap %.1f ms "
      "over %d turns",
      kLines, kDeadLine, seconds, 100 * (used.Window + used.Lines) / seconds,
      100 * used.Window / seconds, 100 * used.Lines / seconds, probe.WorstGapMs(), probe.Turns());
  WriteScreenshot(window, QStringLiteral("qx25-host-overview"));

  // Seen: the mark of the dead line's tile goes when it is chosen.
  QTest::mouseClick(overview.Tile(kDeadLine, 2), Qt::LeftButton);
  QVERIFY(!overview.Tile(kDeadLine, 2)->State().FailureMarked());
  QVERIFY(overview.Tile(kDeadLine, 3)->State().FailureMarked());

  // The dead line's health as pictures.
  auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("ConsoleTabs"));
  tabs->setCurrentWidget(&window.StatisticsTab());
  window.StatisticsTab().SelectPort(kDeadLine);
  station->StatisticsRows().Refresh();
  QVERIFY(window.StatisticsTab().Trouble().Totals().Timeouts > 0);
  WriteScreenshot(window, QStringLiteral("qx25-host-statistics-charts"));
  station->SimulatedLines()->Simulator(kDeadLine).Simulator().ClearFaults();
}

void OverviewTest::chartsDrawTheModelsFigures() {
  using qx25::serial::TraceDirection;
  qx25::serial::LineStatistics stats;
  double t = 0;
  const auto exchange = [&](uint8_t Port, double Ms, std::vector<uint8_t> Reply, int32_t Result) {
    stats.Record({TraceDirection::Request, t, Port, {}, 0, -1});
    t += Ms / 1e3;
    stats.Record({TraceDirection::Reply, t, Port, Reply, Result, -1});
  };
  const std::vector<uint8_t> ack{qx25::kAck}, can{qx25::kCan};
  for (int i = 0; i < 50; ++i) exchange(2, 20 + i * 3, ack, qx25::serial::kSerialOk);
  for (int i = 0; i < 3; ++i) exchange(2, 400, {}, qx25::serial::kSerialTimeout);
  exchange(2, 30, {0x55}, qx25::serial::kSerialRejected);
  exchange(2, 25, can, qx25::serial::kSerialOk);
  exchange(2, 25, can, qx25::serial::kSerialOk);
  exchange(5, 1500, ack, qx25::serial::kSerialOk);

  StatisticsModel model(stats);
  auto* table = new QTableView;  // the page takes it
  StatisticsPage page(*table);
  table->setModel(&model);
  page.SetModel(&model);
  model.Refresh();
  const auto agree = [&](int Port) {
    const PortStatistics* figures = model.Figures(Port);
    QVERIFY(figures != nullptr);
    const std::vector<uint64_t>& bins = page.ReplyTimes().Bins();
    QCOMPARE(std::accumulate(bins.begin(), bins.end(), uint64_t{0}), figures->Accepted);
    const TroubleSlot sum = page.Trouble().Totals();
    QCOMPARE(sum.Timeouts, figures->Timeouts);
    QCOMPARE(sum.Rejected, figures->Rejected);
    QCOMPARE(sum.Refusals, figures->Refusals);
  };
  // The first line is drawn until another is chosen.
  QCOMPARE(model.Selected(), 2);
  model.Refresh();
  agree(2);
  // More trouble later: the time line adds it up as the table does.
  exchange(2, 400, {}, qx25::serial::kSerialTimeout);
  exchange(2, 25, can, qx25::serial::kSerialOk);
  model.Refresh();
  agree(2);
  page.SelectPort(5);
  model.Refresh();
  agree(5);
  // The slow reply stands above the last edge.
  QCOMPARE(page.ReplyTimes().Bins().back(), uint64_t{1});
}

void OverviewTest::troubleIsKeptForFiveMinutes() {
  TroubleHistory history;
  PortStatistics p{};
  p.Port = 3;
  p.Timeouts = 2;
  history.Add({p}, 100);
  p.Timeouts = 5;
  p.Refusals = 1;
  history.Add({p}, 125);
  std::vector<TroubleSlot> kept = history.Slots(3, 125);
  QCOMPARE(kept.size(), size_t{kTroubleSlots});
  QCOMPARE(kept.back(), (TroubleSlot{3, 0, 1}));
  QCOMPARE(kept[kept.size() - 3], (TroubleSlot{2, 0, 0}));
  QCOMPARE(history.Slots(4, 125), std::vector<TroubleSlot>(kTroubleSlots));
  // Five minutes on, the oldest slot has gone and the later one is still there.
  kept = history.Slots(3, 100 + 60 * 5);
  QCOMPARE(std::count(kept.begin(), kept.end(), TroubleSlot{}), kTroubleSlots - 1);
  // Totals that went down were reset: they count from nothing again.
  p.Timeouts = 1;
  p.Refusals = 0;
  history.Add({p}, 131);
  QCOMPARE(history.Slots(3, 131).back(), (TroubleSlot{1, 0, 0}));
}
