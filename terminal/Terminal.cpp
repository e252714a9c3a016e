#include "terminal/Terminal.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace qx25::terminal {

namespace {

struct BaudEntry {
  int Rate;
  speed_t Code;
};
constexpr BaudEntry kBauds[] = {{1200, B1200},   {2400, B2400},    {4800, B4800},
                                {9600, B9600},   {19200, B19200},  {38400, B38400},
                                {57600, B57600}, {115200, B115200}};

}  // namespace

std::optional<speed_t> SpeedCode(int Baud) {
  for (const BaudEntry& b : kBauds)
    if (b.Rate == Baud) return b.Code;
  return std::nullopt;
}

RawResult MakeRaw(int Fd, speed_t Speed) {
  termios t{};
  if (tcgetattr(Fd, &t) != 0) return RawResult::NotATerminal;
  cfmakeraw(&t);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  t.c_cflag |= CS8 | CLOCAL | CREAD;
  t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  // Descriptors are non-blocking and every wait is a poll(); a read returns
  // whatever has arrived.
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  if (cfsetispeed(&t, Speed) != 0 || cfsetospeed(&t, Speed) != 0) return RawResult::SettingsRefused;
  if (tcsetattr(Fd, TCSANOW, &t) != 0) return RawResult::SettingsRefused;
  return RawResult::Done;
}

RawLine OpenRaw(const std::string& Path, speed_t Speed) {
  const int fd = ::open(Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return {};
  const RawResult result = MakeRaw(fd, Speed);
  if (result == RawResult::Done) return {fd, result};
  const int saved = errno;
  ::close(fd);
  errno = saved;
  return {-1, result};
}

PseudoTerminal OpenPseudoTerminal() {
  PseudoTerminal pty;
  pty.Master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (pty.Master < 0) throw std::system_error(errno, std::generic_category(), "posix_openpt");
  char name[128];
  if (grantpt(pty.Master) != 0 || unlockpt(pty.Master) != 0 ||
      ptsname_r(pty.Master, name, sizeof name) != 0) {
    const int saved = errno;
    ::close(pty.Master);
    throw std::system_error(saved, std::generic_category(), "preparing the pseudo-terminal");
  }
  pty.SlavePath = name;
  return pty;
}

}  // namespace qx25::terminal
