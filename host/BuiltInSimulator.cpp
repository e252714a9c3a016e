#include "BuiltInSimulator.h"

namespace qx25::host {

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
  sim::LineOptions line;
  line.Pacing = Options.Paced;
  Wire = std::make_unique<sim::Line>(*Controllers, line);
  Wire->OpenPseudoTerminal();
  Wire->Start();
}

BuiltInSimulator::~BuiltInSimulator() { Wire->Stop(); }

}  // namespace qx25::host
