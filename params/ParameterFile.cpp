#include "ParameterFile.h"

#include <algorithm>
#include <cstdint>

namespace {

// The file carries 32 bits; a raw value is wider.
int32_t Low32(int64_t Value) { return static_cast<int32_t>(static_cast<uint32_t>(Value)); }

void WriteValues(TIniFile& Ini, const CTRKParameters& Parameters, const std::vector<int>& Leave) {
  Ini.EraseSection(kParameterSection);
  for (int i = kBulkFirst; i < Parameters.Count(); ++i) {
    const CParameter& p = Parameters.Items(i);
    if (std::find(Leave.begin(), Leave.end(), p.Code) != Leave.end()) continue;
    Ini.WriteInteger(kParameterSection, std::to_string(p.Code), Low32(p.Value));
  }
}

}  // namespace

void SaveParameterFile(const CTRKParameters& Parameters, const std::string& FileName) {
  TIniFile ini(FileName);
  WriteValues(ini, Parameters, {});
  ini.UpdateFile();
}

void SaveParameterFile(const CTRKParameters& Parameters, const std::string& FileName,
                       const TFileInfo& Info) {
  TIniFile ini(FileName);
  WriteValues(ini, Parameters, Info.Unread);
  WriteFileInfo(ini, Info);
  ini.UpdateFile();
}

void LoadParameterFile(CTRKParameters& Parameters, const std::string& FileName) {
  const TIniFile ini(FileName);
  for (int i = kBulkFirst; i < Parameters.Count(); ++i) {
    CParameter& p = Parameters.Items(i);
    p.Value = ini.ReadInteger(kParameterSection, std::to_string(p.Code), Low32(p.Value));
  }
}
