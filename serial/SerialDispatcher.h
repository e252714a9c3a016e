// A port dispatcher for Linux serial devices and pseudo-terminals, on POSIX
// termios with poll().
//
// It owns the lines the driver talks through: it maps a port number to a
// device, opens and configures it, sends each request frame and collects the
// reply, asking the port's reply handler after every arrival whether the
// bytes so far make a complete reply. It knows frames only as bytes; what a
// frame means is the handler's business.
//
// Port numbers are the host's COM numbers, 0..255. Port n uses the device
// /dev/ttyS(n-1) unless SetDevicePath names another (a USB adapter, or the
// slave side of a pseudo-terminal); port 0 has no default device. A
// pseudo-terminal takes the settings but does not pace bytes at the rate.
// The Windows build (serial/win/) opens \\.\COMn for port n instead, through
// the Win32 communications API; paths there are UTF-8, and all else is alike.
//
//   qx25::serial::SerialDispatcher lines;
//   lines.SetDevicePath(3, "/dev/pts/5");
//   lines.SetTrace(qx25::serial::TraceToFile(stderr));   // optional
//   TQX25* driver = GetQX25(0, 0, &lines);
//   driver->SetupPort(3);                               // SetLineParams(3, 42, 4800)
//
// Concurrency. Every call may be made from any thread. Exchanges on one port
// never interleave: Transact, SetLineParams, SetDevicePath and Close hold the
// port's lock for their whole duration, so a second caller on the same port
// waits; different ports run in parallel. The handlers registered with
// SetReplyHandler and SetPortSetupHandler are called on the thread that runs
// Transact, with the port's lock held; the port-settings handler may call
// SetLineParams for the same port (the lock is re-entrant). GetLineStatus,
// GetErrorCode, LastReplyState and LastReplyResult report what the calling
// thread's own last exchange on the port did, so two threads sharing a port
// each read their own verdict. The dispatcher must outlive every call into it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <iosfwd>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>

#include "PortDispatcher.h"

namespace qx25::serial {

// Failure classes: the non-zero results of Transact and SetLineParams, and
// what GetErrorCode reports.
enum SerialError : int32_t {
  kSerialOk = 0,
  // The device does not exist or is not a terminal (open or tcgetattr failed
  // with ENOENT, ENODEV, ENXIO, ENOTDIR or ENOTTY), or the port has no device.
  kSerialNoDevice = 1,
  // The line failed: any other open error (EIO, ENOMEM...), a failed write,
  // read, poll or drain, a hang-up, or a frame the line would not take in time.
  kSerialLineError = 2,
  // No reply, or a reply that stopped before the handler accepted it.
  kSerialTimeout = 3,
  // ReplyLength bytes arrived and the handler still rejected them (or the
  // handler threw).
  kSerialRejected = 4,
  // SetLineParams was given a format or baud rate it does not know, the device
  // refused the settings, or the port-settings handler failed or threw.
  kSerialBadSettings = 5,
  // Another program holds the device (its lock, or the terminal's exclusive
  // mode): lines are one program's at a time, so its exchanges are not mixed
  // with another's. InUseBy says which program, where that can be known.
  kSerialInUse = 6,
  // The open device went away under the exchange (an I/O error, a hang-up, no
  // such device: a USB adapter unplugged or reset). The port is closed, and
  // the next exchange opens the device again by its path.
  kSerialDeviceLost = 7,
  // The device may not be opened by this user (EACCES, EPERM): on Debian, one
  // not in the dialout group. LastFailureText carries the system's words.
  kSerialNoAccess = 8,
  // The wait for the reply was called off (SetCancelFlag): the frame went
  // out, and whatever came back was not taken.
  kSerialCancelled = 9,
  // The port's path leads to another device than the one the port had: since
  // it last opened, another adapter (another serial number), or another node
  // (another program's pseudo-terminal), has come behind the same name.
  // Nothing is opened or sent until AcceptDevice; the one it had, back again,
  // is opened as ever. ChangedDevice names both.
  kSerialOtherDevice = 10,
};

// What GetLineStatus reports (a byte the driver stores as the port's status).
enum LineStatus : uint8_t {
  kLineIdle = 0,      // the calling thread has run no exchange on the port yet
  kLineAccepted = 1,  // the handler accepted the reply, or a send-only frame went out
  kLineTimeout = 2,
  kLineRejected = 3,
  kLineError = 4,
  kLineNoDevice = 5,
  kLineBadSettings = 6,
  kLineInUse = 7,
  kLineNoAccess = 8,
};

// The LineStatus a result of Transact or SetLineParams leaves: the one
// translation between the two numberings. A device lost under an exchange
// reports kLineNoDevice, as one that is missing when the port opens, and as
// another device behind the port's path: to the host all mean the same, not
// its device. Anything that is no failure class
// counts as a line error.
constexpr LineStatus LineStatusOf(int32_t Result) {
  switch (Result) {
    case kSerialOk: return kLineAccepted;
    case kSerialNoDevice: return kLineNoDevice;
    case kSerialDeviceLost: return kLineNoDevice;
    case kSerialOtherDevice: return kLineNoDevice;
    case kSerialInUse: return kLineInUse;
    case kSerialNoAccess: return kLineNoAccess;
    case kSerialTimeout: return kLineTimeout;
    case kSerialRejected: return kLineRejected;
    case kSerialBadSettings: return kLineBadSettings;
    default: return kLineError;
  }
}
// Every failure class reads as a failure, and each as its own status but for
// the lost device.
static_assert(LineStatusOf(kSerialLineError) == kLineError &&
              LineStatusOf(kSerialNoDevice) != LineStatusOf(kSerialTimeout) &&
              LineStatusOf(kSerialTimeout) != LineStatusOf(kSerialRejected) &&
              LineStatusOf(kSerialRejected) != LineStatusOf(kSerialBadSettings) &&
              LineStatusOf(kSerialBadSettings) != LineStatusOf(kSerialInUse) &&
              LineStatusOf(kSerialInUse) != LineStatusOf(kSerialLineError) &&
              LineStatusOf(kSerialNoAccess) == kLineNoAccess &&
              LineStatusOf(kSerialNoAccess) != LineStatusOf(kSerialNoDevice) &&
              LineStatusOf(kSerialNoAccess) != LineStatusOf(kSerialLineError) &&
              LineStatusOf(kSerialCancelled) == kLineError);

// The line settings used when a port is opened for an exchange and no
// port-settings handler is registered.
inline constexpr int32_t kDefaultBaud = PortDispatcher::kProtocolBaud;

// Reply time-outs. Each exchange allows, after the frame is handed to the
// line, the frame's own wire time (10 bits a byte at the port's baud rate)
// plus FirstByte for the first reply byte; then Between for each further
// arrival; and the whole reply must be in within FirstByte plus twice its
// wire time plus Between after the frame has gone out. While a reply is
// under way the dispatcher does not wake for every byte: after an arrival
// it sleeps until all but the last of the bytes still due could have come
// (their wire time), and Between counts from then. Writing the frame may
// take its wire time twice over plus FirstByte. The defaults suit 4800 baud,
// where a byte takes about 2 ms and the longest reply about 0.5 s.
struct SerialTimeouts {
  std::chrono::milliseconds FirstByte{500};
  std::chrono::milliseconds Between{50};
};

// The protocol trace: one record when a frame goes out and one when its
// exchange ends (none after a send-only frame that went out well).
enum class TraceDirection : uint8_t { Request, Reply };
struct TraceRecord {
  TraceDirection Direction;
  double Seconds;  // since the trace was switched on
  uint8_t Port;
  // The frame; or every byte received, as it arrived, noise included.
  std::span<const uint8_t> Bytes;
  // Reply records: the exchange's result (0 when the reply was accepted), and
  // the last code the handler reported through SetReplyResult, -1 if none.
  int32_t Result;
  int ReplyCode;
  // Reply records: when each byte of Bytes arrived, in the trace's seconds
  // (bytes taken in one read share the time of that read); empty otherwise.
  std::span<const double> Arrivals = {};
};
using TraceCallback = std::function<void(const TraceRecord&)>;

// The dispatcher's log of its decisions: a port opened, a device lost and
// opened again, a line another program holds, a time-out. The levels are the
// driver's (DriverLog.h), so that a host can send both logs to one sink.
enum LogLevel : int { kLogOff = -1, kLogError = 0, kLogWarning, kLogInfo, kLogDebug };
// One line without its newline, naming the port as "COM3"; UTF-8.
using LogCallback = std::function<void(int Level, const std::string& Line)>;

// One trace line without its newline: "12.345 COM3 -> 7F 02 21 5E", a reply
// "12.391 COM3 <- 06", and for a failed exchange the bytes that did arrive
// followed by the failure: "12.900 COM3 <- 02 31 (time-out)",
// "12.900 COM3 <- 02 ... (reply rejected, code 222)".
QX25_EXPORT std::string FormatTraceLine(const TraceRecord& Record);
// Ready-made trace callbacks that write one formatted line per record and
// flush it. Lines from concurrent exchanges never mix. The FILE or stream must
// outlive the trace.
QX25_EXPORT TraceCallback TraceToFile(std::FILE* Out);
QX25_EXPORT TraceCallback TraceToStream(std::ostream& Out);
// A short English name of a failure class ("time-out"); "unknown" otherwise.
QX25_EXPORT const char* SerialErrorText(int32_t Code);
// "COM3 (/dev/ttyUSB0) is in use by another program (pid 1234)"; without the
// pid when Holder is 0 (not known).
QX25_EXPORT std::string InUseText(uint8_t Port, const std::string& Path, long Holder);

class QX25_EXPORT SerialDispatcher : public PortDispatcher {
 public:
  SerialDispatcher();
  // Closes every open port. No call may be running.
  ~SerialDispatcher();
  SerialDispatcher(const SerialDispatcher&) = delete;
  SerialDispatcher& operator=(const SerialDispatcher&) = delete;

  // --- Configuration (not part of the driver's table) ---

  // Makes Port use Path from its next opening on; an empty Path restores the
  // default. An open port is closed (after any running exchange), so the
  // next exchange opens the new device through the port-settings handler.
  void SetDevicePath(uint8_t Port, const std::string& Path);
  // The device Port opens: its override, else /dev/ttyS(Port-1); empty for
  // port 0 without an override.
  std::string DevicePath(uint8_t Port) const;
  // Time-outs for the exchanges that start after the call, on every port.
  void SetTimeouts(const SerialTimeouts& Timeouts);
  SerialTimeouts Timeouts() const;
  // A flag that cuts long reply waits short: once *Flag is true (seen within
  // kCancelCheck), a wait for a reply goes on for kCancelGrace at most, the
  // default wait for a first byte, and then ends with kSerialCancelled; a
  // reply that comes by then is taken as usual, and a frame is never cut in
  // half. Null, the default, waits as the time-outs say. The flag may be set
  // from a signal handler; it must outlive the dispatcher's exchanges.
  void SetCancelFlag(const std::atomic<bool>* Flag);
  static constexpr std::chrono::milliseconds kCancelCheck{50};
  static constexpr std::chrono::milliseconds kCancelGrace = SerialTimeouts{}.FirstByte;
  // Switches the protocol trace on (or off, with an empty callback). Records
  // are delivered on the thread of the exchange, with the port's lock held;
  // the callback must not start an exchange itself, and what it throws is
  // ignored. Seconds count from this call.
  void SetTrace(TraceCallback Callback);
  // Switches the log on up to Level, or off with kLogOff or an empty callback.
  // While off, a decision costs one atomic load. Lines come on the thread of
  // the exchange, with the port's lock held, so lines of one port are in
  // order; the callback must not start an exchange itself, must keep lines of
  // different ports from mixing, and what it throws is ignored. Throws
  // std::invalid_argument for a Level outside kLogOff..kLogDebug.
  void SetLog(int Level, LogCallback Callback);
  // Closes Port's device, after any running exchange. The next exchange opens
  // it again.
  void Close(uint8_t Port);
  bool IsOpen(uint8_t Port) const;
  // The state and code the reply handler reported through SetReplyState and
  // SetReplyResult during the calling thread's last exchange on Port; -1 when
  // it reported none.
  int LastReplyState(uint8_t Port) const;
  int LastReplyResult(uint8_t Port) const;
  // The process id of the program that held Port's device when the calling
  // thread last failed to open it with kSerialInUse; 0 when not known.
  long InUseBy(uint8_t Port) const;
  // The system's reason for the calling thread's last failure on Port (an
  // exchange, or SetLineParams opening the device): its code (errno; the
  // Win32 error on Windows), 0 when there was none or the failure had no
  // system cause (a time-out, a rejected reply), and its text ("Permission
  // denied"), empty then. Kept where the open, read or write failed, so that
  // no one need open the device again to learn why.
  int LastSystemError(uint8_t Port) const;
  std::string LastFailureText(uint8_t Port) const;
  // Opening a device takes it for this dispatcher alone: an advisory lock
  // (flock) that every program of this system takes, plus the terminal's
  // exclusive mode on a real serial device. The kernel drops both when the
  // holder closes the device or dies, so a killed program leaves no stale
  // lock. Pseudo-terminals get the lock only: the simulator keeps their slave
  // side open, so an exclusive mode left by a killed holder would outlive it.

  // What Port's path leads to, when the last attempt to open it found another
  // device than the port's own (kSerialOtherDevice); in words, as
  // "adapter 0403:6001 A1B2C3D4" or "node 136:5, inode 8". Any thread.
  struct DeviceChange {
    std::string Was;
    std::string Now;
  };
  std::optional<DeviceChange> ChangedDevice(uint8_t Port) const;
  // Takes whatever device Port's path leads to from its next opening on, as
  // its own: the one behind it now, once a person has said it is right.
  void AcceptDevice(uint8_t Port);
  // Where the system's device tree is read for an adapter's serial number:
  // "/sys", unless a test gives a tree of its own.
  void SetDeviceTree(const std::string& Root);

  // --- The driver's table ---

  // The failure class of the calling thread's last failed exchange on Port
  // (a SerialError, never 0). A thread that has seen no failure on Port gets
  // kSerialLineError, the generic class.
  int32_t GetErrorCode(uint8_t Port) override;
  // Recorded for the calling thread's current exchange (LastReplyResult,
  // LastReplyState, the trace). They do not decide the outcome: the handler's
  // return value does.
  void SetReplyResult(uint8_t Port, uint8_t Code) override;
  void SetReplyState(uint8_t Port, uint8_t State) override;
  // How the calling thread's last exchange on Port ended: kLineAccepted (1)
  // exactly when Transact returned 0; otherwise the LineStatus of its failure
  // class; kLineIdle before the thread's first exchange on Port.
  uint8_t GetLineStatus(uint8_t Port) override;

  // Sends Frame[0..FrameLength-1] on Port and collects the reply into Reply.
  // If the port is not open it is opened first: through the port-settings
  // handler when one is registered (its non-zero result fails the exchange),
  // else with kFormat8N1 at kDefaultBaud. Input that arrived before the
  // exchange is discarded. After each arrival the bytes held so far go to the
  // reply handler (Port, Reply, nullptr, &Length, nullptr), which may drop
  // leading bytes and shorten Length. Reading stops when the handler accepts
  // (result 0), when ReplyLength bytes are held and it still rejects
  // (kSerialRejected), or at a time-out (kSerialTimeout). Without a handler a
  // reply is complete when ReplyLength bytes are held. ReplyLength 0 sends
  // only: the result is 0 once the frame has been written and drained. At most
  // ReplyLength bytes are ever written into Reply. The handler decides when a
  // reply is complete, but for PortDispatcher's quiet-line rule: its gap is
  // Between, and a byte within it fails the exchange with kSerialRejected.
  // A device that goes away fails the exchange with kSerialDeviceLost and
  // nothing accepted; other ports are untouched. Throws only
  // to pass on an exception from a handler (or std::bad_alloc), after
  // recording the failure so that GetErrorCode reports it.
  int32_t Transact(uint8_t Port, const uint8_t* Frame, uint8_t FrameLength, uint8_t* Reply,
                   uint8_t ReplyLength, uint8_t ReplyMode) override;
  // Opens Port's device (closing it first if open) and configures it: Format
  // must be kFormat8N1; Baud one of 1200, 2400, 4800, 9600, 19200, 38400,
  // 57600, 115200. Returns 0, or kSerialBadSettings, kSerialNoDevice,
  // kSerialInUse, kSerialNoAccess or kSerialLineError. An unknown format or rate changes
  // nothing; any other failure leaves the port closed.
  int32_t SetLineParams(uint8_t Port, int32_t Format, int32_t Baud) override;
  // Registers Port's reply handler for the calling thread's exchanges and as
  // the port's handler for threads that have registered none of their own, so
  // a register-then-exchange sequence is never disturbed by another thread.
  // A handler with a null Code removes the registration.
  void SetReplyHandler(uint8_t Port, TReplyHandler Handler) override;
  // Registers the handler Transact calls when Port must be opened.
  void SetPortSetupHandler(uint8_t Port, TPortSetupHandler Handler) override;

 protected:
  // What collecting one reply works with, once its frame has gone out.
  struct ReplyRead {
    int Fd;
    int32_t Baud;
    uint8_t Port;
    uint8_t* Reply;
    uint8_t ReplyLength;
    uint8_t ReplyMode;
    const TReplyHandler* Handler;
    std::chrono::steady_clock::time_point FirstByte;  // when the first byte is due by
    SerialTimeouts Limits;
    const std::atomic<bool>* Cancel = nullptr;  // see SetCancelFlag
  };
  // Where every byte goes as it arrives, for the trace; Code is null when
  // nothing is traced.
  struct ByteSink {
    void (*Code)(void* Self, const uint8_t* Bytes, size_t Count) = nullptr;
    void* Self = nullptr;
    void operator()(const uint8_t* Bytes, size_t Count) const {
      if (Code != nullptr) Code(Self, Bytes, Count);
    }
  };
  // Collects the reply as Transact describes, with the port's lock held, and
  // returns the exchange's SerialError; Held gets the count of bytes kept.
  // Failure is kept as the class of a handler that throws. This is the one
  // seam of the exchange: a dispatcher built to set another framing beside
  // this one on the same line (a benchmark's) reads replies its own way, and
  // the dispatcher itself has no branch for it.
  virtual int32_t ReadReply(const ReplyRead& Read, const ByteSink& Take, uint8_t& Held,
                            int32_t& Failure);

 private:
  struct PortDevice;
  struct PortConfig;
  struct Outcome;
  struct TraceSink;

  Outcome& Mine(uint8_t Port) const;
  bool Logging(int Level) const { return Level <= LogLimit.load(std::memory_order_relaxed); }
  void Note(int Level, const std::string& Line) const;
  void NoteOpenFailure(uint8_t Port, const std::string& Path, int32_t Result, long Holder);
  void NoteEnd(uint8_t Port, int32_t Result, int Error, size_t Received);
  int32_t OpenLine(uint8_t Port, int32_t Baud);
  int32_t EnsureOpen(uint8_t Port, int32_t& Failure);
  int32_t Exchange(uint8_t Port, const uint8_t* Frame, uint8_t FrameLength, uint8_t* Reply,
                   uint8_t ReplyLength, uint8_t ReplyMode, const TReplyHandler& Handler,
                   const TraceSink* Trace, int32_t& Failure);

  const uint64_t Id;  // tells this dispatcher's per-thread records from others'
  std::unique_ptr<PortDevice[]> Devices;
  mutable std::mutex ConfigLock;  // guards Configs, Limits, Tracer, Tree and Logger
  std::unique_ptr<PortConfig[]> Configs;
  SerialTimeouts Limits;
  std::shared_ptr<const TraceSink> Tracer;
  std::string Tree = "/sys";
  std::atomic<int> LogLimit{kLogOff};
  std::atomic<const std::atomic<bool>*> CancelFlag{nullptr};
  std::shared_ptr<const LogCallback> Logger;
};

}  // namespace qx25::serial
