#include "sim/Controller.h"

#include <cmath>
#include <stdexcept>
#include <string>
#include <utility>

#include "driver/protocol/Link.h"

namespace qx25::sim {

namespace {

// Volumes are counted in whole litres; this keeps a sum of flow steps that
// should land on a whole litre from falling just short of it.
constexpr double kVolumeEpsilon = 1e-9;

// The parameter code a code character stands for, if the controller has it.
std::optional<int> CodeOf(uint8_t Character) {
  if (Character < kCodeCharBase || Character >= kCodeCharBase + kParamCodeCount)
    return std::nullopt;
  return Character - kCodeCharBase;
}

}  // namespace

Bytes ShortReply(uint8_t Byte) { return Bytes{Byte}; }

Controller::Controller(int Address, int64_t IdNumber, double FlowRate) {
  if (Address < kMinNetAddress || Address > kMaxNetAddress)
    throw std::invalid_argument("network address " + std::to_string(Address) + " is outside 1..99");
  if (IdNumber < 0 || IdNumber > kMaxIdNumber)
    throw std::invalid_argument("ID number " + std::to_string(IdNumber) +
                                " does not fit 10 digits");
  if (!(FlowRate >= 0) || !std::isfinite(FlowRate))
    throw std::invalid_argument("flow rate must be a finite number of litres a second, >= 0");
  Data.Address = Address;
  Data.IdNumber = IdNumber;
  Data.FlowRate = FlowRate;
}

Bytes Controller::Handle(uint8_t Letter, const uint8_t* Args, size_t Count) {
  // A password opens its operation for the very next request only.
  const Password armed = std::exchange(Data.Armed, Password::None);
  // The requests that carry nothing after the letter.
  const bool bare = Count == 0;
  switch (Letter) {
    case kStatusRequest.Letter:
      return Status(Args, Count);
    case kStartRequest.Letter:
      return bare ? Start() : ShortReply(kNak);
    case kStopRequest.Letter:
      return bare ? Stop() : ShortReply(kNak);
    case kResetRequest.Letter:
      return bare ? Reset() : ShortReply(kNak);
    case kPrepareRequest.Letter:
      return bare ? Prepare() : ShortReply(kNak);
    case kPresetRequest.Letter:
      return Preset(Args, Count);
    case kCurrentRequest.Letter:
      return bare ? Current() : ShortReply(kNak);
    case kResultRequest.Letter:
      return bare ? Result() : ShortReply(kNak);
    case kTotalRequest.Letter:
      return Totaliser(Args, Count, armed);
    case kReadParamRequest.Letter:
      return ReadParam(Args, Count);
    case kWriteParamRequest.Letter:
      return WriteParam(Args, Count, armed);
    default:
      return ShortReply(kNak);
  }
}

bool Controller::Running() const {
  return Data.State == DeliveryState::Delivering || Data.State == DeliveryState::Suspended;
}

int Controller::WholeVolume() const {
  const double whole = std::floor(Data.Volume + kVolumeEpsilon);
  return whole > kMaxDose ? kMaxDose : static_cast<int>(whole);
}

uint8_t Controller::SubByte() const {
  switch (Data.State) {
    case DeliveryState::Delivering:
      return Data.Reported >= 1 && Data.Reported < Data.DeliveryDose - 1 ? kSubFlowing
                                                                         : kSubAsAuthorised;
    case DeliveryState::HungUp:
    case DeliveryState::Finished:
      return kSubEnded;
    default:
      return kSubFlowing;
  }
}

Bytes Controller::Status(const uint8_t* Args, size_t Count) {
  if (Count > 1 || (Count == 1 && Args[0] != kEventAck)) return ShortReply(kNak);
  if (Count == 1 && Data.EventReported) Data.Events.pop_front();
  Data.EventReported = false;

  Bytes e(TStatusReply::DataBytes, '0');
  e[TStatusReply::State] = StateCharacter(Data.State);
  e[TStatusReply::Sub] = SubByte();
  e[TStatusReply::Flags] = 0;
  if (Data.State == DeliveryState::Idle && !Data.Events.empty()) {
    e[TStatusReply::Flags] = kEventReported;
    PutField(e, TStatusReply::Event, static_cast<uint64_t>(Data.Events.front()));
    Data.EventReported = true;
  }
  return ReplyFrame(e);
}

Bytes Controller::Start() {
  switch (Data.State) {
    case DeliveryState::Authorised:
      Data.State = DeliveryState::Delivering;
      Data.DeliveryDose = Data.Dose;
      Data.Volume = 0;
      Data.Reported = 0;
      Data.CountedLitres = 0;
      ++Data.Deliveries;
      return ShortReply(kAck);
    case DeliveryState::Suspended:
      Data.State = DeliveryState::Delivering;
      return ShortReply(kAck);
    case DeliveryState::Delivering:
      return ShortReply(kAck);
    default:  // no dose to deliver
      return ShortReply(kCan);
  }
}

Bytes Controller::Stop() {
  if (Data.State == DeliveryState::Delivering) {
    Data.State = DeliveryState::Suspended;
  } else if (Data.State == DeliveryState::Authorised) {
    Data.State = DeliveryState::Idle;
    Data.Dose = 0;
  }
  return ShortReply(kAck);
}

Bytes Controller::Reset() {
  if (Data.State != DeliveryState::Authorised) {
    Data.State = DeliveryState::Idle;
    Data.Dose = 0;
  }
  return ShortReply(kAck);
}

Bytes Controller::Preset(const uint8_t* Args, size_t Count) {
  const std::optional<int64_t> dose =
      Count == kPresetDigits ? ParseDigits(Args, Count) : std::nullopt;
  if (!dose) return ShortReply(kNak);
  if (*dose == 0 || Running()) return ShortReply(kCan);
  Data.Dose = static_cast<int>(*dose);
  Data.State = DeliveryState::Authorised;
  return ShortReply(kAck);
}

Bytes Controller::Prepare() { return ShortReply(Running() ? kCan : kAck); }

Bytes Controller::Current() {
  Bytes e(TCurrentReply::DataBytes);
  e[TCurrentReply::State] = StateCharacter(Data.State);
  Data.Reported = WholeVolume();
  PutField(e, TCurrentReply::Volume, static_cast<uint64_t>(Data.Reported));
  PutField(e, TCurrentReply::Dose, static_cast<uint64_t>(Data.DeliveryDose));
  return ReplyFrame(e);
}

Bytes Controller::Result() {
  Bytes e(TResultReply::DataBytes, '0');  // the spare digits stay '0'
  Data.Reported = WholeVolume();
  PutField(e, TResultReply::Volume, static_cast<uint64_t>(Data.Reported));
  PutField(e, TResultReply::Total, static_cast<uint64_t>(Data.Totaliser));
  PutField(e, TResultReply::Dose, static_cast<uint64_t>(Data.DeliveryDose));
  e[TResultReply::State] = StateCharacter(Data.State);
  return ReplyFrame(e);
}

Bytes Controller::Totaliser(const uint8_t* Args, size_t Count, Password Armed) {
  if (Count == 0) {
    Bytes e(TTotalReply::DataBytes);
    PutField(e, TTotalReply::Total, static_cast<uint64_t>(Data.Totaliser));
    PutField(e, TTotalReply::Deliveries,
             static_cast<uint64_t>(Data.Deliveries % kTotaliserModulus));
    return ReplyFrame(e);
  }
  const std::optional<int64_t> total = Count == 1 + kTotalDigits && Args[0] == kSetTotalMarker
                                           ? ParseDigits(Args + 1, kTotalDigits)
                                           : std::nullopt;
  if (!total) return ShortReply(kNak);
  if (Armed != Password::Totaliser) return ShortReply(kCan);
  Data.Totaliser = *total;
  Data.Confirmation = kConfirmDone;
  return ShortReply(kAck);
}

Bytes Controller::ReadParam(const uint8_t* Args, size_t Count) {
  if (Count != 1) return ShortReply(kNak);
  const std::optional<int> code = CodeOf(Args[0]);
  if (!code) return ShortReply(kCan);
  const int digits = ParamDigits[*code];
  const int64_t value = *code == kPasswordCode ? Data.Confirmation : Data.Params[*code];
  // The byte before the value carries the address character, which (unlike
  // some code characters) no complement turns into a reply's lead byte.
  Bytes e(static_cast<size_t>(TParamReply::DataBytes(digits)));
  e[TParamReply::Address] = MapNetworkAddress(Data.Address).Address;
  PutField(e, TParamReply::Value(digits), static_cast<uint64_t>(value));
  return ReplyFrame(e);
}

Bytes Controller::WriteParam(const uint8_t* Args, size_t Count, Password Armed) {
  if (Count < 1) return ShortReply(kNak);
  const std::optional<int64_t> value = ParseDigits(Args + 1, Count - 1);
  if (!value) return ShortReply(kNak);
  const std::optional<int> code = CodeOf(Args[0]);
  if (!code) return ShortReply(kCan);
  // Leading zeros beyond the code's digit count are harmless; a value that
  // does not fit, or no value for a code that has digits, is refused.
  const int digits = ParamDigits[*code];
  if ((Count == 1 && digits > 0) || *value >= PowerOfTen(digits)) return ShortReply(kCan);

  if (*code == kPasswordCode) {
    Data.Armed = *value == kCalibrationPassword ? Password::Calibration
                 : *value == kCounterPassword   ? Password::Totaliser
                                                : Password::None;
    Data.Confirmation = kConfirmNone;
    return ShortReply(kAck);
  }
  if (*code == kCalibrationCode) {
    if (Armed != Password::Calibration) return ShortReply(kCan);
    Data.Confirmation = kConfirmDone;
  }
  Data.Params[*code] = *value;
  return ShortReply(kAck);
}

void Controller::CountLitres() {
  const int whole = WholeVolume();
  if (whole > Data.CountedLitres) {
    Data.Totaliser = (Data.Totaliser + whole - Data.CountedLitres) % kTotaliserModulus;
    Data.CountedLitres = whole;
  }
}

void Controller::Advance(double Seconds) {
  if (Data.State != DeliveryState::Delivering || !(Seconds > 0)) return;
  Data.Volume += Data.FlowRate * Seconds;
  if (Data.Volume >= Data.DeliveryDose - kVolumeEpsilon) {
    Data.Volume = Data.DeliveryDose;
    Data.State = DeliveryState::Finished;
  }
  CountLitres();
}

void Controller::RaiseEvent(int Number) {
  if (Number < 1 || Number > kMaxEvent)
    throw std::invalid_argument("event number " + std::to_string(Number) + " is outside 1..99");
  Data.Events.push_back(Number);
}

void Controller::LiftNozzle() {
  if (Data.State == DeliveryState::Idle) Data.State = DeliveryState::Lifted;
}

void Controller::HangNozzle() {
  if (Data.State == DeliveryState::Lifted) {
    Data.State = DeliveryState::Idle;
  } else if (Running()) {
    Data.State = DeliveryState::HungUp;
  }
}

void Controller::SetParam(int Code, int64_t Value) {
  if (Code < 0 || Code >= kParamCodeCount)
    throw std::invalid_argument("parameter code " + std::to_string(Code) + " is outside 0..59");
  if (Value < 0 || Value >= PowerOfTen(ParamDigits[Code]))
    throw std::invalid_argument("value " + std::to_string(Value) + " does not fit code " +
                                std::to_string(Code));
  if (Code == kPasswordCode) {
    Data.Confirmation = static_cast<int32_t>(Value);
  } else {
    Data.Params[Code] = Value;
  }
}

void Controller::SetTotaliser(int64_t Litres) {
  if (Litres < 0 || Litres >= kTotaliserModulus)
    throw std::invalid_argument("totaliser " + std::to_string(Litres) + " does not fit 8 digits");
  Data.Totaliser = Litres;
}

}  // namespace qx25::sim
