// The device side of the serial dispatcher: open, configure, flush, write and
// wait for bytes on a terminal descriptor, every wait bounded by a deadline.
// Results are SerialError codes. Internal to the host library.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "SerialDispatcher.h"

namespace qx25::serial::device {

using Clock = std::chrono::steady_clock;

// True when Baud is a rate the dispatcher can set.
bool KnownBaud(int32_t Baud);
// Time a line at Baud needs for Count bytes of 8N1.
inline Clock::duration WireTime(size_t Count, int32_t Baud) {
  if (Baud <= 0) return Clock::duration::zero();
  const int64_t bits = static_cast<int64_t>(Count) * PortDispatcher::kBitsPerByte;
  return std::chrono::duration_cast<Clock::duration>(
      std::chrono::nanoseconds(bits * 1'000'000'000 / Baud));
}

// The system's code for the calling thread's last failure in the calls below
// (errno; GetLastError on Windows), 0 when that failure had none (a time-out,
// a hang-up). ClearSystemError forgets it before an attempt, so a reason is
// never one left over from an earlier one.
int LastSystemError();
void ClearSystemError();
// The system's text for Code ("Permission denied"); empty for 0.
std::string SystemErrorText(int Code);

// Opens Path non-blocking, without making it the controlling terminal, takes
// it for this program alone, and configures it 8N1 raw at Baud (which must be
// known). Sets Fd on success; on kSerialInUse, Holder is the holding
// process's id, 0 when not known. A device this user may not open is
// kSerialNoAccess.
int32_t Open(const std::string& Path, int32_t Baud, int& Fd, long& Holder);
void Close(int Fd);

// What tells one device from another behind one path: its node (the file
// system, inode and device number), and for a USB adapter its vendor,
// product and serial number as the system's device tree (Tree, "/sys")
// gives them.
struct Identity {
  uint64_t FileSystem = 0;
  uint64_t Inode = 0;
  uint64_t Number = 0;
  std::string Adapter;  // "0403:6001 A1B2C3D4"; empty when the tree gives no serial number
};
// The identity of the open Fd, or of the node Path leads to (nothing when it
// leads to none: the caller's open then says why).
Identity IdentityOf(int Fd, const std::string& Tree);
std::optional<Identity> IdentityAt(const std::string& Path, const std::string& Tree);
// Two adapters with serial numbers are the same when their numbers are (one
// replugged may come back at another node behind its by-id link); anything
// else is the same when its node is.
inline bool SameDevice(const Identity& A, const Identity& B) {
  if (!A.Adapter.empty() && !B.Adapter.empty()) return A.Adapter == B.Adapter;
  return A.Adapter == B.Adapter && A.FileSystem == B.FileSystem && A.Inode == B.Inode &&
         A.Number == B.Number;
}
// "adapter 0403:6001 A1B2C3D4", or "node 136:5, inode 8".
std::string IdentityText(const Identity& Of);
// Failures of the calls below are kSerialDeviceLost when the device is gone
// (an I/O error, a hang-up, no such device), else kSerialLineError.

// Discards input that arrived before the exchange.
int32_t DiscardInput(int Fd);
// Writes all Count bytes before Deadline.
int32_t WriteAll(int Fd, const uint8_t* Bytes, size_t Count, Clock::time_point Deadline);
// Waits until everything written has left the line.
int32_t Drain(int Fd);

enum class ReadResult { Data, TimedOut, Failed, Gone };
// Waits for input until Deadline and reads at most Room bytes into Out;
// Got holds the count read on Data. Gone: the device went away.
ReadResult ReadSome(int Fd, uint8_t* Out, size_t Room, Clock::time_point Deadline, size_t& Got);

}  // namespace qx25::serial::device
