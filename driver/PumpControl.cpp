// Pump control: start, preset, stop and reset of one nozzle. Each command is
// one short request answered by a single ACK, NAK or CAN byte; a CAN after an
// accepted exchange is the controller's refusal, which the command records in
// PortStatus as its own refusal code instead of raising.
#include <cmath>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "Driver.h"
#include "SlotBoundary.h"

using namespace qx25;

namespace {

// The '2' request, shared by StartPump and the start step of
// StartPumpWithReset. The side is remembered before the exchange, so a stop
// after a failed start still reaches the side the host last chose.
void SendStart(TQX25& Driver, uint8_t Port, int Nozzle, int32_t Side) {
  TRequest request = NozzleRequest(Driver, Nozzle, Side, kStartRequest.Letter);
  Driver.NozzleSides[Port][Nozzle] = static_cast<uint8_t>(Side);
  const TReply reply = SendOrThrow(Driver, Port, request, kStartRequest, kMsgStart);
  if (reply.Outcome != TReplyOutcome::Refused) return;
  if (!Driver.KeepStatusOnCan)
    SetRefusal(Driver, Port, request, kStartRequest, kRefusedStart);
  else
    Log(llWarning, At(Port, request), ": ", kStartRequest.Name, " refused (status kept)");
}

}  // namespace

void TQX25::StartPump(int32_t Port, int32_t Nozzle, int32_t Side) QX25_SLOT_TRY {
  QX25_SLOT_ENTER;
  const TPortLock hold(Port);
  const int nozzle = NozzleIndex(Nozzle);
  const uint8_t port = PortIndex(Port);
  SendStart(*this, port, nozzle, SideOrNone(Side));
}
QX25_SLOT_CATCH()

void TQX25::StartPumpWithReset(int32_t Port, int32_t Nozzle, int32_t Side,
                               int32_t SkipReset) QX25_SLOT_TRY {
  QX25_SLOT_ENTER;
  const TPortLock hold(Port);
  const int nozzle = NozzleIndex(Nozzle);
  const uint8_t port = PortIndex(Port);
  SideOrNone(Side);  // the start step stores it: refuse it before anything is sent

  if (static_cast<uint8_t>(SkipReset) == 0) {
    // The reset goes to the side of the previous start; whether it worked does
    // not matter, the 'U' request decides.
    ResetNozzle(Port, Nozzle, NozzleSides[port][nozzle]);

    TRequest request = NozzleRequest(*this, Nozzle, Side, kPrepareRequest.Letter);
    const TReply reply = SendOrThrow(*this, port, request, kPrepareRequest, kMsgStart);
    if (!KeepStatusOnCan) {
      if (reply.Outcome == TReplyOutcome::InDoubt) return;  // no start on a line in doubt
      if (reply.Outcome == TReplyOutcome::Refused)
        SetRefusal(*this, port, request, kPrepareRequest, kRefusedPrepare);
    }
  }
  SendStart(*this, port, nozzle, Side);
}
QX25_SLOT_CATCH()

void TQX25::PresetVolume(int32_t Port, int32_t Nozzle, int32_t Side, int32_t,
                         double Volume) QX25_SLOT_TRY {
  QX25_SLOT_ENTER;
  const TPortLock hold(Port);
  const int nozzle = NozzleIndex(Nozzle);
  const uint8_t port = PortIndex(Port);
  // The preset travels as five unsigned digits of whole litres: a negative
  // volume, or one that rounds to six digits, has no request.
  if (!PresetVolumeFits(Volume))
    throw std::out_of_range("Volume " + Text(Volume) +
                            " is outside the preset range 0 to below 99999.5 litres");
  const double litres = RoundHalfEven(Volume);

  TRequest request = NozzleRequest(*this, Nozzle, Side, kPresetRequest.Letter);
  request.PutDigits(static_cast<uint64_t>(litres), kPresetDigits);
  const TReply reply = SendOrThrow(*this, port, request, kPresetRequest, kMsgPreset);

  if (reply.Outcome == TReplyOutcome::InDoubt) return;
  if (reply.Outcome == TReplyOutcome::Refused)
    SetRefusal(*this, port, request, kPresetRequest, kRefusedPreset);
  else
    PresetVolumes[port][nozzle] = Volume;  // the host's figure, not the rounded one
}
QX25_SLOT_CATCH()

void TQX25::PresetMoney(int32_t Port, int32_t Nozzle, int32_t Side, int32_t Extra,
                        double Money) QX25_SLOT_TRY {
  QX25_SLOT_ENTER;
  const TPortLock hold(Port);
  const int nozzle = NozzleIndex(Nozzle);
  const uint8_t port = PortIndex(Port);
  const int side = SideIndex(Side);
  const double price = Prices[port][nozzle][side];
  if (!(std::isfinite(price) && price > 0))
    throw std::invalid_argument("Price " + Text(price) + " of port " + std::to_string(port) +
                                ", nozzle " + std::to_string(nozzle) + ", side " +
                                std::to_string(side) + " must be above 0 to preset by money");
  if (!(std::isfinite(Money) && Money >= 0))
    throw std::out_of_range("Money " + Text(Money) + " must be 0 or more");

  const std::optional<double> volume = PresetVolumeForMoney(Money, price);
  if (!volume)
    throw std::out_of_range("Money " + Text(Money) + " at price " + Text(price) + " is " +
                            Text(static_cast<long double>(Money) / price) +
                            " litres, outside the preset range 0 to below 99999.5 litres");
  PresetVolume(Port, Nozzle, Side, Extra, *volume);  // through the table: a host may override it
}
QX25_SLOT_CATCH()

void TQX25::StopPump(int32_t Port, int32_t Nozzle, int32_t Side, int32_t Confirm) QX25_SLOT_TRY {
  QX25_SLOT_ENTER;
  const TPortLock hold(Port);
  if (static_cast<uint8_t>(Confirm) == 0) return;
  CheckNozzle(Nozzle);
  const uint8_t port = PortIndex(Port);
  TRequest request = NozzleRequest(*this, Nozzle, Side, kStopRequest.Letter);
  if (SendOrThrow(*this, port, request, kStopRequest, kMsgStop).Outcome == TReplyOutcome::Refused)
    SetRefusal(*this, port, request, kStopRequest, kRefusedStop);
}
QX25_SLOT_CATCH()

bool TQX25::StopNozzle(int32_t Port, int32_t Nozzle, int32_t Confirm) QX25_SLOT_TRY {
  QX25_SLOT_ENTER;
  const TPortLock hold(Port);
  // A nozzle above 32 has no remembered side; the stop itself then raises the
  // range error, or does nothing when not confirmed.
  int32_t side = 0;
  if (Nozzle <= kMaxNozzle) {
    const uint8_t port = PortIndex(Port);
    side = NozzleSides[port][NozzleIndex(Nozzle)];
  }
  StopPump(Port, Nozzle, side, Confirm);  // through the table: a host may override it
  return false;
}
QX25_SLOT_CATCH(false)

int32_t TQX25::StopPumpAndReset(int32_t Port, int32_t Nozzle, int32_t Side,
                                int32_t Confirm) QX25_SLOT_TRY {
  QX25_SLOT_ENTER;
  const TPortLock hold(Port);
  StopPump(Port, Nozzle, Side, Confirm);  // through the table; a failed stop sends no reset
  return ResetNozzle(Port, Nozzle, Side);
}
QX25_SLOT_CATCH(0)

int32_t TQX25::ResetNozzle(int32_t Port, int32_t Nozzle, int32_t Side) {
  const TPortLock hold(Port);
  TRequest request = NozzleRequest(*this, Nozzle, Side, kResetRequest.Letter);
  const uint8_t port = PortIndex(Port);
  const TReply reply = Send(*this, port, request, kResetRequest);
  if (reply.Outcome != TReplyOutcome::Failed)
    Log(llInfo, At(port, request), ": nozzle reset",
        reply.Outcome == TReplyOutcome::Refused ? ", refused" : "");
  return reply.Code;
}
