// qx25ctl's parameter work: single reads and writes in the catalog's terms,
// and parameter files kept by read-all and restored by write-all, across
// separate runs on one simulated line.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QJsonArray>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "Spawn.h"

namespace {

namespace fs = std::filesystem;

class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "qx25ctl-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    Dir = pattern;
  }
  void TearDown() override { fs::remove_all(Dir); }

  std::string Write(const std::string& Name, const std::string& Text) {
    const std::string path = (Dir / Name).string();
    std::ofstream(path) << Text;
    return path;
  }
  static std::string Read(const std::string& Path) {
    std::ostringstream text;
    text << std::ifstream(Path).rdbuf();
    return text.str();
  }

  fs::path Dir;
};

// Raw values by code from a read-all or write-all --json result.
std::map<int, QJsonValue> ByCode(const QJsonObject& Result, const char* Field) {
  std::map<int, QJsonValue> out;
  for (const QJsonValue& row : Result["parameters"].toArray())
    out[row["code"].toInt()] = row.toObject()[Field];
  return out;
}

TEST(Parameters, WriteTakesTheCatalogsUnitsAndReadsBack) {
  struct Case {
    const char* Code;
    const char* Value;
    int64_t Raw;
    const char* Text;
  };
  const Case cases[] = {
      {"5", "0.4", 4, "0.4"},             // one implied decimal
      {"16", "800,00", 80000, "800.00"},  // a decimal comma is taken too
      {"2", "1", 1, "1-Первая сторона"},  // a value name's number
      {"15", "--raw=12", 12, "12"},
      {"1", "123456789012345", 123456789012345, "123456789012345"},  // all 15 digits
      {"36", "-15", 215, "-15"},                                     // a negative temperature
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"--simulate", "--sim-unpaced", "--json", "write-param", c.Code};
    if (std::string(c.Value).rfind("--raw=", 0) == 0)
      args.insert(args.end(), {"--raw", std::string(c.Value).substr(6)});
    else
      args.push_back(c.Value);
    const RunResult r = Ctl(args);
    ASSERT_EQ(r.Status, 0) << c.Code << ": " << r.Err;
    const QJsonObject o = JsonOf(r.Out);
    EXPECT_EQ(o["raw"].toInteger(), c.Raw) << c.Code;
    EXPECT_EQ(o["read_back"].toString(), QString::fromUtf8(c.Text)) << c.Code;
    EXPECT_TRUE(o["taken"].toBool()) << c.Code;
  }
}

TEST(Parameters, ValueStaysOnTheControllerBetweenRuns) {
  BackgroundSimulator sim({QX25SIM_PATH, "--no-pacing"});
  ASSERT_EQ(Ctl({"--device", sim.DevicePath(), "write-param", "16", "812.50"}).Status, 0);
  const RunResult r = Ctl({"--device", sim.DevicePath(), "--json", "read-param", "16"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  const QJsonObject o = JsonOf(r.Out);
  EXPECT_EQ(o["raw"].toInteger(), 81250);
  EXPECT_EQ(o["value"].toString(), "812.50");
  EXPECT_EQ(o["units"].toString(), QString::fromUtf8("кг/м3"));
  EXPECT_EQ(o["caption"].toString(),
            QString::fromUtf8("Средняя (за один отпуск) плотность топлива"));
}

TEST_F(Files, ReadAllKeepsAControllerAndWriteAllRestoresItOnAnother) {
  const std::string file = (Dir / "station.par").string();
  {
    BackgroundSimulator first({QX25SIM_PATH, "--no-pacing"});
    for (const auto& [code, value] : std::map<std::string, std::string>{
             {"2", "1"}, {"5", "0.4"}, {"16", "750.00"}, {"41", "120"}})
      ASSERT_EQ(Ctl({"--device", first.DevicePath(), "write-param", code, value}).Status, 0) << code;
    const RunResult r = Ctl({"--device", first.DevicePath(), "read-all", "--save", file});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Err.find("[43/43] code 45"), std::string::npos);  // the progress
  }
  const std::string saved = Read(file);
  EXPECT_EQ(saved.rfind("[Parametr]", 0), 0u) << saved;
  for (const char* line : {"\n2=1", "\n5=4", "\n16=75000", "\n41=120", "\n45=0"})
    EXPECT_NE(saved.find(line), std::string::npos) << line;

  BackgroundSimulator second({QX25SIM_PATH, "--no-pacing"});
  // Every value of the file keeps to the catalog's limits: no --force needed.
  const RunResult plain = Ctl({"--device", second.DevicePath(), "write-all", file});
  EXPECT_EQ(plain.Status, 0) << plain.Err;
  const RunResult w = Ctl({"--device", second.DevicePath(), "--json", "write-all", "--force", file});
  ASSERT_EQ(w.Status, 0) << w.Err;
  const auto status = ByCode(JsonOf(w.Out), "status");
  EXPECT_EQ(status.size(), 43u);
  EXPECT_EQ(status.at(16).toString(), "written");
  EXPECT_EQ(status.at(2).toString(), "skipped");  // SkipOnWriteAll
  EXPECT_EQ(ByCode(JsonOf(w.Out), "message").at(2).toString(), "not written by write-all");
  const RunResult r = Ctl({"--device", second.DevicePath(), "--json", "read-all"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  const auto raw = ByCode(JsonOf(r.Out), "raw");
  EXPECT_EQ(raw.at(5).toInteger(), 4);
  EXPECT_EQ(raw.at(16).toInteger(), 75000);
  EXPECT_EQ(raw.at(41).toInteger(), 120);
  EXPECT_EQ(raw.at(2).toInteger(), 0);  // left out by write-all
}

TEST_F(Files, WriteAllWritesOnlyWhatAHandEditedFileHolds) {
  const std::string file = Write("one.par", "[Other]\nkeep=1\n[Parametr]\n16=80000\n");
  const RunResult r = Ctl({"--simulate", "--sim-unpaced", "--json", "write-all", file});
  ASSERT_EQ(r.Status, 0) << r.Err;
  const auto status = ByCode(JsonOf(r.Out), "status");
  EXPECT_EQ(status.at(16).toString(), "written");
  EXPECT_EQ(status.at(5).toString(), "skipped");
  EXPECT_EQ(ByCode(JsonOf(r.Out), "message").at(5).toString(), "not in the file");
  EXPECT_EQ(ByCode(JsonOf(r.Out), "value").at(16).toString(), "800.00");
}

TEST_F(Files, WriteAllRefusesABadFileBeforeSendingAnything) {
  for (const char* text : {"[Parametr]\n5=4\n16=abc\n", "[Other]\n16=80000\n", "[Parametr]\n5=-1\n",
                           "[Parametr]\n5=1000\n"}) {
    const std::string file = Write("bad.par", text);
    const RunResult r = Ctl({"--simulate", "--sim-unpaced", "--trace", "write-all", file});
    EXPECT_EQ(r.Status, 2) << text;
    EXPECT_FALSE(SentAnything(r)) << text;
    EXPECT_NE(r.Err.find("bad.par"), std::string::npos) << r.Err;
  }
}

TEST_F(Files, ReadAllKeepsNoFileWhenAReadFails) {
  const std::string file = (Dir / "partial.par").string();
  const RunResult r =
      Ctl({"--simulate", "--sim-unpaced", "--sim-fault", "refuse", "read-all", "--save", file});
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Out.find("parameter refused (PortStatus 23)"), std::string::npos);
  EXPECT_NE(r.Err.find("not written"), std::string::npos) << r.Err;
  EXPECT_FALSE(fs::exists(file));
}

TEST_F(Files, WriteAllListsEveryProblemOfTheFileAndSendsNothing) {
  const std::string bad =
      Write("bad.par", "[Parametr]\n5=20\n5=14\n5=abc\n99=5\nfoo=5\n05=14\n6=\n");
  const RunResult r = Ctl({"--simulate", "--trace", "write-all", bad});
  EXPECT_EQ(r.Status, 2);
  EXPECT_EQ(r.Err.find(" -> "), std::string::npos);  // nothing sent
  for (const char* problem :
       {"line 3: code 5: given again (first on line 2)", "line 4: code 5: given again",
        "line 4: code 5: \"abc\" is not a whole number", "line 5: key \"99\"",
        "line 6: key \"foo\"", "line 7: key \"05\"", "line 8: code 6: no value"})
    EXPECT_NE(r.Err.find(problem), std::string::npos) << problem << "\n" << r.Err;

  // With --force, repeated codes and unknown keys pass, the first value
  // counting as in the service window; a value that is no number never does.
  const std::string repeated = Write("rep.par", "[Parametr]\n5=4\n5=14\n99=5\n");
  const RunResult forced =
      Ctl({"--simulate", "--sim-unpaced", "--json", "write-all", "--force", repeated});
  ASSERT_EQ(forced.Status, 0) << forced.Err;
  EXPECT_EQ(ByCode(JsonOf(forced.Out), "raw").at(5).toInteger(), 4);
  EXPECT_EQ(Ctl({"--simulate", "write-all", "--force", bad}).Status, 2);
}

// A list's value is valid when it names an item, whatever its raw limits
// say: single writes, common commands and files keep to one rule.
TEST_F(Files, AListValueIsValidWhenItNamesAnItem) {
  BackgroundSimulator sim({QX25SIM_PATH, "--no-pacing"});
  const std::string line = sim.DevicePath();
  const RunResult last = Ctl({"--device", line, "--json", "write-param", "30", "2"});
  ASSERT_EQ(last.Status, 0) << last.Err;
  EXPECT_EQ(JsonOf(last.Out)["value"].toString().toStdString(), "2-автоматический");
  EXPECT_FALSE(JsonOf(last.Out).contains("outside_limits"));
  const std::string file = (Dir / "lists.par").string();
  ASSERT_EQ(Ctl({"--device", line, "read-all", "--save", file}).Status, 0);
  EXPECT_EQ(Ctl({"--device", line, "write-all", file}).Status, 0);

  for (const std::vector<std::string>& beyond :
       {std::vector<std::string>{"write-param", "--raw", "30", "4"}, {"common", "0", "2"},
        {"common", "--raw", "0", "2"}}) {
    std::vector<std::string> args = {"--simulate", "--trace"};
    args.insert(args.end(), beyond.begin(), beyond.end());
    const RunResult r = Ctl(args);
    EXPECT_EQ(r.Status, 2) << r.Err;
    EXPECT_FALSE(SentAnything(r));
    EXPECT_NE(r.Err.find("not an item of the list"), std::string::npos) << r.Err;
  }
  EXPECT_EQ(Ctl({"--simulate", "common", "5", "1"}).Status, 0);
  EXPECT_EQ(Ctl({"--simulate", "common", "--raw", "--force", "0", "2"}).Status, 0);
  EXPECT_EQ(Ctl({"--simulate", "write-all", Write("bad.par", "[Parametr]\n30=4\n")}).Status, 2);
}

// diff takes a file as write-all does: one it would refuse is refused with
// the same problems, rather than compared as a file without values.
TEST_F(Files, DiffRefusesWhatWriteAllRefuses) {
  const std::string good = (Dir / "good.par").string();
  ASSERT_EQ(Ctl({"--simulate", "--sim-unpaced", "read-all", "--save", good}).Status, 0);
  const std::string binary = Write("binary.par", std::string("\x7F" "ELF\0\x01\xFF", 7));
  for (const auto& [text, problem] : {std::pair{"[Parametr]\n16=abc\n", "\"abc\" is not a whole"},
                                      std::pair{"[Parametr]\n31=1.5\n", "\"1.5\" is not a whole"},
                                      std::pair{"[Parametr]\n5=4\n5=4\n", "given again"}}) {
    const std::string bad = Write("bad.par", text);
    const RunResult files = Ctl({"diff", good, bad});
    EXPECT_EQ(files.Status, 2) << text;
    EXPECT_NE(files.Err.find(problem), std::string::npos) << files.Err;
    const RunResult line = Ctl({"--simulate", "--trace", "diff", bad});
    EXPECT_EQ(line.Status, 2) << line.Err;
    EXPECT_FALSE(SentAnything(line));
  }
  EXPECT_EQ(Ctl({"diff", good, binary}).Status, 2);
  EXPECT_EQ(Ctl({"diff", "--force", good, Write("twice.par", "[Parametr]\n5=4\n5=4\n")}).Status,
            1);
}

TEST_F(Files, AControlByteOfTheFileIsShownEscapedAndCutsNothingShort) {
  static const char kText[] = "[Parametr]\n16=12\0abc\n5=x\n";
  const std::string file = Write("nul.par", std::string(kText, sizeof kText - 1));
  const RunResult text = Ctl({"--simulate", "write-all", file});
  EXPECT_EQ(text.Status, 2);
  EXPECT_NE(text.Err.find("\"12\\x00abc\" is not a whole number"), std::string::npos) << text.Err;
  EXPECT_NE(text.Err.find("line 3: code 5: \"x\""), std::string::npos) << text.Err;
  const RunResult json = Ctl({"--simulate", "--json", "write-all", file});
  const QString message = JsonOf(json.Out)["error"].toObject()["message"].toString();
  EXPECT_TRUE(message.contains("line 3: code 5")) << json.Out;
}

TEST_F(Files, AFileReadFromAFreshSimulatorWritesBack) {
  BackgroundSimulator sim({QX25SIM_PATH, "--no-pacing"});
  const std::string file = (Dir / "fresh.par").string();
  ASSERT_EQ(Ctl({"--device", sim.DevicePath(), "read-all", "--save", file}).Status, 0);
  const RunResult w = Ctl({"--device", sim.DevicePath(), "write-all", file});
  EXPECT_EQ(w.Status, 0) << w.Err;
  EXPECT_NE(w.Out.find("  refused:   0\n  failed:    0\n"), std::string::npos) << w.Out;
  // The same for the built-in simulator.
  const std::string own = (Dir / "own.par").string();
  ASSERT_EQ(Ctl({"--simulate", "--sim-unpaced", "read-all", "--save", own}).Status, 0);
  EXPECT_EQ(Ctl({"--simulate", "--sim-unpaced", "write-all", own}).Status, 0);
}

}  // namespace
