// Parameter files: the values of the catalog's bulk range kept as an INI file,
// one section "Parametr", key = the parameter's code in decimal, value = the
// low 32 bits of its raw value as a signed decimal integer. The service
// window's files and buffer and the command-line tool share them.
#pragma once

#include <string>

#include "FileInfo.h"
#include "IniFile.h"
#include "ParameterUnit.h"

inline constexpr const char* kParameterSection = "Parametr";

#ifdef _WIN32
// Where parameter files and the service window's copy buffer live on Windows.
inline constexpr const char* kSettingsDirectory = "C:\\ZARO\\Settings";
#else
// Where they live elsewhere, under the user's data directory.
inline constexpr const char* kSettingsSubdirectory = "ZARO/Settings";
#endif

// Replaces the file's "Parametr" section by the values of the bulk range, in
// catalog order; every other section stays. Throws std::runtime_error when the
// file cannot be written.
void SaveParameterFile(const CTRKParameters& Parameters, const std::string& FileName);
// The same, with the file's [Info] section replaced by Info in the same write;
// the codes Info lists as unread are left out of "Parametr", so that a value
// never read is never taken for the controller's.
void SaveParameterFile(const CTRKParameters& Parameters, const std::string& FileName,
                       const TFileInfo& Info);

// Takes the value of each bulk-range record whose code has a key in the
// file's "Parametr" section. A missing file, section or key, or a value that
// is not an integer, leaves the record as it was. Never throws on content.
void LoadParameterFile(CTRKParameters& Parameters, const std::string& FileName);
