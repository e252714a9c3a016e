#include "sim/Endpoint.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <system_error>

#include "terminal/Terminal.h"

namespace qx25::sim {

namespace {

// How long a reply may wait for room on a line that nobody reads before the
// rest of it is dropped.
constexpr int kWriteRoomMs = 1000;

[[noreturn]] void ThrowErrno(const std::string& What) {
  throw std::system_error(errno, std::generic_category(), What);
}

}  // namespace

Endpoint::Endpoint(Simulator& Simulated, const EndpointOptions& Options) : Sim(&Simulated), Settings(Options) {
  if (Options.Baud <= 0) throw std::invalid_argument("baud rate must be positive");
  if (Options.Turnaround.count() < 0)
    throw std::invalid_argument("turnaround must not be negative");
  if (Options.Burst.count() < 0) throw std::invalid_argument("burst period must not be negative");
}

Endpoint::Endpoint(TimedResponder Responder, const EndpointOptions& Options)
    : Sim(nullptr), Respond(std::move(Responder)), Settings(Options) {
  if (Options.Baud <= 0) throw std::invalid_argument("baud rate must be positive");
  if (!Respond) throw std::invalid_argument("a line needs something to answer it");
}

Endpoint::~Endpoint() {
  Stop();
  Close();
}

void Endpoint::Close() {
  for (int* fd : {&Master, &Slave, &Wake}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
  Path.clear();
}

std::string Endpoint::OpenPseudoTerminal() {
  if (Worker.joinable() && Active) throw std::logic_error("the line is running");
  Stop();
  Close();
  const terminal::PseudoTerminal pty = terminal::OpenPseudoTerminal();
  Master = pty.Master;
  Slave = terminal::OpenRaw(pty.SlavePath, terminal::SpeedCode(Settings.Baud).value_or(B4800)).Fd;
  if (Slave < 0 || fcntl(Master, F_SETFL, fcntl(Master, F_GETFL) | O_NONBLOCK) != 0) {
    const int saved = errno;
    Close();
    throw std::system_error(saved, std::generic_category(), "opening " + pty.SlavePath);
  }
  Path = pty.SlavePath;
  return Path;
}

void Endpoint::OpenDevice(const std::string& DeviceName) {
  if (Worker.joinable() && Active) throw std::logic_error("the line is running");
  Stop();
  const std::optional<speed_t> speed = terminal::SpeedCode(Settings.Baud);
  if (!speed)
    throw std::invalid_argument("a serial device cannot run at " + std::to_string(Settings.Baud) +
                                " baud");
  Close();
  Master = terminal::OpenRaw(DeviceName, *speed).Fd;
  if (Master < 0) ThrowErrno("opening " + DeviceName);
  tcflush(Master, TCIOFLUSH);
  Path = DeviceName;
}

void Endpoint::Start() {
  if (Master < 0) throw std::logic_error("no line is open");
  if (Worker.joinable() && Active) throw std::logic_error("the line is running");
  Stop();  // a thread that ended on its own is joined first
  if (Wake < 0) {
    Wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (Wake < 0) ThrowErrno("eventfd");
  }
  {
    std::lock_guard guard(FailureLock);
    FailureText.clear();
  }
  Active = true;
  try {
    Worker = std::thread([this] { Run(); });
  } catch (...) {
    Active = false;
    throw;
  }
}

void Endpoint::Stop() {
  if (!Worker.joinable()) return;
  const uint64_t one = 1;
  // The eventfd counter cannot overflow from one write; the thread wakes.
  [[maybe_unused]] const ssize_t n = ::write(Wake, &one, sizeof one);
  Worker.join();
  uint64_t drained;
  [[maybe_unused]] const ssize_t m = ::read(Wake, &drained, sizeof drained);
  Active = false;
}

std::string Endpoint::Failure() const {
  std::lock_guard guard(FailureLock);
  return FailureText;
}

void Endpoint::Fail(const std::string& Why) {
  std::lock_guard guard(FailureLock);
  FailureText = Why;
}

Endpoint::Clock::duration Endpoint::WireTime(size_t Count) const {
  const int64_t nanoseconds =
      static_cast<int64_t>(Count) * kWireBitsPerByte * 1'000'000'000LL / Settings.Baud;
  return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(nanoseconds));
}

bool Endpoint::WaitUntil(Clock::time_point Deadline) {
  for (;;) {
    const Clock::time_point now = Clock::now();
    if (now >= Deadline) return true;
    const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(Deadline - now);
    timespec ts{static_cast<time_t>(left.count() / 1'000'000'000),
                static_cast<long>(left.count() % 1'000'000'000)};
    pollfd wake{Wake, POLLIN, 0};
    const int r = ppoll(&wake, 1, &ts, nullptr);
    if (r > 0) return false;  // Stop
    if (r < 0 && errno != EINTR) {
      Fail(std::string("waiting: ") + std::generic_category().message(errno));
      return false;
    }
  }
}

bool Endpoint::Send(const uint8_t* Data, size_t Count) {
  size_t done = 0;
  while (done < Count) {
    const ssize_t n = ::write(Master, Data + done, Count - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      Fail(std::string("writing: ") + std::generic_category().message(errno));
      return false;
    }
    // The line is full: nobody reads it. Wait a while for room, else drop the rest.
    pollfd fds[2] = {{Master, POLLOUT, 0}, {Wake, POLLIN, 0}};
    const int r = poll(fds, 2, kWriteRoomMs);
    if (r > 0 && fds[1].revents != 0) return false;
    if (r <= 0) return true;
  }
  return true;
}

// The first tick of the adapter's timer at or after Ready.
Endpoint::Clock::time_point Endpoint::BurstTick(Clock::time_point Ready) const {
  const Clock::duration period = Settings.Burst;
  if (Ready <= Epoch) return Epoch;
  const auto ticks = (Ready - Epoch + period - Clock::duration(1)) / period;
  return Epoch + ticks * period;
}

bool Endpoint::SendInBursts(const Bytes& Reply, Clock::time_point Start) {
  const auto ready = [&](size_t K) {  // when byte K is complete on the wire
    return Settings.Pacing ? Start + WireTime(K + 1) : Start;
  };
  for (size_t k = 0; k < Reply.size();) {
    const Clock::time_point tick = BurstTick(ready(k));
    size_t end = k + 1;
    while (end < Reply.size() && ready(end) <= tick) ++end;
    if (!WaitUntil(tick) || !Send(&Reply[k], end - k)) return false;
    k = end;
  }
  return true;
}

bool Endpoint::Reply(const Bytes& Frame, Clock::time_point Arrived) {
  if (!WaitUntil(Arrived)) return false;
  if (Sim == nullptr) {
    for (const TimedBurst& burst : Respond(Frame))
      if (!WaitUntil(Arrived + burst.At) || !Send(burst.Data.data(), burst.Data.size()))
        return false;
    return true;
  }
  const Exchange x = Sim->Answer(Frame.data(), Frame.size());
  if (x.Sent.empty()) return true;
  const Clock::time_point start = Arrived + Settings.Turnaround;
  if (Settings.Burst.count() > 0) return SendInBursts(x.Sent, start);
  if (!Settings.Pacing) return WaitUntil(start) && Send(x.Sent.data(), x.Sent.size());
  for (size_t k = 0; k < x.Sent.size(); ++k) {
    if (!WaitUntil(start + WireTime(k + 1)) || !Send(&x.Sent[k], 1)) return false;
  }
  return true;
}

void Endpoint::Run() {
  FrameCollector collector;
  // When the last byte received would have been complete on a real wire.
  Clock::time_point wire{};
  uint8_t chunk[256];
  for (;;) {
    pollfd fds[2] = {{Master, POLLIN, 0}, {Wake, POLLIN, 0}};
    const int r = poll(fds, 2, -1);
    if (r < 0) {
      if (errno == EINTR) continue;
      Fail(std::string("waiting for requests: ") + std::generic_category().message(errno));
      break;
    }
    if (fds[1].revents != 0) break;
    if ((fds[0].revents & POLLIN) == 0) {
      // A hang-up or an error without data: the device has gone.
      Fail("the line hung up");
      break;
    }
    const ssize_t n = ::read(Master, chunk, sizeof chunk);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) {
      Fail(n == 0 ? std::string("the line closed")
                  : "reading: " + std::generic_category().message(errno));
      break;
    }
    const Clock::time_point seen = Clock::now();
    wire = std::max(wire, seen);
    bool go = true;
    for (ssize_t i = 0; i < n && go; ++i) {
      if (Settings.Pacing) wire += WireTime(1);
      if (collector.Push(chunk[i])) go = Reply(collector.Frame(), Settings.Pacing ? wire : seen);
    }
    if (!go) break;
  }
  Active = false;
}

}  // namespace qx25::sim
