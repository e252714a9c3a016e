// Terminal descriptors with poll(). Descriptors are non-blocking;
// every wait is a poll() bounded by the caller's deadline.
#include "SerialDevice.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "terminal/Terminal.h"

namespace qx25::serial::device {

namespace {

// Trivially destructible, so safe in any thread however it ends.
thread_local int Reason = 0;

// Keeps Error as the reason of the failure Class being returned.
int32_t Fail(int32_t Class, int Error) {
  Reason = Error;
  return Class;
}

bool MissingDevice(int Error) {
  return Error == ENOENT || Error == ENODEV || Error == ENXIO || Error == ENOTDIR ||
         Error == ENOTTY;
}

// What a read or write failing with Error means: the device went away (an
// adapter unplugged: EIO; gone from the bus: ENODEV, ENXIO), or the line failed.
int32_t FailureOf(int Error) {
  return Fail(
      Error == EIO || Error == ENXIO || Error == ENODEV ? kSerialDeviceLost : kSerialLineError,
      Error);
}

// Unix 98 pseudo-terminal slaves have majors 136 to 143.
bool IsPseudoTerminal(int Fd) {
  struct stat st {};
  return fstat(Fd, &st) == 0 && major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

// The process that holds a flock on Path's inode, from /proc/locks; 0 when
// none is listed (or the holder used the terminal's exclusive mode alone).
long LockHolder(const std::string& Path) {
  struct stat st {};
  if (stat(Path.c_str(), &st) != 0) return 0;
  std::FILE* locks = std::fopen("/proc/locks", "re");
  if (locks == nullptr) return 0;
  long holder = 0;
  char line[256];
  while (holder == 0 && std::fgets(line, sizeof line, locks) != nullptr) {
    char kind[16];
    long pid = 0;
    unsigned maj = 0, min = 0;
    unsigned long inode = 0;
    // "1: FLOCK  ADVISORY  WRITE 1234 00:19:5 0 EOF"; waiters ("1: -> FLOCK")
    // do not parse and are skipped.
    if (std::sscanf(line, "%*d: %15s %*s %*s %ld %x:%x:%lu", kind, &pid, &maj, &min, &inode) == 5 &&
        std::string(kind) == "FLOCK" && maj == major(st.st_dev) && min == minor(st.st_dev) &&
        inode == st.st_ino)
      holder = pid;
  }
  std::fclose(locks);
  return holder;
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

int LastSystemError() { return Reason; }
void ClearSystemError() { Reason = 0; }

std::string SystemErrorText(int Code) {
  if (Code == 0) return {};
  char buffer[256];
  return strerror_r(Code, buffer, sizeof buffer);  // GNU: may return a static text instead
}

bool KnownBaud(int32_t Baud) { return terminal::SpeedCode(Baud).has_value(); }

int32_t Open(const std::string& Path, int32_t Baud, int& Fd, long& Holder) {
  Holder = 0;
  const std::optional<speed_t> speed = terminal::SpeedCode(Baud);
  if (!speed) return kSerialBadSettings;
  if (Path.empty()) return kSerialNoDevice;
  const int fd = ::open(Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    if (error == EBUSY) {  // another program has the terminal in exclusive mode
      Holder = LockHolder(Path);
      return Fail(kSerialInUse, error);
    }
    // A device this user may not open (not in its group): nothing on the line is at fault.
    if (error == EACCES || error == EPERM) return Fail(kSerialNoAccess, error);
    return Fail(MissingDevice(error) ? kSerialNoDevice : kSerialLineError, error);
  }
  // Locked before the settings are touched, so that a second opener never
  // changes the line under the program that has it. A device that takes no
  // locks (ENOLCK, EINVAL) is used without one.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
    const int error = errno;
    ::close(fd);
    Holder = LockHolder(Path);
    return Fail(kSerialInUse, error);
  }
  const terminal::RawResult made = terminal::MakeRaw(fd, *speed);
  if (made != terminal::RawResult::Done) {
    const int error = errno;
    ::close(fd);
    if (made == terminal::RawResult::NotATerminal)
      return Fail(MissingDevice(error) ? kSerialNoDevice : kSerialLineError, error);
    return Fail(kSerialBadSettings, error);
  }
  if (!IsPseudoTerminal(fd)) (void)ioctl(fd, TIOCEXCL);  // root passes it; the lock still holds
  Fd = fd;
  return kSerialOk;
}

void Close(int Fd) {
  if (Fd < 0) return;
  // The exclusive mode belongs to the terminal, not to this descriptor: drop
  // it, or a device someone else keeps open would stay barred.
  if (!IsPseudoTerminal(Fd)) (void)ioctl(Fd, TIOCNXCL);
  ::close(Fd);
}

int32_t DiscardInput(int Fd) { return tcflush(Fd, TCIFLUSH) == 0 ? kSerialOk : FailureOf(errno); }

int32_t WriteAll(int Fd, const uint8_t* Bytes, size_t Count, Clock::time_point Deadline) {
  size_t done = 0;
  while (done < Count) {
    const ssize_t n = ::write(Fd, Bytes + done, Count - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return FailureOf(errno);
    // The output queue is full: wait until it takes more.
    pollfd p{Fd, POLLOUT, 0};
    const int r = ::poll(&p, 1, PollTimeout(Deadline));
    if (r < 0 && errno != EINTR) return Fail(kSerialLineError, errno);
    if (r == 0 && Clock::now() >= Deadline) return Fail(kSerialLineError, 0);
    if (r > 0 && (p.revents & (POLLERR | POLLHUP)) != 0) return Fail(kSerialDeviceLost, 0);
    if (r > 0 && (p.revents & POLLNVAL) != 0) return Fail(kSerialLineError, 0);
  }
  return kSerialOk;
}

int32_t Drain(int Fd) {
  while (tcdrain(Fd) != 0)
    if (errno != EINTR) return FailureOf(errno);
  return kSerialOk;
}

ReadResult ReadSome(int Fd, uint8_t* Out, size_t Room, Clock::time_point Deadline, size_t& Got) {
  for (;;) {
    pollfd p{Fd, POLLIN, 0};
    const int r = ::poll(&p, 1, PollTimeout(Deadline));
    if (r < 0) {
      if (errno == EINTR) continue;
      Reason = errno;
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
      // End of file: the terminal was hung up (an adapter unplugged).
      if (n == 0) {
        Reason = 0;
        return ReadResult::Gone;
      }
      return FailureOf(errno) == kSerialDeviceLost ? ReadResult::Gone : ReadResult::Failed;
    }
    Reason = 0;
    if ((p.revents & (POLLERR | POLLHUP)) != 0) return ReadResult::Gone;
    if ((p.revents & POLLNVAL) != 0) return ReadResult::Failed;
  }
}

namespace {

std::string FirstLine(const std::filesystem::path& File) {
  std::ifstream in(File);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
  return line;
}

// The USB device above a character device in the tree: the first directory
// up from the node's own that carries a serial number. Tree/dev/char/M:N
// links to the node's directory; a pseudo-terminal or a built-in port has
// no such ancestor.
std::string AdapterOf(dev_t Number, const std::string& Tree) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path link = fs::path(Tree) / "dev" / "char" /
                        (std::to_string(major(Number)) + ":" + std::to_string(minor(Number)));
  fs::path at = fs::canonical(link, error);
  if (error) return {};
  const fs::path top = fs::canonical(Tree, error);
  if (error) return {};
  for (; at.has_relative_path() && at != top; at = at.parent_path()) {
    if (!fs::exists(at / "serial", error) || !fs::exists(at / "idVendor", error)) continue;
    const std::string serial = FirstLine(at / "serial");
    if (serial.empty()) return {};
    return FirstLine(at / "idVendor") + ":" + FirstLine(at / "idProduct") + " " + serial;
  }
  return {};
}

Identity IdentityFrom(const struct stat& St, const std::string& Tree) {
  Identity id;
  id.FileSystem = St.st_dev;
  id.Inode = St.st_ino;
  id.Number = St.st_rdev;
  if (S_ISCHR(St.st_mode)) id.Adapter = AdapterOf(St.st_rdev, Tree);
  return id;
}

}  // namespace

Identity IdentityOf(int Fd, const std::string& Tree) {
  struct stat st {};
  if (fstat(Fd, &st) != 0) return {};
  return IdentityFrom(st, Tree);
}

std::optional<Identity> IdentityAt(const std::string& Path, const std::string& Tree) {
  struct stat st {};
  if (stat(Path.c_str(), &st) != 0) return std::nullopt;
  return IdentityFrom(st, Tree);
}

std::string IdentityText(const Identity& Of) {
  if (!Of.Adapter.empty()) return "adapter " + Of.Adapter;
  const auto number = static_cast<dev_t>(Of.Number);
  return "node " + std::to_string(major(number)) + ":" + std::to_string(minor(number)) +
         ", inode " + std::to_string(Of.Inode);
}

}  // namespace qx25::serial::device
