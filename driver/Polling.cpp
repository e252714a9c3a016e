// The status poll: one status request per side of a nozzle, each reply
// decoded into a state code, the codes merged into one summary for the host.
// A side that reports the end of its delivery is closed by the poll itself:
// the final result is read and the nozzle reset.
//
// A side whose state cannot be read gets kCodeNoState (0x100), which no status
// reply decodes to: when the line left PortStatus other than 1 (the poll stops
// there, as the host then reads the port status), and when the controller
// answered a bare ACK, NAK or CAN instead of a status frame (the poll goes on
// with the next side, and PortStatus ends as kAnsweredWithoutData unless the
// line failed later, so that the host learns that a side went unread). Such a
// side is not merged, and a pending event acknowledgement stays pending, since
// no status reply confirmed it.
#include <stdexcept>
#include <string>

#include "Delivery.h"
#include "SlotBoundary.h"

using namespace qx25;

namespace {

uint8_t EventLetterFor(int Number) {
  for (const TEventLetter& e : EventLetters)
    if (e.Number == Number) return e.Letter;
  return kOtherEventLetter;
}

// Reads the final result of the side that ended its delivery, which stores
// it in DeliveredVolumes, and resets that side. The result query addresses
// the nozzle's remembered side, so that side is set to this one meanwhile and
// put back afterwards. When the query throws, no reset is sent and the entry
// keeps this side, so that the host's next result query asks the side whose
// delivery ended.
void CloseDelivery(TQX25& Driver, uint8_t Port, int Nozzle, int Side, const char* Why) {
  uint8_t& remembered = Driver.NozzleSides[Port][Nozzle];
  const uint8_t saved = remembered;
  remembered = static_cast<uint8_t>(Side);
  double volume = 0, money = 0;
  Driver.GetDeliveryResult(Port, Nozzle, volume, money);  // through the table
  Log(llInfo, TAt{Port, Nozzle, Side}, ": delivery closed by poll: ", Why, "; result ", volume,
      " l");
  Driver.ResetNozzle(Port, Nozzle, Side);  // its outcome shows in the next poll
  remembered = saved;
}

// Why a poll closes a delivery under way, in the controller's terms.
const char* ClosingReason(uint8_t State, uint8_t Sub, double Delivered) {
  if (State == kStateHungUp) return "state 5, hung up before the dose";
  if (State == kStateFinished) return "state 6, dose delivered";
  if (Sub != kSubFlowing) return "state 4, delivery ended";
  if (Delivered <= kMinDeliveredVolume) return "state 4 flowing, no volume read yet";
  return "state 4 flowing, preset reached";
}

uint8_t DecodeSideState(TQX25& Driver, uint8_t Port, int Nozzle, int Side, const uint8_t* Buffer,
                        TNozzlePoll& Poll) {
  const uint8_t state = DataByte(Buffer, TStatusReply::State);
  const uint8_t sub = DataByte(Buffer, TStatusReply::Sub);
  if (state == kStateIdle) {
    if (DataByte(Buffer, TStatusReply::Flags) & kEventReported) {
      constexpr int tens = TStatusReply::Event.First;
      const int number = (DataByte(Buffer, tens) & kEventDigitMask) * 10 +
                         (DataByte(Buffer, tens + 1) & kEventDigitMask);
      Poll.EventLetter = EventLetterFor(number);
      Driver.EventAckPending[Port][Nozzle] = 1;  // the next status request acknowledges it
    }
    return kCodeIdle;
  }
  if (state == kStateNozzleLifted) return static_cast<uint8_t>(kCodeNozzleLifted + Side);
  if (state == kStateAuthorised) return kCodeAuthorised;
  if (state == kStateStopped) return static_cast<uint8_t>(kCodeFinished + Side);
  // From here on, the delivery is under way ('4' to '6').
  if (state < kStateDelivering || state > kStateFinished) return state;

  if (sub == kSubAsAuthorised) return kCodeAuthorised;
  const double delivered = Driver.DeliveredVolumes[Port][Nozzle];
  if (sub == kSubFlowing && delivered > kMinDeliveredVolume &&
      delivered < Driver.PresetVolumes[Port][Nozzle] - kPresetMargin)
    return static_cast<uint8_t>(kCodeDelivering + Side);
  CloseDelivery(Driver, Port, Nozzle, Side, ClosingReason(state, sub, delivered));
  return kCodeFinished;
}

uint16_t RequestSideState(TQX25& Driver, uint8_t Port, int Nozzle, int Side, TNozzlePoll& Poll) {
  TRequest request = NozzleRequest(Driver, Nozzle, Side, kStatusRequest.Letter);
  if (Driver.EventAckPending[Port][Nozzle]) request.Put(kEventAck);
  const TReply reply = SendOrThrow(Driver, Port, request, kStatusRequest, kMsgStatus);
  if (reply.Outcome == TReplyOutcome::InDoubt) return kCodeNoState;
  if (!HasData(reply.Data, TStatusReply::Read)) {
    Log(llWarning, At(Port, request), ": ", kStatusRequest.Name,
        " answered without data, the side is unread (code ", kAnsweredWithoutData, ")");
    return kCodeNoState;
  }
  Driver.EventAckPending[Port][Nozzle] = 0;
  return DecodeSideState(Driver, Port, Nozzle, Side, reply.Data, Poll);
}

// Whether a side's code replaces the summary so far. The first side always
// sets it; an idle summary gives way to any code above 198; an authorised or
// nozzle-lifted summary to 200 and to the delivering and finished classes;
// nothing replaces a delivering or finished summary, or a raw state byte.
bool Overrides(uint8_t Summary, uint8_t Code) {
  switch (Summary & kCodeClassMask) {
    case 0:  // nothing merged yet
      return true;
    case kCodeIdle:
      return Code > kAboveIdle;
    case kCodeAuthorised:
    case kCodeNozzleLifted:
      return (Code & kDeliveryClassBits) == kDeliveryClassBits || Code == kCodeAuthorised;
    default:
      return false;
  }
}

}  // namespace

TNozzlePoll TQX25::PollNozzle(int32_t Port, int32_t Nozzle, int32_t SideCount) QX25_SLOT_TRY {
  QX25_SLOT_ENTER;
  const TPortLock hold(Port);
  TNozzlePoll poll{};
  const int nozzle = NozzleIndex(static_cast<uint8_t>(Nozzle));
  const uint8_t port = PortIndex(Port);
  const int sides = static_cast<uint8_t>(SideCount);
  if (sides > kMaxSide)
    throw std::out_of_range("SideCount " + std::to_string(sides) + " is outside 0..4");

  bool unread = false;
  for (int s = 1; s <= sides; ++s) {
    const uint16_t code = RequestSideState(*this, port, nozzle, s, poll);
    poll.Codes[s - 1] = code;
    if (PortStatus[port] != kLineOk) return poll;
    if (code == kCodeNoState) {
      unread = true;
      continue;
    }
    if (Overrides(poll.State, static_cast<uint8_t>(code))) {
      poll.State = static_cast<uint8_t>(code);
      poll.StateSide = static_cast<uint8_t>(s);
    }
  }
  if (unread) PortStatus[port] = kAnsweredWithoutData;
  return poll;
}
QX25_SLOT_CATCH(TNozzlePoll{})

uint16_t TQX25::GetNozzleState(int32_t Port, int32_t Nozzle) QX25_SLOT_TRY {
  QX25_SLOT_ENTER;
  const TPortLock hold(Port);
  // Through the table with no side to poll: only the argument checks run, so
  // the state is 0 unless a host's own poll says otherwise.
  return PollNozzle(static_cast<uint8_t>(Port), static_cast<uint8_t>(Nozzle), 0).State;
}
QX25_SLOT_CATCH(0)
