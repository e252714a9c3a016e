// The service window's costs as a technician feels them, offscreen:
//  - how long the window takes to come up after a click on its menu entry
//    (the catalog built, the grid sized and painted once);
//  - read-all through its worker on a line paced at 4800 baud: wall time over
//    the wire time of the 43 exchanges, and the longest the user-interface
//    thread went without running its event loop meanwhile.
// Figures only; nothing here fails on a slow machine.
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <vector>

#include "Options.h"
#include "WireRatio.h"
#include "driver/DriverPtr.h"
#include "driver/QX25.h"
#include "serial/SerialDispatcher.h"
#include "sim/Endpoint.h"
#include "sim/Simulator.h"
#include "ui/ParamFrame.h"
#include "ui/ServiceWindow.h"
#include "ui/Workers.h"
#include "ui/ui_ParamFrame.h"

namespace {

constexpr int kPort = 3;
constexpr double kOpenBudgetMs = 150;
constexpr double kRatioBar = 1.02;
constexpr double kStallBudgetMs = 16;

void* CreateItem(void* Parent, int32_t) {
  auto* entry = static_cast<QAction*>(Parent);
  auto* item = new QAction(entry->menu());
  entry->menu()->addAction(item);
  return item;
}

double Median(std::vector<double> Values) {
  std::sort(Values.begin(), Values.end());
  return Values[Values.size() / 2];
}

// Waits, turn by turn of the window's own modal loop, until the window is
// on the screen, then paints it once more synchronously: the moment the
// technician can read it.
class FirstSight : public QObject {
 public:
  void Watch() {
    QTimer::singleShot(0, this, [this] {
      TParamFrm* window = ParamWindow;
      if (!window || !window->windowHandle() || !window->windowHandle()->isExposed()) {
        Watch();
        return;
      }
      window->repaint();
      Elapsed = Clock.nsecsElapsed() / 1e6;
      window->close();
    });
  }
  QElapsedTimer Clock;
  double Elapsed = 0;
};

struct Station {
  Station(bool Paced) {
    for (int address = 1; address <= 4; ++address) Sim.AddController(address);
    qx25::sim::EndpointOptions options;
    options.Baud = qx25::bench::kBaud;
    options.Pacing = Paced;
    Wire.emplace(Sim, options);
    Dispatcher.SetDevicePath(kPort, Wire->OpenPseudoTerminal());
    Wire->Start();
    Driver.reset(GetQX25(0, 0, &Dispatcher));
    Driver->SetupPort(kPort);
    Bar.addMenu("&ТРК");
    Driver->InstallMenu(&Bar, &CreateItem);
    Item = Bar.actions().front()->menu()->actions().front();
  }
  ~Station() {
    Driver.reset();
    Dispatcher.Close(kPort);
    Wire->Stop();
  }
  qx25::sim::Simulator Sim;
  std::optional<qx25::sim::Endpoint> Wire;
  qx25::serial::SerialDispatcher Dispatcher;
  DriverPtr Driver;
  QMenuBar Bar;
  QAction* Item = nullptr;
};

void MeasureOpening(Station& S, int Runs) {
  std::vector<double> times;
  for (int run = 0; run < Runs; ++run) {
    FirstSight watch;
    watch.Clock.start();
    watch.Watch();
    S.Item->trigger();  // returns when the window has closed
    times.push_back(watch.Elapsed);
  }
  const double worst = *std::max_element(times.begin(), times.end());
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  std::printf("Opening the window (click to first paint), %d runs\n", Runs);
  std::printf("  median %7.1f ms   worst %7.1f ms   budget %.0f ms: %s\n", Median(times), worst,
              kOpenBudgetMs, Median(times) <= kOpenBudgetMs ? "within" : "OVER");
}

void MeasureReadAll(Station& S, int Runs) {
  std::vector<double> ratios, stalls;
  double wire = 0;
  size_t exchanges = 0;
  for (int run = 0; run < Runs; ++run) {
    double wall = 0, stall = 0;
    QElapsedTimer clock, tick;
    QTimer ticker;  // a tick a millisecond on the user-interface thread
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
      stall = std::max(stall, tick.nsecsElapsed() / 1e6);
      tick.restart();
      if (!ReadParamsThread) {
        wall = clock.nsecsElapsed() / 1e9;
        ticker.stop();
        ParamWindow->close();
      }
    });
    QTimer::singleShot(0, [&] {
      TParamFrm* window = ParamWindow;
      window->Form().ComPortEdit->setValue(kPort);
      S.Sim.ClearHistory();
      clock.start();
      tick.start();
      window->Form().Button1->click();
      ticker.start();
    });
    S.Item->trigger();
    size_t bytes = 0;
    const auto history = S.Sim.History();
    for (const auto& x : history) bytes += x.Frame.size() + x.Sent.size();
    exchanges = history.size();
    wire = qx25::bench::WireSeconds(bytes);
    ratios.push_back(wall / wire);
    stalls.push_back(stall);
  }
  const double worstStall = *std::max_element(stalls.begin(), stalls.end());
  std::printf("Read-all through the worker at %d baud, %d runs: %zu exchanges, wire %.0f ms\n",
              qx25::bench::kBaud, Runs, exchanges, wire * 1e3);
  std::printf("  wall/wire median %.3f   worst %.3f   bar %.2f: %s\n", Median(ratios),
              *std::max_element(ratios.begin(), ratios.end()), kRatioBar,
              Median(ratios) <= kRatioBar ? "within" : "OVER");
  std::printf("  longest event-loop gap %.1f ms   budget %.0f ms: %s\n", worstStall, kStallBudgetMs,
              worstStall <= kStallBudgetMs ? "within" : "OVER");
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);  // takes Qt's own arguments out
  bool quick = false;
  int runs = qx25::bench::kDefaultRuns;
  CLI::App options{
      "The service window's costs, offscreen: opening it, and read-all on a paced line"};
  qx25::bench::AddRunOptions(options, runs, quick);
  if (const auto status = qx25::bench::ParseOptions(options, argc, argv)) return *status;
  if (quick) runs = 1;
  {
    Station unpaced(false);
    MeasureOpening(unpaced, quick ? 2 : 4 * runs);
  }
  MenuPending = true;
  Station paced(true);
  MeasureReadAll(paced, runs);
  return 0;
}
