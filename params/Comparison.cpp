#include "Comparison.h"

#include <stdexcept>

#include "ParameterFile.h"
#include "TypedNumber.h"

namespace qx25::params {

TValues ValuesOfFile(const TIniFile& Ini, const CTRKParameters& Catalog) {
  TValues out(static_cast<size_t>(Catalog.Count()));
  for (int i = kBulkFirst; i < Catalog.Count(); ++i) {
    const std::string key = std::to_string(Catalog.Items(i).Code);
    // Two sentinel defaults tell a missing key from a value.
    const int32_t a = Ini.ReadInteger(kParameterSection, key, 0);
    const int32_t b = Ini.ReadInteger(kParameterSection, key, 1);
    if (a == b) out[static_cast<size_t>(i)] = a;
  }
  return out;
}

bool Compared(const CTRKParameters& Catalog, int I, bool SettingsOnly) {
  return I >= kBulkFirst && I < Catalog.Count() &&
         !(SettingsOnly && Catalog.Items(I).SkipOnWriteAll);
}

TComparison CompareValues(const CTRKParameters& Catalog, const TValues& First,
                          const TValues& Second, bool SettingsOnly, bool FirstMayLack) {
  TComparison out;
  const auto at = [](const TValues& V, int I) {
    return static_cast<size_t>(I) < V.size() ? V[static_cast<size_t>(I)] : std::nullopt;
  };
  for (int i = kBulkFirst; i < Catalog.Count(); ++i) {
    if (!Compared(Catalog, i, SettingsOnly)) continue;
    const std::optional<int64_t> x = at(First, i);
    const std::optional<int64_t> y = at(Second, i);
    if (FirstMayLack && !x) continue;
    ++out.Compared;
    if (x != y) out.Differ.push_back({i, x, y});
  }
  return out;
}

std::string LimitBroken(const CParameter& Record, int64_t Raw, const TValueWords& Words) {
  // The raw limits of some lists stop short of their last items.
  if (IsListKind(Record.Kind)) return NamesItem(Record, Raw) ? "" : Words.NotInList;
  if (Raw >= Record.MinValue && Raw <= Record.MaxValue) return {};
  const bool below = Raw < Record.MinValue;
  const int64_t limit = below ? Record.MinValue : Record.MaxValue;
  std::string shown = std::to_string(limit);
  try {
    shown = Record.ValueToText(limit);
  } catch (const std::runtime_error&) {
    // Shown raw.
  }
  return std::string(below ? Words.Below : Words.Above) + " " + shown +
         (Record.Units.empty() ? "" : " " + Record.Units) + " (" + Words.Raw + " " +
         std::to_string(limit) + ")";
}

std::string ValueText(const CParameter* Record, int64_t Raw, const TValueWords& Words) {
  if (Record) {
    const std::string broken = LimitBroken(*Record, Raw, Words);
    if (!broken.empty()) return std::to_string(Raw) + " (" + Words.Raw + ", " + broken + ")";
    try {
      return Record->ValueToText(Raw);
    } catch (const std::runtime_error&) {
      // A value the catalog cannot show is shown raw.
    }
  }
  return std::to_string(Raw);
}

}  // namespace qx25::params
