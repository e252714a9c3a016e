#include "ui/core/Files.h"

#include <algorithm>
#include <exception>

#include "params/ParameterFile.h"

namespace qx25::ui {

namespace {

TFileError Failure(const char* Title, const char* Text, const std::string& FileName,
                   const std::exception& Error) {
  return {Title, Text + FileName + ":\n" + Error.what()};
}

}  // namespace

std::string BufferFileName(const std::string& SettingsDirectory) {
#ifdef _WIN32
  return SettingsDirectory + "\\Vedo.buf";
#else
  return SettingsDirectory + "/Vedo.buf";
#endif
}

namespace {

std::optional<TFileError> Save(const CTRKParameters* Catalog, const std::string& FileName,
                               const TFileInfo* Info) {
  if (!Catalog) return std::nullopt;
  try {
    if (Info)
      SaveParameterFile(*Catalog, FileName, *Info);
    else
      SaveParameterFile(*Catalog, FileName);
  } catch (const std::exception& Error) {
    // The old file, if any, is still whole: a save writes beside it and
    // renames over it only once the new one is complete.
    return Failure("Сохранение параметров", "Не удалось сохранить параметры в файл ", FileName,
                   Error);
  }
  return std::nullopt;
}

}  // namespace

std::optional<TFileError> SaveValues(const CTRKParameters* Catalog, const std::string& FileName) {
  return Save(Catalog, FileName, nullptr);
}

std::optional<TFileError> SaveValues(const CTRKParameters* Catalog, const std::string& FileName,
                                     const TLine& Line) {
  const TFileInfo info = WindowFileInfo(Line);
  return Save(Catalog, FileName, &info);
}

TFileInfo WindowFileInfo(const TLine& Line) {
  TFileInfo info;
  info.Program = "qx25 service window";
  if (Line.Driver) {
    const TDriverInfo about = Line.Driver->GetDriverInfo();
    const size_t length = std::min<size_t>(about.Length, sizeof about.Text);
    for (size_t i = 0; i < length; ++i) {
      const auto c = static_cast<unsigned char>(about.Text[i]);
      if (c == '#' || c < 0x20 || c > 0x7E) break;
      info.Driver += static_cast<char>(c);
    }
  }
  info.Port = Line.Port;
  info.Address = Line.Address;
  return info;
}

std::optional<TFileError> LoadValues(CTRKParameters* Catalog, const std::string& FileName) {
  if (!Catalog) return std::nullopt;
  try {
    LoadParameterFile(*Catalog, FileName);
  } catch (const std::exception& Error) {
    return Failure("Чтение параметров", "Не удалось прочитать параметры из файла ", FileName,
                   Error);
  }
  return std::nullopt;
}

std::optional<int> NozzleAddress(TQX25* Driver, int Nozzle, int Dispenser) {
  if (!Driver) return std::nullopt;
  try {
    return std::clamp(Driver->CalcNozzleAddress(Nozzle, Dispenser), kMinAddress, kMaxAddress);
  } catch (const std::exception&) {
    return std::nullopt;  // a failed calculation leaves the address as it was
  }
}

}  // namespace qx25::ui
