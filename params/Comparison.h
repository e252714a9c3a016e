// A controller's parameter values against a parameter file's (or one file's
// against another's), code by code, and the text a value is shown with. The
// command-line tool's diff and drift and the console's comparison share it,
// so that they never disagree on what differs or on how a value reads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "IniFile.h"
#include "ParameterUnit.h"

namespace qx25::params {

// The bulk range's raw values of one controller or file, by catalog index;
// nothing where a value could not be read or the file has none.
using TValues = std::vector<std::optional<int64_t>>;

// The bulk range as a parameter file gives it, read as the window and
// write-all read it: a code without a key (or with a value that is no whole
// number) has no value.
TValues ValuesOfFile(const TIniFile& Ini, const CTRKParameters& Catalog);

// A read of every parameter gives up after this many line failures in a
// row: the line is then dead, not noisy.
inline constexpr int kMaxLineFailuresInARow = 3;

// Whether catalog index I is compared: in the bulk range, and a setting
// rather than a counter or a reading when SettingsOnly (what write-all writes).
bool Compared(const CTRKParameters& Catalog, int I, bool SettingsOnly);

struct TDifference {
  int Index;  // in the catalog
  std::optional<int64_t> First;
  std::optional<int64_t> Second;
};

struct TComparison {
  std::vector<TDifference> Differ;  // in catalog order
  int Compared = 0;                 // codes that had something to compare
};

// First against Second over the compared codes. A code First lacks is left
// out when FirstMayLack (a controller that did not give it: its reason is
// reported apart, not as a difference); otherwise a value on one side only
// differs.
TComparison CompareValues(const CTRKParameters& Catalog, const TValues& First,
                          const TValues& Second, bool SettingsOnly, bool FirstMayLack);

// How a value outside the catalog's limits is worded, in each program's
// language (UTF-8).
struct TValueWords {
  const char* Below;  // "below the lower limit"
  const char* Above;  // "above the upper limit"
  const char* Raw;    // "raw": a number as the controller stores it
  const char* NotInList;  // a list's value that names none of its items
};
inline constexpr TValueWords kEnglishValueWords{"below the lower limit", "above the upper limit",
                                                "raw", "not an item of the list"};
inline constexpr TValueWords kRussianValueWords{"ниже нижнего предела", "выше верхнего предела",
                                                "без масштаба", "нет в списке"};

// Which limit of the catalog Raw breaks ("below the lower limit 600.00
// кг/м3 (raw 60000)"); empty when it keeps to them. A list's value keeps to
// them when it names an item (NotInList otherwise), as its editor takes it.
std::string LimitBroken(const CParameter& Record, int64_t Raw,
                        const TValueWords& Words = kEnglishValueWords);
// The catalog's text of Raw (list names, temperatures, scaled numbers), or
// Raw in decimal where the catalog has none. A value outside the limits is
// shown as it is, raw, with the limit it breaks: the catalog's text would
// show the limit instead.
std::string ValueText(const CParameter* Record, int64_t Raw,
                      const TValueWords& Words = kEnglishValueWords);

}  // namespace qx25::params
