#include "ui/core/Files.h"

#include <algorithm>
#include <exception>
#include <filesystem>

#include "params/ParameterFile.h"
#include "ui/core/GridText.h"

namespace qx25::ui {

namespace {

constexpr char kMissing[] = "Файл не найден: ";
constexpr char kUnreadable[] = "Файл не прочитан: ";
constexpr char kNoSection[] = ": нет раздела [Parametr], значения не изменены";
constexpr char kTaken[] = ": взято значений ";
constexpr char kLeft[] = "; пропущено: ";
constexpr char kNotNumber[] = "не число";
constexpr char kUnknownCode[] = "неизвестный код";
constexpr char kNoDriver[] = "нет драйвера";
constexpr char kNoAddress[] = "адрес не вычислен";
constexpr char kAddressOf[] = "адрес ";
constexpr char kOutsideAddresses[] = " вне пределов ";
constexpr char kRangeDash[] = " … ";

CParameter* BulkRecordOfKey(CTRKParameters& Catalog, const std::string& Key) {
  for (int i = kBulkFirst; i < Catalog.Count(); ++i)
    if (std::to_string(Catalog.Items(i).Code) == Key) return &Catalog.Items(i);
  return nullptr;
}

// What the window's [Info] says: its port and address, now, and the
// driver's version (the ASCII head of its description, before '#').
TFileInfo WindowFileInfo(const TTarget& Line) {
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

std::optional<TFileError> Save(const CTRKParameters* Catalog, const std::string& FileName,
                               const std::optional<TTarget>& Line) {
  if (!Catalog) return std::nullopt;
  try {
    if (Line)
      SaveParameterFile(*Catalog, FileName, WindowFileInfo(*Line));
    else
      SaveParameterFile(*Catalog, FileName);
  } catch (const std::exception& Error) {
    // The old file, if any, is still whole: a save writes beside it and
    // renames over it only once the new one is complete.
    return TFileError{"Сохранение параметров",
                      "Не удалось сохранить параметры в файл " + FileName + ":\n" + Error.what()};
  }
  return std::nullopt;
}

}  // namespace

std::optional<TFileError> SaveValues(const CTRKParameters* Catalog, const std::string& FileName) {
  return Save(Catalog, FileName, std::nullopt);
}

std::optional<TFileError> SaveValues(const CTRKParameters* Catalog, const std::string& FileName,
                                     const TTarget& Line) {
  return Save(Catalog, FileName, Line);
}

std::string BufferFileName(const std::string& SettingsDirectory) {
#ifdef _WIN32
  return SettingsDirectory + "\\Vedo.buf";
#else
  return SettingsDirectory + "/Vedo.buf";
#endif
}

TStatus LoadValues(CTRKParameters* Catalog, const std::string& FileName) {
  if (!Catalog) return {};
  const auto failure = [](std::string Text) {
    return TStatus{std::move(Text), TStatusColour::Failure, {}};
  };
  std::error_code error;
  if (!std::filesystem::exists(FileName, error)) return failure(kMissing + FileName);
  const TIniFile ini(FileName);
  if (!ini.Problem().empty()) return failure(kUnreadable + FileName);
  // The name alone: the bar is narrow, and the dialog showed where it lies.
  const std::string name = std::filesystem::path(FileName).filename().string();
  if (!ini.SectionExists(kParameterSection)) return failure(name + kNoSection);
  int taken = 0;
  std::string left;
  for (const std::string& key : ini.Keys(kParameterSection)) {
    CParameter* p = BulkRecordOfKey(*Catalog, key);
    // Two defaults that differ tell a number from a text that only yields one.
    const int32_t value = ini.ReadInteger(kParameterSection, key, 0);
    const bool number = value == ini.ReadInteger(kParameterSection, key, 1);
    const std::string refusal = p && number ? Refusal(*p, value) : std::string();
    if (p && number && refusal.empty()) {
      p->Value = value;  // the file's 32 bits, widened with their sign
      ++taken;
      continue;
    }
    left += (left.empty() ? kLeft : ", ") + key + "=" + ini.ReadString(kParameterSection, key, "") +
            " (" +
            (!p        ? kUnknownCode
             : !number ? kNotNumber
                       : refusal) +
            ")";
  }
  return {name + kTaken + std::to_string(taken) + left,
          left.empty() ? TStatusColour::Normal : TStatusColour::Failure,
          {}};
}

params::TTypedValue ReadNozzleAddress(TQX25* Driver, std::string_view NozzleText,
                                      std::string_view DispenserText) {
  const auto read = [](const char* Field, std::string_view Text, int Min, int Max) {
    params::TTypedValue typed = params::ReadTypedInteger(Text, Min, Max, NumberFormat());
    if (!typed) typed.Refusal = std::string(Field) + ": " + typed.Refusal;
    return typed;
  };
  // The nozzle first: it has the focus when the dialog opens.
  const params::TTypedValue nozzle = read(kNozzleField, NozzleText, kNozzleMin, kNozzleMax);
  if (!nozzle) return nozzle;
  const params::TTypedValue dispenser =
      read(kDispenserField, DispenserText, kDispenserMin, kDispenserMax);
  if (!dispenser) return dispenser;
  if (!Driver) return {std::nullopt, kNoDriver};
  int32_t address = 0;
  try {
    address = Driver->CalcNozzleAddress(static_cast<int32_t>(*nozzle.Raw),
                                        static_cast<int32_t>(*dispenser.Raw));
  } catch (const std::exception&) {
    return {std::nullopt, kNoAddress};  // the driver's own text is not for the dialog
  }
  if (address < kAddressMin || address > kAddressMax)
    return {std::nullopt, kAddressOf + std::to_string(address) + kOutsideAddresses +
                              std::to_string(kAddressMin) + kRangeDash +
                              std::to_string(kAddressMax)};
  return {address, {}};
}

}  // namespace qx25::ui
