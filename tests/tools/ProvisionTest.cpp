// provision against a simulated station with faults laid out, and the shapes
// of the output that scripts read.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <filesystem>
#include <fstream>

#include "Spawn.h"

namespace fs = std::filesystem;

namespace {

bool Has(const std::string& Text, const std::string& Part) {
  return Text.find(Part) != std::string::npos;
}

class Station : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = MakeTempDir("qx25ctl-provision");
    File = (Dir / "station.par").string();
    // Code 9 differs from what every controller holds, so a value kept shows.
    std::ofstream(File) << "[Parametr]\n9=5\n16=80000\n";
  }
  void TearDown() override { fs::remove_all(Dir); }
  // qx25ctl on the station's line.
  RunResult OnLine(std::vector<std::string> Args) const {
    Args.insert(Args.begin(), {"--device", Line.DevicePath(), "--timeout", "100"});
    return Ctl(Args);
  }
  // Address 2 is dead, 3 refuses code 16, 4 acknowledges code 9 and keeps its
  // value, 1 reads code 16 back in silence.
  BackgroundSimulator Line{{QX25SIM_PATH, "--no-pacing", "--controllers", "1-5", "--silent", "2",
                            "--refuse-write", "3=16", "--keep-value", "4=9", "--silent-read",
                            "1=16"}};
  fs::path Dir;
  std::string File;
};

TEST_F(Station, ProvisionGivesEachControllerItsOwnVerdictAndGoesOn) {
  const std::string record = (Dir / "run.rec").string();
  const RunResult r =
      OnLine({"--json", "--record", record, "provision", File, "--addresses", "2-5"});
  EXPECT_EQ(r.Status, 3) << r.Err;
  const QJsonObject out = JsonOf(r.Out);
  const QJsonArray rows = out["controllers"].toArray();
  ASSERT_EQ(rows.size(), 4) << r.Out;
  const char* const expected[] = {"failed", "refused", "differs", "written"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(rows[i]["address"].toInt(), i + 2);
    EXPECT_EQ(rows[i]["status"].toString().toStdString(), expected[i]) << r.Out;
  }
  EXPECT_TRUE(rows[2]["message"].toString().startsWith("code 9: not taken: read back")) << r.Out;
  EXPECT_EQ(rows[3]["written"].toInt(), 2);
  const QJsonObject summary = out["summary"].toObject();
  for (const char* word : {"written", "refused", "differs", "failed"})
    EXPECT_EQ(summary[word].toInt(), 1) << word;
  EXPECT_EQ(summary["not_tried"].toInt(), 0);
  // The run is kept: the writes of the controller that holds the file too.
  std::ifstream kept(record);
  const std::string text((std::istreambuf_iterator<char>(kept)), std::istreambuf_iterator<char>());
  EXPECT_GT(std::count(text.begin(), text.end(), '\n'), 10) << text;

  // Every controller holds it: 0. A file write-all would refuse: 2, nothing sent.
  EXPECT_EQ(OnLine({"provision", File, "--addresses", "5"}).Status, 0);
  std::ofstream(File) << "[Parametr]\n16=abc\n";
  const RunResult bad = OnLine({"--trace", "provision", File, "--addresses", "5"});
  EXPECT_EQ(bad.Status, 2);
  EXPECT_FALSE(SentAnything(bad));
  EXPECT_EQ(Ctl({"provision", File, "--addresses", "1", "--ports", "1,1"}).Status, 2);
}

// A read-back that fails after an answered write is named as the read-back.
TEST_F(Station, AFailedReadBackIsTheReadBack) {
  const RunResult r = OnLine({"write-param", "16", "800", "--address", "1"});
  EXPECT_EQ(r.Status, 3);
  EXPECT_TRUE(Has(r.Err, "reading code 16 back after writing it failed")) << r.Err;
  EXPECT_FALSE(Has(r.Err, "writing code 16 failed")) << r.Err;
}

TEST_F(Station, OutputScriptsReadKeepsToFixedShapes) {
  // diff with nothing different: its summary on stdout, not as an error.
  const RunResult same = Ctl({"diff", File, File});
  EXPECT_EQ(same.Status, 0);
  EXPECT_TRUE(Has(same.Out, ": 0 of 43 code(s) differ\n")) << same.Out;
  EXPECT_FALSE(Has(same.Err, "qx25ctl:")) << same.Err;

  // A table in a pipe keeps its cells whole.
  const RunResult all = OnLine({"read-all", "--address", "5"});
  EXPECT_FALSE(Has(all.Out, "\u2026")) << all.Out;
}

}  // namespace
