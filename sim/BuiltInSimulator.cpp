#include "BuiltInSimulator.h"

#include <stdexcept>

namespace qx25::sim {

namespace {

// Faults are drawn from a fixed seed so that a run with a fault repeats.
constexpr uint64_t kSimFaultSeed = 1;

}  // namespace

BuiltInSimulator::BuiltInSimulator(const BuiltInSimulatorOptions& Options) {
  sim::SimulatorOptions options;
  options.FlowRate = Options.FlowRate;
  options.RealTime = true;
  Controllers = std::make_unique<sim::Simulator>(options);
  for (int address = kSimFirstAddress; address <= kSimLastAddress; ++address) {
    Controllers->AddController(address);
    Controllers->SetTotaliser(address, kSimTotaliser);
  }
  if (Options.Fault) Controllers->SetFaultRate(1.0, kSimFaultSeed, {*Options.Fault});
  sim::EndpointOptions line;
  line.Pacing = Options.Paced;
  Wire = std::make_unique<sim::Endpoint>(*Controllers, line);
  Wire->OpenPseudoTerminal();
  Wire->Start();
}

BuiltInSimulator::~BuiltInSimulator() { Wire->Stop(); }

SimulatedStation::SimulatedStation(int Lines, const BuiltInSimulatorOptions& Options) {
  if (Lines < 1 || Lines > kMaxStationLines)
    throw std::invalid_argument("a station has 1 to " + std::to_string(kMaxStationLines) +
                                " lines, not " + std::to_string(Lines));
  Simulators.reserve(static_cast<size_t>(Lines));
  for (int k = 0; k < Lines; ++k) Simulators.push_back(std::make_unique<BuiltInSimulator>(Options));
}

SimulatedStation::~SimulatedStation() = default;

BuiltInSimulator& SimulatedStation::At(int Line) const {
  if (Line < 1 || Line > LineCount())
    throw std::out_of_range("station line " + std::to_string(Line) + " is not 1.." +
                            std::to_string(LineCount()));
  return *Simulators[static_cast<size_t>(Line - 1)];
}

}  // namespace qx25::sim
