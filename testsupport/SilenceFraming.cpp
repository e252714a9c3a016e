#include "SilenceFraming.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace qx25::serial::device {

int32_t ReadUntilSilent(const ReplyTarget& Target, Clock::time_point FirstByte,
                        Clock::duration Silence, const TReplyHandler& Handler, uint8_t ReplyMode,
                        std::vector<uint8_t>* Received, int32_t& Failure) {
  // The handler takes a length in a byte: a longer reply cannot be judged.
  uint8_t held[UINT8_MAX];
  size_t count = 0;
  bool accepted = false;
  bool overlong = false;
  bool afterLoneByte = false;  // bytes came behind an accepted lone byte
  // Only a line that never stops talking meets this bound: a paced reply
  // of the most bytes the handler can take is in by FirstByte plus its wire
  // time, and twice that leaves a loaded host room to read late.
  const Clock::time_point whole = FirstByte + 2 * WireTime(UINT8_MAX, Target.Baud) + Silence;
  Clock::time_point quietBy = FirstByte;
  for (;;) {
    uint8_t chunk[64];
    size_t got = 0;
    const ReadResult read = ReadSome(Target.Fd, chunk, sizeof chunk, std::min(quietBy, whole), got);
    if (read == ReadResult::Failed) return kSerialLineError;
    if (read == ReadResult::Gone) return kSerialDeviceLost;
    if (read == ReadResult::TimedOut) break;
    quietBy = Clock::now() + Silence;
    if (Received != nullptr) Received->insert(Received->end(), chunk, chunk + got);
    // The same rule as the dispatcher's own framing: where a data frame is
    // due, a lone byte followed by more was a damaged frame start.
    const bool lone = accepted && count == 1;
    afterLoneByte = afterLoneByte ||
                    (lone && ReplyMode == PortDispatcher::kReplyData && Target.ReplyLength > 1);
    const size_t room = sizeof held - count;
    std::memcpy(held + count, chunk, std::min(got, room));
    count += std::min(got, room);
    overlong = overlong || got > room;
    if (Handler.Code != nullptr) {
      uint8_t length = static_cast<uint8_t>(count);
      Failure = kSerialRejected;
      accepted = Handler.Code(Handler.Self, Target.Port, held, nullptr, &length, nullptr);
      Failure = kSerialLineError;
      count = std::min<size_t>(count, length);  // it may drop leading bytes, never add any
    } else {
      accepted = count == Target.ReplyLength;
    }
  }
  // Noise that the handler dropped is no reply either.
  if (count == 0) return kSerialTimeout;
  std::memcpy(Target.Reply, held, std::min<size_t>(count, Target.ReplyLength));
  if (overlong || afterLoneByte || quietBy > whole || count > Target.ReplyLength)
    return kSerialRejected;
  if (accepted) return kSerialOk;
  return count == Target.ReplyLength ? kSerialRejected : kSerialTimeout;
}

}  // namespace qx25::serial::device
