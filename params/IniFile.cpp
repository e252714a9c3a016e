#include "IniFile.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

constexpr const char* kBom = "\xEF\xBB\xBF";  // UTF-8 byte-order mark

std::string Trim(const std::string& s) {
  // A stray carriage return (a line that ended in CR CR LF) is blank too, so
  // that writing the file back with its own line ends changes no value.
  const char* blanks = " \t\r";
  const size_t b = s.find_first_not_of(blanks);
  if (b == std::string::npos) return {};
  const size_t e = s.find_last_not_of(blanks);
  return s.substr(b, e - b + 1);
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// The name of a "[name]" line, or false when the line is no section header.
bool SectionName(const std::string& Line, std::string& Name) {
  // Most lines are keys: tell them without copying, as every lookup asks
  // this of every line.
  const size_t first = Line.find_first_not_of(" \t\r");
  if (first == std::string::npos || Line[first] != '[') return false;
  const std::string t = Trim(Line);
  if (t.size() < 2 || t.front() != '[') return false;
  const size_t close = t.find(']');
  if (close == std::string::npos) return false;
  Name = Trim(t.substr(1, close - 1));
  return true;
}

}  // namespace

TIniFile::TIniFile(std::string FileName) : Name(std::move(FileName)) {
  std::ifstream in(Name, std::ios::binary);
  if (!in) return;
  std::stringstream ss;
  ss << in.rdbuf();
  std::string text = ss.str();
  // A byte-order mark is no part of the first line, but it is written back:
  // were it dropped, a second mark behind it would become the first, and a
  // section header behind that would then count when read again.
  Bom = text.compare(0, 3, kBom) == 0;
  if (Bom) text.erase(0, 3);
  const size_t firstLf = text.find('\n');
  if (firstLf != std::string::npos)
    Eol = (firstLf > 0 && text[firstLf - 1] == '\r') ? "\r\n" : "\n";
  size_t start = 0;
  while (start < text.size()) {
    size_t lf = text.find('\n', start);
    if (lf == std::string::npos) lf = text.size();
    std::string line = text.substr(start, lf - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    Lines.push_back(std::move(line));
    start = lf + 1;
  }
}

bool TIniFile::FindSection(const std::string& Section, Span& Out) const {
  std::string name;
  for (size_t i = 0; i < Lines.size(); ++i) {
    if (!SectionName(Lines[i], name) || !SameName(name, Section)) continue;
    size_t end = i + 1;
    while (end < Lines.size() && !SectionName(Lines[end], name)) ++end;
    Out = {i, end};
    return true;  // the first section of that name counts, as on Windows
  }
  return false;
}

bool TIniFile::FindKey(const Span& S, const std::string& Key, size_t& Line,
                       std::string& Value) const {
  for (size_t i = S.Header + 1; i < S.End; ++i) {
    const std::string& l = Lines[i];
    const size_t eq = l.find('=');
    if (eq == std::string::npos) continue;
    const std::string k = Trim(l.substr(0, eq));
    if (k.empty() || k[0] == ';' || !SameName(k, Key)) continue;
    Line = i;
    Value = Trim(l.substr(eq + 1));
    return true;
  }
  return false;
}

bool TIniFile::SectionExists(const std::string& Section) const {
  Span s;
  return FindSection(Section, s);
}

std::string TIniFile::ReadString(const std::string& Section, const std::string& Key,
                                 const std::string& Default) const {
  Span s;
  size_t line;
  std::string value;
  if (!FindSection(Section, s) || !FindKey(s, Key, line, value)) return Default;
  return value;
}

int32_t TIniFile::ReadInteger(const std::string& Section, const std::string& Key,
                              int32_t Default) const {
  const std::string text = ReadString(Section, Key, "");
  if (text.empty()) return Default;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  // from_chars takes a minus sign only; a plus sign goes, but not with a
  // minus behind it ("+-5" is no number).
  if (*first == '+' && ++first != last && *first == '-') return Default;
  int32_t value = 0;
  const auto [end, error] = std::from_chars(first, last, value);
  if (error != std::errc() || end != last || first == last) return Default;
  return value;
}

void TIniFile::WriteString(const std::string& Section, const std::string& Key,
                           const std::string& Value) {
  const std::string line = Key + "=" + Value;
  Span s;
  if (!FindSection(Section, s)) {
    Lines.push_back("[" + Section + "]");
    Lines.push_back(line);
  } else {
    size_t at;
    std::string old;
    if (FindKey(s, Key, at, old)) {
      Lines[at] = line;
    } else {
      // After the section's last non-blank line, so blank separators stay put.
      size_t pos = s.End;
      while (pos > s.Header + 1 && Trim(Lines[pos - 1]).empty()) --pos;
      Lines.insert(Lines.begin() + static_cast<std::ptrdiff_t>(pos), line);
    }
  }
  Changed = true;
}

void TIniFile::WriteInteger(const std::string& Section, const std::string& Key, int32_t Value) {
  WriteString(Section, Key, std::to_string(Value));
}

void TIniFile::EraseSection(const std::string& Section) {
  Span s;
  while (FindSection(Section, s)) {
    Lines.erase(Lines.begin() + static_cast<std::ptrdiff_t>(s.Header),
                Lines.begin() + static_cast<std::ptrdiff_t>(s.End));
    Changed = true;
  }
}

void TIniFile::UpdateFile() {
  if (!Changed) return;
  const std::string temp = Name + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (Bom) out << kBom;
    for (const std::string& l : Lines) out << l << Eol;
    out.flush();
    if (!out) {
      std::remove(temp.c_str());
      throw std::runtime_error("Cannot write the file \"" + Name + "\"");
    }
  }
  if (std::rename(temp.c_str(), Name.c_str()) != 0) {
    const int err = errno;
    std::remove(temp.c_str());
    throw std::runtime_error("Cannot write the file \"" + Name + "\": " + std::strerror(err));
  }
  Changed = false;
}
