// Controller parameters as qx25ctl reads and writes them: by the catalog's
// description (caption, units, scaling, value names, digit count), over the
// driver's ReadParam and WriteParam, the way the service window does.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Commands.h"
#include "params/Comparison.h"
#include "params/ParameterUnit.h"

namespace qx25::tools {

void AddBulkCommands(CLI::App& App, Context& Ctx);

// The catalog record of the controller parameter with Code (a record whose
// link mode is lmParameter), or null.
const CParameter* FindParameter(const CTRKParameters& Catalog, int Code);
// The record of the common command with Code, or null.
const CParameter* FindCommonCommand(const CTRKParameters& Catalog, int Code);

// Code, caption, the value's text, units and the raw value of one row; the
// value blank when there is none.
Node ValueRow(const CParameter* Record, int Code, std::optional<int64_t> Raw);
// The catalog's text of a value, and the limit it breaks, as the console
// shows them too.
using params::LimitBroken;
using params::ValueText;

// Throws BadArguments unless Raw can be sent in the record's digit count.
void CheckEncodable(const CParameter& Record, int64_t Raw, const std::string& Where);

// Reads one parameter. Throws Refused when the controller refuses, LineFailure
// when the reply carries no value, ESerialIO when the exchange fails.
int64_t ReadValue(Session& S, int Address, int Code);

// Writes Raw with the record's digit count and reads the parameter back to
// learn whether the controller took it (the write's own reply does not say).
// Returns the value read back; nothing for the password code, which reads
// back a confirmation rather than the value. Throws as ReadValue, and
// LineFailure when the write went unanswered.
std::optional<int64_t> WriteValue(Session& S, int Address, const CParameter& Record, int64_t Raw);

// Every mistake of a parameter file that write-all would send from, one
// "line N: ..." text each: keys that are no bulk-range code and codes given
// twice (both allowed with Force), values that are no whole number, do not
// fit their digits or (unless Force) break the catalog's limits.
std::vector<std::string> FileProblems(const std::string& Path, const CTRKParameters& Catalog,
                                      bool Force);

// Throws BadArguments unless Path is a parameter file write-all sends from
// (with Force, as write-all --force does): a file the INI reader cannot use,
// one without the parameter section, or every problem FileProblems lists,
// after "PATH: Outcome, N problem(s):" and before Hint.
void CheckParameterFile(const std::string& Path, const CTRKParameters& Catalog, bool Force,
                        const std::string& Outcome, const std::string& Hint);

using params::kMaxLineFailuresInARow;

}  // namespace qx25::tools
