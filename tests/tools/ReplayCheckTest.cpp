// qx25ctl --record, qx25-sim --replay and qx25ctl replay-check as a
// technician uses them: a run recorded, played back by the simulator to
// another run, checked against the driver, and a recording edited by hand.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <fstream>
#include <sstream>

#include "Spawn.h"

namespace {

std::string Slurp(const std::filesystem::path& Path) {
  std::ifstream in(Path);
  return {std::istreambuf_iterator<char>(in), {}};
}

class Recorded : public testing::Test {
 protected:
  void SetUp() override { Dir = MakeTempDir("qx25-replay"); }
  void TearDown() override { std::filesystem::remove_all(Dir); }
  std::string File(const char* Name) const { return (Dir / Name).string(); }
  std::filesystem::path Dir;
};

TEST_F(Recorded, ReplayedRunEndsAsTheRecordedOneAndReplayCheckAgrees) {
  const std::string rec = File("poll.rec");
  const RunResult live = Ctl({"--simulate", "--record", rec, "poll", "--sides", "2"});
  ASSERT_EQ(live.Status, 0) << live.Err;
  const std::string text = Slurp(rec);
  EXPECT_EQ(text.rfind("# qx25 recording 1\n# program: qx25ctl ", 0), 0u) << text;
  EXPECT_NE(text.find("COM1 ok answered code=0 -> 7F 02 21 5E"), std::string::npos) << text;

  {
    BackgroundSimulator replay({QX25SIM_PATH, "--replay", rec});
    const RunResult again = Ctl({"--device", replay.DevicePath(), "poll", "--sides", "2"});
    EXPECT_EQ(again.Status, 0) << again.Err;
    EXPECT_EQ(again.Out, live.Out);
  }

  const RunResult check = Ctl({"--json", "replay-check", rec});
  EXPECT_EQ(check.Status, 0) << check.Out << check.Err;
  const QJsonObject o = JsonOf(check.Out);
  EXPECT_EQ(o["checked"].toInt(), 3);
  EXPECT_TRUE(o["differing"].toArray().isEmpty());
  EXPECT_EQ(o["unmatched"].toInt(), 0);
}

// Each command's own recording replays as recorded: a parameter read waits
// for a reply as long as its code's value, which no fixed length gives.
TEST_F(Recorded, EveryCommandsRecordingReplaysWithoutADifference) {
  const std::string par = File("station.par");
  std::ofstream(par) << "[Parametr]\n5=4\n16=80000\n";
  const std::vector<std::vector<std::string>> commands = {
      {"provision", par, "--addresses", "1-2"},
      {"poll"},          {"preset", "--volume", "10"},  {"start"},
      {"start-reset"},   {"stop", "--reset"},           {"current"},
      {"result"},        {"total"},                     {"set-total", "1234"},
      {"read-param", "5"}, {"write-param", "30", "1"},  {"read-all"},
      {"common", "0", "1"}, {"set-address", "123", "5"}, {"demo"}};
  for (const std::vector<std::string>& command : commands) {
    SCOPED_TRACE(command.front());
    const std::string rec = File("one.rec");
    std::vector<std::string> live = {"--simulate", "--record", rec};
    live.insert(live.end(), command.begin(), command.end());
    Ctl(live);
    const RunResult check = Ctl({"--json", "replay-check", rec});
    EXPECT_EQ(check.Status, 0) << check.Out << check.Err << Slurp(rec);
    const QJsonObject o = JsonOf(check.Out);
    EXPECT_GT(o["checked"].toInt(), 0);
    EXPECT_TRUE(o["differing"].toArray().isEmpty());
  }
}

TEST_F(Recorded, DamagedRepliesAndSilencesReplayAsRecorded) {
  for (const char* fault : {"flip-bit", "silence", "refuse"}) {
    SCOPED_TRACE(fault);
    const std::string rec = File(fault);
    const RunResult live =
        Ctl({"--simulate", "--sim-fault", fault, "--timeout", "200", "--record", rec, "poll"});
    ASSERT_NE(live.Status, 0);
    const RunResult check = Ctl({"--timeout", "200", "replay-check", rec});
    EXPECT_EQ(check.Status, 0) << check.Out << check.Err << Slurp(rec);
  }
}

// The first exchange line, from "<-" on, replaced by With.
std::string EditFirstReply(std::string Text, const std::string& With) {
  const size_t reply = Text.find(" <- ", Text.find("\n2"));
  Text.replace(reply, Text.find('\n', reply) - reply, With);
  return Text;
}

TEST_F(Recorded, ReplayCheckNamesTheExchangesThatNowEndOtherwise) {
  const std::string rec = File("edited.rec");
  ASSERT_EQ(Ctl({"--simulate", "--record", rec, "poll"}).Status, 0);
  // The controller refused where it had answered.
  const std::string edited = EditFirstReply(Slurp(rec), " <- @5.0 18");
  std::ofstream(rec) << edited;
  const RunResult check = Ctl({"--json", "replay-check", rec});
  EXPECT_EQ(check.Status, 1) << check.Out << check.Err;
  const QJsonArray differing = JsonOf(check.Out)["differing"].toArray();
  ASSERT_EQ(differing.size(), 1) << check.Out;
  const QJsonObject d = differing.first().toObject();
  EXPECT_EQ(d["line"].toInt(), 8);
  EXPECT_EQ(d["recorded"].toString(), "ok answered code=0");
  EXPECT_EQ(d["replayed"].toString(), "ok refused code=0");

  std::ofstream(rec, std::ios::app) << "this is no exchange\n";
  const RunResult bad = Ctl({"replay-check", rec});
  EXPECT_EQ(bad.Status, 2);
  EXPECT_NE(bad.Err.find("edited.rec:10: "), std::string::npos) << bad.Err;
  const RunResult sim = ::Run({QX25SIM_PATH, "--replay", rec});
  EXPECT_EQ(sim.Status, 2);
  EXPECT_NE(sim.Err.find("edited.rec:10: "), std::string::npos) << sim.Err;
}

TEST_F(Recorded, RequestTheRecordingCannotAnswerIsReportedAndAnsweredWithSilence) {
  const std::string rec = File("other.rec");
  ASSERT_EQ(Ctl({"--simulate", "--record", rec, "poll"}).Status, 0);
  // Recorded for the controller at address 2; the run asks address 1.
  std::string text = Slurp(rec);
  for (size_t at = text.find("-> 7F 02 21 5E"); at != std::string::npos;
       at = text.find("-> 7F 02 21 5E", at))
    text.replace(at, 14, "-> 7F 02 22 5D");
  std::ofstream(rec) << text;

  int out[2], err[2];
  spawn_detail::Pipe(out);
  spawn_detail::Pipe(err);
  const pid_t sim = spawn_detail::Start({QX25SIM_PATH, "--replay", rec}, out[1], err[1]);
  close(out[1]);
  close(err[1]);
  std::string line;
  char c;
  while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
  const RunResult run = Ctl({"--device", line, "--timeout", "100", "poll"});
  kill(sim, SIGTERM);
  int status = -1;
  waitpid(sim, &status, 0);
  std::string said;
  char chunk[256];
  for (ssize_t n; (n = read(err[0], chunk, sizeof chunk)) > 0;)
    said.append(chunk, static_cast<size_t>(n));
  close(out[0]);
  close(err[0]);
  EXPECT_EQ(run.Status, 3) << run.Err;
  EXPECT_NE(said.find("COM1: no recorded exchange answers 7F 02 21 5E"), std::string::npos) << said;
  EXPECT_NE(said.find("requests unmatched"), std::string::npos) << said;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << said;
}

}  // namespace
