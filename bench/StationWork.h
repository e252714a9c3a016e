// What a station's host does on one line, for the station benchmark: every
// nozzle polled in turn, without a pause, and each nozzle now and then
// running a whole delivery (price, preset, start, polls with the current
// delivery, the closing poll, the final result), then idle again for a while.
// Nozzle n is addressed on side 1, so a line's four nozzles are the
// simulator's controllers at addresses 1 to 4.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/QX25.h"

namespace qx25::bench {

struct StationWorkOptions {
  int Nozzles = 4;
  double Dose = 6;       // litres a delivery presets
  double Price = 52.10;  // unit price
  int IdlePolls = 4;     // polls of an idle nozzle before its next delivery
};

class StationLine {
 public:
  StationLine(int Port, const StationWorkOptions& Options);

  // One turn over the line's nozzles: a step of each nozzle's delivery, one
  // to three exchanges. Returns what went wrong (a refusal, a state or
  // volume that is not what the simulated controller must report), or "".
  // A failed exchange (ESerialIO) is counted and the nozzle tries again on
  // its next turn.
  std::string Round(TQX25& Driver);

  uint64_t Deliveries() const { return Completed; }
  uint64_t Failures() const { return Failed; }

 private:
  enum class Phase : uint8_t { Idle, Delivering };
  struct Nozzle {
    int Number;
    Phase Now = Phase::Idle;
    int IdleLeft;
  };

  std::string Step(TQX25& Driver, Nozzle& N);

  int Port;
  StationWorkOptions Options;
  std::vector<Nozzle> Nozzles;
  uint64_t Completed = 0;
  uint64_t Failed = 0;
};

}  // namespace qx25::bench
