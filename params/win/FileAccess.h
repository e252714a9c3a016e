// The INI module's file access on Windows, on the Win32 file API with UTF-16
// names: file names arrive as UTF-8, as everywhere in this code, and reach
// the system unchanged whatever the ANSI code page is. Internal to the INI
// module; the Linux counterparts are in IniFile.cpp.
#pragma once

#include <cstddef>
#include <string>

namespace qx25::params {

// Reads a regular file of at most Cap bytes into Text. Returns why it was not
// read ("is a directory", "is not a regular file" for a device such as NUL or
// COM1, or a pipe), or empty; a file that does not exist reads as empty.
std::string ReadCapped(const std::string& Name, size_t Cap, std::string& Text);

// Writes Text to a new file beside Name and moves it over Name, so a failed
// write leaves the old file whole. Throws std::runtime_error naming the file.
void ReplaceContents(const std::string& Name, const std::string& Text);

}  // namespace qx25::params
