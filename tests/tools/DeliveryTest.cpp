// qx25ctl's delivery work and its failures: the demo, the pump commands'
// JSON, and the exit status and message of each kind of failure.
#include <gtest/gtest.h>

#include <QJsonArray>

#include "Spawn.h"

namespace {

TEST(Demo, DeliversThePresetVolumeWithItsMoneyAndTotalizer) {
  const RunResult r = Ctl({"--json", "demo"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  bool valid = false;
  const QJsonObject o = JsonOf(r.Out, &valid);
  ASSERT_TRUE(valid) << r.Out;
  EXPECT_EQ(o["preset_volume"].toDouble(), 25);
  EXPECT_EQ(o["volume"].toDouble(), 25);
  EXPECT_DOUBLE_EQ(o["money"].toDouble(), 25 * 52.30);
  EXPECT_EQ(o["total_after"].toDouble() - o["total_before"].toDouble(), 25);
  EXPECT_EQ(o["closing_state"].toInt(), 216);  // the closing poll read the result and reset
  EXPECT_GT(o["polls"].toInt(), 2);            // it was followed while it ran
}

TEST(Demo, TextShowsEachStepAndTheProgress) {
  const RunResult r = Ctl({"--sim-flow", "20", "demo", "--volume", "4", "--price", "10"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  for (const char* step : {"PresetVolume", "StartPump", "216: delivery ended",
                           "GetDeliveryResult  4 L, 40.00", "GetTotalCounter    12349 L"})
    EXPECT_NE(r.Out.find(step), std::string::npos) << step << "\n" << r.Out;
  EXPECT_NE(r.Out.find(" L "), std::string::npos);  // a progress line
}

TEST(PumpCommands, ReportJsonThatParses) {
  struct Case {
    std::vector<std::string> Args;
    const char* Key;
    double Expected;
  };
  const Case cases[] = {
      {{"poll", "--sides", "2"}, "state", 192},
      {{"preset", "--money", "500", "--price", "45.30"}, "preset_volume", 11},  // whole litres
      {{"total"}, "total", 12345},
      {{"current", "--price", "50"}, "volume", 0},
      {{"result"}, "money", 0},
      {{"set-address", "7654321", "5"}, "new_address", 5},
      {{"common", "0", "1"}, "command", 0},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"--simulate", "--sim-unpaced", "--json"};
    args.insert(args.end(), c.Args.begin(), c.Args.end());
    const RunResult r = Ctl(args);
    EXPECT_EQ(r.Status, 0) << c.Args[0] << ": " << r.Err;
    bool valid = false;
    const QJsonObject o = JsonOf(r.Out, &valid);
    EXPECT_TRUE(valid) << r.Out;
    EXPECT_DOUBLE_EQ(o[c.Key].toDouble(), c.Expected) << c.Args[0];
  }
  const QJsonObject info = JsonOf(Ctl({"--json", "info"}).Out);
  EXPECT_EQ(info["driver"].toString(), QString::fromUtf8("v2.41#Протокол наливной Ж-4"));
  EXPECT_EQ(info["properties"].toArray().size(), 8);
}

TEST(PumpCommands, PollLeavesARunningDeliveryRunning) {
  BackgroundSimulator sim({QX25SIM_PATH, "--no-pacing", "--flow-rate", "5"});
  ASSERT_EQ(Ctl({"--device", sim.DevicePath(), "preset", "--volume", "25"}).Status, 0);
  ASSERT_EQ(Ctl({"--device", sim.DevicePath(), "start"}).Status, 0);
  // Followed as a technician would, each run a fresh driver: the volume so
  // far, then the state, until the controller counts.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  int state = 0;
  while (state != 209 && std::chrono::steady_clock::now() < deadline) {
    ASSERT_EQ(Ctl({"--device", sim.DevicePath(), "current"}).Status, 0);
    const RunResult r = Ctl({"--device", sim.DevicePath(), "--json", "poll"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    state = JsonOf(r.Out)["state"].toInt();
    ASSERT_NE(state, 216) << "the poll closed a running delivery";
  }
  EXPECT_EQ(state, 209);  // delivering on side 1
}

TEST(Failures, MissingDeviceIsALineError) {
  const RunResult r = Ctl({"--json", "--device", "/dev/qx25-no-such-line", "read-param", "5"});
  EXPECT_EQ(r.Status, 3);
  EXPECT_NE(r.Err.find("(/dev/qx25-no-such-line): opening the line failed: no such device"),
            std::string::npos)
      << r.Err;
  const QJsonObject error = JsonOf(r.Out)["error"].toObject();
  EXPECT_EQ(error["kind"].toString(), "line");
  EXPECT_EQ(error["exit_status"].toInt(), 3);
}

TEST(Failures, SilentControllerTimesOutWithTheCommandsMessage) {
  const RunResult read =
      Ctl({"--simulate", "--sim-fault", "silence", "--timeout", "100", "read-param", "5"});
  EXPECT_EQ(read.Status, 3);
  EXPECT_NE(
      read.Err.find("reading code 5 failed: no answer within 100 ms (Ошибка связи с блоком связи)"),
      std::string::npos)
      << read.Err;
  const RunResult total =
      Ctl({"--simulate", "--sim-fault", "silence", "--timeout", "100", "total"});
  EXPECT_EQ(total.Status, 3);
  EXPECT_NE(total.Err.find("reading the totalizer failed: no answer within 100 ms (Ошибка при "
                           "запросе состояния отлива)"),
            std::string::npos)
      << total.Err;
}

TEST(Failures, RefusalShowsThePortStatusAndItsMeaning) {
  // A start without a preset is refused by the controller itself.
  const RunResult start = Ctl({"--simulate", "--sim-unpaced", "--json", "start"});
  EXPECT_EQ(start.Status, 1);
  EXPECT_NE(start.Err.find("start refused (PortStatus 16)"), std::string::npos) << start.Err;
  const QJsonObject error = JsonOf(start.Out)["error"].toObject();
  EXPECT_EQ(error["port_status"].toInt(), 16);
  EXPECT_EQ(error["meaning"].toString(), "start refused");

  const RunResult preset = Ctl({"--simulate", "--sim-fault", "refuse", "preset", "--volume", "25"});
  EXPECT_EQ(preset.Status, 1);
  EXPECT_NE(preset.Err.find("preset refused (PortStatus 18)"), std::string::npos) << preset.Err;
}

TEST(Failures, BadArgumentsSendNothing) {
  const std::vector<std::vector<std::string>> cases = {
      {"preset", "--volume", "100000"},
      {"preset", "--money", "10"},  // no price
      {"preset", "--volume", "5", "--money", "10"},
      {"poll", "--nozzle", "33"},
      {"start", "--side", "5"},
      {"read-param", "60"},
      {"write-param", "5", "60"},                // above 50.0 ms
      {"write-param", "4", "1"},                 // no parameter with code 4
      {"write-param", "2", "3"},                 // a list of three names
      {"write-param", "1", "1000000000000000"},  // does not fit 15 digits
      {"write-param", "5", "abc"},
      {"set-address", "7654321", "100"},
      {"common", "10", "0"},
      {"write-all", "/nonexistent/file.par"},
      {"read-all", "--save", "/nonexistent/dir/file.par"},
      {"frobnicate"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args{"--simulate", "--sim-unpaced", "--trace"};
    args.insert(args.end(), c.begin(), c.end());
    const RunResult r = Ctl(args);
    EXPECT_EQ(r.Status, 2) << c[0] << " " << (c.size() > 1 ? c[1] : "") << ": " << r.Err;
    EXPECT_FALSE(SentAnything(r)) << r.Err;
    EXPECT_FALSE(r.Err.empty());
  }
  EXPECT_EQ(Ctl({"--device", "/dev/null", "demo"}).Status, 2);
  EXPECT_EQ(Ctl({"--simulate", "--device", "/dev/null", "info"}).Status, 2);
  EXPECT_EQ(Ctl({"--device", "/dev/null", "--sim-fault", "silence", "info"}).Status, 2);
}

TEST(Failures, EverySubcommandHasHelp) {
  for (const char* sub : {"info", "poll", "preset", "start", "start-reset", "stop", "current",
                          "result", "total", "set-total", "read-param", "write-param", "read-all",
                          "write-all", "set-address", "common", "demo", "diff", "drift"}) {
    const RunResult r = Ctl({sub, "--help"});
    EXPECT_EQ(r.Status, 0) << sub;
    EXPECT_NE(r.Out.find("Usage:"), std::string::npos) << sub;
  }
}

}  // namespace
