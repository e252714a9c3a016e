#include "IniFile.h"

#ifdef _WIN32
#include "win/FileAccess.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#endif

#include <algorithm>
#include <charconv>
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

#ifdef _WIN32
using qx25::params::ReadCapped;
using qx25::params::ReplaceContents;
#else
// The symbolic-link chains the system itself follows are at most this long.
constexpr int kMaxLinks = 40;

// Closes a descriptor when it goes.
struct Descriptor {
  int Fd;
  ~Descriptor() {
    if (Fd >= 0) close(Fd);
  }
};

// Reads a regular file of at most Cap bytes into Text. Returns why it was not
// read, or empty; a file that does not exist is read as empty. The file is
// opened without blocking and checked on the open descriptor, so that a pipe
// or a device is refused before a single byte is waited for.
std::string ReadCapped(const std::string& Name, size_t Cap, std::string& Text) {
  Text.clear();
  const Descriptor in{open(Name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
  if (in.Fd < 0) return errno == ENOENT ? std::string() : std::string(std::strerror(errno));
  struct stat info {};
  if (fstat(in.Fd, &info) != 0) return std::strerror(errno);
  if (S_ISDIR(info.st_mode)) return "is a directory";
  if (!S_ISREG(info.st_mode)) return "is not a regular file";
  if (static_cast<uint64_t>(info.st_size) > Cap)
    return "is larger than " + std::to_string(Cap) + " bytes";
  char buffer[8192];
  for (;;) {
    const ssize_t n = read(in.Fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::strerror(errno);
    if (n == 0) return {};
    Text.append(buffer, static_cast<size_t>(n));
    // The file may grow after fstat looked at it.
    if (Text.size() > Cap) return "is larger than " + std::to_string(Cap) + " bytes";
  }
}

// The file a name stands for: a symbolic link is followed to its target
// (which need not exist yet), so that replacing the file keeps the link.
std::filesystem::path FinalTarget(const std::string& Name) {
  namespace fs = std::filesystem;
  fs::path p = Name;
  for (int i = 0; i < kMaxLinks; ++i) {
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(p, error))) return p;
    const fs::path target = fs::read_symlink(p, error);
    if (error) return p;
    p = target.is_absolute() ? target : p.parent_path() / target;
  }
  throw std::runtime_error("Cannot write the file \"" + Name + "\": too many symbolic links");
}

bool WriteAll(int Fd, const std::string& Text) {
  size_t done = 0;
  while (done < Text.size()) {
    const ssize_t n = write(Fd, Text.data() + done, Text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Replaces the file Name stands for by Text, through a temporary file renamed
// over it; throws std::runtime_error naming the file when that fails.
void ReplaceContents(const std::string& Name, const std::string& Text) {
  const std::filesystem::path target = FinalTarget(Name);
  std::string temp;
  const auto failed = [&](const std::string& Why) {
    if (!temp.empty()) std::remove(temp.c_str());
    return std::runtime_error("Cannot write the file \"" + Name + "\": " + Why);
  };
  // A name of our own next to the target, created afresh (never an existing
  // file), with the permissions the umask gives any new file.
  static std::atomic<unsigned> serial{0};
  Descriptor out{-1};
  for (int attempt = 0; out.Fd < 0; ++attempt) {
    const std::string name = target.string() + ".tmp-" + std::to_string(getpid()) + "-" +
                             std::to_string(serial.fetch_add(1));
    out.Fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (out.Fd >= 0)
      temp = name;
    else if (errno != EEXIST || attempt > 100)
      throw failed(std::strerror(errno));
  }
  // The new file keeps the old one's permissions.
  struct stat old {};
  const bool keep = stat(target.c_str(), &old) == 0;
  if ((keep && fchmod(out.Fd, old.st_mode & 07777) != 0) || !WriteAll(out.Fd, Text) ||
      fsync(out.Fd) != 0)
    throw failed(std::strerror(errno));
  const int closed = close(out.Fd);
  out.Fd = -1;
  if (closed != 0) throw failed(std::strerror(errno));
  if (std::rename(temp.c_str(), target.c_str()) != 0) throw failed(std::strerror(errno));
}
#endif

}  // namespace

std::string TIniFile::Unusable(const std::string& FileName) {
  std::string text;
  return ReadCapped(FileName, kMaxFileSize, text);
}

TIniFile::TIniFile(std::string FileName) : Name(std::move(FileName)) {
  std::string text;
  ReadFailure = ReadCapped(Name, kMaxFileSize, text);
  if (!ReadFailure.empty() || text.empty()) return;
  // A byte-order mark is no part of the first line, but it is written back:
  // were it dropped, a second mark behind it would become the first, and a
  // section header behind that would then count when read again.
  Bom = text.compare(0, 3, kBom) == 0;
  if (Bom) text.erase(0, 3);
    // On Windows a file is written back with CR LF, whatever it was read with.
#ifndef _WIN32
  const size_t firstLf = text.find('\n');
  if (firstLf != std::string::npos)
    Eol = (firstLf > 0 && text[firstLf - 1] == '\r') ? "\r\n" : "\n";
#endif
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

std::vector<std::string> TIniFile::Keys(const std::string& Section) const {
  std::vector<std::string> keys;
  Span s;
  if (!FindSection(Section, s)) return keys;
  for (size_t i = s.Header + 1; i < s.End; ++i) {
    const size_t eq = Lines[i].find('=');
    if (eq == std::string::npos) continue;
    const std::string k = Trim(Lines[i].substr(0, eq));
    if (k.empty() || k[0] == ';') continue;
    if (std::none_of(keys.begin(), keys.end(),
                     [&](const std::string& Seen) { return SameName(Seen, k); }))
      keys.push_back(k);
  }
  return keys;
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
  if (!ReadFailure.empty())
    throw std::runtime_error("Cannot write the file \"" + Name + "\": it " + ReadFailure);
  std::string text = Bom ? kBom : "";
  for (const std::string& l : Lines) text += l + Eol;
  ReplaceContents(Name, text);
  Changed = false;
}
