// The wire vocabulary of the dispenser protocol, named once: frame bytes,
// reply verdicts, request letters with their lengths, what a status reply
// says, the parameter digit table and the password codes. What the driver
// makes of them for its host is in driver/HostContract.h. Standard library
// only, shared by the driver, the simulator, the fuzzers and the tests.
#pragma once

#include <array>
#include <cstdint>

#include "Digits.h"
#include "Replies.h"

namespace qx25 {

// The line: 4800 baud, 8 data bits, no parity, one stop bit, so a byte
// takes 10 bit times on the wire (a start bit, 8 data bits, a stop bit).
inline constexpr int32_t kWireBaud = 4800;
inline constexpr int kWireBitsPerByte = 10;

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

// Reply modes: a data frame is expected, or a one-byte reply (or none). The
// dispatcher's table takes the same numbers (PortDispatcher::kReplyData,
// kReplyShort), which the driver checks where it meets the dispatcher.
inline constexpr uint8_t kModeData = 2;
inline constexpr uint8_t kModeShort = 0;

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

}  // namespace qx25
