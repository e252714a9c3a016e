// The wall-time-over-wire-time measurement of the benchmark program.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "Scenarios.h"
#include "driver/DriverPtr.h"
#include "driver/QX25.h"
#include "testsupport/SilenceFramedDispatcher.h"
#include "sim/Endpoint.h"
#include "sim/Simulator.h"

namespace qx25::bench {

// The line the benchmarks measure against: the protocol's own, 8N1.
inline constexpr int kBaud = PortDispatcher::kProtocolBaud;
inline constexpr int kBitsPerByte = PortDispatcher::kBitsPerByte;

// Seconds that Bytes (request frames and replies) need on such a line.
inline double WireSeconds(size_t Bytes) {
  return static_cast<double>(Bytes * kBitsPerByte) / kBaud;
}

struct RatioRow {
  std::string Name;
  size_t Exchanges = 0;
  size_t Bytes = 0;  // request frames and replies
  double Wire = 0;   // seconds those bytes need at the line's rate
  double Wall = 0;   // median seconds measured
  double Ratio = 0;  // median of the runs' wall over wire
  double Worst = 0;  // the largest ratio of any run
  // Median wall time beyond the wire time, per exchange, in seconds.
  double ExtraPerExchange = 0;
};

// What one run of a piece of work exchanged, and how long it took.
struct RunFigures {
  double Wall = 0;  // seconds
  double Wire = 0;  // seconds
  size_t Exchanges = 0;
  size_t Bytes = 0;
};
// Frames and replies the simulator saw since its history was cleared.
RunFigures CountWire(const sim::Simulator& Sim);
// The row of a piece of work from its runs (at least one): medians, worst.
RatioRow Summarize(const std::string& Name, const std::vector<RunFigures>& Runs);

// The line the scenarios run on: the simulator (manual clock) behind a
// pseudo-terminal that it paces at kBaud, with replies in adapter bursts
// when Burst is given; the serial dispatcher with a host's default time-outs;
// the driver on it, its first exchange done.
class PacedLine {
 public:
  explicit PacedLine(std::chrono::milliseconds Burst = std::chrono::milliseconds{0});
  PacedLine(const PacedLine&) = delete;
  PacedLine& operator=(const PacedLine&) = delete;

  testsupport::SilenceFramedDispatcher& Dispatcher() { return Lines; }
  const std::vector<Scenario>& Work() const { return Pieces; }
  // Runs Piece Runs times; throws std::runtime_error when it goes wrong.
  RatioRow Measure(const Scenario& Piece, int Runs);

 private:
  sim::Simulator Simulator;
  sim::Endpoint Wire;
  testsupport::SilenceFramedDispatcher Lines;
  DriverPtr Driver;
  CTRKParameters Catalog;
  std::vector<Scenario> Pieces;
};

// Runs each scenario Runs times over a paced pseudo-terminal and returns one
// row per scenario. With a Burst period the replies come as through a USB
// adapter's latency timer. Throws std::runtime_error when a scenario goes
// wrong.
std::vector<RatioRow> MeasureWireRatios(int Runs,
                                        std::chrono::milliseconds Burst = std::chrono::milliseconds{
                                            0});
void PrintWireRatios(const std::vector<RatioRow>& Rows, int Runs, double Bar);
// The same scenarios through adapter bursts: the bar is that each exchange
// takes at most one burst period beyond its wire time.
void PrintBurstRows(const std::vector<RatioRow>& Rows, int Runs, std::chrono::milliseconds Burst);

}  // namespace qx25::bench
