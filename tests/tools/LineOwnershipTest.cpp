// One program per line, as a user meets it: qx25ctl and qx25-sim on a line
// another program holds, and a device that appears while qx25ctl waits.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "Spawn.h"

namespace {

namespace fs = std::filesystem;

bool Has(const std::string& Text, const std::string& Part) {
  return Text.find(Part) != std::string::npos;
}

class LineOwnership : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = MakeTempDir("qx25-owner");
    Link = (Dir / "qx25-line").string();
  }
  void TearDown() override { fs::remove_all(Dir); }
  fs::path Dir;
  std::string Link;
};

TEST_F(LineOwnership, AHeldLineIsReportedInUseWithItsHolder) {
  BackgroundSimulator sim({QX25SIM_PATH, "--no-pacing", "--link", Link});
  {
    // This test process holds the line as another qx25ctl would.
    const int fd = open(Link.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    const RunResult r = Ctl({"--device", Link, "total"});
    close(fd);
    EXPECT_EQ(r.Status, 3);
    EXPECT_TRUE(Has(r.Err, "COM1 (" + Link + ") is in use by another program (pid " +
                               std::to_string(getpid()) + ")"))
        << r.Err;
    EXPECT_FALSE(Has(r.Err, "check the device")) << r.Err;
  }
  // Let go, the line is anyone's.
  const RunResult r = Ctl({"--device", Link, "total"});
  EXPECT_EQ(r.Status, 0) << r.Err;
}

TEST_F(LineOwnership, ASecondSimulatorLeavesALiveOnesLinkAlone) {
  BackgroundSimulator first({QX25SIM_PATH, "--no-pacing", "--link", Link});
  const fs::path target = fs::read_symlink(Link);
  const RunResult second = ::Run({QX25SIM_PATH, "--no-pacing", "--link", Link});
  EXPECT_EQ(second.Status, 1);
  EXPECT_TRUE(Has(second.Err, "is held by a running simulator (pid ")) << second.Err;
  // The first still answers at its link, which the second neither took nor removed.
  EXPECT_EQ(fs::read_symlink(Link), target);
  EXPECT_EQ(Ctl({"--device", Link, "total"}).Status, 0);
}

TEST_F(LineOwnership, RetryDeviceWaitsForTheDeviceOrGivesUp) {
  // Nothing comes: after the time given, the usual "no such device".
  const RunResult missing = Ctl({"--device", Link, "--retry-device", "1", "total"});
  EXPECT_EQ(missing.Status, 3);
  EXPECT_TRUE(Has(missing.Err, "no such device")) << missing.Err;

  // The device appears while qx25ctl waits (or before it looks: either way it runs).
  RunResult waited;
  std::thread ctl([&] { waited = Ctl({"--device", Link, "--retry-device", "30", "total"}); });
  {
    BackgroundSimulator sim({QX25SIM_PATH, "--no-pacing", "--link", Link});
    ctl.join();
  }
  EXPECT_EQ(waited.Status, 0) << waited.Err;
}

}  // namespace
