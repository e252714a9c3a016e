// One turn of a whole station at once: every line of a simulated station (in
// this process, each line a pseudo-terminal paced at 4800 baud with four
// controllers) takes one StationLine::Round on a host thread of its own, as
// qx25-station-bench runs them. Every run starts from fresh controllers and
// fresh line records, so every run does the same work.
#pragma once

#include "StationWork.h"
#include "WireRatio.h"
#include "driver/DriverPtr.h"
#include "testsupport/SilenceFramedDispatcher.h"
#include "sim/BuiltInSimulator.h"

namespace qx25::bench {

class StationRound {
 public:
  // Throws as SimulatedStation does, and std::runtime_error when a line
  // cannot be opened.
  explicit StationRound(int LineCount = sim::kMaxStationLines);
  StationRound(const StationRound&) = delete;
  StationRound& operator=(const StationRound&) = delete;

  int LineCount() const { return Station.LineCount(); }
  // Line k is port k.
  testsupport::SilenceFramedDispatcher& Dispatcher() { return Lines; }
  // The lines run side by side, so a run's wall time is set against the
  // wire time of its busiest line; exchanges and bytes are the station's.
  // Throws std::runtime_error when a line's work goes wrong.
  RatioRow Measure(int Runs);

 private:
  void Reset();

  sim::SimulatedStation Station;
  testsupport::SilenceFramedDispatcher Lines;
  DriverPtr Driver;
  StationWorkOptions Work;
};

}  // namespace qx25::bench
