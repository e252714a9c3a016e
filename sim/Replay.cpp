#include "sim/Replay.h"

#include <algorithm>

namespace qx25::sim {

ReplayScript::ReplayScript(std::vector<record::RecordedExchange> Exchanges, int Baud_,
                           ReplayPace Pace_)
    : Script(std::move(Exchanges)), Baud(Baud_ > 0 ? Baud_ : kWireBaud), Pace(Pace_) {}

void ReplayScript::OnUnmatched(UnmatchedFn Fn) {
  std::lock_guard<std::mutex> hold(Lock);
  Report = std::move(Fn);
}

std::vector<TimedBurst> ReplayScript::Answer(const Bytes& Frame) {
  UnmatchedFn report;
  std::vector<TimedBurst> out;
  {
    std::lock_guard<std::mutex> hold(Lock);
    const auto found =
        std::find_if(Script.begin() + static_cast<std::ptrdiff_t>(Next), Script.end(),
                     [&](const record::RecordedExchange& X) { return X.Request == Frame; });
    if (found == Script.end()) {
      ++UnmatchedCount;
      report = Report;
    } else {
      ++MatchedCount;
      Next = static_cast<size_t>(found - Script.begin()) + 1;
      // The recorded times count from when the request was handed to the
      // line; here they count from when its last byte arrived.
      const auto frameTime = std::chrono::microseconds(
          static_cast<int64_t>(Frame.size()) * kWireBitsPerByte * 1'000'000 / Baud);
      for (const record::ReplyBurst& burst : found->Reply) {
        if (Pace == ReplayPace::Prompt) {
          out.push_back({std::chrono::microseconds(0), burst.Bytes});
          continue;
        }
        const auto at = std::chrono::microseconds(static_cast<int64_t>(burst.AtMs * 1000));
        out.push_back({std::max(at - frameTime, std::chrono::microseconds(0)), burst.Bytes});
      }
    }
  }
  if (report) report(Frame);
  return out;
}

size_t ReplayScript::Matched() const {
  std::lock_guard<std::mutex> hold(Lock);
  return MatchedCount;
}

size_t ReplayScript::Unmatched() const {
  std::lock_guard<std::mutex> hold(Lock);
  return UnmatchedCount;
}

std::vector<record::RecordedExchange> ExchangesOf(const record::Recording& From, int Port) {
  std::vector<record::RecordedExchange> out;
  for (const record::RecordedExchange& x : From.Exchanges)
    if (x.Port == Port) out.push_back(x);
  return out;
}

}  // namespace qx25::sim
