// Parameter files as a technician may hand-edit them: arbitrary file
// contents read as INI; a quarter of the inputs (by their size) also loaded
// into the catalog and shown as text, and one in sixteen saved and loaded
// again. Reading never fails and takes a key's value only when it is a
// 32-bit integer (else the default); every loaded value converts to text or
// raises the catalog's own conversion error; saving keeps every other
// section as it was; and what is saved loads back unchanged.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "params/ParameterFile.h"

using namespace qx25::fuzz;

namespace {

constexpr const char* kConversionError = "Ошибка при преобразовании параметра в текстовый вид";
constexpr size_t kMaxNames = 8;  // names looked up before and after saving

// A directory of this process's own for the file under test.
const std::string& WorkFile() {
  static const std::string path = [] {
    char dir[] = "/dev/shm/qx25-fuzz-ini-XXXXXX";
    char fallback[] = "/tmp/qx25-fuzz-ini-XXXXXX";
    const char* made = mkdtemp(dir);
    if (made == nullptr) made = mkdtemp(fallback);
    Expect(made != nullptr, "no directory for the file under test");
    return std::string(made) + "/ТРК.par";
  }();
  return path;
}

void WriteFile(const std::string& Path, const uint8_t* Data, size_t Size) {
  std::FILE* f = std::fopen(Path.c_str(), "wb");
  Expect(f != nullptr, "cannot write the file under test");
  Expect(std::fwrite(Data, 1, Size, f) == Size, "cannot write the file under test");
  std::fclose(f);
}

std::string Trim(const std::string& S) {
  const size_t b = S.find_first_not_of(" \t\r");
  if (b == std::string::npos) return {};
  return S.substr(b, S.find_last_not_of(" \t\r") - b + 1);
}

bool IsParametr(const std::string& Name) {
  const std::string p = kParameterSection;
  return Name.size() == p.size() &&
         std::equal(Name.begin(), Name.end(), p.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) ==
                  std::tolower(static_cast<unsigned char>(b));
         });
}

// The integer a reader must take from a value's text: an optional sign and
// at least one decimal digit, nothing else, within 32 bits. Written apart
// from the reader's own number parsing on purpose: it is the oracle for it.
std::optional<int32_t> Integer(const std::string& Text) {
  size_t i = 0;
  bool negative = false;
  if (i < Text.size() && (Text[i] == '+' || Text[i] == '-')) negative = Text[i++] == '-';
  if (i == Text.size()) return std::nullopt;
  int64_t v = 0;
  for (; i < Text.size(); ++i) {
    if (Text[i] < '0' || Text[i] > '9') return std::nullopt;
    v = v * 10 + (Text[i] - '0');
    if (v > int64_t{1} << 32) return std::nullopt;
  }
  if (negative) v = -v;
  if (v < INT32_MIN || v > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(v);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string& path = WorkFile();
  WriteFile(path, Data, Size);

  // Section and key names the file seems to use, for the checks below.
  std::vector<std::string> sections, keys;
  const std::string text(reinterpret_cast<const char*>(Data), Size);
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string t = Trim(line);
    const size_t close = t.find(']');
    const size_t eq = line.find('=');
    if (!t.empty() && t[0] == '[' && close != std::string::npos) {
      if (sections.size() < kMaxNames) sections.push_back(Trim(t.substr(1, close - 1)));
    } else if (eq != std::string::npos && keys.size() < kMaxNames) {
      keys.push_back(Trim(line.substr(0, eq)));
    }
    start = end + 1;
  }

  // Reading: every name the file seems to use, and the parameter section.
  const TIniFile before(path);
  sections.push_back(kParameterSection);
  for (const std::string& s : sections)
    for (const std::string& k : keys) {
      const std::string raw = before.ReadString(s, k, "");
      const std::optional<int32_t> parsed = Integer(raw);
      Expect(before.ReadInteger(s, k, -17) == (parsed ? *parsed : -17),
             "an integer read that is neither the key's integer nor the default");
    }

  // Loading into the catalog and showing the values costs ten times the
  // reading above, and saving as much again (every later lookup then scans
  // a section of 43 keys): a quarter of the inputs, by their size, load; one
  // in sixteen also saves.
  if (Size % 4 != 0) return 0;
  CTRKParameters catalog;
  catalog.Fill();
  LoadParameterFile(catalog, path);
  static const CTRKParameters fresh = [] {
    CTRKParameters c;
    c.Fill();
    return c;
  }();
  for (int i = kBulkFirst; i < catalog.Count(); ++i) {
    const CParameter& p = catalog.Items(i);
    // A code the file seems to name is checked against the key's text.
    const std::string key = std::to_string(p.Code);
    const int32_t initial = static_cast<int32_t>(static_cast<uint32_t>(fresh.Items(i).Value));
    if (std::find(keys.begin(), keys.end(), key) != keys.end()) {
      constexpr const char* kNone = "\x01(none)";
      const std::string raw = before.ReadString(kParameterSection, key, kNone);
      const std::optional<int32_t> parsed = raw == kNone ? std::nullopt : Integer(raw);
      Expect(p.Value == (parsed ? *parsed : initial),
             "a loaded value that is neither the key's integer nor the default");
    }
    try {
      p.ValueToText(std::max(p.Value, p.MinValue));  // as the window shows it
    } catch (const std::runtime_error& e) {
      Expect(std::strcmp(e.what(), kConversionError) == 0, "a conversion error of another kind");
    }
  }

  if (Size % 16 != 0) return 0;
  SaveParameterFile(catalog, path);
  const TIniFile after(path);
  for (const std::string& s : sections) {
    if (IsParametr(s)) continue;
    Expect(before.SectionExists(s) == after.SectionExists(s), "saving lost or made a section");
    for (const std::string& k : keys)
      Expect(before.ReadString(s, k, "\x01") == after.ReadString(s, k, "\x01"),
             "saving changed a key of another section");
  }
  CTRKParameters reloaded;
  reloaded.Fill();
  for (int i = kBulkFirst; i < reloaded.Count(); ++i) reloaded.Items(i).Value = -7;
  LoadParameterFile(reloaded, path);
  for (int i = kBulkFirst; i < catalog.Count(); ++i)
    Expect(reloaded.Items(i).Value == catalog.Items(i).Value, "a saved value loaded back changed");
  return 0;
}
