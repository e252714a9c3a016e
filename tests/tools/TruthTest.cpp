// qx25ctl never shows a refusal as a zero, a value other than the one sent,
// or success for output that went nowhere, and never clobbers a file it was
// not meant to replace.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QJsonArray>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "Spawn.h"

namespace {

namespace fs = std::filesystem;

bool Has(const std::string& Text, const std::string& Part) {
  return Text.find(Part) != std::string::npos;
}

class InTempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "qx25ctl-truth-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    Dir = pattern;
  }
  void TearDown() override { fs::remove_all(Dir); }
  std::string Path(const std::string& Name) const { return (Dir / Name).string(); }
  std::string Write(const std::string& Name, const std::string& Text) {
    std::ofstream(Path(Name)) << Text;
    return Path(Name);
  }
  std::string Read(const std::string& Name) const {
    std::ostringstream text;
    text << std::ifstream(Path(Name)).rdbuf();
    return text.str();
  }
  fs::path Dir;
};

std::vector<std::string> Simulated(std::vector<std::string> Args) {
  Args.insert(Args.begin(), {"--simulate", "--sim-unpaced"});
  return Args;
}

TEST(Truth, ADataQueryAnsweredWithoutDataIsARefusalNotAZero) {
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"total"}, {"result"}, {"poll", "--sides", "2"}}) {
    const RunResult r = Ctl(Simulated({"--sim-fault", "refuse", "--json", command[0]}));
    EXPECT_EQ(r.Status, 1) << command[0] << ": " << r.Out;
    const QJsonObject error = JsonOf(r.Out)["error"].toObject();
    EXPECT_EQ(error["port_status"].toInt(), 26) << command[0];
    EXPECT_EQ(error["meaning"].toString(), "the controller answered a data query without data");
    EXPECT_TRUE(Has(r.Err, "qx25ctl: the controller refused")) << r.Err;
  }
}

TEST_F(InTempDir, ARefusedParameterWriteIsARefusalNotADeadLine) {
  const RunResult one =
      Ctl(Simulated({"--sim-fault", "refuse", "--json", "write-param", "5", "0.4"}));
  EXPECT_EQ(one.Status, 1) << one.Err;
  EXPECT_EQ(JsonOf(one.Out)["error"].toObject()["port_status"].toInt(), 23) << one.Out;
  const std::string file = Write("r.par", "[Parametr]\n5=4\n16=80000\n");
  const RunResult all = Ctl(Simulated({"--sim-fault", "refuse", "--json", "write-all", file}));
  const QJsonObject summary = JsonOf(all.Out)["summary"].toObject();
  EXPECT_EQ(summary["written"].toInt(), 0) << all.Out;
  EXPECT_EQ(summary["refused"].toInt(), 2);
  EXPECT_EQ(summary["failed"].toInt(), 0);
  EXPECT_EQ(summary["skipped"].toInt(), 41);
}

TEST(Truth, PresetShowsTheWholeLitresThatWentOut) {
  const RunResult r = Ctl(Simulated({"--trace", "--json", "preset", "--volume", "25.7"}));
  ASSERT_EQ(r.Status, 0) << r.Err;
  // Five digits, each followed by its complement: 0 0 0 2 6.
  EXPECT_TRUE(Has(r.Err, "30 4F 30 4F 30 4F 32 4D 36 49")) << r.Err;
  const QJsonObject o = JsonOf(r.Out);
  EXPECT_EQ(o["preset_volume"].toDouble(), 26);
  EXPECT_EQ(o["asked_volume"].toDouble(), 25.7);
  const RunResult text = Ctl(Simulated({"preset", "--volume", "25.7"}));
  EXPECT_TRUE(Has(text.Out, "preset volume: 26 L")) << text.Out;
}

TEST(Truth, AValueOutsideTheLimitsIsSentOnlyWhenForcedAndThenShownRaw) {
  const RunResult refused = Ctl(Simulated({"--trace", "write-param", "16", "0", "--raw"}));
  EXPECT_EQ(refused.Status, 2);
  EXPECT_FALSE(SentAnything(refused));
  EXPECT_TRUE(Has(refused.Err, "below the lower limit 600.00")) << refused.Err;
  EXPECT_TRUE(Has(refused.Err, "--force")) << refused.Err;

  const RunResult forced = Ctl(Simulated({"--json", "write-param", "16", "0", "--raw", "--force"}));
  ASSERT_EQ(forced.Status, 0) << forced.Err;
  const QJsonObject o = JsonOf(forced.Out);
  EXPECT_EQ(o["raw"].toInteger(), 0);
  EXPECT_TRUE(o["value"].toString().startsWith("0 (raw, below the lower limit 600.00"))
      << o["value"].toString().toStdString();
  EXPECT_TRUE(o["read_back"].toString().startsWith("0 (raw"));
}

TEST_F(InTempDir, AFileValueOutsideTheLimitsStopsWriteAll) {
  const std::string file = Write("low.par", "[Parametr]\n5=4\n16=0\n");
  const RunResult r = Ctl(Simulated({"--trace", "write-all", file}));
  EXPECT_EQ(r.Status, 2);
  EXPECT_FALSE(SentAnything(r));
  EXPECT_TRUE(Has(r.Err, "line 3: code 16: 0 is below the lower limit")) << r.Err;
}

TEST_F(InTempDir, OnlyRegularFilesAreReadAndReplaced) {
  // A device, a pipe and a directory are refused before anything is sent,
  // and none of them is waited on.
  ASSERT_EQ(mkfifo(Path("pipe.par").c_str(), 0600), 0);
  for (const std::string& target : {std::string("/dev/full"), Path("pipe.par"), Dir.string()}) {
    const RunResult r = Ctl(Simulated({"--trace", "read-all", "--save", target}));
    EXPECT_EQ(r.Status, 2) << target;
    EXPECT_FALSE(SentAnything(r)) << target;
    EXPECT_TRUE(Has(r.Err, "qx25ctl: --save " + target)) << r.Err;
    const RunResult w = Ctl(Simulated({"--trace", "write-all", target}));
    EXPECT_EQ(w.Status, 2) << target;
    EXPECT_FALSE(SentAnything(w)) << target;
  }

  // A link is followed: its target gets the parameters, the link stays.
  Write("real.par", "[Other]\nkeep=1\n");
  fs::create_symlink("real.par", Dir / "link.par");
  const RunResult r = Ctl(Simulated({"read-all", "--save", Path("link.par")}));
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_TRUE(fs::is_symlink(Dir / "link.par"));
  const std::string saved = Read("real.par");
  EXPECT_TRUE(Has(saved, "keep=1")) << saved;
  EXPECT_TRUE(Has(saved, "[Parametr]")) << saved;
  EXPECT_EQ(std::distance(fs::directory_iterator(Dir), fs::directory_iterator()), 3);
}

TEST(Truth, WithJsonEveryFailureIsAJsonErrorObject) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--json", "poll", "--nozzle", "0"},
        {"--json", "frobnicate"},
        {"--json"},
        {"--json", "--device", "", "poll"}}) {
    const RunResult r = Ctl(args);
    EXPECT_EQ(r.Status, 2) << args.back();
    bool valid = false;
    const QJsonObject error = JsonOf(r.Out, &valid)["error"].toObject();
    EXPECT_TRUE(valid) << args.back() << ": " << r.Out;
    EXPECT_EQ(error["exit_status"].toInt(), 2);
    EXPECT_EQ(error["kind"].toString(), "arguments");
    EXPECT_EQ(r.Err.rfind("qx25ctl: ", 0), 0u) << r.Err;
  }
}

TEST_F(InTempDir, ADeviceThatIsNoSerialDeviceIsNamedSo) {
  const RunResult empty = Ctl({"--device", "", "poll"});
  EXPECT_EQ(empty.Status, 2);
  EXPECT_TRUE(Has(empty.Err, "--device needs a path")) << empty.Err;
  for (const std::string& path : {Write("plain", "text\n"), std::string("/dev/null")}) {
    const RunResult r = Ctl({"--device", path, "poll"});
    EXPECT_EQ(r.Status, 3) << path;
    EXPECT_TRUE(Has(r.Err, "(" + path + "): not a serial device")) << r.Err;
  }
  const RunResult missing = Ctl({"--device", Path("none"), "poll"});
  EXPECT_EQ(missing.Status, 3);
  EXPECT_TRUE(Has(missing.Err, "no such device")) << missing.Err;
}

// Root opens any device: as root, qx25ctl runs as nobody (through setpriv).
TEST_F(InTempDir, ADeviceThisUserMayNotOpenIsNamedSoWithTheSystemsReason) {
  const bool root = geteuid() == 0;
  if (root && access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "no setpriv to become nobody";
  ASSERT_EQ(chmod(Dir.c_str(), 0755), 0);  // the device itself bars nobody, not its directory
  const std::string device = Write("ttyUSB0", "");
  ASSERT_EQ(chmod(device.c_str(), 0), 0);
  std::vector<std::string> command{QX25CTL_PATH, "--device", device, "poll"};
  if (root)
    command.insert(command.begin(),
                   {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
  const RunResult r = ::Run(command);
  EXPECT_EQ(r.Status, 3) << r.Err;
  EXPECT_TRUE(Has(r.Err, "(" + device +
                             "): opening the line failed: no access to the device "
                             "(Permission denied); ls -l " + device + " shows ---------- "))
      << r.Err;
  // Mode 0 bars the device's group too: joining it would not help.
  EXPECT_TRUE(Has(r.Err, ": its group may not open it either; ask the administrator"))
      << r.Err;
}

TEST(Truth, VersionHelpAndInfoSayWhatTheyShow) {
  const RunResult version = Ctl({"--version"});
  EXPECT_EQ(version.Status, 0);
  EXPECT_TRUE(Has(version.Out, "qx25ctl 2.41")) << version.Out;
  EXPECT_TRUE(Has(version.Out, "v2.41#Протокол наливной Ж-4")) << version.Out;

  const RunResult help = Ctl({"--help"});
  EXPECT_TRUE(Has(help.Out, "--timeout")) << help.Out;
  EXPECT_TRUE(Has(help.Out, "500")) << help.Out;
  EXPECT_TRUE(Has(Ctl({"poll", "--help"}).Out, "=1")) << "defaults of --nozzle and --sides";

  const QJsonArray kinds = JsonOf(Ctl({"--json", "info"}).Out)["properties"].toArray();
  ASSERT_FALSE(kinds.isEmpty());
  for (const QJsonValue& kind : kinds) EXPECT_FALSE(kind["name"].toString().isEmpty());
}

TEST(Truth, CodesOutsideTheCatalogNeedRaw) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"read-param", "4"}, {"common", "3", "1"}}) {
    const RunResult r = Ctl(Simulated(args));
    EXPECT_EQ(r.Status, 2) << args[0];
    EXPECT_TRUE(Has(r.Err, "not a") && Has(r.Err, "--raw")) << r.Err;
    std::vector<std::string> raw = args;
    raw.push_back("--raw");
    EXPECT_EQ(Ctl(Simulated(raw)).Status, 0) << args[0];
  }
}

TEST(Truth, OutputThatCannotBeWrittenIsAFileFailure) {
  const RunResult r =
      ::Run({"/bin/sh", "-c", std::string("exec ") + QX25CTL_PATH + " --json info > /dev/full"});
  EXPECT_EQ(r.Status, 4);
  EXPECT_TRUE(Has(r.Err, "qx25ctl: the result could not be written to stdout")) << r.Err;
}

TEST_F(InTempDir, WriteAllEndsWithASummaryAndShowsEachStatusWhole) {
  const std::string file = Write("w.par", "[Parametr]\n5=4\n16=80000\n41=120\n");
  const RunResult r =
      Ctl(Simulated({"--sim-fault", "silence", "--timeout", "50", "write-all", file}));
  EXPECT_EQ(r.Status, 3);
  // The status is the last column, read whole however long.
  EXPECT_TRUE(Has(r.Out,
                  "writing code 41 failed: no answer within 50 ms: the write may or may not have "
                  "taken effect; qx25ctl read-param 41 --address 1 to check\n"))
      << r.Out;
  EXPECT_TRUE(Has(r.Out, "summary:\n  written:   0\n  refused:   0\n  failed:    3\n  skipped:   40\n"))
      << r.Out;
}

TEST_F(InTempDir, ASimulatedStationOutlivesOneCommandAtAFixedPath) {
  const std::string link = Path("qx25-line");
  {
    BackgroundSimulator sim({QX25SIM_PATH, "--no-pacing", "--link", link});
    EXPECT_EQ(sim.DevicePath(), link);
    ASSERT_EQ(Ctl({"--device", link, "preset", "--volume", "5"}).Status, 0);
    // The totalizer before the start: a running delivery adds to it between
    // two commands, the more so in a slow build.
    const RunResult set = Ctl({"--device", link, "--json", "set-total", "100"});
    EXPECT_EQ(JsonOf(set.Out)["read_back"].toDouble(), 100) << set.Err;
    EXPECT_EQ(JsonOf(Ctl({"--device", link, "--json", "total"}).Out)["total"].toDouble(), 100);
    const RunResult start = Ctl({"--device", link, "start"});  // the preset was kept
    EXPECT_EQ(start.Status, 0) << start.Err;
  }
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));  // removed when the simulator ended

  // Anything but a link in the way is left alone.
  Write("taken", "mine\n");
  const RunResult r = ::Run({QX25SIM_PATH, "--link", Path("taken")});
  EXPECT_NE(r.Status, 0);
  EXPECT_EQ(Read("taken"), "mine\n");
}

}  // namespace
