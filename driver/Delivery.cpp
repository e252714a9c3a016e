// Delivery volumes and counters: the current and final volume with their
// money, the totalizer and its password-protected write, the price store, the
// property table and the two reserved slots.
//
// A data query reads its fields only from a data frame that carries them. A
// one-byte ACK, NAK or CAN where data was expected carries no volume: the
// query then reports 0, leaves DeliveredVolumes as it was, so that a half-read
// reply never replaces the last good volume, and sets PortStatus to
// kAnsweredWithoutData (kRefusedCurrent for a CAN to the current-delivery
// query), so that the host never takes the 0 for a real one.
#include "Delivery.h"

#include <cmath>
#include <stdexcept>
#include <string>

#include "SlotBoundary.h"

using namespace qx25;

namespace {

// Eight digits of hundredths: 0 to 999999.99.
constexpr double kMaxCounterHundredths = MaxDigitsValue(kTotalDigits);

// Money for a volume at the price of the nozzle's remembered side. A nozzle
// that was never started has no side, so no price: its money is 0.
double MoneyFor(const TQX25& Driver, uint8_t Port, int Nozzle, double Volume) {
  const int side = Driver.NozzleSides[Port][Nozzle];
  if (side < 1 || side > kMaxSide) return 0;
  const double price = Driver.Prices[Port][Nozzle][side];
  return RoundHalfEven(Volume * price * kCentsPerUnit + kCentRoundingAddend) / kCentsPerUnit;
}

// Sends a volume query to the side the nozzle was last started on and reads
// the volume Field of its reply, which becomes the nozzle's delivered volume,
// with its money. A reply without the field gives 0 and 0, and PortStatus
// says why: Refusal for a CAN, kAnsweredWithoutData for any other lone byte.
// A failed exchange throws ESerialIO with the delivery message and leaves
// Money as it was.
double QueryVolume(TQX25& Driver, uint8_t Port, int Nozzle, const TRequestKind& Kind,
                   TDigitField Field, uint8_t Refusal, double& Money) {
  TRequest request = NozzleRequest(Driver, Nozzle, Driver.NozzleSides[Port][Nozzle], Kind.Letter);
  const TReply reply = SendOrThrow(Driver, Port, request, Kind, kMsgDelivery);
  Money = 0;
  if (reply.Outcome == TReplyOutcome::InDoubt) return 0;
  if (!HasData(reply.Data, Field.End())) {
    SetRefusal(Driver, Port, request, Kind,
               reply.Outcome == TReplyOutcome::Refused ? Refusal : kAnsweredWithoutData);
    return 0;
  }
  const double volume = ReadField(reply.Data, Field);
  Driver.DeliveredVolumes[Port][Nozzle] = volume;
  Money = MoneyFor(Driver, Port, Nozzle, volume);
  return volume;
}

}  // namespace

namespace qx25 {

int ReplyDataCount(const uint8_t* Buffer) {
  if (Buffer[0] != kStx) return 0;
  // The exchange accepted the frame, so its data pairs run up to the 0x03,
  // 0x03 trailer, which is no byte-and-complement pair.
  int m = 0;
  while (2 * m + 2 < kBufferSize && (Buffer[2 * m + 1] ^ Buffer[2 * m + 2]) == kComplementMask) ++m;
  return m;
}

}  // namespace qx25

// Reserved: the driver has nothing to report here.
uint8_t TQX25::SpareQuery(int32_t) { return 0; }

// Reserved: no work.
void TQX25::SpareCommand(int32_t, int32_t, int32_t) {}

double TQX25::GetCurrentDelivery(int32_t Port, int32_t Nozzle, double& Money) QX25_SLOT_TRY {
  QX25_SLOT_ENTER;
  const TPortLock hold(Port);
  const int nozzle = NozzleIndex(Nozzle);
  const uint8_t port = PortIndex(Port);
  return QueryVolume(*this, port, nozzle, kCurrentRequest, TCurrentReply::Volume, kRefusedCurrent,
                     Money);
}
QX25_SLOT_CATCH(0)

void TQX25::GetDeliveryResult(int32_t Port, int32_t Nozzle, double& Volume,
                              double& Money) QX25_SLOT_TRY {
  QX25_SLOT_ENTER;
  const TPortLock hold(Port);
  const int nozzle = NozzleIndex(Nozzle);
  const uint8_t port = PortIndex(Port);
  // No refusal code of its own: a CAN here is a reply without the result.
  Volume = QueryVolume(*this, port, nozzle, kResultRequest, TResultReply::Volume,
                       kAnsweredWithoutData, Money);
}
QX25_SLOT_CATCH()

void TQX25::GetTotalCounter(int32_t Port, int32_t Nozzle, int32_t Side, double& Total,
                            uint64_t& Second, int32_t, int32_t) QX25_SLOT_TRY {
  QX25_SLOT_ENTER;
  const TPortLock hold(Port);
  const int nozzle = NozzleIndex(Nozzle);
  const uint8_t port = PortIndex(Port);
  SideOrNone(Side);
  TRequest request = NozzleRequest(*this, nozzle, Side, kTotalRequest.Letter);
  const TReply reply = SendOrThrow(*this, port, request, kTotalRequest, kMsgDelivery);

  Total = 0;
  Second = 0;  // nothing on the line fills it
  if (reply.Outcome == TReplyOutcome::InDoubt) return;
  if (!HasData(reply.Data, TTotalReply::Total.End())) {
    SetRefusal(*this, port, request, kTotalRequest, kAnsweredWithoutData);
    return;
  }
  Total = ReadField(reply.Data, TTotalReply::Total);
}
QX25_SLOT_CATCH()

void TQX25::SetTotalCounter(int32_t Port, int32_t Nozzle, int32_t Side, double& Value, int32_t,
                            int32_t, int32_t) QX25_SLOT_TRY {
  QX25_SLOT_ENTER;
  const TPortLock hold(Port);
  const int nozzle = NozzleIndex(Nozzle);
  const uint8_t port = PortIndex(Port);
  SideOrNone(Side);
  // The counter travels as eight digits of hundredths; a value that does not
  // fit is refused before the password opens the counter.
  const double hundredths = RoundHalfEven(Value * kCounterScale);
  if (!(hundredths >= 0 && hundredths <= kMaxCounterHundredths))
    throw std::out_of_range("Counter value " + Text(Value) + " is outside 0..999999.99");

  // The counter password goes into code 26 of side 1, whatever side is set.
  WriteCtrlParam(port, nozzle, kPasswordCode, kCounterPassword);

  TRequest request = NozzleRequest(*this, nozzle, Side, kSetTotalRequest.Letter);
  request.Put(kSetTotalMarker);
  request.PutDigits(static_cast<uint64_t>(hundredths), kTotalDigits);
  SendOrThrow(*this, port, request, kSetTotalRequest, kMsgDelivery);

  // Code 26 now holds the controller's confirmation; reading it closes the
  // operation. Through the table: a host may override the read.
  GetParam(port, nozzle, kParamNoFirstCode + kPasswordCode);
}
QX25_SLOT_CATCH()

void TQX25::SetPrice(int32_t Port, int32_t Nozzle, int32_t Side, int32_t, int32_t,
                     double Price) QX25_SLOT_TRY {
  QX25_SLOT_ENTER;
  const TPortLock hold(Port);
  // Only stored, so no request and no nozzle-number message; but the entry
  // must exist.
  const uint8_t port = PortIndex(Port);
  if (Nozzle < 1 || Nozzle > kMaxNozzle)
    throw std::out_of_range("Nozzle " + std::to_string(Nozzle) + " is outside 1..32");
  Prices[port][Nozzle][SideIndex(Side)] = Price;
}
QX25_SLOT_CATCH()

bool TQX25::GetDriverProperty(int32_t Kind, int32_t& Value) {
  const uint32_t kind = static_cast<uint32_t>(Kind);
  for (const TDriverProperty& p : DriverProperties)
    if (p.Kind == kind) {
      Value = p.Value;
      return true;
    }
  return false;
}
