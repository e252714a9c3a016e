// The base of the port dispatchers that answer from memory in the tests and
// fuzz targets: it hands a reply's bytes to the port's reply handler as a
// serial line delivers them, and keeps the quiet-line rule of
// PortDispatcher::Transact, the line being quiet once no byte is left.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "driver/PortDispatcher.h"
#include "driver/protocol/Protocol.h"

class MemoryDispatcher : public PortDispatcher {
 public:
  int32_t GetErrorCode(uint8_t) override { return 1; }
  void SetReplyResult(uint8_t, uint8_t) override {}
  void SetReplyState(uint8_t, uint8_t) override {}
  uint8_t GetLineStatus(uint8_t Port) override { return LineStatuses[Port]; }
  int32_t SetLineParams(uint8_t, int32_t, int32_t) override { return 0; }
  void SetReplyHandler(uint8_t Port, TReplyHandler H) override { Handlers[Port] = H; }
  void SetPortSetupHandler(uint8_t, TPortSetupHandler) override {}

  // Whether a reply the handler accepted at Held bytes stands, with More
  // bytes behind it on the line: where a data frame is due, a lone byte
  // stands only on a quiet line.
  static bool Stands(uint8_t ReplyMode, uint8_t ReplyLength, size_t Held, bool More) {
    return !(ReplyMode == qx25::kModeData && Held == 1 && ReplyLength > 1 && More);
  }

 protected:
  ~MemoryDispatcher() = default;

  // Hands Line to the reply handler of Port, Chunk bytes at a time, into
  // Reply (room for ReplyLength bytes), until the handler accepts or the
  // bytes run out. Held gets the bytes kept in Reply. Returns whether a
  // reply stands.
  bool Feed(uint8_t Port, const std::vector<uint8_t>& Line, uint8_t* Reply, uint8_t ReplyLength,
            uint8_t ReplyMode, size_t Chunk, uint8_t& Held) {
    const TReplyHandler handler = Handlers[Port];
    bool accepted = false;
    size_t next = 0;
    Held = 0;
    while (next < Line.size() && Held < ReplyLength) {
      BeforeBytes();
      const size_t n = std::min({Chunk, Line.size() - next, size_t{ReplyLength} - Held});
      for (size_t i = 0; i < n; ++i) Reply[Held++] = Line[next++];
      accepted = handler.Code(handler.Self, Port, Reply, nullptr, &Held, nullptr);
      if (accepted) break;
    }
    return accepted && Stands(ReplyMode, ReplyLength, Held, next < Line.size());
  }

  // Called before each arrival of bytes.
  virtual void BeforeBytes() {}

  TReplyHandler Handlers[256]{};
  uint8_t LineStatuses[256]{};
};
