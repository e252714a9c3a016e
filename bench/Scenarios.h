// The three pieces of host work the benchmarks time: one status poll, a read
// of every parameter of the catalog's bulk range, and one whole delivery.
// Each runs the driver's operations as a host would and checks what they
// report, so a benchmark never times a run that went wrong.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "driver/QX25.h"
#include "params/ParameterUnit.h"
#include "sim/Simulator.h"

namespace qx25::bench {

inline constexpr int kPort = 3;
inline constexpr int kNozzle = 1;  // side 1: network address 1

// Moves the simulated controllers' clock on by a number of seconds.
using AdvanceFn = std::function<void(double Seconds)>;

struct Scenario {
  const char* Name;
  const char* Key;  // the benchmark's name
  // Runs once; returns what went wrong, or "" when everything was as expected.
  std::function<std::string(TQX25& Driver, const AdvanceFn& Advance)> Run;
};

// The controller the scenarios talk to, with a value in every parameter.
void PrepareSimulator(sim::Simulator& Sim);

// Status poll, parameter read of the bulk range, delivery cycle. The catalog
// must outlive the scenarios.
std::vector<Scenario> Scenarios(const CTRKParameters& Catalog);

}  // namespace qx25::bench
