#include "SilenceFramedDispatcher.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "SilenceFraming.h"

namespace qx25::testsupport {

void SilenceFramedDispatcher::SetSilenceFraming(uint8_t Port, std::chrono::milliseconds Silence) {
  if (Silence < std::chrono::milliseconds::zero() || Silence > kMaxSilence)
    throw std::invalid_argument("a silence of " + std::to_string(Silence.count()) +
                                " ms is not 0.." + std::to_string(kMaxSilence.count()));
  const std::lock_guard<std::mutex> hold(Lock);
  Silences[Port] = Silence;
}

std::chrono::milliseconds SilenceFramedDispatcher::SilenceFraming(uint8_t Port) const {
  const std::lock_guard<std::mutex> hold(Lock);
  return Silences[Port];
}

int32_t SilenceFramedDispatcher::ReadReply(const ReplyRead& Read, const ByteSink& Take,
                                           uint8_t& Held, int32_t& Failure) {
  const std::chrono::milliseconds silence = SilenceFraming(Read.Port);
  if (silence.count() == 0) return SerialDispatcher::ReadReply(Read, Take, Held, Failure);
  std::vector<uint8_t> received;
  const int32_t result = serial::device::ReadUntilSilent(
      {Read.Fd, Read.Baud, Read.Port, Read.Reply, Read.ReplyLength}, Read.FirstByte, silence,
      *Read.Handler, Read.ReplyMode, &received, Failure);
  Take(received.data(), received.size());
  Held = static_cast<uint8_t>(std::min<size_t>(received.size(), Read.ReplyLength));
  return result;
}

}  // namespace qx25::testsupport
