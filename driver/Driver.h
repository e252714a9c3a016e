// Helpers shared by the command files of the driver: argument checks, digit
// fields and the exchange-or-throw step that every command ends its request
// with. Internal to the library.
#pragma once

#include <cstdint>
#include <string>

#include "protocol/Link.h"
#include "HostContract.h"
#include "Log.h"
#include "QX25.h"

namespace qx25 {

// The host's main window, handed over by GetQX25 for the library's windows.
extern uintptr_t ApplicationHandle;

// Holds the lock of one port for the whole of a command: the reply-handler
// registration, the exchange, the line status and the checks of PortStatus
// that follow, so that no other caller's exchange on that port comes between
// them. The lock is per port number, shared by every driver object (a port is
// one physical line), and re-entrant, so that a command may run others on the
// same port. Callers get the port in the order they asked for it, so that a
// worker that runs command after command cannot keep a host's poll waiting
// for more than the commands queued before it. Taken on the raw Port
// argument: its low byte, when that is a port 1..30; for any other value
// nothing is held, and the operation refuses the port itself before it
// touches anything.
class TPortMutex;
class TPortLock {
 public:
  explicit TPortLock(int64_t Port);
  ~TPortLock();
  TPortLock(const TPortLock&) = delete;
  TPortLock& operator=(const TPortLock&) = delete;

 private:
  TPortMutex* Held;
};

// Room for any request and any reply: both lengths are bytes.
inline constexpr int kBufferSize = 256;

// The low byte of Port, which must be 1..30; otherwise std::out_of_range.
uint8_t PortIndex(int32_t Port);
// Nozzle above 32: std::runtime_error with the protocol's own message; below 1:
// std::out_of_range. Returns the nozzle.
int NozzleIndex(int32_t Nozzle);
// Nozzle above 32: std::runtime_error with the protocol's own message. For
// requests that only address a nozzle and index no table with it.
void CheckNozzle(int32_t Nozzle);
// Side 1..4, otherwise std::out_of_range.
int SideIndex(int32_t Side);
// Side 0..4 for tables that keep 0 as "no side yet", otherwise std::out_of_range.
int SideOrNone(int32_t Side);

// A request as a command builds it: the head (the group and address bytes of
// one controller, or the common group of a line-wide request, then the
// letter), then what the command appends. The exchange writes the reply over
// it, into a buffer zeroed beforehand.
struct TRequest {
  TRequest(TAddressBytes To, uint8_t Letter) : Buffer{To.Group, To.Address, Letter}, Length(3) {}
  explicit TRequest(uint8_t Letter) : Buffer{kCommonGroup, Letter}, Length(2) {}
  void Put(uint8_t Byte) { Buffer[Length++] = Byte; }
  void PutDigits(uint64_t Value, int Count) {
    WriteDigits(Buffer + Length, Value, static_cast<size_t>(Count));
    Length = static_cast<uint8_t>(Length + Count);
  }

  uint8_t Buffer[kBufferSize];
  uint8_t Length;
  // Whom it addresses, for the log: 0 where no nozzle or side is known.
  int Nozzle = 0;
  int Side = 0;
};

// The request head for a nozzle's side, by the driver's address stride.
TRequest NozzleRequest(const TQX25& Driver, int32_t Nozzle, int32_t Side, uint8_t Letter);

// How an exchange ended, in the terms a command acts on.
enum class TReplyOutcome : uint8_t {
  Failed,    // no reply was accepted
  InDoubt,   // a reply was accepted, but the line status after it is not 1
  Refused,   // the controller answered CAN
  Answered,  // ACK, NAK or a data frame
};

struct TReply {
  TReplyOutcome Outcome;
  int32_t Code;         // Exchange's result: 0 once a reply was accepted
  const uint8_t* Data;  // the reply, in the request's buffer
};

// Runs Exchange on the request with the kind's reply length and mode.
TReply Send(TQX25& Driver, uint8_t Port, TRequest& Request, const TRequestKind& Kind);
// Send, where a failed exchange throws ESerialIO with Message.
TReply SendOrThrow(TQX25& Driver, uint8_t Port, TRequest& Request, const TRequestKind& Kind,
                   const char* Message);

// Sets PortStatus[Port] to Code, a refusal code or kAnsweredWithoutData, and
// logs why (a warning naming the request).
void SetRefusal(TQX25& Driver, uint8_t Port, const TRequest& Request, const TRequestKind& Kind,
                uint8_t Code);
// Where Request went, for the log.
inline TAt At(uint8_t Port, const TRequest& Request) { return {Port, Request.Nozzle, Request.Side}; }
// Why the reply handler last turned down bytes in this thread's last failed
// exchange ("bad checksum"), or null when it turned down none.
const char* LastRejection();

// A number as it reads in an error message.
std::string Text(long double Value);

// Nearest whole number, a tie going to the even neighbour (12.5 -> 12,
// 13.5 -> 14), whatever floating-point rounding mode the host has set.
// Value is finite.
double RoundHalfEven(double Value);


}  // namespace qx25
