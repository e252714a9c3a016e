// A port dispatcher for byte-exact unit tests: it records every frame the
// driver sends and answers from a script, feeding the scripted bytes to the
// driver's reply handler one at a time (or Chunk at a time), as a serial line
// delivers them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include "driver/DriverPtr.h"
#include "driver/QX25.h"
#include "driver/protocol/Link.h"
#include "testsupport/MemoryDispatcher.h"

using Bytes = std::vector<uint8_t>;

struct ScriptedReply {
  Bytes Data;           // the bytes as they arrive on the line
  bool Throw = false;   // Transact raises instead of answering
  int LineStatus = -1;  // overrides the derived line status when >= 0
};

class ScriptedDispatcher : public MemoryDispatcher {
 public:
  // Line status reported after a reply that the handler never accepted.
  static constexpr uint8_t kNoReply = 2;
  int32_t ErrorCode = 99;

  std::deque<ScriptedReply> Script;
  std::vector<Bytes> Frames;       // every frame sent, in order
  std::vector<std::string> Calls;  // every dispatcher call, in order
  std::vector<uint8_t> ReplyLengths, ReplyModes;
  int32_t LineParamsResult = 0;
  // Bytes handed to the reply handler per arrival: 1 as a slow line delivers
  // them, more as a fast one may.
  size_t Chunk = 1;
  TPortSetupHandler SetupHandler{};

  // Script helpers.
  void Answer(Bytes Raw) { Script.push_back({std::move(Raw)}); }
  void AnswerData(const Bytes& Data) { Answer(qx25::ReplyFrame(Data)); }
  void Ack() { Answer({qx25::kAck}); }
  void Nak() { Answer({qx25::kNak}); }
  void Can() { Answer({qx25::kCan}); }
  void Silence() { Answer({}); }
  void Fail() { Script.push_back({{}, true}); }
  // An accepted reply that leaves the given line status (not 1).
  void AnswerWithStatus(Bytes Raw, int LineStatus) {
    Script.push_back({std::move(Raw), false, LineStatus});
  }

  // Request data of frame i, decoded from the frame.
  Bytes Request(size_t i) const {
    const Bytes& f = Frames.at(i);
    Bytes data{f.at(1)};
    for (size_t p = 2; p + 3 < f.size(); p += 2) data.push_back(f[p]);
    return data;
  }
  Bytes LastRequest() const { return Request(Frames.size() - 1); }
  // The command letters sent, in order ('W' and ']' carry no nozzle address).
  std::string Letters() const {
    std::string s;
    for (size_t i = 0; i < Frames.size(); ++i) {
      const Bytes r = Request(i);
      const bool common = r.size() > 1 && (r[1] == 'W' || r[1] == ']');
      s += static_cast<char>(common ? r[1] : r.size() > 2 ? r[2] : '?');
    }
    return s;
  }

  int32_t GetErrorCode(uint8_t Port) override {
    Calls.push_back("GetErrorCode " + std::to_string(Port));
    return ErrorCode;
  }
  void SetReplyResult(uint8_t Port, uint8_t Code) override {
    Calls.push_back("SetReplyResult " + std::to_string(Port) + " " + std::to_string(Code));
    LastCode = Code;
  }
  void SetReplyState(uint8_t Port, uint8_t State) override {
    Calls.push_back("SetReplyState " + std::to_string(Port) + " " + std::to_string(State));
  }
  uint8_t GetLineStatus(uint8_t Port) override {
    Calls.push_back("GetLineStatus " + std::to_string(Port));
    return Status;
  }
  int32_t Transact(uint8_t Port, const uint8_t* Frame, uint8_t FrameLength, uint8_t* Reply,
                   uint8_t ReplyLength, uint8_t ReplyMode) override {
    Calls.push_back("Transact " + std::to_string(Port));
    Frames.emplace_back(Frame, Frame + FrameLength);
    ReplyLengths.push_back(ReplyLength);
    ReplyModes.push_back(ReplyMode);
    if (ReplyLength == 0) {  // send only
      Status = 1;
      return 0;
    }
    if (Script.empty()) throw std::logic_error("ScriptedDispatcher: no reply scripted");
    ScriptedReply r = std::move(Script.front());
    Script.pop_front();
    if (r.Throw) throw std::runtime_error("line failure");
    uint8_t held = 0;
    const bool accepted = Feed(Port, r.Data, Reply, ReplyLength, ReplyMode, Chunk, held);
    Status = r.LineStatus >= 0 ? static_cast<uint8_t>(r.LineStatus) : accepted ? 1 : kNoReply;
    return accepted ? 0 : 1;
  }
  int32_t SetLineParams(uint8_t Port, int32_t Format, int32_t Baud) override {
    Calls.push_back("SetLineParams " + std::to_string(Port) + " " + std::to_string(Format) + " " +
                    std::to_string(Baud));
    return LineParamsResult;
  }
  void SetReplyHandler(uint8_t Port, TReplyHandler H) override {
    Calls.push_back("SetReplyHandler " + std::to_string(Port));
    MemoryDispatcher::SetReplyHandler(Port, H);
  }
  void SetPortSetupHandler(uint8_t Port, TPortSetupHandler H) override {
    Calls.push_back("SetPortSetupHandler " + std::to_string(Port));
    SetupHandler = H;
  }

  uint8_t Status = 0;
  uint8_t LastCode = 0;
};
