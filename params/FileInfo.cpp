#include "FileInfo.h"

#include <cstdio>

std::string IsoUtc(std::chrono::system_clock::time_point When) {
  using namespace std::chrono;
  const auto seconds = floor<std::chrono::seconds>(When);
  const auto day = floor<days>(seconds);
  const year_month_day date(day);
  const hh_mm_ss<std::chrono::seconds> time(seconds - day);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()));
  return text;
}

void WriteFileInfo(TIniFile& Ini, const TFileInfo& Info) {
  Ini.EraseSection(kInfoSection);
  const auto put = [&Ini](const char* Key, const std::string& Value) {
    if (!Value.empty()) Ini.WriteString(kInfoSection, Key, Value);
  };
  put("Program", Info.Program);
  put("Driver", Info.Driver);
  if (Info.Port) put("Port", std::to_string(*Info.Port));
  put("Line", Info.Line);
  if (Info.Address) put("Address", std::to_string(*Info.Address));
  if (Info.IdNumber) put("IdNumber", std::to_string(*Info.IdNumber));
  put("Written", IsoUtc(Info.Written));
  std::string unread;
  for (const int code : Info.Unread) unread += (unread.empty() ? "" : ",") + std::to_string(code);
  put("Unread", unread);
}
