// What a user types, read once for every program: the service windows, the
// console and qx25ctl hand the text of a value to these functions and write
// the raw value they return, or show the refusal where the user looks.
//
// A text is read as the system prints it, and as a user writes it by hand:
// - surrounding blanks (space, tab, U+00A0, U+202F) are ignored;
// - the decimal separator is the format's own, and '.' and ',' besides,
//   unless that character is the format's group separator: "1,234" is 1234
//   where ',' groups (the default and English formats), 1.234 where ',' is the
//   decimal separator (Russian) or nothing groups (the "C" locale);
// - the integer part may be grouped by thousands with a space, U+00A0,
//   U+202F or the format's group separator; every group after the first has
//   three digits, and no separator stands at either end;
// - a '-' (or U+2212) only where the value may be negative, a '+' anywhere;
// - decimals beyond the parameter's are refused, not rounded, unless they are
//   zeros;
// - the exponent form the grid writes for wide values ("1.0E+02") is read as
//   the number it writes;
// - no clamping, no earlier value: a text is read as a
//   whole or refused with its reason.
// Refusals are Russian, as the window's status bar shows them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ParameterUnit.h"

namespace qx25::params {

// A raw value to write, or why there is none.
struct TTypedValue {
  std::optional<int64_t> Raw;
  std::string Refusal;  // empty when Raw holds a value

  explicit operator bool() const { return Raw.has_value(); }
};

inline constexpr char kChooseFromList[] = "Выберите значение из списка";
inline constexpr char kNotInList[] = "нет в списке";

// The text of P's value as an editor or a command line gives it:
// - the number kinds: the scaled value;
// - the temperatures: the temperature (raw 215 is "-15");
// - a pair: "A - B", the thousands part and the remainder;
// - the lists: the raw value in decimal, or the name of an item.
TTypedValue ReadTyped(const CParameter& P, std::string_view Text, const TNumberFormat& Format);
// A pair typed in two boxes.
TTypedValue ReadTypedPair(const CParameter& P, std::string_view High, std::string_view Low,
                          const TNumberFormat& Format);
// The item chosen in a list editor (-1: none).
TTypedValue ReadChosen(const CParameter& P, int Item);
// A plain integer field: a port, an address, an ID number.
TTypedValue ReadTypedInteger(std::string_view Text, int64_t Min, int64_t Max,
                             const TNumberFormat& Format);
// A plain decimal field (a dose, a price) with Decimals decimals: the value,
// Min and Max all count in its last decimal ("12,34" with 2 is 1234).
TTypedValue ReadTypedDecimal(std::string_view Text, int Decimals, int64_t Min, int64_t Max,
                             const TNumberFormat& Format);

// What a number box shows for Raw: every digit, P's decimals, grouped as the
// grid groups; ReadTyped reads it back as Raw.
std::string TypedText(const CParameter& P, int64_t Raw, const TNumberFormat& Format);

}  // namespace qx25::params
