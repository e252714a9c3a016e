// INI files with the semantics of the Windows profile functions, which the
// parameter files were first written with: reading a key never fails (a
// missing file, section or key, or a value that is not an integer, yields the
// caller's default); writing one key or erasing one section leaves every
// other line of the file as it was; a file that does not exist is created by
// the first write. Section and key names compare without regard to ASCII case.
//
// The file is read once when the object is made and written back by
// UpdateFile, through a temporary file renamed over the old one, so a failed
// write never leaves a half-written file behind. Only regular files are read
// and replaced: a symbolic link is followed (its target is replaced, the link
// stays), a file above kMaxFileSize is not read, and anything else (a
// directory, a device, a pipe) is neither read nor written, so that a file
// name typed by mistake can neither hang the reader nor be clobbered.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TIniFile {
 public:
  // Parameter files are a few hundred bytes; anything this large is no INI file.
  static constexpr size_t kMaxFileSize = 1 << 20;

  // Reads FileName if it exists; a missing or unreadable file reads as empty.
  explicit TIniFile(std::string FileName);

  const std::string& FileName() const { return Name; }
  // Why the file was not read and will not be replaced ("is not a regular
  // file"); empty when it was read or does not exist yet.
  const std::string& Problem() const { return ReadFailure; }
  // The same for a file name, without making an object; for checking a name
  // before any work that would end in writing it.
  static std::string Unusable(const std::string& FileName);

  // The integer under Section/Key: optional blanks, an optional sign and
  // decimal digits, in the 32-bit range; anything else gives Default.
  int32_t ReadInteger(const std::string& Section, const std::string& Key, int32_t Default) const;
  // The raw text under Section/Key, or Default when there is none.
  std::string ReadString(const std::string& Section, const std::string& Key,
                         const std::string& Default) const;
  // Replaces the key's value in place, or appends the key to its section,
  // or appends the section to the file.
  void WriteInteger(const std::string& Section, const std::string& Key, int32_t Value);
  void WriteString(const std::string& Section, const std::string& Key, const std::string& Value);
  // Removes the section's header and every line up to the next section.
  void EraseSection(const std::string& Section);
  bool SectionExists(const std::string& Section) const;
  // The section's keys in file order, each once (the first of a repeated key
  // is the one read); none when the section is missing.
  std::vector<std::string> Keys(const std::string& Section) const;

  // Writes the lines back; throws std::runtime_error naming the file when it
  // cannot be written, or when Problem() is not empty. Nothing is written
  // when nothing changed.
  void UpdateFile();

 private:
  struct Span {
    size_t Header;  // index of the "[section]" line
    size_t End;     // one past its last line
  };
  bool FindSection(const std::string& Section, Span& Out) const;
  bool FindKey(const Span& S, const std::string& Key, size_t& Line, std::string& Value) const;

  std::string Name;
  std::string ReadFailure;
  std::vector<std::string> Lines;
  std::string Eol = "\r\n";  // kept from the file when it has one
  bool Bom = false;          // the file began with a byte-order mark
  bool Changed = false;
};
