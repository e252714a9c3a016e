// write-all reads its file line by line before anything is sent, so that
// every mistake of a hand-edited file is listed at once, with its line. The
// values themselves are then loaded as the service window loads them.
#include <charconv>
#include <fstream>
#include <map>

#include "ParamWork.h"
#include "params/IniFile.h"
#include "params/ParameterFile.h"

namespace qx25::tools {

namespace {

std::string Trimmed(const std::string& Text) {
  const size_t first = Text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return Text.substr(first, Text.find_last_not_of(" \t\r") - first + 1);
}

bool SameName(const std::string& A, const std::string& B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(A[i])) !=
        std::tolower(static_cast<unsigned char>(B[i])))
      return false;
  return true;
}

// Text from the file as a message shows it: a control byte (a NUL above
// all, which would end the message there) written as \xNN.
std::string Visible(const std::string& Text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : Text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      out += c;
      continue;
    }
    out += "\\x";
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
  }
  return out;
}

// The catalog index of the bulk-range parameter a key names, or -1. Only the
// key as the window writes it counts: "05" is not read as code 5.
int BulkIndex(const CTRKParameters& Catalog, const std::string& Key) {
  for (int i = kBulkFirst; i < Catalog.Count(); ++i)
    if (std::to_string(Catalog.Items(i).Code) == Key) return i;
  return -1;
}

}  // namespace

std::vector<std::string> FileProblems(const std::string& Path, const CTRKParameters& Catalog,
                                      bool Force) {
  std::vector<std::string> problems;
  std::ifstream in(Path, std::ios::binary);
  std::map<int, int> firstLine;  // catalog index -> line
  bool inSection = false;
  std::string text;
  for (int line = 1; std::getline(in, text); ++line) {
    const std::string where = "line " + std::to_string(line) + ": ";
    text = Trimmed(text);
    if (text.empty() || text[0] == ';') continue;
    if (text[0] == '[') {
      inSection =
          text.back() == ']' && SameName(text.substr(1, text.size() - 2), kParameterSection);
      continue;
    }
    if (!inSection) continue;
    const size_t equals = text.find('=');
    if (equals == std::string::npos) {
      problems.push_back(where + "\"" + Visible(text) + "\" is no key=value line");
      continue;
    }
    const std::string key = Trimmed(text.substr(0, equals));
    const std::string value = Trimmed(text.substr(equals + 1));
    const int index = BulkIndex(Catalog, key);
    if (index < 0) {
      if (!Force)
        problems.push_back(where + "key \"" + Visible(key) +
                           "\" is no parameter code of write-all");
      continue;
    }
    const CParameter& p = Catalog.Items(index);
    const std::string code = where + "code " + key + ": ";
    const auto [first, fresh] = firstLine.emplace(index, line);
    if (!fresh && !Force)
      problems.push_back(code + "given again (first on line " + std::to_string(first->second) +
                         ")");
    if (value.empty()) {
      problems.push_back(code + "no value");
      continue;
    }
    int64_t raw = 0;
    const auto r = std::from_chars(value.data(), value.data() + value.size(), raw);
    if (r.ec != std::errc() || r.ptr != value.data() + value.size()) {
      problems.push_back(code + "\"" + Visible(value) + "\" is not a whole number");
      continue;
    }
    if (p.SkipOnWriteAll) continue;  // never sent, so any number will do
    try {
      CheckEncodable(p, raw, code.substr(0, code.size() - 2));
    } catch (const BadArguments& e) {
      problems.push_back(e.what());
      continue;
    }
    const std::string broken = LimitBroken(p, raw);
    if (!broken.empty() && !Force) problems.push_back(code + value + " is " + broken);
  }
  if (!inSection && firstLine.empty() && problems.empty() && in.bad())
    problems.push_back("the file could not be read");
  return problems;
}

void CheckParameterFile(const std::string& Path, const CTRKParameters& Catalog, bool Force,
                        const std::string& Outcome, const std::string& Hint) {
  const TIniFile ini(Path);
  if (!ini.Problem().empty())
    throw BadArguments(Path + ": " + ini.Problem() + "; give the name of a .par file");
  if (!ini.SectionExists(kParameterSection))
    throw BadArguments(Path + ": no section [" + kParameterSection + "]");
  const std::vector<std::string> problems = FileProblems(Path, Catalog, Force);
  if (problems.empty()) return;
  std::string list;
  for (const std::string& p : problems) list += "\n  " + p;
  throw BadArguments(Path + ": " + Outcome + ", " + std::to_string(problems.size()) +
                     " problem(s):" + list + "\n" + Hint);
}

}  // namespace qx25::tools
