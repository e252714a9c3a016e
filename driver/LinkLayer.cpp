// Exchange and its reply handler: the one request/reply primitive through the
// host's port dispatcher.
#include <cstring>

#include "Driver.h"

using namespace qx25;

namespace {

bool ReplyHandler(void* Self, uint8_t Port, uint8_t* Buffer, void* Unused1, uint8_t* Length,
                  void* Unused2) {
  return static_cast<TQX25*>(Self)->ValidateReply(Port, Buffer, Unused1, *Length, Unused2);
}

}  // namespace

bool TQX25::ValidateReply(uint8_t Port, uint8_t* Buffer, void*, uint8_t& Length, void*) {
  const TReplyVerdict v = CheckReply(Buffer, Length);
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
  PortIndex(Port);
  if (RequestLength == 0 || RequestLength > kMaxRequestLength) return kExchangeBadRequest;

  uint8_t frame[kFrameBufferSize];
  const uint8_t frameLength = EncodeFrame(Buffer, RequestLength, frame);
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
  return result;
}
