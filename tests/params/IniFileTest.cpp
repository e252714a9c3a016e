// INI files keep everything they were not asked to change, and reading a
// hand-edited file never fails.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "params/IniFile.h"

namespace {

namespace fs = std::filesystem;

class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("qx25-ini-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
    path = (dir / "t.par").string();
  }
  void TearDown() override { fs::remove_all(dir); }
  void Write(const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
  std::string Read() {
    std::stringstream ss;
    ss << std::ifstream(path, std::ios::binary).rdbuf();
    return ss.str();
  }
  fs::path dir;
  std::string path;
};

TEST_F(IniFileTest, MissingFileReadsDefaultsAndIsCreatedByTheFirstWrite) {
  TIniFile ini(path);
  EXPECT_EQ(ini.ReadInteger("Parametr", "2", 7), 7);
  ini.WriteInteger("Parametr", "2", 1);
  ini.UpdateFile();
  EXPECT_EQ(Read(), "[Parametr]\r\n2=1\r\n");
}

TEST_F(IniFileTest, ReadsSignedIntegersAndFallsBackOnAnythingElse) {
  Write(
      "[Parametr]\n2=1\n3= -5 \n5=abc\n6=12x\n7=\n8=99999999999\nnoequals\n9=+4\n11=+-5\n"
      "[other]\n10=3\n");
  TIniFile ini(path);
  EXPECT_EQ(ini.ReadInteger("Parametr", "2", 0), 1);
  EXPECT_EQ(ini.ReadInteger("parametr", "3", 0), -5);  // names ignore case
  EXPECT_EQ(ini.ReadInteger("Parametr", "5", 42), 42);
  EXPECT_EQ(ini.ReadInteger("Parametr", "6", 42), 42);
  EXPECT_EQ(ini.ReadInteger("Parametr", "7", 42), 42);
  EXPECT_EQ(ini.ReadInteger("Parametr", "8", 42), 42);  // outside 32 bits
  EXPECT_EQ(ini.ReadInteger("Parametr", "9", 0), 4);
  EXPECT_EQ(ini.ReadInteger("Parametr", "11", 42), 42);  // two signs
  EXPECT_EQ(ini.ReadInteger("Parametr", "10", 42), 42);  // another section's key
}

TEST_F(IniFileTest, WritingOneKeyKeepsEveryOtherLine) {
  Write("; saved by hand\n[Parametr]\n2=1\n3=0\n\n[Other]\nx=1\n");
  TIniFile ini(path);
  ini.WriteInteger("Parametr", "3", 9);
  ini.WriteInteger("Parametr", "16", 80000);
  ini.WriteInteger("New", "1", -1);
  ini.UpdateFile();
  EXPECT_EQ(Read(),
            "; saved by hand\n[Parametr]\n2=1\n3=9\n16=80000\n\n[Other]\nx=1\n[New]\n1=-1\n");
}

TEST_F(IniFileTest, ErasingASectionLeavesTheOthers) {
  Write("[A]\r\na=1\r\n[Parametr]\r\n2=1\r\n[B]\r\nb=2\r\n[Parametr]\r\n3=3\r\n");
  TIniFile ini(path);
  ini.EraseSection("Parametr");
  ini.WriteInteger("Parametr", "2", 5);
  ini.UpdateFile();
  EXPECT_EQ(Read(), "[A]\r\na=1\r\n[B]\r\nb=2\r\n[Parametr]\r\n2=5\r\n");
}

// A line ending in CR CR LF in a file of LF lines: its stray CR is blank, so
// the value reads the same before and after the file is written back.
TEST_F(IniFileTest, StrayCarriageReturnsAreBlank) {
  Write("[Other]\nx=50\r\r\n[Parametr]\n2=1\n");
  TIniFile ini(path);
  EXPECT_EQ(ini.ReadInteger("Other", "x", 0), 50);
  ini.WriteInteger("Parametr", "2", 7);
  ini.UpdateFile();
  EXPECT_EQ(TIniFile(path).ReadInteger("Other", "x", 0), 50);
}

// A byte-order mark is written back: dropping it would make a second one
// behind it the first, and the header behind that a section on the next read.
TEST_F(IniFileTest, AByteOrderMarkIsKept) {
  Write("\xEF\xBB\xBF\xEF\xBB\xBF[Parametr]\n2=1\n");
  TIniFile ini(path);
  EXPECT_EQ(ini.ReadInteger("Parametr", "2", 7), 7);  // the second mark is text
  ini.WriteInteger("Parametr", "2", 5);
  ini.UpdateFile();
  EXPECT_EQ(Read(), "\xEF\xBB\xBF\xEF\xBB\xBF[Parametr]\n2=1\n[Parametr]\n2=5\n");
  EXPECT_EQ(TIniFile(path).ReadInteger("Parametr", "2", 7), 5);
}

TEST_F(IniFileTest, AFileThatCannotBeWrittenRaisesAndLeavesNothing) {
  TIniFile ini((dir / "no-such-dir" / "x.par").string());
  ini.WriteInteger("Parametr", "2", 1);
  EXPECT_THROW(ini.UpdateFile(), std::runtime_error);
  EXPECT_FALSE(fs::exists(dir / "no-such-dir"));
}

TEST_F(IniFileTest, ALinkIsFollowedAndItsTargetReplaced) {
  Write("[Other]\nx=1\n");
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  const fs::path link = dir / "link.par";
  fs::create_symlink("t.par", link);
  TIniFile ini(link.string());
  EXPECT_EQ(ini.ReadInteger("Other", "x", 0), 1);
  ini.WriteInteger("Parametr", "2", 1);
  ini.UpdateFile();
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(Read(), "[Other]\nx=1\n[Parametr]\n2=1\n");
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
}

TEST_F(IniFileTest, WhatIsNoRegularFileIsNeitherReadNorReplaced) {
  // A pipe would block the reader, a device never end; a file too large to be
  // a parameter file would be cut to what was read.
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  const std::string big = (dir / "big.par").string();
  std::ofstream(big) << "[Parametr]\n2=1\n" << std::string(TIniFile::kMaxFileSize, ';');
  for (const std::string& name : {path, big, std::string("/dev/zero"), dir.string()}) {
    EXPECT_FALSE(TIniFile::Unusable(name).empty()) << name;
    TIniFile ini(name);
    EXPECT_FALSE(ini.Problem().empty()) << name;
    EXPECT_EQ(ini.ReadInteger("Parametr", "2", 7), 7) << name;
    ini.WriteInteger("Parametr", "2", 5);
    EXPECT_THROW(ini.UpdateFile(), std::runtime_error) << name;
  }
  EXPECT_TRUE(fs::is_fifo(path));
  EXPECT_GT(fs::file_size(big), TIniFile::kMaxFileSize);
  EXPECT_TRUE(TIniFile::Unusable((dir / "new.par").string()).empty());  // not there yet: fine
}

}  // namespace
