// The built-in simulator that qx25ctl and qx25-host run with --simulate:
// nozzle controllers at network addresses 1 to 4 answering on a fresh
// pseudo-terminal, so a user can try the driver without a dispenser. One
// definition keeps the two programs' simulated stations alike.
//
//   qx25::host::BuiltInSimulator sim;             // started
//   dispatcher.SetDevicePath(1, sim.DevicePath());
//
// It runs from construction to destruction; the line's thread answers on its
// own. Construction throws std::system_error when the system gives no
// pseudo-terminal or thread.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "sim/Line.h"
#include "sim/Simulator.h"

namespace qx25::host {

// Network addresses that have a controller in the built-in simulator; their ID
// numbers are the simulator's defaults (7654320 + address).
inline constexpr int kSimFirstAddress = 1;
inline constexpr int kSimLastAddress = 4;
// The totaliser every controller starts from, so that a delivery visibly adds
// to it.
inline constexpr int64_t kSimTotaliser = 12345;

struct BuiltInSimulatorOptions {
  double FlowRate = 6.0;             // litres a second while delivering
  std::optional<sim::Fault> Fault;   // damage every reply with it
  bool Paced = true;                 // answer at the pace of 4800 baud
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
  sim::Line& Line() { return *Wire; }

 private:
  // The line refers to the simulator, so it is declared after it.
  std::unique_ptr<sim::Simulator> Controllers;
  std::unique_ptr<sim::Line> Wire;
};

}  // namespace qx25::host
