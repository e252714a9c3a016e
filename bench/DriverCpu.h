// The driver's CPU time per exchange: the Google Benchmark cases of
// qx25-bench, and a plain measurement of any piece of host work for
// qx25-station-bench.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "Scenarios.h"
#include "driver/QX25.h"
#include "sim/Simulator.h"

namespace qx25::bench {

// A piece of host work: runs once, returns what went wrong or "".
using WorkFn = std::function<std::string(TQX25& Driver, const AdvanceFn& Advance)>;

// CPU seconds the calling thread has used.
double ThreadCpuSeconds();

struct DriverCpuFigure {
  double SecondsPerExchange = 0;  // the calling thread's CPU time
  size_t Exchanges = 0;           // in one run of the work
};

// The driver's own CPU time per exchange for Work: one run against Sim
// (manual clock) is recorded, then its answers are replayed without the
// simulator until at least MinSeconds of CPU time have passed. Port is the
// port the work uses. Throws std::runtime_error when the work goes wrong or
// sends other frames on replay.
DriverCpuFigure MeasureDriverCpu(sim::Simulator& Sim, int Port, const WorkFn& Work,
                                 double MinSeconds);

// Registers, for each scenario, a benchmark of the driver alone (replayed
// answers) and one of the driver with the simulator answering.
void RegisterDriverBenchmarks();

}  // namespace qx25::bench
