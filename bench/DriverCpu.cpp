// The driver's own CPU time per exchange, with Google Benchmark: the
// scenarios run against the in-process dispatcher, replaying answers the
// simulator gave (the driver alone) or asking the simulator each time.
// MeasureDriverCpu times other work the same way, on the thread's CPU clock.
#include "DriverCpu.h"

#include <benchmark/benchmark.h>
#include <time.h>

#include <stdexcept>
#include <string>

#include "InProcessDispatcher.h"
#include "Scenarios.h"
#include "WireRatio.h"
#include "driver/DriverPtr.h"

namespace qx25::bench {

namespace {

using Mode = InProcessDispatcher::Mode;

void RunScenario(benchmark::State& State, size_t Index, Mode Serve) {
  sim::Simulator simulator(sim::SimulatorOptions{1.0, false, 0});  // no history
  PrepareSimulator(simulator);
  InProcessDispatcher dispatcher(simulator);
  const DriverPtr driver(GetQX25(0, 0, &dispatcher));
  driver->SetupPort(kPort);
  CTRKParameters catalog;
  catalog.Fill();
  const Scenario scenario = Scenarios(catalog).at(Index);
  const AdvanceFn advance = [&](double Seconds) { simulator.AdvanceTime(Seconds); };
  const AdvanceFn still = [](double) {};

  // One recorded run: it checks the scenario, counts its exchanges and fills
  // the tape that a replay serves.
  dispatcher.SetMode(Mode::Record);
  std::string wrong = scenario.Run(*driver, advance);
  const double exchanges = static_cast<double>(dispatcher.Recorded());
  dispatcher.SetMode(Serve);
  const AdvanceFn& clock = Serve == Mode::Replay ? still : advance;

  for (auto _ : State) {
    if (!wrong.empty()) break;
    wrong = scenario.Run(*driver, clock);
    if (dispatcher.Mismatched()) wrong = "the driver sent other frames than it recorded";
  }
  if (!wrong.empty()) State.SkipWithError(wrong.c_str());
  State.counters["exchanges"] = exchanges;
  State.counters["cpu_per_exchange"] = benchmark::Counter(
      exchanges, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

}  // namespace

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

DriverCpuFigure MeasureDriverCpu(sim::Simulator& Sim, int Port, const WorkFn& Work,
                                 double MinSeconds) {
  InProcessDispatcher dispatcher(Sim);
  DriverPtr driver(GetQX25(0, 0, &dispatcher));
  driver->SetupPort(Port);
  const AdvanceFn advance = [&](double Seconds) { Sim.AdvanceTime(Seconds); };
  const AdvanceFn still = [](double) {};

  dispatcher.SetMode(Mode::Record);
  std::string wrong = Work(*driver, advance);
  if (!wrong.empty()) throw std::runtime_error(wrong);
  DriverCpuFigure figure;
  figure.Exchanges = dispatcher.Recorded();
  if (figure.Exchanges == 0) throw std::runtime_error("the work exchanged nothing");

  dispatcher.SetMode(Mode::Replay);
  size_t runs = 0;
  const double start = ThreadCpuSeconds();
  double spent = 0;
  do {
    wrong = Work(*driver, still);
    if (dispatcher.Mismatched()) wrong = "the driver sent other frames than it recorded";
    if (!wrong.empty()) throw std::runtime_error(wrong);
    ++runs;
    spent = ThreadCpuSeconds() - start;
  } while (spent < MinSeconds);
  figure.SecondsPerExchange = spent / static_cast<double>(runs * figure.Exchanges);
  return figure;
}

void RegisterDriverBenchmarks() {
  CTRKParameters catalog;
  catalog.Fill();
  const std::vector<Scenario> scenarios = Scenarios(catalog);
  for (size_t i = 0; i < scenarios.size(); ++i) {
    for (const Mode serve : {Mode::Replay, Mode::Live}) {
      const std::string name =
          std::string(scenarios[i].Key) + (serve == Mode::Replay ? "/driver" : "/driver+simulator");
      benchmark::RegisterBenchmark(
          name.c_str(), [i, serve](benchmark::State& State) { RunScenario(State, i, serve); });
    }
  }
}

}  // namespace qx25::bench
