// Where a parameter file came from: an [Info] section beside "Parametr" with
// the program, the driver, the line, the controller and the time of writing,
// and for a read of every parameter the codes that could not be read. Only
// people and the diff and drift commands read it; loading a file never does,
// so files without it (all older ones) load as before.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "IniFile.h"

inline constexpr const char* kInfoSection = "Info";

struct TFileInfo {
  std::string Program;  // "qx25ctl 2.41"
  std::string Driver;   // "v2.41"
  std::optional<int> Port;
  std::string Line;  // how the program names the line: "COM3 (/dev/ttyS2)"
  std::optional<int> Address;
  // The controller's ID number. The line has no request that reads it, so it
  // is only known where the user gave it (address programming).
  std::optional<long long> IdNumber;
  std::chrono::system_clock::time_point Written = std::chrono::system_clock::now();
  // Codes whose values could not be read; the file leaves them out.
  std::vector<int> Unread;
};

// "2026-12-08T10:24:17Z".
std::string IsoUtc(std::chrono::system_clock::time_point When);

// Replaces the file's [Info] section by Info; the caller writes the file.
void WriteFileInfo(TIniFile& Ini, const TFileInfo& Info);
