// Devices this user may not open, and the system's reason the dispatcher
// keeps for a failure.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <thread>

#include "PtyPeer.h"
#include "SerialDispatcher.h"
#include "testsupport/FileModesBind.h"

using namespace qx25::serial;
using namespace std::chrono_literals;

namespace {

constexpr uint8_t kPort = 4;

// The calling thread's view of the port's last failure, in one line.
std::string Seen(SerialDispatcher& Lines, int32_t Result) {
  return std::to_string(Result) + " status " + std::to_string(Lines.GetLineStatus(kPort)) +
         " errno " + std::to_string(Lines.LastSystemError(kPort)) + " (" +
         Lines.LastFailureText(kPort) + ")";
}

int32_t Exchange(SerialDispatcher& Lines) {
  const Bytes request = RequestFrame({0x02, 0x21, '1'});
  uint8_t reply[20];
  return Lines.Transact(kPort, request.data(), uint8_t(request.size()), reply, 20,
                        PortDispatcher::kReplyData);
}

TEST(SerialAccess, ADeviceThisUserMayNotOpenIsNoAccessWithTheSystemsReason) {
  PtyPeer peer;
  ASSERT_EQ(chmod(peer.Path().c_str(), 0), 0);
  SerialDispatcher lines;
  lines.SetDevicePath(kPort, peer.Path());
  const FileModesBind bind;
  const std::string denied = " errno " + std::to_string(EACCES) + " (Permission denied)";
  EXPECT_EQ(Seen(lines, lines.SetLineParams(kPort, PortDispatcher::kFormat8N1, 4800)),
            "8 status 0" + denied);
  // An exchange opens the device itself and fails alike; nothing reaches the line.
  EXPECT_EQ(Seen(lines, Exchange(lines)), "8 status 8" + denied);
  EXPECT_EQ(lines.GetErrorCode(kPort), kSerialNoAccess);
  EXPECT_FALSE(peer.Pending());
  // The reason is the failing thread's: another one has seen no failure.
  std::string other;
  std::thread([&] { other = Seen(lines, 0); }).join();
  EXPECT_EQ(other, "0 status 0 errno 0 ()");
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
  EXPECT_EQ(Seen(lines, Exchange(lines)), "3 status 2 errno 0 ()");
}

}  // namespace
