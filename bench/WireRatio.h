// The wall-time-over-wire-time measurement of the benchmark program.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "driver/DriverPtr.h"
#include "driver/QX25.h"

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
};

// Runs each scenario Runs times over a paced pseudo-terminal and returns one
// row per scenario. Throws std::runtime_error when a scenario goes wrong.
std::vector<RatioRow> MeasureWireRatios(int Runs);
void PrintWireRatios(const std::vector<RatioRow>& Rows, int Runs, double Bar);

}  // namespace qx25::bench
