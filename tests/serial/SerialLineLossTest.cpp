// Lines as a station has them: one program per line, and USB adapters that
// vanish and come back behind the same by-id link.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "PtyPeer.h"
#include "SerialDispatcher.h"
#include "sim/Endpoint.h"
#include "sim/Simulator.h"
#include "testsupport/FakeDeviceTree.h"

using namespace qx25::serial;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

constexpr uint8_t kPort = 3;

TEST(SerialOwnership, ASecondOpenerIsToldTheLineIsInUseAndByWhom) {
  PtyPeer peer;
  SerialDispatcher first, second;
  first.SetDevicePath(kPort, peer.Path());
  second.SetDevicePath(kPort, peer.Path());
  ASSERT_EQ(first.SetLineParams(kPort, PortDispatcher::kFormat8N1, 4800), kSerialOk);

  EXPECT_EQ(second.SetLineParams(kPort, PortDispatcher::kFormat8N1, 4800), kSerialInUse);
  EXPECT_EQ(second.InUseBy(kPort), static_cast<long>(getpid()));
  EXPECT_EQ(InUseText(kPort, peer.Path(), second.InUseBy(kPort)),
            "COM3 (" + peer.Path() + ") is in use by another program (pid " +
                std::to_string(getpid()) + ")");
  // An exchange fails the same way, and nothing reaches the line.
  const Bytes request = RequestFrame({0x02, 0x21, '1'});
  uint8_t reply[20];
  EXPECT_EQ(second.Transact(kPort, request.data(), static_cast<uint8_t>(request.size()), reply, 20,
                            PortDispatcher::kReplyData),
            kSerialInUse);
  EXPECT_EQ(second.GetLineStatus(kPort), kLineInUse);
  EXPECT_FALSE(peer.Pending());

  // Once the holder lets go, the line is the next program's.
  first.Close(kPort);
  EXPECT_EQ(second.SetLineParams(kPort, PortDispatcher::kFormat8N1, 4800), kSerialOk);
  EXPECT_EQ(InUseText(kPort, "/dev/ttyUSB0", 0),
            "COM3 (/dev/ttyUSB0) is in use by another program");
}

TEST(SerialOwnership, AKilledHolderLeavesNoStaleLock) {
  PtyPeer peer;
  int ready[2];
  ASSERT_EQ(pipe2(ready, O_CLOEXEC), 0);
  const pid_t holder = fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    // Only async-signal-safe calls after fork in a threaded test.
    const int fd = open(peer.Path().c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0 || flock(fd, LOCK_EX) != 0) _exit(1);
    (void)!write(ready[1], "x", 1);
    for (;;) pause();
  }
  close(ready[1]);
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  close(ready[0]);

  SerialDispatcher d;
  d.SetDevicePath(kPort, peer.Path());
  EXPECT_EQ(d.SetLineParams(kPort, PortDispatcher::kFormat8N1, 4800), kSerialInUse);
  EXPECT_EQ(d.InUseBy(kPort), static_cast<long>(holder));

  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  EXPECT_EQ(d.SetLineParams(kPort, PortDispatcher::kFormat8N1, 4800), kSerialOk);
}

// An in-process simulator whose pseudo-terminal can be pulled and replaced,
// with a by-id style link re-pointed to the new one, as udev does; the
// device tree shows each of its terminals as the one adapter. The
// controllers keep their state across.
class SerialDeviceLoss : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qx25-loss-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    Dir = pattern;
    Link = (Dir / "usb-FTDI-if00").string();
    Tree = std::make_unique<FakeDeviceTree>(Dir / "sys");
    D.SetDeviceTree(Tree->Root());
    Sim.AddController(1);
    Sim.SetTotaliser(1, 12345);
    PlugIn();
    D.SetDevicePath(kPort, Link);
    D.SetReplyHandler(kPort, Checker.Handler());
    D.SetTimeouts({300ms, 50ms});
  }
  void TearDown() override {
    Wire.Stop();
    fs::remove_all(Dir);
  }

  void PlugIn(const std::string& Serial = kSerialNumber) {
    const std::string pts = Wire.OpenPseudoTerminal();
    Tree->Adapter(pts, Serial);
    fs::remove(Link);
    fs::create_symlink(pts, Link);
    Wire.Start();
  }
  // The adapter goes: its terminal hangs up and its link disappears.
  void Unplug() {
    Wire.Stop();
    fs::remove(Link);
    Wire.OpenPseudoTerminal();  // closes the old terminal; nothing links to the new one
  }
  int32_t Status(uint8_t Port = kPort) {
    const Bytes request = RequestFrame({0x02, 0x21, '1'});
    uint8_t reply[20];
    return D.Transact(Port, request.data(), static_cast<uint8_t>(request.size()), reply, 20,
                      PortDispatcher::kReplyData);
  }

  static constexpr char kSerialNumber[] = "FT4Q25A";
  fs::path Dir;
  std::string Link;
  std::unique_ptr<FakeDeviceTree> Tree;
  qx25::sim::Simulator Sim;
  qx25::sim::Endpoint Wire{Sim, {PortDispatcher::kProtocolBaud, false, {}}};
  SerialDispatcher D;
  CheckingHandler Checker{D};
};

TEST_F(SerialDeviceLoss, AVanishedDeviceFailsItsExchangeAndIsOpenedAgainOnItsReturn) {
  for (int cycle = 0; cycle < 3; ++cycle) {
    SCOPED_TRACE(cycle);
    ASSERT_EQ(Status(), kSerialOk);
    ASSERT_TRUE(D.IsOpen(kPort));
    Unplug();
    // The open terminal hangs up: a line failure, nothing accepted, the port closed.
    EXPECT_EQ(Status(), kSerialDeviceLost);
    EXPECT_EQ(D.GetLineStatus(kPort), kLineNoDevice);
    EXPECT_FALSE(D.IsOpen(kPort));
    // While it is gone every exchange says so, at once.
    EXPECT_EQ(Status(), kSerialNoDevice);
    EXPECT_EQ(D.GetLineStatus(kPort), kLineNoDevice);
    PlugIn();
  }
  EXPECT_EQ(Status(), kSerialOk);
  EXPECT_EQ(D.GetLineStatus(kPort), kLineAccepted);
}

TEST_F(SerialDeviceLoss, AnotherLineRunsOnWhileOneIsGone) {
  constexpr uint8_t kOther = 4;
  qx25::sim::Simulator otherSim;
  otherSim.AddController(1);
  qx25::sim::Endpoint other(otherSim, {PortDispatcher::kProtocolBaud, false, {}});
  D.SetDevicePath(kOther, other.OpenPseudoTerminal());
  D.SetReplyHandler(kOther, Checker.Handler());
  other.Start();

  ASSERT_EQ(Status(), kSerialOk);
  ASSERT_EQ(Status(kOther), kSerialOk);
  // One thread keeps the other line busy while this one loses its device.
  std::atomic<int> failures{0};
  std::atomic<bool> done{false};
  std::thread busy([&] {
    while (!done)
      if (Status(kOther) != kSerialOk) ++failures;
  });
  Unplug();
  EXPECT_EQ(Status(), kSerialDeviceLost);
  PlugIn();
  EXPECT_EQ(Status(), kSerialOk);
  done = true;
  busy.join();
  other.Stop();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace

namespace {

TEST_F(SerialDeviceLoss, TheLogTellsTheLossOnceAndTheReopening) {
  std::vector<std::pair<int, std::string>> lines;
  D.SetLog(kLogInfo, [&](int Level, const std::string& Line) { lines.emplace_back(Level, Line); });
  ASSERT_EQ(Status(), kSerialOk);
  Unplug();
  EXPECT_EQ(Status(), kSerialDeviceLost);
  EXPECT_EQ(Status(), kSerialNoDevice);
  EXPECT_EQ(Status(), kSerialNoDevice);  // still gone: nothing more above debug
  PlugIn();
  EXPECT_EQ(Status(), kSerialOk);

  std::string all;
  for (const auto& [level, line] : lines) all += std::to_string(level) + " " + line + "\n";
  ASSERT_EQ(lines.size(), 3u) << all;
  EXPECT_EQ(lines[0], std::make_pair(int{kLogInfo}, "COM3: opened " + Link + " at 4800 baud"));
  EXPECT_EQ(lines[1].first, kLogWarning);
  EXPECT_EQ(lines[1].second.rfind("COM3: device " + Link + " lost (", 0), 0u) << all;
  EXPECT_EQ(lines[2], std::make_pair(int{kLogInfo}, "COM3: opened again " + Link + " at 4800 baud"));

  // Off, it says nothing.
  D.SetLog(kLogOff, [&](int Level, const std::string& Line) { lines.emplace_back(Level, Line); });
  Unplug();
  EXPECT_EQ(Status(), kSerialDeviceLost);
  EXPECT_EQ(lines.size(), 3u);
  EXPECT_THROW(D.SetLog(kLogDebug + 1, {}), std::invalid_argument);
}

}  // namespace

namespace {

// Another device behind the link: another adapter, or a terminal with no
// serial number at all. Nothing goes to it until it is accepted; the
// adapter the port had is taken back as ever.
TEST_F(SerialDeviceLoss, AnotherDeviceBehindThePathIsNotUsedUntilAccepted) {
  std::vector<std::string> warnings;
  D.SetLog(kLogWarning, [&](int, const std::string& Line) { warnings.push_back(Line); });
  ASSERT_EQ(Status(), kSerialOk);
  for (const std::string other : {"FT9Z99B", ""}) {
    SCOPED_TRACE(other);
    Unplug();
    EXPECT_EQ(Status(), kSerialDeviceLost);
    PlugIn(other);
    const uint64_t heard = Sim.ExchangeCount();
    EXPECT_EQ(Status(), kSerialOtherDevice);
    EXPECT_EQ(Status(), kSerialOtherDevice);
    EXPECT_EQ(D.GetLineStatus(kPort), kLineNoDevice);
    EXPECT_EQ(Sim.ExchangeCount(), heard);  // nothing was sent
    EXPECT_FALSE(D.IsOpen(kPort));
    const auto change = D.ChangedDevice(kPort);
    ASSERT_TRUE(change);
    EXPECT_EQ(change->Was, "adapter 0403:6001 FT4Q25A");
    if (!other.empty()) EXPECT_EQ(change->Now, "adapter 0403:6001 " + other);
    else EXPECT_EQ(change->Now.rfind("node ", 0), 0u) << change->Now;
    // Its own adapter back, at another node: taken as ever.
    Unplug();
    PlugIn();
    EXPECT_EQ(Status(), kSerialOk);
    EXPECT_FALSE(D.ChangedDevice(kPort));
  }
  // Once accepted, another adapter is the port's own.
  Unplug();
  EXPECT_EQ(Status(), kSerialDeviceLost);
  PlugIn("FT9Z99B");
  EXPECT_EQ(Status(), kSerialOtherDevice);
  D.AcceptDevice(kPort);
  EXPECT_EQ(Status(), kSerialOk);
  EXPECT_FALSE(D.ChangedDevice(kPort));
  // Said once for each device found, not at every exchange.
  ASSERT_GE(warnings.size(), 3u);
  size_t said = 0;
  for (const std::string& line : warnings)
    if (line.find("now leads to another device") != std::string::npos) ++said;
  EXPECT_EQ(said, 3u);
}

}  // namespace
