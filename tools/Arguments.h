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

// A decimal number (digits and one point) within Min..Max, or above Min when
// AboveMin; nan, inf, exponents and hex are not numbers here.
CLI::Validator DecimalNumber(double Min, double Max, bool AboveMin = false);

// Whether Text is a plain decimal number: digits, at most one point, an
// optional leading minus; Value gets it.
bool ParseDecimal(const std::string& Text, double& Value);

}  // namespace qx25::tools
