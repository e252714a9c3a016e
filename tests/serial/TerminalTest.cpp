#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "terminal/Terminal.h"

using namespace qx25;

namespace {

// Descriptors this process holds, to see that a failed open keeps none.
size_t OpenDescriptors() {
  size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
    ++n;
  return n;
}

}  // namespace

TEST(Terminal, OpenRawSaysWhichStepFailedAndKeepsNothingOpen) {
  const size_t before = OpenDescriptors();

  const terminal::RawLine missing = terminal::OpenRaw("/nonexistent/ttyQX", B4800);
  EXPECT_EQ(missing.Result, terminal::RawResult::CannotOpen);
  EXPECT_EQ(missing.Fd, -1);
  EXPECT_EQ(errno, ENOENT);

  const terminal::RawLine file = terminal::OpenRaw("/dev/null", B4800);
  EXPECT_EQ(file.Result, terminal::RawResult::NotATerminal);
  EXPECT_EQ(file.Fd, -1);
  EXPECT_EQ(errno, ENOTTY);  // kept across the close

  EXPECT_EQ(OpenDescriptors(), before);
}

TEST(Terminal, OpenRawMakesAPseudoTerminalRawAtTheSpeed) {
  const terminal::PseudoTerminal pty = terminal::OpenPseudoTerminal();
  const terminal::RawLine line = terminal::OpenRaw(pty.SlavePath, *terminal::SpeedCode(9600));
  ASSERT_EQ(line.Result, terminal::RawResult::Done);
  termios t{};
  ASSERT_EQ(tcgetattr(line.Fd, &t), 0);
  EXPECT_EQ(cfgetospeed(&t), B9600);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
  EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t{CS8});
  ::close(line.Fd);
  ::close(pty.Master);
}
