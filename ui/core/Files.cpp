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

std::optional<TFileError> SaveValues(const CTRKParameters* Catalog, const std::string& FileName) {
  if (!Catalog) return std::nullopt;
  try {
    SaveParameterFile(*Catalog, FileName);
  } catch (const std::exception& Error) {
    // The old file, if any, is still whole: a save writes beside it and
    // renames over it only once the new one is complete.
    return Failure("Сохранение параметров", "Не удалось сохранить параметры в файл ", FileName,
                   Error);
  }
  return std::nullopt;
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
