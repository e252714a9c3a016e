// Parameter files on Windows: UTF-8 names reach the system as UTF-16, lines
// are written with CR LF whatever they were read with, and what is no
// regular file is neither read nor replaced.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "params/IniFile.h"
#include "params/ParameterFile.h"
#include "ui/core/Files.h"

namespace {

namespace fs = std::filesystem;

fs::path FromUtf8(const std::string& Name) {
  return fs::path(std::u8string(Name.begin(), Name.end()));
}

std::string Utf8(const fs::path& Path) {
  const std::u8string u8 = Path.u8string();
  return std::string(u8.begin(), u8.end());
}

class FileAccessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Cyrillic, as the service window's own names are: no ANSI code page
    // other than 1251 could spell it.
    dir = fs::temp_directory_path() / FromUtf8("qx25-Настройки");
    fs::remove_all(dir);
    fs::create_directories(dir);
    path = dir / FromUtf8("ТРК.par");
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string Read() const {
    std::stringstream ss;
    ss << std::ifstream(path, std::ios::binary).rdbuf();
    return ss.str();
  }
  size_t Entries() const {
    return static_cast<size_t>(
        std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
  }
  fs::path dir;
  fs::path path;
};

TEST_F(FileAccessTest, AUtf8NameIsWrittenAndReadUnderItsOwnName) {
  CTRKParameters catalog;
  catalog.Fill();
  catalog.Items(kBulkFirst).Value = 3;
  SaveParameterFile(catalog, Utf8(path));
  ASSERT_TRUE(fs::is_regular_file(path));
  EXPECT_EQ(Entries(), 1u);  // no temporary file left behind

  CTRKParameters back;
  back.Fill();
  LoadParameterFile(back, Utf8(path));
  EXPECT_EQ(back.Items(kBulkFirst).Value, 3);
  EXPECT_TRUE(TIniFile(Utf8(path)).Problem().empty());
}

TEST_F(FileAccessTest, LinesReadWithEitherEndAreWrittenWithCrLf) {
  std::ofstream(path, std::ios::binary) << "[Other]\nx=1\n[Parametr]\r\n2=1\r\n";
  TIniFile ini(Utf8(path));
  EXPECT_EQ(ini.ReadInteger("Other", "x", 0), 1);
  EXPECT_EQ(ini.ReadInteger("Parametr", "2", 0), 1);
  ini.WriteInteger("Parametr", "2", 4);
  ini.UpdateFile();
  EXPECT_EQ(Read(), "[Other]\r\nx=1\r\n[Parametr]\r\n2=4\r\n");
}

TEST_F(FileAccessTest, DevicesAndFoldersAreNeitherReadNorReplaced) {
  for (const std::string& name : {std::string("NUL"), Utf8(dir)}) {
    EXPECT_FALSE(TIniFile::Unusable(name).empty()) << name;
    TIniFile ini(name);
    EXPECT_FALSE(ini.Problem().empty()) << name;
    ini.WriteInteger("Parametr", "2", 5);
    EXPECT_THROW(ini.UpdateFile(), std::runtime_error) << name;
  }
  EXPECT_TRUE(fs::is_directory(dir));
  EXPECT_EQ(Entries(), 0u);
}

TEST_F(FileAccessTest, AFileThatCannotBeWrittenRaisesNamingItAndLeavesNothing) {
  const std::string name = Utf8(dir / FromUtf8("нет") / "x.par");
  TIniFile ini(name);
  ini.WriteInteger("Parametr", "2", 1);
  try {
    ini.UpdateFile();
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
  }
  EXPECT_EQ(Entries(), 0u);
}

}  // namespace

// A name the file dialog gives: Windows' device names keep theirs in any
// folder and case, a plain new name gets the suffix; a save to a device is
// refused in the window's words.
TEST_F(FileAccessTest, DevicesKeepTheirNamesAndRefuseASaveInRussian) {
  for (const char* device : {"NUL", "nul", "C:\\ZARO\\COM1", "LPT2"})
    EXPECT_EQ(qx25::ui::WithDefaultSuffix(device, "par"), device);
  const std::string plain = Utf8(dir / FromUtf8("ТРК"));
  EXPECT_EQ(qx25::ui::WithDefaultSuffix(plain, "par"), plain + ".par");
  CTRKParameters catalog;
  catalog.Fill();
  const std::optional<qx25::ui::TFileError> error = qx25::ui::SaveValues(&catalog, "NUL");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->Text,
            "Не удалось сохранить параметры в файл NUL:\nэто не обычный файл, а "
            "устройство или канал");
}
