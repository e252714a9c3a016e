// Exchange and its reply handler: the one request/reply primitive through the
// host's port dispatcher.
#include <cstring>

#include "Driver.h"

using namespace qx25;

namespace {

// What the exchange running on this thread expects back. The reply handler's
// signature is fixed by the dispatcher's table and its Self is the driver, so
// the expectation cannot travel with the call; but a thread runs one exchange
// at a time and the dispatcher calls the handler inside Transact, on the
// caller's thread. A handler called in any other way (no exchange running,
// another driver or port, another thread) checks the frame alone.
struct TExpectedReply {
  const TQX25* Driver;
  uint8_t Port;
  uint8_t ReplyLength;
  uint8_t ReplyMode;
  // The handler's last verdict against bytes of this exchange: a reply code,
  // kWrongLength, or 0 for none. A byte, so that the many partial replies of
  // a slow line cost a store each and the text is found only on failure.
  mutable uint8_t Rejection = 0;
};

thread_local const TExpectedReply* Expected = nullptr;
// The Rejection of this thread's last failed exchange, for its log line.
// Written only when an exchange fails: a thread-local access in a shared
// library is a call, which every good exchange would pay.
thread_local const char* FailedRejection = nullptr;

// A frame that checks, at another length than the one due.
constexpr uint8_t kWrongLength = 1;

const char* RejectionText(uint8_t Rejection) {
  switch (Rejection) {
    case 0: return nullptr;
    case kWrongLength: return "not a whole reply of the expected length";
    case kReplyNoStart: return "no frame start";
    case kReplyBadChecksum: return "bad checksum";
    default: return "incomplete or malformed frame";
  }
}

// Publishes an exchange's expectation for its duration; nests.
class TExpectationScope {
 public:
  explicit TExpectationScope(const TExpectedReply& Reply) : Saved(Expected) { Expected = &Reply; }
  ~TExpectationScope() { Expected = Saved; }
  TExpectationScope(const TExpectationScope&) = delete;
  TExpectationScope& operator=(const TExpectationScope&) = delete;

 private:
  const TExpectedReply* Saved;
};

// Where a data frame is due, the frame check alone is not enough: a damaged
// reply can hold a shorter frame that checks (a lost byte can leave 0x03,
// 0x03 and a matching checksum early), and a damaged or lost STX lets the
// lead-byte scan stop at a data or complement byte that reads as ACK, NAK or
// CAN. So a frame counts only at exactly the expected length, and a one-byte
// reply only when nothing follows it in the buffer; anything else is not a
// reply yet, and the dispatcher reads on (and fails the exchange when the
// bytes run out). Whether more bytes follow a lone byte is the dispatcher's
// to see: it alone knows the line's timing.
TReplyVerdict ExpectDataReply(const TReplyVerdict& Verdict, const uint8_t* Buffer, uint8_t Length,
                              uint8_t ReplyLength) {
  if (!Verdict.Accepted) return Verdict;
  // Every data frame has an even length: STX, pairs, ETX, ETX, checksum.
  const bool complete = Buffer[0] == kStx ? Length == ReplyLength && Length % 2 == 0 : Length == 1;
  if (complete) return Verdict;
  return {false, true, kStateMalformed, kReplyMalformed};
}

bool ReplyHandler(void* Self, uint8_t Port, uint8_t* Buffer, void* Unused1, uint8_t* Length,
                  void* Unused2) {
  return static_cast<TQX25*>(Self)->ValidateReply(Port, Buffer, Unused1, *Length, Unused2);
}

}  // namespace

bool TQX25::ValidateReply(uint8_t Port, uint8_t* Buffer, void*, uint8_t& Length, void*) {
  TReplyVerdict v = CheckReply(Buffer, Length);
  const TExpectedReply* due = Expected;
  const bool mine = due != nullptr && due->Driver == this && due->Port == Port;
  const bool frameAccepted = v.Accepted;
  if (mine && due->ReplyMode == kModeData) v = ExpectDataReply(v, Buffer, Length, due->ReplyLength);
  if (mine && !v.Accepted) due->Rejection = frameAccepted ? kWrongLength : v.Code;
  // The dispatcher's own faults must not escape into its read loop.
  try {
    if (v.HasState) Dispatcher->SetReplyState(Port, v.State);
    Dispatcher->SetReplyResult(Port, v.Code);
  } catch (...) {
  }
  return v.Accepted;
}

int32_t TQX25::Exchange(uint8_t Port, uint8_t* Buffer, uint8_t RequestLength, uint8_t ReplyLength,
                        uint8_t ReplyMode) {
  const TPortLock hold(Port);
  PortIndex(Port);
  if (RequestLength == 0 || RequestLength > kMaxRequestLength) {
    FailedRejection = nullptr;
    return kExchangeBadRequest;
  }

  uint8_t frame[kFrameBufferSize];
  const uint8_t frameLength = EncodeFrame(Buffer, RequestLength, frame);
  const TExpectedReply expected{this, Port, ReplyLength, ReplyMode};
  const TExpectationScope scope(expected);
  int32_t result;
  try {
    Dispatcher->SetReplyHandler(Port, TReplyHandler{&ReplyHandler, this});
    result = Dispatcher->Transact(Port, frame, frameLength, Buffer, ReplyLength, ReplyMode);
    PortStatus[Port] = Dispatcher->GetLineStatus(Port);
  } catch (...) {
    try {
      result = Dispatcher->GetErrorCode(Port);
    } catch (...) {
      result = kExchangeFailed;
    }
    // A failure must never read as success to the command.
    if (result == 0) result = kExchangeFailed;
  }
  if (result != 0) FailedRejection = RejectionText(expected.Rejection);
  return result;
}

const char* qx25::LastRejection() { return FailedRejection; }
