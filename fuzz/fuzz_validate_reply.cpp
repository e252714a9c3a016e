// The reply handler on arbitrary bytes (0 to 255 of them), called alone or
// from inside an exchange that expects a data frame or a one-byte reply. It
// must report exactly one verdict that agrees with what it returns (state 1
// and code 0 for an accepted reply; state 3 and code 246 for a malformed one;
// 222 and 223 without a state), may only drop leading non-lead bytes, never
// grows the length, and accepts nothing but a lone ACK, NAK or CAN or a
// frame that is exactly what the encoder makes of its data bytes; inside a
// data exchange, only such a frame of the expected length or a lone byte.
//
// Input: a context byte, the expected reply length, then the reply bytes.
#include <memory>

#include "FuzzSupport.h"
#include "driver/Driver.h"

using namespace qx25;
using namespace qx25::fuzz;

namespace {

constexpr uint8_t kPort = 5;

enum Context : uint8_t { Alone, DataExchange, ShortExchange, OtherPort, kContextCount };

struct Verdict {
  int Calls = 0;  // SetReplyState and SetReplyResult, in order
  int State = -1, Code = -1;
  bool StateAfterCode = false;
};

class Recorder final : public PortDispatcher {
 public:
  Bytes Reply;
  Context In = Alone;
  uint8_t ExpectedLength = 0;
  Bytes Before, After;
  uint8_t LengthAfter = 0;
  bool Accepted = false;
  Verdict Seen;

  void Judge(uint8_t Port) {
    // The handler sees exactly the bytes, in memory of their size, so that
    // the sanitizer sees any access outside them.
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[Reply.size()]);
    if (!Reply.empty()) std::memcpy(buffer.get(), Reply.data(), Reply.size());
    uint8_t length = static_cast<uint8_t>(Reply.size());
    Before = Reply;
    Accepted = Handler.Code(Handler.Self, Port, buffer.get(), nullptr, &length, nullptr);
    LengthAfter = length;
    After.assign(buffer.get(), buffer.get() + (length <= Reply.size() ? length : 0));
  }

  int32_t GetErrorCode(uint8_t) override { return 1; }
  void SetReplyResult(uint8_t Port, uint8_t Code) override {
    Expect(Port == JudgedPort, "verdict reported for another port");
    Expect(Seen.Code < 0, "two verdicts for one call");
    Seen.Code = Code;
    ++Seen.Calls;
  }
  void SetReplyState(uint8_t Port, uint8_t State) override {
    Expect(Port == JudgedPort, "state reported for another port");
    Expect(Seen.State < 0, "two states for one call");
    if (Seen.Code >= 0) Seen.StateAfterCode = true;
    Seen.State = State;
    ++Seen.Calls;
  }
  uint8_t GetLineStatus(uint8_t) override { return 1; }
  int32_t Transact(uint8_t Port, const uint8_t*, uint8_t, uint8_t*, uint8_t, uint8_t) override {
    Judge(In == OtherPort ? static_cast<uint8_t>(Port + 1) : Port);
    return 0;
  }
  int32_t SetLineParams(uint8_t, int32_t, int32_t) override { return 0; }
  void SetReplyHandler(uint8_t, TReplyHandler H) override { Handler = H; }
  void SetPortSetupHandler(uint8_t, TPortSetupHandler) override {}

  TReplyHandler Handler{};
  uint8_t JudgedPort = kPort;
};

// The handler bound to a driver, as Exchange registers it, for the call
// outside any exchange.
TReplyHandler Bound(TQX25& Driver) {
  return {[](void* Self, uint8_t Port, uint8_t* Buffer, void* U1, uint8_t* Length, void* U2) {
            return static_cast<TQX25*>(Self)->ValidateReply(Port, Buffer, U1, *Length, U2);
          },
          &Driver};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  InputReader in(Data, Size);
  Recorder line;
  line.In = static_cast<Context>(in.Byte() % kContextCount);
  line.ExpectedLength = in.Byte();
  line.Reply = in.Take(255);

  TQX25 driver{};
  driver.Dispatcher = &line;
  driver.AddressStride = 1;
  if (line.In == Alone) {
    line.Handler = Bound(driver);
    line.Judge(kPort);
  } else {
    uint8_t buffer[kBufferSize] = {0x02, 0x21, '1'};
    line.JudgedPort = line.In == OtherPort ? kPort + 1 : kPort;
    const uint8_t mode = line.In == ShortExchange ? kModeShort : kModeData;
    driver.Exchange(kPort, buffer, 3, line.ExpectedLength, mode);
  }

  const Verdict& v = line.Seen;
  const bool data = line.In == DataExchange;
  // One verdict, its state before it, and the verdict agrees with the result.
  Expect(v.Code >= 0, "no verdict reported");
  Expect(!v.StateAfterCode, "state reported after the verdict");
  switch (v.Code) {
    case kReplyAccepted:
      Expect(line.Accepted && v.State == kStateComplete, "accepted without state 1");
      break;
    case kReplyMalformed:
      Expect(!line.Accepted && v.State == kStateMalformed, "code 246 without state 3");
      break;
    case kReplyBadChecksum:
    case kReplyNoStart:
      Expect(!line.Accepted && v.State < 0, "code 222 or 223 with a state");
      break;
    default:
      Finding("a verdict outside 0, 222, 223 and 246");
  }

  // Only leading bytes that are no lead byte may go; nothing else changes.
  const size_t before = line.Before.size();
  Expect(line.LengthAfter <= before, "the length grew");
  const size_t dropped = before - line.LengthAfter;
  for (size_t i = 0; i < dropped; ++i)
    Expect(!IsLeadByte(line.Before[i]), "a lead byte was dropped");
  Expect(line.LengthAfter == 0 ||
             std::memcmp(line.After.data(), line.Before.data() + dropped, line.LengthAfter) == 0,
         "kept bytes changed");
  if (line.LengthAfter > 0) Expect(IsLeadByte(line.After[0]), "the scan stopped short of a lead");
  if (v.Code == kReplyNoStart) Expect(line.LengthAfter == 0, "223 with a lead byte left");

  if (!line.Accepted) return 0;
  const uint8_t* r = line.After.data();
  const size_t n = line.LengthAfter;
  Expect(n > 0, "an empty reply accepted");
  if (r[0] != kStx) {
    if (data) Expect(n == 1, "a lead byte with bytes behind it taken for a data reply");
    return 0;
  }
  if (data) {
    Expect(n == line.ExpectedLength, "a data frame of another length accepted");
    Expect(IsReplyFrame(r, n), "a data frame accepted that is no encoder's frame");
  } else if (n % 2 == 0) {
    // An odd length can pass the frame check alone (its half-length rounds
    // to even); the exchanges of the commands never expect one.
    Expect(IsReplyFrame(r, n), "a frame accepted that is no encoder's frame");
  }
  return 0;
}
