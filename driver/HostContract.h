// The driver's rules toward its host, apart from the wire they are built on:
// the extents of its tables, the PortStatus values it writes, the summary
// codes and event letters a poll returns, when a poll closes a delivery, how
// money is rounded, the host's combined parameter number and the link modes,
// the line settings it asks of the dispatcher, the property table, and the
// messages of its exceptions. Internal to the library.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <optional>

#include "driver/PortDispatcher.h"
#include "driver/protocol/Protocol.h"

namespace qx25 {

// The wire's reply modes are the dispatcher's.
static_assert(kModeData == PortDispatcher::kReplyData && kModeShort == PortDispatcher::kReplyShort);
// And so is its line.
static_assert(kWireBaud == PortDispatcher::kProtocolBaud &&
              kWireBitsPerByte == PortDispatcher::kBitsPerByte);

// PortStatus after an exchange whose reply was accepted.
inline constexpr uint8_t kLineOk = 1;

// Exchange's own result when the request cannot be framed (nothing is sent),
// and its stand-in when a dispatcher that threw calls its failure 0.
inline constexpr int32_t kExchangeBadRequest = -1;
inline constexpr int32_t kExchangeFailed = -2;

// Event numbers and the letters the host knows them by; any other number is '_'.
struct TEventLetter {
  int Number;
  uint8_t Letter;
};
inline constexpr std::array<TEventLetter, 4> EventLetters{
    {{1, 'Q'}, {12, 'R'}, {16, 'S'}, {17, 'T'}}};
inline constexpr uint8_t kOtherEventLetter = '_';

// Summary codes of a side's state, as the host reads them. Those marked
// "+ side" carry the side number in their low bits.
inline constexpr uint8_t kCodeIdle = 0xC0;          // 192
inline constexpr uint8_t kCodeAuthorised = 0xC8;    // 200
inline constexpr uint8_t kCodeDelivering = 0xD0;    // 208 + side
inline constexpr uint8_t kCodeFinished = 0xD8;      // 216 (+ side for state '3')
inline constexpr uint8_t kCodeNozzleLifted = 0xE0;  // 224 + side
// Not a byte: the side's state could not be read (no reply, or a reply
// without a status frame). It is never merged into the summary.
inline constexpr uint16_t kCodeNoState = 0x100;

// Merging the sides' codes: a code's class is its top five bits.
inline constexpr uint8_t kCodeClassMask = 0xF8;
inline constexpr uint8_t kAboveIdle = 0xC6;          // codes above it override an idle summary
inline constexpr uint8_t kDeliveryClassBits = 0xD0;  // both set: delivering, finished, 240..255

// A flowing side counts as delivering while the volume read last is above
// this and more than the margin below the preset; otherwise the delivery is
// closed by the poll.
inline constexpr double kMinDeliveredVolume = 0.005;
inline constexpr double kPresetMargin = 1.0;

// What a preset may be. It travels as five digits of whole litres, rounded
// half to even, so any volume from 0 to below 99999.5 litres has a request.
inline constexpr int64_t kMaxPresetLitres = MaxDigitsValue(kPresetDigits);
inline constexpr double kPresetVolumeBound = kMaxPresetLitres + 0.5;  // not itself allowed
constexpr bool PresetVolumeFits(double Volume) {
  return Volume >= 0 && Volume < kPresetVolumeBound;  // false for NaN
}
// The highest unit price the programs take. The driver only stores a price
// and computes money with it, so this is a bound on typing, not on the wire.
inline constexpr double kMaxPrice = 999999.99;

// The volume a preset by Money at Price asks for, in litres with hundredths,
// truncated (the controller is then sent it rounded to whole litres); nothing
// when Price is not above 0, Money is negative, or the volume leaves the
// preset range. The addend makes amounts such as 0.29 at price 1.00 come out
// as 29 hundredths rather than 28.999...; the quotient is taken in extended
// precision so that it is never truncated from just below.
inline std::optional<double> PresetVolumeForMoney(double Money, double Price) {
  if (!(std::isfinite(Price) && Price > 0) || !(std::isfinite(Money) && Money >= 0))
    return std::nullopt;
  const long double hundredths = static_cast<long double>(Money + 0.00499) * 100 / Price;
  if (hundredths >= static_cast<long double>(kPresetVolumeBound) * 100) return std::nullopt;
  return static_cast<double>(static_cast<int64_t>(hundredths)) / 100;
}

// Money = round(volume x price x 100 + 0.01) / 100: the addend makes a half
// cent, or a value a representation error puts just below it, round up.
inline constexpr double kCentsPerUnit = 100;
inline constexpr double kCentRoundingAddend = 0.01;

// The driver's fixed property table (GetDriverProperty); other kinds are absent.
struct TDriverProperty {
  uint32_t Kind;
  int32_t Value;
};
inline constexpr std::array<TDriverProperty, 8> DriverProperties{
    {{1, 1}, {2, 0}, {3, 0}, {4, 1}, {5, 1}, {6, 0}, {7, 400}, {9, 999999}}};

// The host's combined parameter number (GetParam, SetPar): 0..8 common
// commands, 9 address programming, from 10 on 60 x (Side - 1) + Code + 10.
inline constexpr int32_t kParamNoNetAddress = 9;
inline constexpr int32_t kParamNoFirstCode = 10;

// Link modes of ReadParam and WriteParam, as the parameter catalog numbers them.
inline constexpr uint8_t kLinkParameter = 0;
inline constexpr uint8_t kLinkCommon = 1;
inline constexpr uint8_t kLinkAddress = 2;

// The line settings this protocol asks of the dispatcher (SetLineParams).
inline constexpr int32_t kLineFormat = PortDispatcher::kFormat8N1;
inline constexpr int32_t kLineBaud = PortDispatcher::kProtocolBaud;

// Refusal codes written into PortStatus after a CAN reply.
inline constexpr uint8_t kRefusedStart = 16;
inline constexpr uint8_t kRefusedPrepare = 17;
inline constexpr uint8_t kRefusedPreset = 18;
inline constexpr uint8_t kRefusedStop = 20;
inline constexpr uint8_t kRefusedParam = 23;
inline constexpr uint8_t kRefusedNetAddress = 24;
inline constexpr uint8_t kRefusedCurrent = 25;
// A data query answered by a lone ACK, NAK or CAN: no data, which a host must
// not take for a real zero.
inline constexpr uint8_t kAnsweredWithoutData = 26;

// Table extents of the driver object.
inline constexpr int kMaxPort = 30;
inline constexpr int kMaxNozzle = 32;
inline constexpr int kMaxSide = 4;

// Messages.
inline constexpr const char* kMsgNozzleRange = "Номер колонки выходит за допустимый диапозон";
inline constexpr const char* kMsgStart = "Can't START POMP";
inline constexpr const char* kMsgPreset = "Ошибка задания отпуска по литрам";
inline constexpr const char* kMsgStop = "Can't STOP POMP";
inline constexpr const char* kMsgStatus = "Can't GetSost";
inline constexpr const char* kMsgDelivery = "Ошибка при запросе состояния отлива";
inline constexpr const char* kMsgParam = "Can't GetParam";
inline constexpr const char* kMsgCommon = "Can't SetPar";
inline constexpr const char* kMsgNetAddressLink = "Невозможно установить сетевой адрес пистолета";
inline constexpr const char* kMsgNetAddressReply = "Ошибка при программировании адреса пистолета";
inline constexpr const char* kMsgReadLink = "Ошибка связи с блоком связи";
inline constexpr const char* kMsgReadReply = "Ошибка связи с ТРК";

}  // namespace qx25
