// The serial dispatcher with a second framing beside its own, for the
// benchmark that compares them on one line: a port set to a silence ends
// each reply only when the line has stayed silent that long after the last
// byte, as drivers that do not count a reply's bytes frame them, and the
// reply handler's verdict on everything that came is the exchange's. A port
// set to zero (the default) reads replies as the serial dispatcher does.
// Failure classes are Transact's: nothing before the first byte's time-out,
// or a reply that fell silent short of its length unaccepted, is a time-out;
// a reply the handler rejects at its length, a longer one, a lone byte with
// more behind it where data is due, or a line that never falls silent, is
// rejected. The silence behind a lone byte stands for the quiet-line rule's
// gap. Every call may be made from any thread.
#pragma once

#include <chrono>
#include <mutex>

#include "serial/SerialDispatcher.h"

namespace qx25::testsupport {

class SilenceFramedDispatcher : public serial::SerialDispatcher {
 public:
  static constexpr std::chrono::milliseconds kMaxSilence{10'000};
  // Throws std::invalid_argument for a Silence outside 0..kMaxSilence.
  void SetSilenceFraming(uint8_t Port, std::chrono::milliseconds Silence);
  std::chrono::milliseconds SilenceFraming(uint8_t Port) const;

 protected:
  int32_t ReadReply(const ReplyRead& Read, const ByteSink& Take, uint8_t& Held,
                    int32_t& Failure) override;

 private:
  mutable std::mutex Lock;  // guards Silences
  std::chrono::milliseconds Silences[256] = {};
};

}  // namespace qx25::testsupport
