// The technician's toolbox over whole controllers: parameter files that say
// where they came from, diff (a controller or a file against a file) and
// drift (the controllers of a line against each other).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Commands.h"
#include "params/Comparison.h"
#include "params/FileInfo.h"
#include "params/ParameterUnit.h"

namespace qx25::tools {

// diff and drift: the values compared are not the same everywhere.
inline constexpr int kExitDiffer = 1;

void AddDiffCommand(CLI::App& App, Context& Ctx);
void AddDriftCommand(CLI::App& App, Context& Ctx);
void AddProvisionCommand(CLI::App& App, Context& Ctx);

// The [Info] of a file qx25ctl writes for the controller at Address on S's line.
TFileInfo FileInfoOf(Session& S, int Address);

// The bulk range's raw values of one controller, by catalog index; nothing
// where a value could not be read.
using Values = params::TValues;

// The bulk range as the parameter file at Path gives it. Throws BadArguments
// when the file cannot be read.
Values ValuesOfFile(const std::string& Path, const CTRKParameters& Catalog);

// Reads the bulk range of the controller at Address (only the codes write-all
// writes when Settings). A code that could not be read has no value and its
// reason in Problems; after a few line failures in a row the rest are not
// tried. Progress goes to Show.
Values ReadController(Session& S, int Address, const CTRKParameters& Catalog, bool Settings,
                      const std::function<void(const CParameter&)>& Show,
                      std::vector<std::string>& Problems);

// --settings: compare only what write-all writes.
void AddSettingsFlag(CLI::App& Sub, bool& Settings);

// Whether catalog index I is compared (only what write-all writes when
// Settings).
using params::Compared;

// A value as diff and drift show it: the catalog's text, or Absent.
std::string Shown(const CParameter& P, const std::optional<int64_t>& Raw, const char* Absent);

// After set-address: whether the controller answers at NewAddress, and no
// longer at OldAddress (0 when not known), into R. Throws LineFailure, with
// what to try, when it does not answer at the new address; returns kExitLine
// when something still answers at the old one.
int CheckNewAddress(Session& S, int OldAddress, int NewAddress, Node& R);

// "1-8", "1,3,5-7": network addresses, each 1..99 and given once. Throws
// BadArguments.
std::vector<int> ParseAddressList(const std::string& Text);

}  // namespace qx25::tools
