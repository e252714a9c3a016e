// The wire vocabulary of the dispenser protocol, named once: frame bytes,
// reply verdicts, request letters with their lengths, refusal codes, the
// parameter digit table and the commands' messages. Internal to the library.
#pragma once

#include <array>
#include <cstdint>

#include "Digits.h"
#include "Replies.h"
#include "driver/PortDispatcher.h"

namespace qx25 {

// Frame bytes.
inline constexpr uint8_t kFrameStart = 0x7F;  // first byte of a request frame
inline constexpr uint8_t kStx = 0x02;         // first byte of a data reply
inline constexpr uint8_t kEtx = 0x03;         // sent twice before the checksum
inline constexpr uint8_t kAck = 0x06;
inline constexpr uint8_t kNak = 0x15;
inline constexpr uint8_t kCan = 0x18;             // the controller refuses
inline constexpr uint8_t kComplementMask = 0x7F;  // each byte is followed by itself XOR this
inline constexpr uint8_t kChecksumMark = 0x40;    // ORed into the final checksum
inline constexpr uint8_t kRequestChecksumStart = 0x03;
inline constexpr uint8_t kReplyChecksumStart = 0x00;

// Request data is at most 126 bytes, so that its frame (2n + 3) fits a byte.
inline constexpr uint8_t kMaxRequestLength = 126;
inline constexpr int kFrameBufferSize = 255;
// A reply frame of 2m + 4 bytes fits the same 255 bytes up to m = 125.
inline constexpr uint8_t kMaxReplyData = 125;

// What ValidateReply reports to the dispatcher.
inline constexpr uint8_t kReplyAccepted = 0;
inline constexpr uint8_t kReplyBadChecksum = 222;
inline constexpr uint8_t kReplyNoStart = 223;
inline constexpr uint8_t kReplyMalformed = 246;
inline constexpr uint8_t kStateComplete = 1;
inline constexpr uint8_t kStateMalformed = 3;

// PortStatus after an exchange whose reply was accepted.
inline constexpr uint8_t kLineOk = 1;

// Exchange's own result when the request cannot be framed (nothing is sent),
// and its stand-in when a dispatcher that threw calls its failure 0.
inline constexpr int32_t kExchangeBadRequest = -1;
inline constexpr int32_t kExchangeFailed = -2;

// Reply modes: a data frame is expected, or a one-byte reply (or none).
inline constexpr uint8_t kModeData = PortDispatcher::kReplyData;
inline constexpr uint8_t kModeShort = PortDispatcher::kReplyShort;

// Length of a data reply with m data bytes: STX, m pairs, ETX, ETX, checksum.
constexpr uint8_t DataReplyLength(int m) { return static_cast<uint8_t>(2 * m + 4); }

// One request: its letter, the length of its request data, the reply length,
// the reply mode it expects, and the name the station's trace shows for it.
struct TRequestKind {
  uint8_t Letter;
  uint8_t RequestLength;
  uint8_t ReplyLength;
  uint8_t ReplyMode;
  const char* Name;
};

// Pump control.
inline constexpr TRequestKind kStartRequest{'2', 3, 2, kModeShort, "пуск"};
inline constexpr TRequestKind kPrepareRequest{'U', 3, 2, kModeShort, "подготовка к пуску"};
inline constexpr TRequestKind kPresetRequest{'T', 8, 2, kModeShort, "предустановка"};
inline constexpr TRequestKind kStopRequest{'3', 3, 2, kModeShort, "остановка"};
inline constexpr TRequestKind kResetRequest{'8', 3, 2, kModeShort, "сброс"};
inline constexpr int kPresetDigits = 5;

// Delivery state and counters.
inline constexpr TRequestKind kStatusRequest{'1', 3, DataReplyLength(TStatusReply::DataBytes),
                                             kModeData, "состояние"};
inline constexpr uint8_t kEventAck = '1';  // appended to the status request after an event
inline constexpr TRequestKind kCurrentRequest{'4', 3, DataReplyLength(TCurrentReply::DataBytes),
                                              kModeData, "текущий налив"};
inline constexpr TRequestKind kResultRequest{'5', 3, DataReplyLength(TResultReply::DataBytes),
                                             kModeData, "итог налива"};
inline constexpr TRequestKind kTotalRequest{'6', 3, DataReplyLength(TTotalReply::DataBytes),
                                            kModeData, "суммарный счётчик"};
// The password-guarded write shares the read's letter; its length tells them apart.
inline constexpr TRequestKind kSetTotalRequest{'6', 12, 1, kModeShort, "запись счётчика"};
inline constexpr uint8_t kSetTotalMarker = 0x01;
inline constexpr int kCounterScale = 100;  // the counter is written in hundredths

// What a status reply's state character and sub byte say.
inline constexpr uint8_t kStateIdle = '0';          // nozzle hung up, no dose
inline constexpr uint8_t kStateNozzleLifted = '1';  // lifted, no dose set
inline constexpr uint8_t kStateAuthorised = '2';    // a dose waits for its start
inline constexpr uint8_t kStateStopped = '3';       // the host stopped the delivery
inline constexpr uint8_t kStateDelivering = '4';    // fuel flows
inline constexpr uint8_t kStateHungUp = '5';        // hung up before the dose was reached
inline constexpr uint8_t kStateFinished = '6';      // the dose has been delivered
inline constexpr uint8_t kSubAsAuthorised = 0x03;   // a flowing state with it reports as authorised
inline constexpr uint8_t kSubFlowing = '0';
inline constexpr uint8_t kSubEnded = '1';        // the controller's word for a delivery that ended
inline constexpr uint8_t kEventReported = 0x08;  // flags bit: the event digits are valid
inline constexpr uint8_t kEventDigitMask = 0x0F;

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

// Parameters and addresses.
inline constexpr TRequestKind kReadParamRequest{'N', 4, 0, kModeData, "чтение параметра"};
inline constexpr TRequestKind kWriteParamRequest{'O', 4, 2, kModeShort,  // + N digits
                                                 "запись параметра"};
inline constexpr TRequestKind kCommonRequest{'W', 4, 0, kModeShort, "общая команда"};  // no reply
inline constexpr TRequestKind kNetAddressRequest{']', 15, 2, kModeShort, "программирование адреса"};

// Every request kind: a new one is added here, and a test then names the
// places (the simulator's answer, a fuzz seed) that do not know it yet.
inline constexpr std::array RequestKinds{
    &kStatusRequest,    &kCurrentRequest,    &kResultRequest, &kTotalRequest,     &kSetTotalRequest,
    &kStartRequest,     &kPrepareRequest,    &kPresetRequest, &kStopRequest,      &kResetRequest,
    &kReadParamRequest, &kWriteParamRequest, &kCommonRequest, &kNetAddressRequest};
constexpr uint8_t ParamReplyLength(int Digits) {
  return DataReplyLength(TParamReply::DataBytes(Digits));
}
inline constexpr int kMaxParamDigits = 15;  // the longest value on the line
// A controller answers to a network address 1..99; 0..99 may be written.
inline constexpr int32_t kMinNetAddress = 1;
inline constexpr int32_t kMaxNetAddress = 99;
inline constexpr int kMaxCommonDigit = 9;      // a common command and its value are one digit each
inline constexpr uint8_t kCommonGroup = 0x02;  // group byte of 'W' and ']'
inline constexpr uint8_t kCodeCharBase = '0';  // code c travels as the character 48 + c
inline constexpr int kParamCodeCount = 60;     // codes 0..59 on every side
inline constexpr int kIdDigits = 10;
inline constexpr int kNewAddressDigits = 3;

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

// Digits of each parameter code's value on the line.
inline constexpr std::array<uint8_t, kParamCodeCount> ParamDigits{
    1, 15, 1, 1, 3, 3, 1, 2, 1, 4,  // 0-9
    4, 3,  1, 3, 3, 2, 6, 2, 5, 3,  // 10-19
    2, 1,  8, 1, 4, 1, 4, 8, 5, 5,  // 20-29
    1, 6,  1, 6, 6, 6, 6, 3, 3, 2,  // 30-39
    2, 3,  2, 2, 8, 1, 2, 1, 2, 2,  // 40-49
    1, 1,  0, 0, 0, 0, 0, 0, 0, 0,  // 50-59
};

// Password codes and the parameters they open.
inline constexpr int kPasswordCode = 26;  // password in, confirmation code out
inline constexpr int kCalibrationCode = 27;
inline constexpr int32_t kCalibrationPassword = 8163;
inline constexpr int32_t kCounterPassword = 5290;

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
