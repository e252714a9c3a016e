// The number text of the catalog, kept apart from the records so that it can be
// checked on its own: exact decimal arithmetic on the raw integer, so that no
// binary rounding of the scaled double ever shows in a text.
#pragma once

#include <cstdint>
#include <string>

#include "ParameterUnit.h"

namespace qx25::params {

// Raw × 10^-Scale, rounded to Digits significant digits and to Decimals
// places (half away from zero), written with exactly Decimals digits after the
// decimal separator and the integer part grouped in thousands; in exponent
// form when the integer part would need more than Digits digits. Digits below
// 1 count as 1, Scale and Decimals below 0 as 0. A value that rounds to zero
// has no sign.
std::string FormatNumber(int64_t Raw, int Scale, int Digits, int Decimals,
                         const TNumberFormat& Format);

// The separators of the C library's current numeric locale, converted to
// UTF-8 through the current character type; an empty thousands separator when
// the locale does not group. A separator that cannot be converted falls back
// to the TNumberFormat default. Not cached: NumberFormat() caches its first use.
TNumberFormat NumberFormatOfLocale();

// Code point to UTF-8; empty for surrogates and values above U+10FFFF.
std::string EncodeUtf8(char32_t CodePoint);

}  // namespace qx25::params
