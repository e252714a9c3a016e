// What the console puts off while it is not seen, and how it catches up: a
// hidden nozzle panel shown with the newest reading and every figure since,
// tiles' figures gathered into frames while a mark is painted at once, and a
// trace pane that was hidden following, or keeping its place, once shown;
// and the lines' reports, taken by the window in batches, in each line's
// order.
#include <QDoubleSpinBox>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <mutex>

#include "ConsoleRig.h"
#include "ConsoleWords.h"
#include "DeliveryChart.h"
#include "PollerSet.h"
#include "ForecourtOverview.h"
#include "HostTests.h"
#include "HostWindow.h"
#include "NozzlePanel.h"
#include "NozzleTile.h"
#include "OverviewPane.h"
#include "TileFrame.h"
#include "TraceModel.h"
#include "driver/protocol/Link.h"
#include "driver/HostContract.h"

using namespace consoletest;
using qx25::kCodeDelivering;
using qx25::kCodeFinished;
using qx25::kCodeIdle;
using qx25::serial::TraceDirection;
using qx25::serial::TraceRecord;

namespace {

constexpr int kPort = 3;
constexpr int kWaitMs = 5000;

NozzleReading Polled(int Nozzle, uint16_t State, std::optional<Amounts> Current = {},
                     std::optional<Amounts> Final = {}) {
  NozzleReading r;
  r.Nozzle = {kPort, Nozzle, 1, 0};
  r.Poll.State = State;
  r.PortStatus = qx25::kLineOk;
  r.Current = Current;
  r.Final = Final;
  return r;
}

CommandOutcome Answered(int Nozzle, CommandKind Kind, int Status) {
  return {{Kind, kPort, Nozzle, 1, 0, {}}, Status, {}, false};
}

// Counts the paint events a widget gets.
class PaintCount : public QObject {
 public:
  explicit PaintCount(QWidget& Watched) { Watched.installEventFilter(this); }
  int Seen = 0;

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Event->type() == QEvent::Paint) ++Seen;
    return QObject::eventFilter(Watched, Event);
  }
};

}  // namespace

void UnseenTest::hiddenPanelCatchesUpWhenShown() {
  OverviewPane pane;
  auto* shown = new NozzlePanel({kPort, 1, 1, 0});
  auto* hidden = new NozzlePanel({kPort, 2, 1, 0});
  pane.SetPanels({shown, hidden});
  pane.show();
  QVERIFY(QTest::qWaitForWindowExposed(&pane));
  QVERIFY(!hidden->isVisible());
  PanelWidgets w(*hidden);

  // A delivery runs and ends while nobody looks; the state counts at once
  // (a quit asks by it), the curve keeps every point.
  hidden->ShowReading(Polled(2, kCodeDelivering + 1, Amounts{5, 250}));
  QVERIFY(hidden->Delivering());
  NozzleReading closing = Polled(2, kCodeFinished, {}, Amounts{10, 500});
  closing.Totals = {1234.0};
  hidden->ShowReading(closing);
  hidden->ShowReading(Polled(2, kCodeIdle));
  QVERIFY(!hidden->Delivering());
  pane.Choose(kPort, 2);
  QVERIFY(hidden->isVisible());
  QCOMPARE(w.Text("StateLabel"), NozzleStateText(kCodeIdle));
  QCOMPARE(w.Text("FinalLabel"), QStringLiteral("10 л · 500.00"));
  QCOMPARE(w.Text("CurrentLabel"), QStringLiteral("10 л · 500.00"));
  QCOMPARE(w.Text("TotalLabel1"), QStringLiteral("1234 л"));
  auto* curve = hidden->findChild<DeliveryChart*>(QStringLiteral("DeliveryChart"));
  QCOMPARE(curve->Points().size(), qsizetype{2});

  // Hidden again: a start clears the last delivery's figures, and what the
  // polls found before it does not come back over it.
  pane.Choose(kPort, 1);
  hidden->ShowReading(Polled(2, kCodeDelivering + 1, Amounts{3, 150}));
  hidden->ShowOutcome(Answered(2, CommandKind::Start, qx25::kLineOk));
  hidden->ShowReading(Polled(2, kCodeDelivering + 1, Amounts{1, 50}));
  pane.Choose(kPort, 2);
  QCOMPARE(w.Text("CurrentLabel"), QStringLiteral("1 л · 50.00"));
  QCOMPARE(w.Text("FinalLabel"), QStringLiteral("—"));
  QCOMPARE(w.Text("StateLabel"), NozzleStateText(kCodeDelivering + 1));
}

void UnseenTest::figuresWaitForAFrameMarksDoNot() {
  ForecourtOverview overview;
  overview.SetNozzles({{kPort, 1, 1, 0}, {kPort, 2, 1, 0}, {kPort, 3, 1, 0}});
  overview.show();
  QVERIFY(QTest::qWaitForWindowExposed(&overview));
  auto* frames = overview.findChild<TileFrame*>();
  QVERIFY(frames != nullptr);
  NozzleTile* tile = overview.Tile(kPort, 2);
  PaintCount paints(*tile);

  // A new colour is painted with the next turn of the loop; new figures wait
  // for the frame, as many as come meanwhile, and are painted with it.
  tile->ShowReading(Polled(2, kCodeDelivering + 1, Amounts{1, 50}));
  QCOMPARE(frames->Due(), size_t{0});
  QVERIFY(WaitFor([&] { return paints.Seen > 0; }, kWaitMs));
  for (int litres = 2; litres <= 5; ++litres)
    tile->ShowReading(Polled(2, kCodeDelivering + 1, Amounts{double(litres), litres * 50.0}));
  overview.Tile(kPort, 3)->ShowReading(Polled(3, kCodeIdle));
  overview.Tile(kPort, 3)->ShowReading(Polled(3, kCodeIdle));  // nothing new: nothing to paint
  QCOMPARE(frames->Due(), size_t{1});
  const int before = paints.Seen;
  QVERIFY(WaitFor([&] { return frames->Due() == 0 && paints.Seen > before; }, kWaitMs));
  QCOMPARE(tile->State().Amounts(), QStringLiteral("5 л · 250.00"));

  // A refusal while figures wait: the mark goes out at once, figures with it.
  tile->ShowReading(Polled(2, kCodeDelivering + 1, Amounts{6, 300}));
  QCOMPARE(frames->Due(), size_t{1});
  tile->ShowOutcome(Answered(2, CommandKind::Stop, qx25::kRefusedCurrent));
  QVERIFY(tile->State().RefusalMarked());
  QCOMPARE(frames->Due(), size_t{0});
  const int marked = paints.Seen;
  QVERIFY(WaitFor([&] { return paints.Seen > marked; }, kWaitMs));

  // A tile that goes while it waits is left out of the frame.
  overview.Tile(kPort, 1)->ShowReading(Polled(1, kCodeDelivering + 1, Amounts{1, 50}));
  overview.Tile(kPort, 1)->ShowReading(Polled(1, kCodeDelivering + 1, Amounts{2, 100}));
  QCOMPARE(frames->Due(), size_t{1});
  overview.SetNozzles({{kPort, 4, 1, 0}});
  QVERIFY(WaitFor([&] { return frames->Due() == 0; }, kWaitMs));
}

void UnseenTest::hiddenTraceCatchesUpWhenShown() {
  auto buffer = std::make_shared<TraceBuffer>();
  TraceModel model(buffer);
  HostWindow window;
  window.SetTraceModel(&model);
  auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("ConsoleTabs"));
  tabs->setCurrentIndex(0);
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  double second = 0;
  const std::vector<uint8_t> ack{0x06};
  const auto addRows = [&](int Count) {
    std::vector<uint8_t> poll = qx25::RequestFrame({0x02, 0x21, '1'});
    // A request shows with its reply, when its exchange ends.
    for (int i = 0; i < Count; ++i) {
      buffer->Add(
          TraceRecord{TraceDirection::Request, ++second, kPort, poll, qx25::serial::kSerialOk, -1});
      buffer->Add(TraceRecord{TraceDirection::Reply, second, kPort, ack, qx25::serial::kSerialOk, -1});
    }
    model.Refresh();
  };
  QTableView& view = window.TraceView();
  QScrollBar* bar = view.verticalScrollBar();
  const auto timeAt = [&](int Y) {
    return view.indexAt(QPoint(0, Y)).siblingAtColumn(TraceModel::TimeColumn).data().toString();
  };
  const auto bottomTime = [&] { return timeAt(view.viewport()->height() - 2); };

  // Following the newest, hidden for a long while (a minute of thirty lines,
  // and more than it keeps), shown: the newest rows at once.
  addRows(100);
  QApplication::processEvents();
  tabs->setCurrentIndex(1);
  for (int batch = 0; batch < 20; ++batch) addRows(1000);
  QVERIFY(!view.isVisible());
  tabs->setCurrentIndex(0);
  QCOMPARE(bar->value(), bar->maximum());
  QCOMPARE(bottomTime(), QString::number(second, 'f', 3));

  // Scrolled up, hidden, shown: the same row at the top, while it is held.
  bar->setValue(bar->maximum() / 2);
  QApplication::processEvents();
  const QString top = timeAt(0);
  tabs->setCurrentIndex(1);
  addRows(500);
  tabs->setCurrentIndex(0);
  QCOMPARE(timeAt(0), top);
  QVERIFY(bar->value() < bar->maximum());
}

void UnseenTest::reportsKeepEachLinesOrder() {
  // What the line made, as it made it, and what its panel was shown; held
  // until the station, and so its pollers, are gone.
  std::mutex lock;
  QStringList made;
  QStringList shown;
  const auto polled = [](const NozzleReading& R) {
    return QStringLiteral("poll %1 %2").arg(R.Poll.State).arg(R.Current ? R.Current->Volume : -1);
  };
  const auto answered = [](const CommandOutcome& O) {
    return QStringLiteral("command %1 %2").arg(static_cast<int>(O.Command.Kind)).arg(O.PortStatus);
  };
  auto station = Started({"--simulate"});
  NozzlePanel& panel = *station->Window().Panel(kSimulatedPort, 1);
  PortPoller& poller = *station->Pollers()->Poller(kSimulatedPort);
  QObject::connect(
      &poller, &PortPoller::Reading, &poller,
      [&](const NozzleReading& R) {
        const std::lock_guard hold(lock);
        if (R.Nozzle.Nozzle == 1) made << polled(R);
      },
      Qt::DirectConnection);
  QObject::connect(
      &poller, &PortPoller::CommandDone, &poller,
      [&](const CommandOutcome& O) {
        const std::lock_guard hold(lock);
        made << answered(O);
      },
      Qt::DirectConnection);
  QObject::connect(&panel, &NozzlePanel::ReadingShown, &panel,
                   [&](const NozzleReading& R) { shown << polled(R); });
  QObject::connect(&panel, &NozzlePanel::OutcomeShown, &panel,
                   [&](const CommandOutcome& O) { shown << answered(O); });

  // A dose and a start between the polls, then a few polls of the delivery.
  PanelWidgets w(panel);
  w.Child<QDoubleSpinBox>("PresetEdit")->setValue(5);
  w.Click("PresetBtn");
  w.Click("StartBtn");
  const auto started = [&] { return shown.filter(QStringLiteral("command")).size() == 2; };
  QVERIFY(WaitFor(started, kWaitMs));
  const qsizetype enough = shown.size() + 3;
  QVERIFY(WaitFor([&] { return shown.size() >= enough; }, kWaitMs));
  const std::lock_guard hold(lock);
  const qsizetype both = std::min(made.size(), shown.size());
  QCOMPARE(shown.mid(0, both), made.mid(0, both));
}
