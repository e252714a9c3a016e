// Devices this user may not open, and the system's reason the dispatcher
// keeps for a failure. The tests run as root, whom file modes do not bar, so
// the opening runs in a forked child that has become nobody.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "PtyPeer.h"
#include "SerialDispatcher.h"

using namespace qx25::serial;
using namespace std::chrono_literals;

namespace {

constexpr uint8_t kPort = 4;
constexpr uid_t kNobody = 65534;
constexpr char kNoDrop[] = "cannot drop privileges";

// Runs Body in a child process without root's privileges (as nobody when
// started as root) and returns what it returned; kNoDrop when the child
// could not give them up.
std::string AsUnprivileged(const std::function<std::string()>& Body) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return "no pipe";
  const pid_t child = fork();
  if (child == 0) {
    close(ends[0]);
    std::string out = kNoDrop;
    if (geteuid() != 0 || (setgroups(0, nullptr) == 0 && setresgid(kNobody, kNobody, kNobody) == 0 &&
                           setresuid(kNobody, kNobody, kNobody) == 0))
      out = Body();
    (void)!write(ends[1], out.data(), out.size());
    _exit(0);
  }
  close(ends[1]);
  std::string out;
  char buffer[512];
  for (ssize_t n; (n = read(ends[0], buffer, sizeof buffer)) > 0;) out.append(buffer, size_t(n));
  close(ends[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return out;
}

// The calling thread's view of the port's last failure, in one line.
std::string Seen(SerialDispatcher& Lines, int32_t Result) {
  return std::to_string(Result) + " status " + std::to_string(Lines.GetLineStatus(kPort)) +
         " errno " + std::to_string(Lines.LastSystemError(kPort)) + " (" +
         Lines.LastFailureText(kPort) + ")";
}

TEST(SerialAccess, ADeviceThisUserMayNotOpenIsNoAccessWithTheSystemsReason) {
  PtyPeer peer;
  ASSERT_EQ(chmod(peer.Path().c_str(), 0), 0);
  const std::string seen = AsUnprivileged([&] {
    SerialDispatcher lines;
    lines.SetDevicePath(kPort, peer.Path());
    std::string out = Seen(lines, lines.SetLineParams(kPort, PortDispatcher::kFormat8N1, 4800));
    // An exchange opens the device itself and fails alike.
    const Bytes request = RequestFrame({0x02, 0x21, '1'});
    uint8_t reply[20];
    const int32_t r = lines.Transact(kPort, request.data(), uint8_t(request.size()), reply, 20,
                                     PortDispatcher::kReplyData);
    out += "; " + Seen(lines, r) + " code " + std::to_string(lines.GetErrorCode(kPort));
    // The reason is the failing thread's: another one has seen no failure.
    std::thread([&] { out += "; other " + Seen(lines, 0); }).join();
    return out;
  });
  if (seen == kNoDrop) GTEST_SKIP() << "the child could not become nobody";
  const std::string denied = " errno " + std::to_string(EACCES) + " (Permission denied)";
  EXPECT_EQ(seen, "8 status 0" + denied + "; 8 status 8" + denied + " code 8" +
                      "; other 0 status 0 errno 0 ()");
  EXPECT_FALSE(peer.Pending());  // nothing reached the line
}

TEST(SerialAccess, AFailureKeepsOnlyItsOwnReason) {
  PtyPeer peer;  // a controller that never answers
  SerialDispatcher lines;
  lines.SetTimeouts({50ms, 10ms});
  lines.SetDevicePath(kPort, ::testing::TempDir() + "no-such-device");
  EXPECT_EQ(Seen(lines, lines.SetLineParams(kPort, PortDispatcher::kFormat8N1, 4800)),
            "1 status 0 errno " + std::to_string(ENOENT) + " (No such file or directory)");
  // A path that opens but is no terminal is no device too; its reason tells it apart.
  lines.SetDevicePath(kPort, "/dev/null");
  EXPECT_EQ(Seen(lines, lines.SetLineParams(kPort, PortDispatcher::kFormat8N1, 4800)),
            "1 status 0 errno " + std::to_string(ENOTTY) + " (" + std::strerror(ENOTTY) + ")");
  // A time-out has no system cause: no earlier reason is left standing for it.
  lines.SetDevicePath(kPort, peer.Path());
  const Bytes request = RequestFrame({0x02, 0x21, '1'});
  uint8_t reply[20];
  EXPECT_EQ(Seen(lines, lines.Transact(kPort, request.data(), uint8_t(request.size()), reply, 20,
                                       PortDispatcher::kReplyData)),
            "3 status 2 errno 0 ()");
}

}  // namespace
