// How a qx25ctl run ends when something outside the controller goes wrong:
// a time-out, a damaged reply, a missing device, Ctrl-C, or an output nobody
// reads. Each message names the operation and the reason, and a run is never
// cut off in the middle of an exchange.
#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <filesystem>
#include <fstream>

#include "Spawn.h"

namespace {

namespace fs = std::filesystem;

bool Has(const std::string& Text, const std::string& Part) {
  return Text.find(Part) != std::string::npos;
}

TEST(RunEnd, ATimeOutOfARequestThatActsSaysItMayHaveActed) {
  // The controllers answer later than the tool waits.
  BackgroundSimulator sim({QX25SIM_PATH, "--no-pacing", "--turnaround", "700"});
  for (const std::vector<std::string>& c :
       {std::vector<std::string>{"start", "the start"}, {"preset", "the preset"}}) {
    std::vector<std::string> args{"--device", sim.DevicePath(), "--timeout", "100", c[0]};
    if (c[0] == "preset") args.insert(args.end(), {"--volume", "5"});
    const RunResult r = Ctl(args);
    EXPECT_EQ(r.Status, 3) << r.Err;
    EXPECT_TRUE(Has(r.Err, "no answer within 100 ms: " + c[1] +
                               " may or may not have taken effect; poll to check"))
        << r.Err;
    EXPECT_FALSE(Has(r.Err, "longer --timeout")) << r.Err;
  }
}

TEST(RunEnd, EachFailureNamesItsOperationAndReason) {
  struct Case {
    std::vector<std::string> Args;
    const char* Says;
  };
  const Case cases[] = {
      {{"--simulate", "--sim-fault", "silence", "--timeout", "50", "total"},
       "reading the totalizer failed: no answer within 50 ms (Ошибка при запросе состояния "
       "отлива); check the device"},
      {{"--simulate", "--sim-fault", "silence", "--timeout", "50", "result"},
       "reading the delivery's result failed: no answer within 50 ms"},
      {{"--simulate", "--sim-fault", "silence", "--timeout", "50", "current"},
       "reading the running delivery failed: no answer within 50 ms"},
      {{"--simulate", "--sim-fault", "silence", "--timeout", "50", "set-total", "5"},
       "setting the totalizer failed: no answer within 50 ms: the setting may or may not have "
       "taken effect; total to check (Can't GetParam)"},
      {{"--simulate", "--sim-fault", "flip-bit", "total"},
       "reading the totalizer failed: damaged reply (Ошибка при запросе состояния отлива); "
       "check the cable"},
      {{"--simulate", "--sim-fault", "flip-bit", "start"},
       "damaged reply: the start may or may not have taken effect; poll to check"},
      {{"--device", "/nonexistent/qx25", "total"}, "no such device; check the --device path"},
  };
  for (const Case& c : cases) {
    const RunResult r = Ctl(c.Args);
    EXPECT_EQ(r.Status, 3) << c.Says;
    EXPECT_TRUE(Has(r.Err, c.Says)) << r.Err;
    if (!Has(c.Says, "no answer")) {
      EXPECT_FALSE(Has(r.Err, "--timeout")) << r.Err;
    }
  }
}

// Starts qx25ctl with stdout and stderr on one pipe.
pid_t StartOnPipe(std::vector<std::string> Args, int& Read) {
  Args.insert(Args.begin(), QX25CTL_PATH);
  int ends[2];
  spawn_detail::Pipe(ends);
  const pid_t pid = spawn_detail::Start(Args, ends[1], ends[1]);
  close(ends[1]);
  Read = ends[0];
  return pid;
}

// Reads until Text has come, or the output ends.
std::string ReadUntil(int Fd, const std::string& Text) {
  std::string seen;
  char c;
  pollfd p{Fd, POLLIN, 0};
  while (!Has(seen, Text) && poll(&p, 1, static_cast<int>(kRunLimit.count() * 1000)) > 0 &&
         read(Fd, &c, 1) == 1)
    seen += c;
  return seen;
}

int ExitStatus(pid_t Pid) {
  int status = 0;
  waitpid(Pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class Written : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = MakeTempDir("qx25ctl-end");
    File = (Dir / "all.par").string();
    ASSERT_EQ(Ctl({"--simulate", "--sim-unpaced", "read-all", "--save", File}).Status, 0);
  }
  void TearDown() override { fs::remove_all(Dir); }
  fs::path Dir;
  std::string File;
};

TEST_F(Written, ACtrlCEndsTheRunAfterTheExchangeInFlightAndTellsWhatWasWritten) {
  int out = -1;
  const pid_t pid = StartOnPipe({"--simulate", "write-all", File}, out);
  ReadUntil(out, "[5/43]");
  kill(pid, SIGINT);
  const std::string rest = ReadUntil(out, "\nsummary:\n");
  const std::string summary = ReadUntil(out, "not tried:");
  close(out);
  EXPECT_EQ(ExitStatus(pid), 130);
  EXPECT_TRUE(Has(rest, "not-tried  interrupted")) << rest;
  EXPECT_TRUE(Has(summary, "written:")) << summary;
}

TEST_F(Written, AClosedOutputEndsTheRunWithStatusFour) {
  int out = -1;
  const pid_t pid = StartOnPipe({"--simulate", "--sim-unpaced", "write-all", File}, out);
  ReadUntil(out, "[3/43]");
  close(out);
  EXPECT_EQ(ExitStatus(pid), 4);  // not killed by SIGPIPE

  int unread = -1;
  const pid_t total = StartOnPipe({"--simulate", "--sim-unpaced", "total"}, unread);
  close(unread);
  EXPECT_EQ(ExitStatus(total), 4);
}

// Code points in UTF-8 text.
size_t Columns(const std::string& Text) {
  size_t n = 0;
  for (const char c : Text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

TEST(RunEnd, TheLiveLineIsCutToTheTerminalsWidth) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(terminal, 0);
  const winsize narrow{10, 40, 0, 0};
  ASSERT_EQ(ioctl(terminal, TIOCSWINSZ, &narrow), 0);
  const int quiet = open("/dev/null", O_WRONLY | O_CLOEXEC);
  const pid_t pid = spawn_detail::Start({QX25CTL_PATH, "--simulate", "--sim-unpaced", "read-all"},
                                        quiet, terminal);
  close(quiet);
  close(terminal);
  std::string seen;
  char buffer[4096];
  for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) seen.append(buffer, n);
  close(master);
  EXPECT_EQ(ExitStatus(pid), 0);
  ASSERT_TRUE(Has(seen, "[1/43] code 2 ")) << seen;
  size_t at = 0;
  for (size_t end; (end = seen.find_first_of("\r\n", at)) != std::string::npos; at = end + 1) {
    std::string shown = seen.substr(at, end - at);
    const size_t erase = shown.find("\033[K");
    if (erase != std::string::npos) shown.erase(erase);
    EXPECT_LE(Columns(shown), 39u) << shown;
  }
}

}  // namespace

namespace {

struct Stopped {
  int Status = -1;
  std::chrono::milliseconds Took{};
};

// qx25ctl with Args, sent Signal once it has run for a while.
Stopped StopWith(std::vector<std::string> Args, int Signal) {
  Args.insert(Args.begin(), QX25CTL_PATH);
  const int quiet = open("/dev/null", O_WRONLY | O_CLOEXEC);
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = spawn_detail::Start(Args, quiet, quiet);
  close(quiet);
  usleep(500'000);
  kill(pid, Signal);
  int status = 0;
  waitpid(pid, &status, 0);
  Stopped s;
  s.Took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start);
  if (WIFEXITED(status)) s.Status = WEXITSTATUS(status);
  return s;
}

// A wait for a device and a wait for a reply end at once on either signal,
// and the run then ends as interrupted, not as a line failure.
TEST(RunEnd, SignalsEndEveryWaitWithTheirOwnStatus) {
  const std::string missing = (fs::temp_directory_path() / "qx25ctl-no-such-device").string();
  for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
    SCOPED_TRACE(signal);
    const Stopped waiting = StopWith({"--device", missing, "--retry-device", "60", "total"}, signal);
    EXPECT_EQ(waiting.Status, status);
    EXPECT_LT(waiting.Took.count(), 5000);
    const Stopped silent =
        StopWith({"--simulate", "--sim-fault", "silence", "--timeout", "60000", "total"}, signal);
    EXPECT_EQ(silent.Status, status);
    EXPECT_LT(silent.Took.count(), 5000);
  }
}

// A run that did nothing it was asked for never ends as if it had.
TEST(RunEnd, NothingDoneIsNeverReportedAsDone) {
  const fs::path dir = MakeTempDir("qx25ctl-nothing");
  const std::string empty = (dir / "empty.par").string(), none = (dir / "none.rec").string();
  std::ofstream(empty) << "[Parametr]\n";
  std::ofstream(none) << "# qx25 recording 1\n";
  const RunResult write = Ctl({"--simulate", "--trace", "write-all", empty});
  EXPECT_EQ(write.Status, 2);
  EXPECT_TRUE(Has(write.Err, "holds no parameter")) << write.Err;
  EXPECT_FALSE(SentAnything(write));
  const RunResult check = Ctl({"replay-check", none});
  EXPECT_EQ(check.Status, 2);
  EXPECT_TRUE(Has(check.Err, "no exchange could be checked")) << check.Err;
  EXPECT_EQ(Ctl({"--simulate", "--record", "", "total"}).Status, 2);
  fs::remove_all(dir);

  // Addresses 5 on answer nothing: the first is cut short, the others not asked.
  int out = -1;
  const pid_t pid =
      StartOnPipe({"--simulate", "--json", "--timeout", "300", "drift", "--addresses", "5-7"}, out);
  usleep(200'000);
  kill(pid, SIGINT);
  const std::string said = ReadUntil(out, "\n}");
  close(out);
  EXPECT_EQ(ExitStatus(pid), 130);
  EXPECT_TRUE(Has(said, "address 6: not tried: interrupted")) << said;
  EXPECT_TRUE(Has(said, "address 7: not tried: interrupted")) << said;
  EXPECT_FALSE(Has(said, "address 7: did not answer")) << said;
}

}  // namespace
