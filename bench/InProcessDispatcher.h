// A port dispatcher without a line, for timing the driver's own work: every
// frame goes straight to the simulator's Respond and the answer is handed to
// the reply handler one byte at a time, as a paced serial line delivers it.
//
// Recording keeps each frame with its answer; replaying then serves the same
// answers in the same order without the simulator, so the time measured is
// the driver's (and this dispatcher's few copies), not the simulator's. A
// replayed frame that differs from the recorded one fails its exchange.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "sim/Simulator.h"
#include "testsupport/MemoryDispatcher.h"

namespace qx25::bench {

class InProcessDispatcher final : public MemoryDispatcher {
 public:
  enum class Mode { Live, Record, Replay };

  explicit InProcessDispatcher(sim::Simulator& Simulated) : Sim(Simulated) {}

  void SetMode(Mode M) {
    Current = M;
    if (M == Mode::Record) Tape.clear();
    Next = 0;
    Mismatch = false;
  }
  size_t Recorded() const { return Tape.size(); }
  // A replayed frame differed from the recording.
  bool Mismatched() const { return Mismatch; }

  int32_t GetErrorCode(uint8_t) override { return kNoReply; }
  uint8_t GetLineStatus(uint8_t) override { return Status; }

  int32_t Transact(uint8_t Port, const uint8_t* Frame, uint8_t FrameLength, uint8_t* Reply,
                   uint8_t ReplyLength, uint8_t ReplyMode) override {
    const sim::Bytes* answer = nullptr;
    std::optional<sim::Bytes> live;
    if (Current == Mode::Replay) {
      if (Tape.empty()) return Fail();
      const Entry& e = Tape[Next];
      Next = (Next + 1) % Tape.size();
      if (!std::equal(Frame, Frame + FrameLength, e.Frame.begin(), e.Frame.end())) {
        Mismatch = true;
        return Fail();
      }
      answer = &e.Answer;
    } else {
      live = Sim.Respond(Frame, FrameLength);
      if (!live) live.emplace();
      if (Current == Mode::Record) Tape.push_back({sim::Bytes(Frame, Frame + FrameLength), *live});
      answer = &*live;
    }
    if (ReplyLength == 0) return Succeed();

    uint8_t held = 0;
    return Feed(Port, *answer, Reply, ReplyLength, ReplyMode, 1, held) ? Succeed() : Fail();
  }

 private:
  static constexpr int32_t kNoReply = 3;
  struct Entry {
    sim::Bytes Frame;
    sim::Bytes Answer;
  };

  int32_t Succeed() {
    Status = 1;
    return 0;
  }
  int32_t Fail() {
    Status = 2;
    return kNoReply;
  }

  sim::Simulator& Sim;
  Mode Current = Mode::Live;
  std::vector<Entry> Tape;
  size_t Next = 0;
  bool Mismatch = false;
  uint8_t Status = 0;
};

}  // namespace qx25::bench
