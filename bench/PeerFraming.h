// The peers' framing measured beside ours: many drivers of this kind end a
// reply when the line has been silent for a fixed time (50, 100 or 300 ms)
// rather than counting its bytes. The same work (the three scenarios and a
// station round) runs with the serial dispatcher's own framing and then with
// each silence, on the same lines, and each is set against the wire time.
#pragma once

#include <chrono>
#include <vector>

#include "WireRatio.h"

namespace qx25::bench {

struct PeerRow {
  RatioRow Ours;
  std::vector<RatioRow> Theirs;  // one for each silence, in its order
};

// Throws std::runtime_error when a piece of work goes wrong either way.
std::vector<PeerRow> MeasurePeerFraming(int Runs,
                                        const std::vector<std::chrono::milliseconds>& Silences);
void PrintPeerFraming(const std::vector<PeerRow>& Rows,
                      const std::vector<std::chrono::milliseconds>& Silences, int Runs);

}  // namespace qx25::bench
