// Controller parameters and common commands over the link. A parameter is
// selected by its code 0..59 (one character, '0' + code) and its value travels
// as a fixed number of unsigned decimal digits, most significant first. The
// host reaches a nozzle's parameters by a combined parameter number; the
// service window reaches a controller by its network address and a link mode.
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>

#include "Driver.h"
#include "SlotBoundary.h"

using namespace qx25;

namespace {

// Values outside what an encoding carries are refused before anything is
// sent: a wire full of wrong digits is worse than an error the caller sees.
void CheckRange(const char* Name, int64_t Value, int64_t Min, int64_t Max) {
  if (Value < Min || Value > Max)
    throw std::out_of_range(std::string(Name) + " " + std::to_string(Value) + " is outside " +
                            std::to_string(Min) + ".." + std::to_string(Max));
}

void CheckNotNegative(const char* Name, int64_t Value) {
  if (Value < 0)
    throw std::out_of_range(std::string(Name) + " " + std::to_string(Value) +
                            " is negative; the line carries unsigned digits only");
}

int CodeIndex(int64_t Code) {
  CheckRange("Code", Code, 0, kParamCodeCount - 1);
  return static_cast<int>(Code);
}

uint8_t CodeChar(int Code) { return static_cast<uint8_t>(kCodeCharBase + Code); }

// Appends the code character and the Digits lowest decimal digits of Value to
// a write request's head.
void WriteBody(TRequest& Request, int Code, uint64_t Value, int Digits) {
  Request.Put(CodeChar(Code));
  Request.PutDigits(Value, Digits);
}

// The value digits of a read reply end at the first byte that is no digit,
// so that the scan stops at the trailer's 0x03. Only a data frame carries
// digits: after a one-byte ACK or NAK the buffer still holds the request,
// which must not be read as a value. The scan covers at most the code's digit
// positions, all inside the expected reply.
int64_t ParseValue(const uint8_t* Reply, int Digits) {
  if (Reply[0] != kStx) return -1;
  return ReadDigitsLoose(&Reply[2 * TParamReply::ValueFirst + 1], Digits, 2, true);
}

// Sends the read request whose head is in Request for Code and returns the
// value, or -1 when the controller refused (recorded as refusal code 23) or
// answered without digits. A failed exchange raises LinkMessage; a line status
// other than 1 raises StatusMessage, or gives -1 when there is none.
int64_t ReadCode(TQX25& Driver, uint8_t Port, TRequest& Request, int Code, const char* LinkMessage,
                 const char* StatusMessage) {
  const int digits = ParamDigits[Code];
  Request.Put(CodeChar(Code));
  TRequestKind kind = kReadParamRequest;
  kind.ReplyLength = ParamReplyLength(digits);
  const TReply reply = SendOrThrow(Driver, Port, Request, kind, LinkMessage);
  if (reply.Outcome == TReplyOutcome::InDoubt) {
    if (StatusMessage) throw ESerialIO(StatusMessage);
    return -1;
  }
  if (reply.Outcome == TReplyOutcome::Refused) {
    SetRefusal(Driver, Port, Request, kind, kRefusedParam);
    return -1;
  }
  return ParseValue(reply.Data, digits);
}

// The common command: one digit of command number and one of value, to every
// controller of the line at once; nothing answers it.
int32_t SendCommon(TQX25& Driver, uint8_t Port, const char* NumberName, int64_t Number,
                   int64_t Value) {
  CheckRange(NumberName, Number, 0, kMaxCommonDigit);
  CheckRange("Value", Value, 0, kMaxCommonDigit);
  TRequest request(kCommonRequest.Letter);
  request.PutDigits(static_cast<uint64_t>(Number), 1);
  request.PutDigits(static_cast<uint64_t>(Value), 1);
  return Send(Driver, Port, request, kCommonRequest).Code;
}

}  // namespace

int32_t TQX25::GetParam(int32_t Port, int32_t Nozzle, int32_t ParamNo) QX25_SLOT_TRY {
  QX25_SLOT_ENTER;
  const TPortLock hold(Port);
  CheckNozzle(Nozzle);
  if (ParamNo < kParamNoFirstCode) return -1;  // commands and addresses cannot be read
  const uint8_t port = PortIndex(Port);
  const int32_t index = ParamNo - kParamNoFirstCode;
  TRequest request =
      NozzleRequest(*this, Nozzle, index / kParamCodeCount + 1, kReadParamRequest.Letter);
  const int64_t value = ReadCode(*this, port, request, index % kParamCodeCount, kMsgParam, nullptr);
  // The slot's result is 32 bits: a longer value keeps its low 32 bits.
  return static_cast<int32_t>(static_cast<uint32_t>(value));
}
QX25_SLOT_CATCH(0)

void TQX25::SetPar(int32_t Port, int32_t Nozzle, int32_t ParamNo, int32_t Value) QX25_SLOT_TRY {
  QX25_SLOT_ENTER;
  const TPortLock hold(Port);
  CheckNozzle(Nozzle);
  if (ParamNo < kParamNoNetAddress) {
    CheckNotNegative("ParamNo", ParamNo);
    if (SendCommon(*this, PortIndex(Port), "ParamNo", ParamNo, Value) != 0)
      throw ESerialIO(kMsgCommon);
  } else if (ParamNo == kParamNoNetAddress) {
    // The host packs ID number x 100 + new address into Value.
    SetNetAddress(static_cast<uint8_t>(Port), static_cast<uint8_t>(Nozzle), Value / 100,
                  Value % 100);
  } else {
    WriteCtrlParam(Port, Nozzle, ParamNo - kParamNoFirstCode, Value);
  }
}
QX25_SLOT_CATCH()

void TQX25::WriteCtrlParam(int32_t Port, int32_t Nozzle, int32_t Index, int32_t Value) {
  const TPortLock hold(Port);
  CheckNozzle(Nozzle);
  CheckNotNegative("Index", Index);
  CheckNotNegative("Value", Value);
  const uint8_t port = PortIndex(Port);
  const int code = Index % kParamCodeCount;
  TRequest request =
      NozzleRequest(*this, Nozzle, Index / kParamCodeCount + 1, kWriteParamRequest.Letter);
  WriteBody(request, code, static_cast<uint64_t>(Value), ParamDigits[code]);
  // The write shares the read's message: to the host both are "the parameter".
  if (SendOrThrow(*this, port, request, kWriteParamRequest, kMsgParam).Outcome == TReplyOutcome::Refused)
    SetRefusal(*this, port, request, kWriteParamRequest, kRefusedParam);
}

int32_t TQX25::WriteCalibration(int32_t Port, int32_t Nozzle, int32_t Side, int32_t Value) {
  const TPortLock hold(Port);
  // Checked before the password goes out, so that a bad value leaves the
  // controller's calibration closed rather than open and unwritten.
  const int side = SideIndex(Side);
  CheckNotNegative("Value", Value);
  const int32_t base = kParamCodeCount * (side - 1);
  WriteCtrlParam(Port, Nozzle, base + kPasswordCode, kCalibrationPassword);
  WriteCtrlParam(Port, Nozzle, base + kCalibrationCode, Value);
  // The password code now holds the controller's confirmation of the operation.
  return GetParam(Port, Nozzle, kParamNoFirstCode + base + kPasswordCode);  // through the table
}

int64_t TQX25::ReadParam(uint8_t Mode, int32_t Port, int32_t Address, int32_t Code, int32_t) {
  const TPortLock hold(Port);
  if (Mode != kLinkParameter) return -1;  // commands and addresses cannot be read
  const int code = CodeIndex(Code);
  const uint8_t port = PortIndex(Port);
  TRequest request(MapNetworkAddress(Address), kReadParamRequest.Letter);
  return ReadCode(*this, port, request, code, kMsgReadLink, kMsgReadReply);
}

bool TQX25::WriteParam(uint8_t Mode, int64_t Port, int64_t Address, int64_t Code, int64_t Digits,
                       int64_t Value) {
  const TPortLock hold(Port);
  constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();
  const int32_t port32 = static_cast<int32_t>(Port);  // keeps the low byte
  switch (Mode) {
    case kLinkParameter: {
      if (Code == kCalibrationCode) {
        // The coefficient is written under the calibration password.
        CheckRange("Value", Value, 0, kInt32Max);
        WriteCalibration(port32, static_cast<int32_t>(Address), 1, static_cast<int32_t>(Value));
        return true;
      }
      const int code = CodeIndex(Code);
      CheckRange("Digits", Digits, 0, kMaxParamDigits);
      CheckNotNegative("Value", Value);
      const uint8_t port = PortIndex(port32);
      TRequest request(MapNetworkAddress(Address), kWriteParamRequest.Letter);
      WriteBody(request, code, static_cast<uint64_t>(Value), static_cast<int>(Digits));
      const TReplyOutcome outcome = Send(*this, port, request, kWriteParamRequest).Outcome;
      if (outcome == TReplyOutcome::Failed) return false;
      // A refused write is no write: the window and write-all must not show it
      // as done.
      if (outcome == TReplyOutcome::Refused) {
        SetRefusal(*this, port, request, kWriteParamRequest, kRefusedParam);
        return false;
      }
      return true;
    }
    case kLinkCommon:
      return SendCommon(*this, PortIndex(port32), "Code", Code, Value) == 0;
    case kLinkAddress:
      // The window passes the controller's ID number in Code.
      CheckRange("ID number", Code, 0, kInt32Max);
      SetNetAddress(static_cast<uint8_t>(Port), static_cast<uint8_t>(Address),
                    static_cast<int32_t>(Code), static_cast<int32_t>(Value % 100));
      return true;
    default:
      return false;
  }
}
