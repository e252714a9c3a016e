// Parameter files round-trip the bulk range and survive hand editing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "params/ParameterFile.h"

namespace {

namespace fs = std::filesystem;

class ParameterFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          (std::string("qx25-par-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::u8string name = (dir / u8"ТРК.par").u8string();
    path.assign(name.begin(), name.end());
    catalog.Fill();
  }
  void TearDown() override { fs::remove_all(dir); }
  // File names are UTF-8 on every system; Windows' narrow ones are not.
  fs::path File() const { return fs::path(std::u8string(path.begin(), path.end())); }
  std::string Read() {
    std::stringstream ss;
    ss << std::ifstream(File(), std::ios::binary).rdbuf();
    return ss.str();
  }
  std::vector<int64_t> Values() const {
    std::vector<int64_t> v;
    for (int i = 0; i < catalog.Count(); ++i) v.push_back(catalog.Items(i).Value);
    return v;
  }
  fs::path dir;
  std::string path;
  CTRKParameters catalog;
};

TEST_F(ParameterFileTest, SavesTheBulkRangeOnceAndKeepsOtherSections) {
  std::ofstream(File(), std::ios::binary) << "[Other]\r\nx=1\r\n";
  SaveParameterFile(catalog, path);
  catalog.Items(20).Value = 75000;
  SaveParameterFile(catalog, path);
  const std::string text = Read();
  EXPECT_EQ(text.find("[Parametr]"), text.rfind("[Parametr]"));
  EXPECT_NE(text.find("[Other]\r\nx=1\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\n16=75000\r\n"), std::string::npos);
  EXPECT_EQ(text.find("\r\n1="), std::string::npos);  // the limit-card code is never saved
  size_t keys = 0;
  for (size_t p = text.find("[Parametr]"); (p = text.find('=', p + 1)) != std::string::npos;) ++keys;
  EXPECT_EQ(keys, 43u);

  CTRKParameters loaded;
  loaded.Fill();
  LoadParameterFile(loaded, path);
  EXPECT_EQ(loaded.Items(20).Value, 75000);
}

TEST_F(ParameterFileTest, AHandEditedFileChangesOnlyWhatItNames) {
  std::ofstream(File(), std::ios::binary)
      << "[Parametr]\n16=80000\n3=abc\n0=5\n1=7\n[Elsewhere]\n2=1\n";
  std::vector<int64_t> expected = Values();
  expected[20] = 80000;  // code 16
  LoadParameterFile(catalog, path);
  EXPECT_EQ(Values(), expected);
}

TEST_F(ParameterFileTest, AMissingFileChangesNothing) {
  const std::vector<int64_t> before = Values();
  LoadParameterFile(catalog, (dir / "Vedo.buf").string());
  EXPECT_EQ(Values(), before);
  EXPECT_FALSE(fs::exists(dir / "Vedo.buf"));
}

TEST_F(ParameterFileTest, ValuesTravelAsTheirLow32Bits) {
  catalog.Items(7).Value = (int64_t{1} << 32) + 5;
  catalog.Items(8).Value = -3;
  SaveParameterFile(catalog, path);
  LoadParameterFile(catalog, path);
  EXPECT_EQ(catalog.Items(7).Value, 5);
  EXPECT_EQ(catalog.Items(8).Value, -3);
}

}  // namespace
