// The simulator's side of the line on arbitrary bytes: the frame decoder, the
// collector that cuts a byte stream into frames, the request parser and the
// digit reader, and the simulated controllers answering whatever frames come
// out. Every decoded frame must be exactly what the encoder makes of its
// data (and every such frame must decode); every frame the collector cuts
// must be a stretch of the stream that starts at 0x7F; every answer must be
// a lone ACK, NAK or CAN or a whole reply frame.
//
// Input: a mode byte, then either the raw bytes a controller hears (even
// mode) or request data that is framed before it is heard (odd mode), which
// lets the fuzzer reach the controllers' handling of odd arguments.
#include "FuzzSupport.h"
#include "sim/Simulator.h"

using namespace qx25;
using namespace qx25::fuzz;
using namespace qx25::sim;

namespace {

void CheckAnswer(const std::optional<Bytes>& Answer) {
  if (!Answer || Answer->empty()) return;
  const Bytes& a = *Answer;
  if (a.size() == 1)
    Expect(a[0] == kAck || a[0] == kNak || a[0] == kCan,
           "a one-byte answer that is no ACK/NAK/CAN");
  else
    Expect(IsReplyFrame(a.data(), a.size()), "an answer that is no whole reply frame");
}

// The digits are read here a second time, apart from ParseDigits: an oracle
// that called the code it checks would agree with any fault in it.
void CheckDigits(const Bytes& Stream) {
  const size_t count = Stream.size() < 20 ? Stream.size() : 20;
  const std::optional<int64_t> v = ParseDigits(Stream.data(), count);
  bool digits = count <= 18;
  int64_t expected = 0;
  for (size_t i = 0; i < count && digits; ++i) {
    digits = Stream[i] >= '0' && Stream[i] <= '9';
    expected = expected * 10 + (Stream[i] - '0');
  }
  Expect(v.has_value() == digits, "digits read where there are none, or refused where there are");
  if (v) Expect(*v == expected, "digits read to another value");
  if (v && count > 0) {
    uint8_t again[20];
    WriteDigits(again, static_cast<uint64_t>(*v), count);
    Expect(std::memcmp(again, Stream.data(), count) == 0, "digits written back differently");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size == 0) return 0;
  const bool framed = Data[0] & 1;
  Bytes stream(Data + 1, Data + Size);
  if (framed) {
    if (stream.empty() || stream.size() > kMaxRequestLength) return 0;
    stream = RequestFrame(stream);
  }

  // The whole stream as one frame.
  const std::optional<Bytes> whole = DecodeRequestFrame(stream.data(), stream.size());
  Expect(whole.has_value() == IsRequestFrame(stream.data(), stream.size()),
         "the decoder and the encoder disagree on a frame");
  if (whole) {
    const std::optional<DecodedRequest> asked = ParseRequest(*whole);
    if (asked && asked->To == RequestTarget::Controller)
      Expect(asked->Address >= kMinNetAddress && asked->Address <= kMaxNetAddress,
             "a request for an address no controller can have");
  }
  if (stream.size() >= 2) {
    const std::optional<int> address = NetworkAddressOf(stream[0], stream[1]);
    if (address) {
      const TAddressBytes back = MapNetworkAddress(*address);
      Expect(back.Group == stream[0] && back.Address == stream[1], "an address read back wrong");
    }
  }
  CheckDigits(stream);

  // The stream as a line carries it, into frames, each answered.
  Simulator sim;
  for (int address : {1, 2, 17}) sim.AddController(address);
  FrameCollector collector;
  for (size_t i = 0; i < stream.size(); ++i) {
    if (!collector.Push(stream[i])) continue;
    const Bytes& f = collector.Frame();
    Expect(!f.empty() && f[0] == kFrameStart && f.size() <= i + 1, "a frame out of nowhere");
    Expect(std::memcmp(f.data(), stream.data() + i + 1 - f.size(), f.size()) == 0,
           "a frame that is no stretch of the stream");
    CheckAnswer(sim.Respond(f.data(), f.size()));
  }
  return 0;
}
