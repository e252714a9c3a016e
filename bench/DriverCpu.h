// The driver's CPU time per exchange (Google Benchmark).
#pragma once

namespace qx25::bench {

// Registers, for each scenario, a benchmark of the driver alone (replayed
// answers) and one of the driver with the simulator answering.
void RegisterDriverBenchmarks();

}  // namespace qx25::bench
