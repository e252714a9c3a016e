// The serial dispatcher: port records, registrations, per-thread outcomes and
// the exchange loop. The device work itself is in SerialDevice.cpp.
#include "SerialDispatcher.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <system_error>
#include <stdexcept>
#include <thread>
#include <unordered_map>
#include <vector>

#include "SerialDevice.h"

namespace qx25::serial {

namespace {

constexpr int kPortCount = 256;  // every value of the port byte

std::atomic<uint64_t> NextDispatcherId{1};

bool IsFailureClass(int32_t Code) { return Code >= kSerialNoDevice && Code <= kSerialOtherDevice; }

std::string PortName(uint8_t Port) { return "COM" + std::to_string(Port); }

// device::ReadSome, in slices short enough that a set Cancel flag is seen
// promptly; the wait then goes on for kCancelGrace at most, so that a reply
// under way or due soon is still taken and only a long wait is cut.
// Cancelled tells it was cut.
device::ReadResult ReadUnlessCancelled(const std::atomic<bool>* Cancel, int Fd, uint8_t* Out,
                                       size_t Room, device::Clock::time_point Deadline,
                                       size_t& Got, bool& Cancelled) {
  Cancelled = false;
  if (Cancel == nullptr) return device::ReadSome(Fd, Out, Room, Deadline, Got);
  for (;;) {
    if (Cancel->load()) {
      const auto cut = device::Clock::now() + SerialDispatcher::kCancelGrace;
      if (cut >= Deadline) return device::ReadSome(Fd, Out, Room, Deadline, Got);
      const device::ReadResult r = device::ReadSome(Fd, Out, Room, cut, Got);
      Cancelled = r == device::ReadResult::TimedOut;
      return r;
    }
    const auto slice = device::Clock::now() + SerialDispatcher::kCancelCheck;
    const device::ReadResult r = device::ReadSome(Fd, Out, Room, std::min(slice, Deadline), Got);
    if (r != device::ReadResult::TimedOut || slice >= Deadline) return r;
  }
}

// Why a device went away: the system's word where the failing call left one
// in errno, else what the line showed (a hang-up, the end of its input).
std::string LossText(int Error) {
  if (Error == 0 || Error == EAGAIN || Error == EINTR) return "hang-up";
  return std::generic_category().message(Error);
}

}  // namespace

// The device of one port; Fd and Baud change only with Lock held.
struct SerialDispatcher::PortDevice {
  std::recursive_mutex Lock;
  int Fd = -1;
  int32_t Baud = 0;
  bool Lost = false;  // the device went away and has not been opened since
  // The device the port last opened, kept until its path changes or another
  // is accepted; and the other one found behind the path since, if any.
  std::optional<device::Identity> Own;
  std::optional<device::Identity> Other;
};

struct SerialDispatcher::PortConfig {
  std::string Path;  // empty: the default device
  TReplyHandler Reply{};
  TPortSetupHandler Setup{};
};

// What one thread knows of its own exchanges on one port.
struct SerialDispatcher::Outcome {
  uint8_t Status = kLineIdle;
  int32_t Error = kSerialOk;  // the last failure; none yet while 0
  int State = -1;
  int Result = -1;
  long Holder = 0;  // who held the device at the last kSerialInUse
  int SystemError = 0;  // the system's reason for the last failure; 0 if none
  bool OwnHandler = false;
  TReplyHandler Handler{};
};

struct SerialDispatcher::TraceSink {
  TraceCallback Callback;
  device::Clock::time_point Start;

  double Seconds() const {
    return std::chrono::duration<double>(device::Clock::now() - Start).count();
  }

  void Emit(TraceDirection Direction, uint8_t Port, std::span<const uint8_t> Bytes, int32_t Result,
            int ReplyCode, std::span<const double> Arrivals = {}) const {
    const TraceRecord record{Direction, Seconds(), Port, Bytes, Result, ReplyCode, Arrivals};
    // An observer must never change an exchange's outcome.
    try {
      Callback(record);
    } catch (...) {
    }
  }
};

SerialDispatcher::SerialDispatcher()
    : Id(NextDispatcherId.fetch_add(1)),
      Devices(new PortDevice[kPortCount]),
      Configs(new PortConfig[kPortCount]) {}

SerialDispatcher::~SerialDispatcher() {
  for (int p = 0; p < kPortCount; ++p) Close(static_cast<uint8_t>(p));
}

SerialDispatcher::Outcome& SerialDispatcher::Mine(uint8_t Port) const {
  // Keyed by dispatcher id rather than address, so a new dispatcher at a freed
  // address never inherits an old one's verdicts.
#ifdef _WIN32
  // MinGW-w64's thread_local destructors corrupt the heap when a thread that
  // the host's runtime did not start (the service window's runs in qx25.dll)
  // ends; the map is left to the thread's end there, a few bytes a thread.
  thread_local auto* outcomes = new std::unordered_map<uint64_t, Outcome>;
  return (*outcomes)[(Id << 8) | Port];
#else
  thread_local std::unordered_map<uint64_t, Outcome> outcomes;
  return outcomes[(Id << 8) | Port];
#endif
}

void SerialDispatcher::SetDevicePath(uint8_t Port, const std::string& Path) {
  PortDevice& line = Devices[Port];
  std::lock_guard<std::recursive_mutex> hold(line.Lock);
  {
    std::lock_guard<std::mutex> config(ConfigLock);
    Configs[Port].Path = Path;
  }
  device::Close(line.Fd);
  line.Fd = -1;
  line.Own.reset();
  line.Other.reset();
}

std::optional<SerialDispatcher::DeviceChange> SerialDispatcher::ChangedDevice(uint8_t Port) const {
  PortDevice& line = Devices[Port];
  std::lock_guard<std::recursive_mutex> hold(line.Lock);
  if (!line.Own || !line.Other) return std::nullopt;
  return DeviceChange{device::IdentityText(*line.Own), device::IdentityText(*line.Other)};
}

void SerialDispatcher::AcceptDevice(uint8_t Port) {
  PortDevice& line = Devices[Port];
  std::lock_guard<std::recursive_mutex> hold(line.Lock);
  line.Own.reset();
  line.Other.reset();
}

void SerialDispatcher::SetDeviceTree(const std::string& Root) {
  std::lock_guard<std::mutex> config(ConfigLock);
  Tree = Root;
}

std::string SerialDispatcher::DevicePath(uint8_t Port) const {
  {
    std::lock_guard<std::mutex> config(ConfigLock);
    if (!Configs[Port].Path.empty()) return Configs[Port].Path;
  }
  if (Port == 0) return {};
#ifdef _WIN32
  return "\\\\.\\COM" + std::to_string(Port);
#else
  return "/dev/ttyS" + std::to_string(Port - 1);
#endif
}

void SerialDispatcher::SetTimeouts(const SerialTimeouts& Timeouts) {
  std::lock_guard<std::mutex> config(ConfigLock);
  Limits = Timeouts;
}

void SerialDispatcher::SetCancelFlag(const std::atomic<bool>* Flag) { CancelFlag = Flag; }

SerialTimeouts SerialDispatcher::Timeouts() const {
  std::lock_guard<std::mutex> config(ConfigLock);
  return Limits;
}

void SerialDispatcher::SetTrace(TraceCallback Callback) {
  std::shared_ptr<const TraceSink> sink;
  if (Callback)
    sink = std::make_shared<TraceSink>(TraceSink{std::move(Callback), device::Clock::now()});
  std::lock_guard<std::mutex> config(ConfigLock);
  Tracer = std::move(sink);
}

void SerialDispatcher::SetLog(int Level, LogCallback Callback) {
  if (Level < kLogOff || Level > kLogDebug)
    throw std::invalid_argument("log level " + std::to_string(Level) + " is not -1..3");
  std::shared_ptr<const LogCallback> sink;
  if (Callback && Level != kLogOff) sink = std::make_shared<const LogCallback>(std::move(Callback));
  std::lock_guard<std::mutex> config(ConfigLock);
  Logger = std::move(sink);
  LogLimit.store(Logger ? Level : kLogOff, std::memory_order_relaxed);
}

void SerialDispatcher::Note(int Level, const std::string& Line) const {
  std::shared_ptr<const LogCallback> sink;
  {
    std::lock_guard<std::mutex> config(ConfigLock);
    if (Level > LogLimit.load(std::memory_order_relaxed)) return;
    sink = Logger;
  }
  if (!sink) return;
  // An observer must never change an exchange's outcome.
  try {
    (*sink)(Level, Line);
  } catch (...) {
  }
}

// With the port's lock held.
void SerialDispatcher::NoteOpenFailure(uint8_t Port, const std::string& Path, int32_t Result,
                                       long Holder) {
  if (Result == kSerialInUse) {
    if (Logging(kLogWarning)) Note(kLogWarning, InUseText(Port, Path, Holder));
    return;
  }
  // While a lost device stays away every exchange says so; once is enough
  // above the debug level.
  const int level = Devices[Port].Lost ? kLogDebug : kLogWarning;
  if (!Logging(level)) return;
  Note(level, PortName(Port) + ": cannot open " + (Path.empty() ? "(no device)" : Path) + " (" +
                  SerialErrorText(Result) + ")");
}

// With the port's lock held; Error is errno as the exchange left it.
void SerialDispatcher::NoteEnd(uint8_t Port, int32_t Result, int Error, size_t Received) {
  if (Result == kSerialDeviceLost) {
    const bool first = !Devices[Port].Lost;
    Devices[Port].Lost = true;
    const int level = first ? kLogWarning : kLogDebug;
    if (Logging(level))
      Note(level, PortName(Port) + ": device " + DevicePath(Port) + " lost (" + LossText(Error) +
                      "); it is opened again at the next exchange");
  } else if (Result == kSerialLineError) {
    if (Logging(kLogWarning))
      Note(kLogWarning, PortName(Port) + ": line error on " + DevicePath(Port) + " (" +
                            LossText(Error) + ")");
  } else if (Result == kSerialTimeout || Result == kSerialRejected) {
    if (Logging(kLogDebug))
      Note(kLogDebug, PortName(Port) + ": " +
                          (Result == kSerialTimeout ? "time-out" : "reply rejected") + " after " +
                          std::to_string(Received) + " bytes");
  }
}

void SerialDispatcher::Close(uint8_t Port) {
  PortDevice& line = Devices[Port];
  std::lock_guard<std::recursive_mutex> hold(line.Lock);
  device::Close(line.Fd);
  line.Fd = -1;
}

bool SerialDispatcher::IsOpen(uint8_t Port) const {
  PortDevice& line = Devices[Port];
  std::lock_guard<std::recursive_mutex> hold(line.Lock);
  return line.Fd >= 0;
}

int SerialDispatcher::LastReplyState(uint8_t Port) const { return Mine(Port).State; }
int SerialDispatcher::LastReplyResult(uint8_t Port) const { return Mine(Port).Result; }
long SerialDispatcher::InUseBy(uint8_t Port) const { return Mine(Port).Holder; }
int SerialDispatcher::LastSystemError(uint8_t Port) const { return Mine(Port).SystemError; }
std::string SerialDispatcher::LastFailureText(uint8_t Port) const {
  return device::SystemErrorText(Mine(Port).SystemError);
}

int32_t SerialDispatcher::GetErrorCode(uint8_t Port) {
  const Outcome& mine = Mine(Port);
  return mine.Error != kSerialOk ? mine.Error : kSerialLineError;
}

void SerialDispatcher::SetReplyResult(uint8_t Port, uint8_t Code) { Mine(Port).Result = Code; }
void SerialDispatcher::SetReplyState(uint8_t Port, uint8_t State) { Mine(Port).State = State; }
uint8_t SerialDispatcher::GetLineStatus(uint8_t Port) { return Mine(Port).Status; }

void SerialDispatcher::SetReplyHandler(uint8_t Port, TReplyHandler Handler) {
  Outcome& mine = Mine(Port);
  mine.OwnHandler = Handler.Code != nullptr;
  mine.Handler = Handler;
  std::lock_guard<std::mutex> config(ConfigLock);
  Configs[Port].Reply = Handler;
}

void SerialDispatcher::SetPortSetupHandler(uint8_t Port, TPortSetupHandler Handler) {
  std::lock_guard<std::mutex> config(ConfigLock);
  Configs[Port].Setup = Handler;
}

int32_t SerialDispatcher::SetLineParams(uint8_t Port, int32_t Format, int32_t Baud) {
  if (Format != PortDispatcher::kFormat8N1 || !device::KnownBaud(Baud)) return kSerialBadSettings;
  PortDevice& line = Devices[Port];
  std::lock_guard<std::recursive_mutex> hold(line.Lock);
  device::ClearSystemError();
  const int32_t r = OpenLine(Port, Baud);
  if (r != kSerialOk) Mine(Port).SystemError = device::LastSystemError();
  return r;
}

// With the port's lock held.
int32_t SerialDispatcher::OpenLine(uint8_t Port, int32_t Baud) {
  PortDevice& line = Devices[Port];
  device::Close(line.Fd);
  line.Fd = -1;
  int fd = -1;
  long holder = 0;
  const std::string path = DevicePath(Port);
  std::string tree;
  {
    std::lock_guard<std::mutex> config(ConfigLock);
    tree = Tree;
  }
  // Looked at before the device is opened, so that another one is not even
  // set up: opening takes its lock and changes its settings.
  if (line.Own) {
    const std::optional<device::Identity> found = device::IdentityAt(path, tree);
    if (found && !device::SameDevice(*line.Own, *found)) {
      const bool news = !line.Other || !device::SameDevice(*line.Other, *found);
      line.Other = found;
      if (news && Logging(kLogWarning))
        Note(kLogWarning, PortName(Port) + ": " + path + " now leads to another device (" +
                              device::IdentityText(*found) + ", was " +
                              device::IdentityText(*line.Own) + "); not used until accepted");
      return kSerialOtherDevice;
    }
  }
  const int32_t r = device::Open(path, Baud, fd, holder);
  if (r == kSerialInUse) Mine(Port).Holder = holder;
  if (r != kSerialOk) {
    NoteOpenFailure(Port, path, r, holder);
    return r;
  }
  line.Fd = fd;
  line.Baud = Baud;
  const device::Identity opened = device::IdentityOf(fd, tree);
  if (line.Own && !device::SameDevice(*line.Own, opened)) {
    // Changed between the look and the opening.
    device::Close(fd);
    line.Fd = -1;
    line.Other = opened;
    return kSerialOtherDevice;
  }
  line.Own = opened;
  line.Other.reset();
  if (Logging(kLogInfo))
    Note(kLogInfo, PortName(Port) + ": " + (line.Lost ? "opened again " : "opened ") + path +
                       " at " + std::to_string(Baud) + " baud");
  line.Lost = false;
  return kSerialOk;
}

int32_t SerialDispatcher::Transact(uint8_t Port, const uint8_t* Frame, uint8_t FrameLength,
                                   uint8_t* Reply, uint8_t ReplyLength, uint8_t ReplyMode) {
  std::lock_guard<std::recursive_mutex> hold(Devices[Port].Lock);
  Outcome& mine = Mine(Port);
  mine.State = -1;
  mine.Result = -1;
  TReplyHandler handler;
  std::shared_ptr<const TraceSink> trace;
  {
    std::lock_guard<std::mutex> config(ConfigLock);
    handler = mine.OwnHandler ? mine.Handler : Configs[Port].Reply;
    trace = Tracer;
  }

  int32_t failure = kSerialLineError;  // the class an exception would mean right now
  int32_t result;
  device::ClearSystemError();
  try {
    result = Exchange(Port, Frame, FrameLength, Reply, ReplyLength, ReplyMode, handler, trace.get(),
                      failure);
  } catch (...) {
    result = failure;
    mine.Error = result;
    mine.SystemError = 0;  // a handler's fault, not the system's
    mine.Status = LineStatusOf(result);
    throw;
  }
  if (result != kSerialOk) {
    mine.Error = result;
    mine.SystemError = device::LastSystemError();
  }
  mine.Status = LineStatusOf(result);
  return result;
}

// With the port's lock held.
int32_t SerialDispatcher::EnsureOpen(uint8_t Port, int32_t& Failure) {
  if (Devices[Port].Fd >= 0) return kSerialOk;
  TPortSetupHandler setup;
  {
    std::lock_guard<std::mutex> config(ConfigLock);
    setup = Configs[Port].Setup;
  }
  if (setup.Code != nullptr) {
    Failure = kSerialBadSettings;
    const int32_t r = setup.Code(setup.Self, Port);
    Failure = kSerialLineError;
    if (r != kSerialOk) return IsFailureClass(r) ? r : kSerialBadSettings;
    if (Devices[Port].Fd >= 0) return kSerialOk;
  }
  return OpenLine(Port, kDefaultBaud);
}

// With the port's lock held.
int32_t SerialDispatcher::Exchange(uint8_t Port, const uint8_t* Frame, uint8_t FrameLength,
                                   uint8_t* Reply, uint8_t ReplyLength, uint8_t ReplyMode,
                                   const TReplyHandler& Handler, const TraceSink* Trace,
                                   int32_t& Failure) {
  std::vector<uint8_t> received;  // every byte as it arrived, for the trace only
  std::vector<double> arrivals;   // and when, for a recording
  uint8_t held = 0;
  bool opened = false;  // failures to open are logged where the opening fails
  const auto take = [&](const uint8_t* Bytes, size_t Count) {
    received.insert(received.end(), Bytes, Bytes + Count);
    arrivals.insert(arrivals.end(), Count, Trace->Seconds());
  };
  const auto finish = [&](int32_t Result) {
    const int error = errno;  // before anything below can change it
    if (Result != kSerialOk && opened) NoteEnd(Port, Result, error, held);
    // Reopened by its path at the next exchange: a replugged adapter may be
    // a new device behind the same name.
    if (Result == kSerialDeviceLost) {
      device::Close(Devices[Port].Fd);
      Devices[Port].Fd = -1;
    }
    if (Trace != nullptr && (Result != kSerialOk || ReplyLength > 0))
      Trace->Emit(TraceDirection::Reply, Port, received, Result, Mine(Port).Result, arrivals);
    return Result;
  };

  if (Trace != nullptr) Trace->Emit(TraceDirection::Request, Port, {Frame, FrameLength}, 0, -1);
  errno = 0;  // so that a loss reports this exchange's failure, not an old one
  int32_t r = EnsureOpen(Port, Failure);
  if (r != kSerialOk) return finish(r);
  opened = true;
  const int fd = Devices[Port].Fd;
  const int32_t baud = Devices[Port].Baud;
  const SerialTimeouts limits = Timeouts();

  r = device::DiscardInput(fd);
  if (r != kSerialOk) return finish(r);
  const auto frameTime = device::WireTime(FrameLength, baud);
  r = device::WriteAll(fd, Frame, FrameLength, device::Clock::now() + 2 * frameTime + limits.FirstByte);
  if (r != kSerialOk) return finish(r);
  if (ReplyLength == 0) return finish(device::Drain(fd));

  // The UART may still be shifting the frame out: allow for its wire time.
  const ReplyRead read{fd,       baud,    Port, Reply, ReplyLength, ReplyMode,
                       &Handler, device::Clock::now() + frameTime + limits.FirstByte, limits,
                       CancelFlag.load()};
  ByteSink sink;
  if (Trace != nullptr)
    sink = {[](void* Self, const uint8_t* Bytes, size_t Count) {
              (*static_cast<decltype(take)*>(Self))(Bytes, Count);
            },
            const_cast<void*>(static_cast<const void*>(&take))};
  return finish(ReadReply(read, sink, held, Failure));
}

// This dispatcher's framing: the handler's verdict after each arrival, and
// the reply's length.
int32_t SerialDispatcher::ReadReply(const ReplyRead& Read, const ByteSink& Take, uint8_t& Held,
                                    int32_t& Failure) {
  const TReplyHandler& handler = *Read.Handler;
  uint8_t* const reply = Read.Reply;
  const uint8_t length = Read.ReplyLength;
  const auto whole = Read.FirstByte + 2 * device::WireTime(length, Read.Baud) + Read.Limits.Between;
  auto deadline = Read.FirstByte;
  uint8_t& held = Held;
  for (;;) {
    size_t got = 0;
    bool cancelled = false;
    const device::ReadResult result = ReadUnlessCancelled(
        Read.Cancel, Read.Fd, reply + held, length - held, std::min(deadline, whole), got, cancelled);
    if (cancelled) return kSerialCancelled;
    if (result == device::ReadResult::TimedOut) return kSerialTimeout;
    if (result == device::ReadResult::Failed) return kSerialLineError;
    if (result == device::ReadResult::Gone) return kSerialDeviceLost;
    Take(reply + held, got);
    held = static_cast<uint8_t>(held + got);

    bool accepted;
    if (handler.Code != nullptr) {
      uint8_t kept = held;
      Failure = kSerialRejected;
      accepted = handler.Code(handler.Self, Read.Port, reply, nullptr, &kept, nullptr);
      Failure = kSerialLineError;
      held = std::min(held, kept);  // it may drop leading bytes, never add any
    } else {
      accepted = held == length;
    }
    if (accepted && Read.ReplyMode == PortDispatcher::kReplyData && held == 1 && length > 1) {
      // Where a data frame is due, a lone ACK, NAK or CAN is a refusal only if
      // the line then stays quiet: bytes right behind it mean it was the
      // damaged start of a frame (a bit error can turn STX into ACK, and a
      // lost STX leaves the handler a data byte that reads as one). Only
      // timing tells the two apart, and this waits only on such replies.
      uint8_t extra[32];  // one byte would tell; the trace shows what came
      const device::ReadResult more = device::ReadSome(
          Read.Fd, extra, sizeof extra, device::Clock::now() + Read.Limits.Between, got);
      if (more == device::ReadResult::TimedOut) return kSerialOk;
      if (more == device::ReadResult::Failed) return kSerialLineError;
      if (more == device::ReadResult::Gone) return kSerialDeviceLost;
      Take(extra, got);
      return kSerialRejected;
    }
    if (accepted) return kSerialOk;
    if (held == length) return kSerialRejected;
    // At 4800 baud a reply comes a byte every 2 ms, and waking for each one
    // costs a station's host more CPU than all the rest of the exchange. The
    // bytes still due take their wire time to come, so sleep until all but
    // the last could be in and take them in one read; the last is read as it
    // arrives, so a reply of the expected length is not delayed. A reply that
    // stops short still times out, later by at most its missing bytes' time.
    if (length - held > 1)
      std::this_thread::sleep_until(
          std::min(device::Clock::now() + device::WireTime(length - held - 1u, Read.Baud), whole));
    deadline = device::Clock::now() + Read.Limits.Between;
  }
}

}  // namespace qx25::serial
