// Answers a line as a recording says its controllers did: each request gets
// the reply bytes recorded for the same request bytes, with their recorded
// timing, damaged replies, silences and refusals included.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "record/RecordingFormat.h"
#include "sim/Endpoint.h"

namespace qx25::sim {

// One port's recorded exchanges, answered in order: a request is matched
// with the first exchange from the last one matched on whose request bytes
// are the same, so a request the host made twice is answered twice as
// recorded, and one the recording lacks is skipped over without losing
// the place. Safe to call from any thread.
// How the recorded reply bytes are timed: as they arrived, or back to back.
// Every byte a recording holds came while its dispatcher still waited (it
// kept collecting only within its limits), so a gap it shows, however long
// on a loaded machine, was one that dispatcher took; Prompt replays such
// gaps as none, for a check of outcomes that the replaying machine's own
// load cannot turn into time-outs. Silences (no reply, a reply cut short)
// stay silences.
enum class ReplayPace { Recorded, Prompt };

class ReplayScript {
 public:
  ReplayScript(std::vector<record::RecordedExchange> Exchanges, int Baud,
               ReplayPace Pace = ReplayPace::Recorded);

  // A request the recording cannot answer, for the caller to report.
  using UnmatchedFn = std::function<void(const Bytes& Frame)>;
  void OnUnmatched(UnmatchedFn Report);

  // The bursts that answer Frame, their times counted from when its last byte
  // arrived; none for a recorded silence or an unmatched request.
  std::vector<TimedBurst> Answer(const Bytes& Frame);

  size_t Matched() const;
  size_t Unmatched() const;
  size_t Recorded() const { return Script.size(); }

 private:
  const std::vector<record::RecordedExchange> Script;
  const int Baud;
  const ReplayPace Pace;
  mutable std::mutex Lock;
  size_t Next = 0;
  size_t MatchedCount = 0, UnmatchedCount = 0;
  UnmatchedFn Report;
};

// The exchanges of one port, in the recording's order.
std::vector<record::RecordedExchange> ExchangesOf(const record::Recording& From, int Port);

}  // namespace qx25::sim
