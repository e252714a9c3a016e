// Where a user is stuck, the message says what to do about it: a path that
// is no line, a line another program holds, a reader that went away, a file
// that --force does not rescue, and limits written as qx25ctl reads them.
#include <gtest/gtest.h>
#include <sys/file.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "Spawn.h"

namespace fs = std::filesystem;

namespace {

bool Has(const std::string& Text, const std::string& Part) {
  return Text.find(Part) != std::string::npos;
}

TEST(Hints, APathThatIsNoLineIsRefusedBeforeAnythingIsOpened) {
  const RunResult dir = Ctl({"--device", fs::temp_directory_path().string(), "total"});
  EXPECT_EQ(dir.Status, 2);
  EXPECT_TRUE(Has(dir.Err, "is a directory; give the serial device, for example /dev/ttyUSB0"))
      << dir.Err;
  const RunResult tty = Ctl({"--device", "/dev/tty", "total"});
  EXPECT_EQ(tty.Status, 2);
  EXPECT_TRUE(Has(tty.Err, "is the terminal qx25ctl runs in, not a serial line")) << tty.Err;
}

TEST(Hints, ALineInUseNamesItsHolderAndCanBeWaitedFor) {
  BackgroundSimulator line({QX25SIM_PATH, "--no-pacing"});
  const int held = open(line.DevicePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(held, 0);
  ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
  const RunResult busy = Ctl({"--device", line.DevicePath(), "total"});
  EXPECT_EQ(busy.Status, 3);
  EXPECT_TRUE(Has(busy.Err, "is in use by another program (pid " + std::to_string(getpid()) +
                                "); it is free again when that program ends; give --wait-line "
                                "SECONDS to wait for it"))
      << busy.Err;
  std::thread release([held] {
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    close(held);
  });
  const RunResult waited = Ctl({"--device", line.DevicePath(), "--wait-line", "30", "total"});
  release.join();
  EXPECT_EQ(waited.Status, 0) << waited.Err;
}

TEST(Hints, AReaderThatWentAwayIsNoFullDisk) {
  int out[2];
  ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
  close(out[0]);
  const fs::path err = MakeTempDir("qx25ctl-hints") / "err";
  const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  const pid_t pid = spawn_detail::Start({QX25CTL_PATH, "--json", "info"}, out[1], errFd);
  close(out[1]);
  close(errFd);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 4);
  std::ifstream in(err);
  const std::string said((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_TRUE(Has(said, "Broken pipe; the program reading the output has ended")) << said;
  EXPECT_FALSE(Has(said, "free space")) << said;
  fs::remove_all(err.parent_path());
}

TEST(Hints, WhatIsOfferedIsWhatHelps) {
  const fs::path dir = MakeTempDir("qx25ctl-hints");
  const std::string file = (dir / "bad.par").string();
  std::ofstream(file) << "[Parametr]\n16=abc\n";
  const RunResult forced = Ctl({"--simulate", "write-all", file, "--force"});
  EXPECT_EQ(forced.Status, 2);
  EXPECT_TRUE(Has(forced.Err, "correct the file")) << forced.Err;
  EXPECT_FALSE(Has(forced.Err, "give --force")) << forced.Err;
  fs::remove_all(dir);

  for (const char* command : {"preset", "current", "demo"}) {
    const std::string help = Ctl({command, "--help"}).Out;
    EXPECT_FALSE(Has(help, "e+")) << help;
  }
  EXPECT_TRUE(Has(Ctl({"preset", "--help"}).Out, "up to 1000000000")) << "money's limit in digits";
}

}  // namespace
