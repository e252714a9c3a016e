#include "ui/core/Files.h"

#include <algorithm>
#include <cerrno>
#include <exception>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "params/ParameterFile.h"
#include "ui/core/GridText.h"

namespace qx25::ui {

namespace {

constexpr char kMissing[] = "Файл не найден: ";
constexpr char kUnreadable[] = "Файл не прочитан: ";
constexpr char kNoBuffer[] = "Буфер пуст: параметры ещё не копировались";
constexpr char kPasted[] = "Параметры вставлены из буфера";
constexpr char kCopied[] = "Параметры скопированы в буфер";
constexpr char kSaved[] = "Сохранено: ";
constexpr char kSaveTitle[] = "Сохранение параметров";
constexpr char kSaveFailed[] = "Не удалось сохранить параметры в файл ";
constexpr char kNotText[] = "это не текстовый файл";
constexpr char kSystemError[] = "системная ошибка";
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

bool IsUtf8(std::string_view Text) {
  for (size_t i = 0; i < Text.size();) {
    const auto c = static_cast<unsigned char>(Text[i]);
    const size_t length = c < 0x80           ? 1
                          : (c >> 5) == 0x6  ? 2
                          : (c >> 4) == 0xE  ? 3
                          : (c >> 3) == 0x1E ? 4
                                             : 0;
    if (length == 0 || i + length > Text.size()) return false;
    for (size_t k = 1; k < length; ++k)
      if ((static_cast<unsigned char>(Text[i + k]) & 0xC0) != 0x80) return false;
    i += length;
  }
  return true;
}

// Names are UTF-8 on every system (Windows' narrow names are its code page).
std::filesystem::path PathOf(const std::string& Name) {
  return std::filesystem::path(std::u8string(Name.begin(), Name.end()));
}

std::string NameOf(const std::filesystem::path& Path) {
  const std::u8string name = Path.u8string();
  return std::string(name.begin(), name.end());
}

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
    // The reason follows the file's name, which the message quotes.
    const std::string what = Error.what();
    const size_t named = what.find("\": ");
    const std::string why = named == std::string::npos ? what : what.substr(named + 3);
    return TFileError{kSaveTitle, kSaveFailed + FileName + ":\n" + ReasonText(why)};
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

namespace {

// A file the parameter reader took, but whose bytes are no text: a NUL
// never stands in an INI file.
bool HoldsNul(const std::string& FileName) {
  std::ifstream in(PathOf(FileName), std::ios::binary);
  char buffer[4096];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0)
    if (std::find(buffer, buffer + in.gcount(), '\0') != buffer + in.gcount()) return true;
  return false;
}

TStatus Load(CTRKParameters* Catalog, const std::string& FileName, bool Buffer) {
  if (!Catalog) return {};
  const auto failure = [](std::string Text) {
    return TStatus{std::move(Text), TStatusColour::Failure, {}};
  };
  std::error_code error;
  if (!std::filesystem::exists(PathOf(FileName), error))
    return failure(Buffer ? kNoBuffer : kMissing + FileName);
  const TIniFile ini(FileName);
  if (!ini.Problem().empty())
    return failure(kUnreadable + FileName + ": " + ReasonText(ini.Problem()));
  if (HoldsNul(FileName)) return failure(kUnreadable + FileName + ": " + kNotText);
  // The name alone: the bar is narrow, and the dialog showed where it lies.
  // A name from a Windows station reads as it read there.
  const std::string file = NameOf(PathOf(FileName).filename());
  const std::string name = Buffer ? kPasted : IsUtf8(file) ? file : Windows1251Text(file);
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

bool StartsWith(std::string_view Text, std::string_view Head) {
  return Text.substr(0, Head.size()) == Head;
}

bool Mentions(std::string_view Text, std::string_view Part) {
  return Text.find(Part) != std::string_view::npos;
}

}  // namespace

TStatus LoadValues(CTRKParameters* Catalog, const std::string& FileName) {
  return Load(Catalog, FileName, false);
}

TStatus PasteValues(CTRKParameters* Catalog, const std::string& BufferFile) {
  return Load(Catalog, BufferFile, true);
}

TStatus SavedStatus(const std::string& FileName) {
  return {kSaved + FileName, TStatusColour::Normal, {}};
}

TStatus CopiedStatus() { return {kCopied, TStatusColour::Normal, {}}; }

std::string ReasonText(std::string_view Why) {
  if (StartsWith(Why, "it ")) Why.remove_prefix(3);
  if (Why == "is a directory") return "это папка";
  if (Why == "is not a regular file") return "это не обычный файл, а устройство или канал";
  if (Why == "is no UTF-8 file name") return "имя файла не в UTF-8";
  if (Why == "too many symbolic links") return "слишком много символических ссылок";
  if (StartsWith(Why, "is larger than "))
    return "файл больше " + std::to_string(TIniFile::kMaxFileSize) + " байт";
  // The system's words: Linux's for its error numbers, Windows' by their gist.
  static const std::pair<int, const char*> kErrors[] = {
      {EACCES, "нет прав доступа"},
      {EPERM, "нет прав доступа"},
      {ENOENT, "нет такого файла или папки"},
      {ENOTDIR, "часть пути не папка"},
      {EISDIR, "это папка"},
      {ENOSPC, "нет места на диске"},
      {EROFS, "файловая система только для чтения"},
      {ENAMETOOLONG, "слишком длинное имя"},
      {ELOOP, "слишком много символических ссылок"},
      {EIO, "ошибка ввода-вывода"},
      {EBUSY, "файл занят"},
      {EMFILE, "открыто слишком много файлов"},
#ifdef EDQUOT
      {EDQUOT, "превышена квота диска"},
#endif
  };
  for (const auto& [code, text] : kErrors)
    if (Why == std::generic_category().message(code)) return text;
  if (Mentions(Why, "denied")) return "нет прав доступа";
  if (Mentions(Why, "not found") || Mentions(Why, "cannot find"))
    return "нет такого файла или папки";
  if (Mentions(Why, "disk") && (Mentions(Why, "full") || Mentions(Why, "space")))
    return "нет места на диске";
  if (Mentions(Why, "sharing") || Mentions(Why, "being used")) return "файл занят";
  // A system that speaks Russian already says it in the window's words.
  if (std::any_of(Why.begin(), Why.end(),
                  [](char C) { return static_cast<unsigned char>(C) >= 0x80; }))
    return std::string(Why);
  return kSystemError;
}

std::string WithDefaultSuffix(const std::string& FileName, const std::string& Suffix) {
  namespace fs = std::filesystem;
  const fs::path path = PathOf(FileName);
  if (Suffix.empty() || path.has_extension() || !path.has_filename()) return FileName;
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (fs::exists(status) && !fs::is_regular_file(status)) return FileName;
#ifdef _WIN32
  // The names Windows keeps for its devices, in any folder and with any case.
  std::string stem = NameOf(path.stem());
  std::transform(stem.begin(), stem.end(), stem.begin(),
                 [](char C) { return static_cast<char>(C >= 'a' && C <= 'z' ? C - 32 : C); });
  for (const char* device : {"CON", "PRN", "AUX", "NUL"})
    if (stem == device) return FileName;
  if (stem.size() == 4 && (StartsWith(stem, "COM") || StartsWith(stem, "LPT")) && stem[3] >= '1' &&
      stem[3] <= '9')
    return FileName;
#endif
  return FileName + "." + Suffix;
}

namespace {

void AppendUtf8(std::string& Out, char32_t C) {
  if (C < 0x80) {
    Out += static_cast<char>(C);
  } else if (C < 0x800) {
    Out += static_cast<char>(0xC0 | (C >> 6));
    Out += static_cast<char>(0x80 | (C & 0x3F));
  } else {
    Out += static_cast<char>(0xE0 | (C >> 12));
    Out += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (C & 0x3F));
  }
}

// Windows-1251's bytes 0x80 to 0xBF; 0xC0 to 0xFF are А to я in order.
constexpr char16_t kWindows1251High[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

}  // namespace

std::string Windows1251Text(std::string_view Bytes) {
  std::string text;
  for (const char byte : Bytes) {
    const auto b = static_cast<unsigned char>(byte);
    AppendUtf8(text, b < 0x80 ? b : b < 0xC0 ? kWindows1251High[b - 0x80] : 0x0410 + (b - 0xC0));
  }
  return text;
}

std::string ExistingFileName(const std::string& FileName,
                             const std::function<std::string(const std::string&)>& Decode) {
  namespace fs = std::filesystem;
  const fs::path path = PathOf(FileName);
  std::error_code error;
  if (fs::exists(path, error) || !path.has_filename() || !Decode) return FileName;
  const std::string wanted = NameOf(path.filename());
  std::string found;
  fs::directory_iterator entries(path.parent_path(), error);
  for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
    const std::string name = NameOf(entries->path().filename());
    if (Decode(name) != wanted && (IsUtf8(name) || Windows1251Text(name) != wanted)) continue;
    if (!found.empty()) return FileName;  // two files read alike: take neither
    found = NameOf(entries->path());
  }
  return found.empty() ? FileName : found;
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
