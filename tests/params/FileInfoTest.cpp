// The [Info] section: written beside the values, never read as values.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "params/ParameterFile.h"

namespace {

namespace fs = std::filesystem;

class FileInfoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path = (fs::temp_directory_path() /
            (std::string("qx25-info-") +
             ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".par"))
               .string();
    fs::remove(path);
    catalog.Fill();
  }
  void TearDown() override { fs::remove(path); }
  std::string Read() const {
    std::stringstream ss;
    ss << std::ifstream(path, std::ios::binary).rdbuf();
    return ss.str();
  }
  std::vector<int64_t> LoadedFrom(const std::string& Text) const {
    std::ofstream(path, std::ios::binary) << Text;
    CTRKParameters loaded;
    loaded.Fill();
    LoadParameterFile(loaded, path);
    std::vector<int64_t> v;
    for (int i = 0; i < loaded.Count(); ++i) v.push_back(loaded.Items(i).Value);
    return v;
  }
  std::string path;
  CTRKParameters catalog;
};

TEST(IsoUtc, WritesTheUtcSecond) {
  using namespace std::chrono;
  // 2026-12-08 10:24:17.9 UTC; a leap day too.
  EXPECT_EQ(IsoUtc(system_clock::time_point(milliseconds(1796725457900))), "2026-12-08T10:24:17Z");
  EXPECT_EQ(IsoUtc(sys_days(year(2024) / February / 29) + hours(23) + minutes(59) + seconds(59)),
            "2024-02-29T23:59:59Z");
}

TEST_F(FileInfoTest, InfoIsReplacedAndOtherSectionsStay) {
  std::ofstream(path, std::ios::binary) << "[Other]\r\nx=1\r\n[Info]\r\nUnread=5\r\nStale=1\r\n";
  TFileInfo info;
  info.Program = "qx25ctl 2.41";
  info.Port = 3;
  info.Address = 2;
  info.Written = std::chrono::sys_days(std::chrono::year(2026) / 1 / 2);
  SaveParameterFile(catalog, path, info);
  const std::string text = Read();
  EXPECT_NE(text.find("[Other]\r\nx=1\r\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("[Info]"), text.rfind("[Info]"));
  for (const char* line : {"Program=qx25ctl 2.41\r\n", "Port=3\r\n", "Address=2\r\n",
                           "Written=2026-01-02T00:00:00Z\r\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line << text;
  // Nothing left of the older [Info], and nothing unknown written blank.
  EXPECT_EQ(text.find("Stale"), std::string::npos);
  EXPECT_EQ(text.find("Unread"), std::string::npos);
  EXPECT_EQ(text.find("IdNumber"), std::string::npos);
}

TEST_F(FileInfoTest, UnreadCodesAreListedAndLeftOutOfTheValues) {
  TFileInfo info;
  info.Unread = {16, 45};
  SaveParameterFile(catalog, path, info);
  const std::string text = Read();
  EXPECT_NE(text.find("Unread=16,45"), std::string::npos);
  EXPECT_EQ(text.find("\n16="), std::string::npos);
  EXPECT_EQ(text.find("\n45="), std::string::npos);
  EXPECT_NE(text.find("\n5=4"), std::string::npos);
  // Loading keeps what the catalog had for the codes left out.
  CTRKParameters loaded;
  loaded.Fill();
  loaded.Items(20).Value = 81000;
  LoadParameterFile(loaded, path);
  EXPECT_EQ(loaded.Items(20).Value, 81000);
}

TEST_F(FileInfoTest, InfoPlaysNoPartInLoading) {
  const std::string values = "[Parametr]\r\n5=7\r\n16=80000\r\n";
  // [Info] before or after, with keys that look like codes, or none at all.
  const std::vector<int64_t> plain = LoadedFrom(values);
  EXPECT_EQ(LoadedFrom("[Info]\r\n5=9\r\n16=1\r\nUnread=5\r\n" + values), plain);
  EXPECT_EQ(LoadedFrom(values + "[Info]\r\n5=9\r\nWritten=x\r\n"), plain);
  EXPECT_EQ(plain[9], 7);
}

}  // namespace
