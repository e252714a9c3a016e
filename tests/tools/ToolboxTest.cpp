// diff, drift and the self-checking set-address, against qx25-sim with
// controllers whose parameters were made to differ.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "Spawn.h"

namespace {

namespace fs = std::filesystem;

class Toolbox : public ::testing::Test {
 protected:
  void SetUp() override { Dir = MakeTempDir("qx25-toolbox"); }
  void TearDown() override { fs::remove_all(Dir); }
  std::string Path(const char* Name) const { return (Dir / Name).string(); }
  static std::string Read(const std::string& Path) {
    std::ostringstream text;
    text << std::ifstream(Path).rdbuf();
    return text.str();
  }
  void Set(const std::string& Line, const char* Address, const char* Code, const char* Value) {
    ASSERT_EQ(Ctl({"--device", Line, "--address", Address, "write-param", Code, Value}).Status, 0)
        << Address << " " << Code;
  }
  fs::path Dir;
};

TEST_F(Toolbox, DiffOfAReadAllFileIsEmptyUntilTheControllerChanges) {
  BackgroundSimulator sim({QX25SIM_PATH, "--no-pacing", "--controllers", "1-2"});
  const std::string file = Path("two.par");
  ASSERT_EQ(Ctl({"--device", sim.DevicePath(), "--address", "2", "read-all", "--save", file}).Status, 0);
  const std::string saved = Read(file);
  EXPECT_NE(saved.find("[Info]"), std::string::npos);
  EXPECT_NE(saved.find("Address=2"), std::string::npos);
  EXPECT_NE(saved.find("Program=qx25ctl "), std::string::npos);

  RunResult same = Ctl({"--device", sim.DevicePath(), "--address", "2", "--json", "diff", file});
  EXPECT_EQ(same.Status, 0) << same.Err;
  EXPECT_EQ(same.Out.substr(0, 2), "[]") << same.Out;

  Set(sim.DevicePath(), "2", "16", "812.50");
  Set(sim.DevicePath(), "2", "3", "2");
  const RunResult differ = Ctl({"--device", sim.DevicePath(), "--json", "diff", "--address", "2", file});
  EXPECT_EQ(differ.Status, 1) << differ.Err;
  const QJsonArray rows = QJsonDocument::fromJson(QByteArray::fromStdString(differ.Out)).array();
  ASSERT_EQ(rows.size(), 2) << differ.Out;
  EXPECT_EQ(rows[0]["code"].toInt(), 3);
  EXPECT_EQ(rows[0]["first"].toString(), QString::fromUtf8("2-Одноканальный на второй вход"));
  EXPECT_EQ(rows[0]["second"].toString(), QString::fromUtf8("0-Одноканальный"));
  EXPECT_EQ(rows[1]["first"].toString(), "812.50");
  EXPECT_EQ(rows[1]["second_raw"].toInteger(), 120000);
  EXPECT_EQ(rows[1]["units"].toString(), QString::fromUtf8("кг/м3"));

  // The untouched controller still matches the file.
  const RunResult text = Ctl({"--device", sim.DevicePath(), "diff", file});
  EXPECT_EQ(text.Status, 0) << text.Out << text.Err;
}

TEST_F(Toolbox, DiffComparesTwoFilesWithoutALine) {
  const std::string a = Path("a.par"), b = Path("b.par");
  std::ofstream(a) << "[Parametr]\n5=4\n16=75000\n36=215\n";
  std::ofstream(b) << "[Info]\nPort=1\n[Parametr]\n5=4\n16=80000\n36=210\n45=1\n";
  const RunResult r = Ctl({"--port", "30", "--json", "diff", a, b});
  EXPECT_EQ(r.Status, 1) << r.Err;
  const QJsonArray rows = QJsonDocument::fromJson(QByteArray::fromStdString(r.Out)).array();
  ASSERT_EQ(rows.size(), 3) << r.Out;
  EXPECT_EQ(rows[1]["first"].toString(), "-15");  // temperatures as such
  EXPECT_EQ(rows[1]["second"].toString(), "-10");
  EXPECT_EQ(rows[2]["first"].toString(), "(not in the file)");
  EXPECT_TRUE(rows[2]["first_raw"].isNull());
  EXPECT_EQ(Ctl({"diff", a, a}).Status, 0);

  // Argument errors come before any line: 2.
  EXPECT_EQ(Ctl({"diff", a, b, a}).Status, 2);
  EXPECT_EQ(Ctl({"diff", Path("none.par")}).Status, 2);
  EXPECT_EQ(Ctl({"diff", Dir.string()}).Status, 2);
}

TEST_F(Toolbox, DiffAgainstADeadLineIsALineFailure) {
  const std::string a = Path("a.par");
  std::ofstream(a) << "[Parametr]\n5=4\n";
  const RunResult r =
      Ctl({"--simulate", "--sim-unpaced", "--address", "9", "--timeout", "50", "diff", a});
  EXPECT_EQ(r.Status, 3) << r.Err;
  EXPECT_NE(r.Err.find("not tried: the controller is not answering"), std::string::npos) << r.Err;
}

TEST_F(Toolbox, DriftShowsOnlyWhatDiffersAndTheMajorityApart) {
  BackgroundSimulator sim({QX25SIM_PATH, "--no-pacing", "--controllers", "1-5"});
  Set(sim.DevicePath(), "3", "16", "812.50");
  Set(sim.DevicePath(), "2", "5", "0.7");
  Set(sim.DevicePath(), "4", "5", "0.7");
  const RunResult r = Ctl({"--device", sim.DevicePath(), "--json", "drift", "--addresses", "1-4",
                           "--settings", "--save-dir", Dir.string()});
  EXPECT_EQ(r.Status, 1) << r.Err;
  EXPECT_NE(r.Err.find("[4/4] address 4"), std::string::npos) << r.Err;  // progress
  const QJsonArray rows = JsonOf(r.Out)["codes_that_differ"].toArray();
  ASSERT_EQ(rows.size(), 2) << r.Out;
  EXPECT_EQ(rows[0]["code"].toInt(), 5);
  EXPECT_EQ(rows[0]["address_1"].toString(), "0.4");
  EXPECT_EQ(rows[0]["majority"].toString(), "");  // a tie
  EXPECT_TRUE(rows[0]["majority_raw"].isNull());
  EXPECT_EQ(rows[0]["address_2"].toString(), "0.7");
  EXPECT_EQ(rows[1]["address_1"].toString(), "1200.00");
  EXPECT_EQ(rows[1]["majority"].toString(), "1200.00");
  EXPECT_EQ(rows[1]["majority_raw"].toInt(), 120000);
  EXPECT_EQ(rows[1]["address_3"].toString(), "812.50");
  // Raw values beside the texts, in address order, for scripts under any locale.
  EXPECT_EQ(rows[1]["raw"].toArray(), (QJsonArray{120000, 120000, 81250, 120000}));
  const std::string kept = Read(Path("address-03.par"));
  EXPECT_NE(kept.find("16=81250"), std::string::npos) << kept;
  EXPECT_NE(kept.find("Address=3"), std::string::npos) << kept;

  // Every controller alike: 0.
  EXPECT_EQ(Ctl({"--device", sim.DevicePath(), "drift", "--addresses", "1,5", "--settings"}).Status, 0);
}

TEST_F(Toolbox, DriftLeavesASilentControllerEmptyAndComparesTheOthers) {
  BackgroundSimulator sim({QX25SIM_PATH, "--no-pacing", "--controllers", "1-2"});
  Set(sim.DevicePath(), "2", "16", "812.50");
  const RunResult r = Ctl({"--device", sim.DevicePath(), "--timeout", "50", "--json", "drift",
                           "--addresses", "1,2,7", "--save-dir", Dir.string()});
  EXPECT_EQ(r.Status, 3) << r.Err;
  const QJsonObject o = JsonOf(r.Out);
  const QJsonArray rows = o["codes_that_differ"].toArray();
  ASSERT_FALSE(rows.empty()) << r.Out;
  bool found16 = false;
  for (const QJsonValue& row : rows) {
    EXPECT_EQ(row["address_7"].toString(), "");
    found16 = found16 || row["code"].toInt() == 16;
  }
  EXPECT_TRUE(found16);
  ASSERT_EQ(o["notes"].toArray().size(), 1) << r.Out;
  EXPECT_TRUE(o["notes"][0].toString().startsWith("address 7: did not answer"));
  EXPECT_FALSE(fs::exists(Path("address-07.par")));
  EXPECT_TRUE(fs::exists(Path("address-02.par")));

  for (const char* bad : {"1", "0-3", "5-2", "1,1", "a", "1-100"})
    EXPECT_EQ(Ctl({"--simulate", "drift", "--addresses", bad}).Status, 2) << bad;
}

TEST_F(Toolbox, SetAddressChecksTheControllerAnswersOnlyAtTheNewAddress) {
  BackgroundSimulator sim({QX25SIM_PATH, "--no-pacing", "--controllers", "1-2"});
  const RunResult moved =
      Ctl({"--device", sim.DevicePath(), "--address", "2", "--json", "set-address", "7654322", "5"});
  EXPECT_EQ(moved.Status, 0) << moved.Err;
  const QJsonObject o = JsonOf(moved.Out);
  EXPECT_TRUE(o["answers_at_new_address"].toBool());
  EXPECT_FALSE(o["answers_at_old_address"].toBool());

  // The ID number of another controller than the one meant: the one at 1
  // still answers there.
  const RunResult wrong =
      Ctl({"--device", sim.DevicePath(), "--address", "1", "set-address", "7654322", "6"});
  EXPECT_EQ(wrong.Status, 3) << wrong.Err;
  EXPECT_NE(wrong.Err.find("still answers at address 1"), std::string::npos) << wrong.Err;
}

}  // namespace
