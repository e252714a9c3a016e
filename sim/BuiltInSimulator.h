// The built-in simulator that qx25ctl and qx25-host run with --simulate:
// nozzle controllers at network addresses 1 to 4 answering on a fresh
// pseudo-terminal, so a user can try the driver without a dispenser. One
// definition keeps the two programs' simulated stations alike.
//
//   qx25::sim::BuiltInSimulator sim;             // started
//   dispatcher.SetDevicePath(1, sim.DevicePath());
//
// It runs from construction to destruction; the line's thread answers on its
// own. Construction throws std::system_error when the system gives no
// pseudo-terminal or thread.
//
// Dispensers. With the driver's address rule (network address = nozzle +
// side - 1, AddressStride being 1), the four controllers serve a host's
// "two dispensers with two nozzles each" as nozzles 1 to 4 on side 1, the
// first dispenser holding nozzles 1 and 2 and the second 3 and 4; no other
// controllers are needed. (A host that numbers a dispenser's two nozzles as
// its sides 1 and 2 reaches the same addresses from nozzles 1 and 3.)
//
// A whole station is SimulatedStation: one such line per port, each its own
// pseudo-terminal and thread.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/Endpoint.h"
#include "sim/Simulator.h"

namespace qx25::sim {

// Network addresses that have a controller in the built-in simulator; their ID
// numbers are the simulator's defaults (7654320 + address).
inline constexpr int kSimFirstAddress = 1;
inline constexpr int kSimLastAddress = 4;
// The totaliser every controller starts from, so that a delivery visibly adds
// to it.
inline constexpr int64_t kSimTotaliser = 12345;

struct BuiltInSimulatorOptions {
  double FlowRate = 6.0;            // litres a second while delivering
  std::optional<sim::Fault> Fault;  // damage every reply with it
  bool Paced = true;                // answer at the pace of 4800 baud
};

class BuiltInSimulator {
 public:
  explicit BuiltInSimulator(const BuiltInSimulatorOptions& Options = {});
  // Stops answering and closes the pseudo-terminal.
  ~BuiltInSimulator();
  BuiltInSimulator(const BuiltInSimulator&) = delete;
  BuiltInSimulator& operator=(const BuiltInSimulator&) = delete;

  // The slave side of the pseudo-terminal ("/dev/pts/N"), for the host's port.
  const std::string& DevicePath() const { return Wire->DevicePath(); }
  sim::Simulator& Simulator() { return *Controllers; }
  sim::Endpoint& Endpoint() { return *Wire; }

 private:
  // The line refers to the simulator, so it is declared after it.
  std::unique_ptr<sim::Simulator> Controllers;
  std::unique_ptr<sim::Endpoint> Wire;
};

// The most lines a station has: the driver's ports 1 to 30.
inline constexpr int kMaxStationLines = 30;

// Lines 1..N of a simulated station, each a BuiltInSimulator with its four
// controllers. A host gives line k to its port k.
//
//   qx25::sim::SimulatedStation station(30);
//   for (int k = 1; k <= station.LineCount(); ++k)
//     dispatcher.SetDevicePath(k, station.DevicePath(k));
class SimulatedStation {
 public:
  // Throws std::invalid_argument unless 1 <= Lines <= kMaxStationLines, and
  // std::system_error as BuiltInSimulator does.
  explicit SimulatedStation(int Lines, const BuiltInSimulatorOptions& Options = {});
  ~SimulatedStation();
  SimulatedStation(const SimulatedStation&) = delete;
  SimulatedStation& operator=(const SimulatedStation&) = delete;

  int LineCount() const { return static_cast<int>(Simulators.size()); }
  // Line is 1..LineCount(); std::out_of_range otherwise.
  const std::string& DevicePath(int Line) const { return At(Line).DevicePath(); }
  BuiltInSimulator& Simulator(int Line) { return At(Line); }

 private:
  BuiltInSimulator& At(int Line) const;
  std::vector<std::unique_ptr<BuiltInSimulator>> Simulators;
};

}  // namespace qx25::sim
