// Terminal descriptors with poll(). Descriptors are non-blocking;
// every wait is a poll() bounded by the caller's deadline.
#include "SerialLine.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "serial/Terminal.h"

namespace qx25::host::line {

namespace {

bool MissingDevice(int Error) {
  return Error == ENOENT || Error == ENODEV || Error == ENXIO || Error == ENOTDIR ||
         Error == ENOTTY;
}

// Milliseconds left until Deadline for poll(), rounded up so that poll never
// wakes before the deadline; 0 once it has passed.
int PollTimeout(Clock::time_point Deadline) {
  const auto left = Deadline - Clock::now();
  if (left <= Clock::duration::zero()) return 0;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

}  // namespace

bool KnownBaud(int32_t Baud) { return terminal::SpeedCode(Baud).has_value(); }

int32_t Open(const std::string& Path, int32_t Baud, int& Fd) {
  const std::optional<speed_t> speed = terminal::SpeedCode(Baud);
  if (!speed) return kSerialBadSettings;
  if (Path.empty()) return kSerialNoDevice;
  const terminal::RawLine line = terminal::OpenRaw(Path, *speed);
  switch (line.Result) {
    case terminal::RawResult::Done:
      Fd = line.Fd;
      return kSerialOk;
    case terminal::RawResult::CannotOpen:
    case terminal::RawResult::NotATerminal:
      return MissingDevice(errno) ? kSerialNoDevice : kSerialLineError;
    case terminal::RawResult::SettingsRefused:
      break;
  }
  return kSerialBadSettings;
}

void Close(int Fd) {
  if (Fd >= 0) ::close(Fd);
}

int32_t DiscardInput(int Fd) { return tcflush(Fd, TCIFLUSH) == 0 ? kSerialOk : kSerialLineError; }

int32_t WriteAll(int Fd, const uint8_t* Bytes, size_t Count, Clock::time_point Deadline) {
  size_t done = 0;
  while (done < Count) {
    const ssize_t n = ::write(Fd, Bytes + done, Count - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return kSerialLineError;
    // The output queue is full: wait until it takes more.
    pollfd p{Fd, POLLOUT, 0};
    const int r = ::poll(&p, 1, PollTimeout(Deadline));
    if (r < 0 && errno != EINTR) return kSerialLineError;
    if (r == 0 && Clock::now() >= Deadline) return kSerialLineError;
    if (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return kSerialLineError;
  }
  return kSerialOk;
}

int32_t Drain(int Fd) {
  while (tcdrain(Fd) != 0)
    if (errno != EINTR) return kSerialLineError;
  return kSerialOk;
}

ReadResult ReadSome(int Fd, uint8_t* Out, size_t Room, Clock::time_point Deadline, size_t& Got) {
  for (;;) {
    pollfd p{Fd, POLLIN, 0};
    const int r = ::poll(&p, 1, PollTimeout(Deadline));
    if (r < 0) {
      if (errno == EINTR) continue;
      return ReadResult::Failed;
    }
    if (r == 0) {
      if (Clock::now() >= Deadline) return ReadResult::TimedOut;
      continue;
    }
    if ((p.revents & POLLIN) != 0) {
      const ssize_t n = ::read(Fd, Out, Room);
      if (n > 0) {
        Got = static_cast<size_t>(n);
        return ReadResult::Data;
      }
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      return ReadResult::Failed;  // end of file: the other side hung up
    }
    if ((p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return ReadResult::Failed;
  }
}

}  // namespace qx25::host::line
