// Helpers shared by the command files of the driver: argument checks, digit
// fields and the exchange-or-throw step that every command ends its request
// with. Internal to the library.
#pragma once

#include <cstdint>
#include <string>

#include "protocol/Link.h"
#include "protocol/Protocol.h"
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

// Writes group, address and letter for a nozzle's side into Buffer; returns 3.
uint8_t NozzleRequest(const TQX25& Driver, uint8_t* Buffer, int32_t Nozzle, int32_t Side,
                      uint8_t Letter);

// Runs Exchange with the kind's lengths; a failed exchange throws ESerialIO
// with Message.
void ExchangeOrThrow(TQX25& Driver, uint8_t Port, uint8_t* Buffer, uint8_t RequestLength,
                     const TRequestKind& Kind, const char* Message);

// True when the exchange was accepted and the controller answered CAN.
bool Refused(const TQX25& Driver, uint8_t Port, const uint8_t* Reply);

// A number as it reads in an error message.
std::string Text(long double Value);

// Nearest whole number, a tie going to the even neighbour (12.5 -> 12,
// 13.5 -> 14), whatever floating-point rounding mode the host has set.
// Value is finite.
double RoundHalfEven(double Value);


}  // namespace qx25
