// Validators for qx25ctl's numeric arguments. Numbers on the command line are
// always decimal: CLI11 on its own reads "010" as octal and "0x10" as hex,
// and a technician typing a code or a counter means neither.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <string>

namespace qx25::tools {

// A whole decimal number within Min..Max, leading zeros allowed; the text is
// handed on without them. Use with Option::transform.
CLI::Validator WholeNumber(int64_t Min, int64_t Max);

// A decimal number with at most Decimals decimals within Min..Max, or above
// Min when AboveMin, read as parameter values are (a decimal comma or point,
// the user's grouping); the text is handed on in the "C" locale's form. nan,
// inf, exponents and hex are not numbers here.
CLI::Validator DecimalNumber(double Min, double Max, bool AboveMin = false, int Decimals = 2);

// What the one reader refused a typed text for, to follow an English message.
std::string ReaderReason(const std::string& Refusal);

}  // namespace qx25::tools
