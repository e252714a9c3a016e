#include "TypedNumber.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "Encodings.h"
#include "NumberText.h"

namespace qx25::params {

namespace {

constexpr char kEmpty[] = "не введено значение";
constexpr char kNotNumber[] = "не число";
constexpr char kNoSign[] = "отрицательное значение недопустимо";
constexpr char kWholeNumber[] = "нужно целое число";
constexpr char kOutOfLimits[] = "вне пределов ";
constexpr char kRangeDash[] = " … ";
constexpr char kNoItems[] = "вне пределов: список пуст";
constexpr char kMinusSign[] = "\xE2\x88\x92";  // U+2212, what some keyboards and texts give
constexpr std::array<std::string_view, 4> kBlanks = {" ", "\t", "\xC2\xA0", "\xE2\x80\xAF"};
constexpr int kAllDigits = 40;     // more than any 64-bit value has
constexpr size_t kMaxDigits = 18;  // 10^18 - 1 still fits an int64_t

bool StartsAt(std::string_view Text, size_t At, std::string_view Part) {
  return !Part.empty() && Text.substr(At, Part.size()) == Part;
}

size_t BlankAt(std::string_view Text, size_t At) {
  for (std::string_view blank : kBlanks)
    if (StartsAt(Text, At, blank)) return blank.size();
  return 0;
}

std::string_view Trimmed(std::string_view Text) {
  while (const size_t n = BlankAt(Text, 0)) Text.remove_prefix(n);
  for (bool more = true; more;) {
    more = false;
    for (std::string_view blank : kBlanks)
      if (Text.size() >= blank.size() && Text.substr(Text.size() - blank.size()) == blank) {
        Text.remove_suffix(blank.size());
        more = true;
      }
  }
  return Text;
}

// A decimal number as typed: sign, integer digits, decimal digits.
struct TNumberText {
  bool Negative = false;
  std::string Integer, Fraction;
};

// The exponent form the grid writes for a value wider than its digit count
// ("1.0E+02"): moves the decimal point; false when the exponent is malformed.
bool ApplyExponent(std::string_view Exponent, TNumberText& Out) {
  bool negative = false;
  if (!Exponent.empty() && (Exponent.front() == '+' || Exponent.front() == '-')) {
    negative = Exponent.front() == '-';
    Exponent.remove_prefix(1);
  }
  constexpr size_t kMaxExponentDigits = 2;  // beyond 10^99 nothing fits anyway
  if (Exponent.empty() || Exponent.size() > kMaxExponentDigits) return false;
  int shift = 0;
  for (char c : Exponent) {
    if (c < '0' || c > '9') return false;
    shift = shift * 10 + (c - '0');
  }
  std::string digits = Out.Integer + Out.Fraction;
  int point = static_cast<int>(Out.Integer.size()) + (negative ? -shift : shift);
  if (point < 0) {
    digits.insert(0, static_cast<size_t>(-point), '0');
    point = 0;
  }
  if (point > static_cast<int>(digits.size())) digits.resize(static_cast<size_t>(point), '0');
  Out.Integer = digits.substr(0, static_cast<size_t>(point));
  Out.Fraction = digits.substr(static_cast<size_t>(point));
  return true;
}

// Length of the decimal separator at At, or 0. '.' and ',' both mark the
// decimals unless the format groups with that very character.
size_t DecimalAt(std::string_view Text, size_t At, const TNumberFormat& Format) {
  if (StartsAt(Text, At, Format.DecimalSeparator)) return Format.DecimalSeparator.size();
  if (StartsAt(Text, At, Format.ThousandSeparator)) return 0;
  return Text[At] == '.' || Text[At] == ',' ? 1 : 0;
}

size_t GroupAt(std::string_view Text, size_t At, const TNumberFormat& Format) {
  if (StartsAt(Text, At, Format.ThousandSeparator)) return Format.ThousandSeparator.size();
  return BlankAt(Text, At);
}

// Empty when Text is a number; else why it is not.
std::string Scan(std::string_view Text, const TNumberFormat& Format, TNumberText& Out) {
  Text = Trimmed(Text);
  if (Text.empty()) return kEmpty;
  if (Text.front() == '+' || Text.front() == '-') {
    Out.Negative = Text.front() == '-';
    Text.remove_prefix(1);
  } else if (StartsAt(Text, 0, kMinusSign)) {
    Out.Negative = true;
    Text.remove_prefix(sizeof kMinusSign - 1);
  }
  bool decimals = false, grouped = false;
  size_t group = 0;  // digits since the last group separator
  for (size_t i = 0; i < Text.size();) {
    const char c = Text[i];
    if (c >= '0' && c <= '9') {
      (decimals ? Out.Fraction : Out.Integer) += c;
      ++group;
      ++i;
    } else if (const size_t d = decimals ? 0 : DecimalAt(Text, i, Format)) {
      if (grouped && group != 3) return kNotNumber;
      decimals = true;
      i += d;
    } else if (const size_t g = decimals ? 0 : GroupAt(Text, i, Format)) {
      // A group of one to three digits first, then groups of three.
      if (group == 0 || group > 3 || (grouped && group != 3)) return kNotNumber;
      grouped = true;
      group = 0;
      i += g;
    } else if ((c == 'E' || c == 'e') && !grouped &&
               (!Out.Integer.empty() || !Out.Fraction.empty())) {
      return ApplyExponent(Text.substr(i + 1), Out) ? "" : kNotNumber;
    } else {
      return kNotNumber;
    }
  }
  if (!decimals && grouped && group != 3) return kNotNumber;
  if (Out.Integer.empty() && Out.Fraction.empty()) return kNotNumber;
  return {};
}

std::string LimitText(int64_t Raw, int Scale, int Decimals, const TNumberFormat& Format) {
  return FormatNumber(Raw, Scale, kAllDigits, Decimals, Format);
}

std::string DecimalsRefusal(int Decimals) {
  if (Decimals <= 0) return kWholeNumber;
  return "не более " + std::to_string(Decimals) + (Decimals == 1 ? " знака" : " знаков") +
         " после запятой";
}

struct TLimits {
  int64_t Min = 0, Max = 0;
  int Scale = 0;  // of the limits' text
};

// Text × 10^Decimals within Limits.
TTypedValue ReadScaled(std::string_view Text, int Decimals, const TLimits& Limits,
                       const TNumberFormat& Format) {
  TNumberText number;
  if (std::string why = Scan(Text, Format, number); !why.empty()) return {{}, std::move(why)};
  if (number.Negative && Limits.Min >= 0) return {{}, kNoSign};
  const size_t decimals = static_cast<size_t>(std::max(Decimals, 0));
  std::string& fraction = number.Fraction;
  // Zeros past the last decimal change nothing; any other digit there is refused.
  while (fraction.size() > decimals && fraction.back() == '0') fraction.pop_back();
  if (fraction.size() > decimals) return {{}, DecimalsRefusal(Decimals)};
  fraction.resize(decimals, '0');
  std::string digits = number.Integer + fraction;
  digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
  const std::string outside = kOutOfLimits + LimitText(Limits.Min, Limits.Scale, Decimals, Format) +
                              kRangeDash + LimitText(Limits.Max, Limits.Scale, Decimals, Format);
  if (digits.size() > kMaxDigits) return {{}, outside};
  int64_t raw = 0;
  for (char c : digits) raw = raw * 10 + (c - '0');
  if (number.Negative) raw = -raw;
  if (raw < Limits.Min || raw > Limits.Max) return {{}, outside};
  return {raw, {}};
}

bool IsNumberKind(uint8_t Kind) {
  return Kind == pkNumber || Kind == pkCommonNumber || Kind == pkAddress;
}

bool IsListKind(uint8_t Kind) {
  return Kind == pkList || Kind == pkCommonList || Kind == pkTemperatureList;
}

// The raw value of list item Item, if it has one.
std::optional<int64_t> RawOfItem(const CParameter& P, size_t Item) {
  if (Item >= P.ValueNames.size()) return std::nullopt;
  if (P.Kind != pkTemperatureList) return static_cast<int64_t>(Item);
  if (Item < std::size(kTemperatureListRaw)) return kTemperatureListRaw[Item];
  return std::nullopt;
}

TTypedValue ReadListText(const CParameter& P, std::string_view Text, const TNumberFormat& Format) {
  if (P.ValueNames.empty()) return {{}, kNoItems};
  const std::string_view text = Trimmed(Text);
  if (text.empty()) return {{}, kChooseFromList};
  for (size_t item = 0; item < P.ValueNames.size(); ++item)
    if (text == P.ValueNames[item]) return ReadChosen(P, static_cast<int>(item));
  constexpr int64_t kAnyRaw = INT64_MAX / 10;
  const TTypedValue typed = ReadTypedInteger(text, 0, kAnyRaw, Format);
  if (!typed) return typed;
  for (size_t item = 0; item < P.ValueNames.size(); ++item)
    if (RawOfItem(P, item) == typed.Raw) return typed;
  return {{}, kNotInList};
}

TTypedValue ReadTemperature(const CParameter& P, std::string_view Text,
                            const TNumberFormat& Format) {
  const int64_t min = P.Kind == pkNegativeTemperature ? kNegativeTemperatureMin : kTemperatureMin;
  const int64_t max = P.Kind == pkNegativeTemperature ? 0 : kTemperatureMax;
  TTypedValue typed = ReadScaled(Text, 0, {min, max, 0}, Format);
  if (typed) typed.Raw = RawOfTemperature(*typed.Raw);
  return typed;
}

}  // namespace

TTypedValue ReadTyped(const CParameter& P, std::string_view Text, const TNumberFormat& Format) {
  if (IsNumberKind(P.Kind)) {
    const int scale = P.Kind == pkNumber ? P.Decimals : 0;
    return ReadScaled(Text, P.Decimals, {P.MinValue, P.MaxValue, scale}, Format);
  }
  if (IsListKind(P.Kind)) return ReadListText(P, Text, Format);
  if (P.Kind == pkTemperature || P.Kind == pkNegativeTemperature)
    return ReadTemperature(P, Text, Format);
  if (P.Kind == pkPair) {
    // The halves carry no sign: the first '-' is the one between them.
    const size_t dash = Text.find('-');
    if (dash == std::string_view::npos) return {{}, kNotNumber};
    return ReadTypedPair(P, Text.substr(0, dash), Text.substr(dash + 1), Format);
  }
  return {{}, kNotNumber};  // a kind no editor is made for
}

TTypedValue ReadTypedPair(const CParameter&, std::string_view High, std::string_view Low,
                          const TNumberFormat& Format) {
  TTypedValue high = ReadTypedInteger(High, 0, kPairHighMax, Format);
  if (!high) return high;
  TTypedValue low = ReadTypedInteger(Low, 0, kPairLowMax, Format);
  if (!low) return low;
  return {RawOfPair(*high.Raw, *low.Raw), {}};
}

TTypedValue ReadChosen(const CParameter& P, int Item) {
  if (!IsListKind(P.Kind)) return {{}, kNotNumber};
  if (P.ValueNames.empty()) return {{}, kNoItems};
  if (Item < 0) return {{}, kChooseFromList};
  if (const std::optional<int64_t> raw = RawOfItem(P, static_cast<size_t>(Item))) return {raw, {}};
  return {{}, kNotInList};
}

TTypedValue ReadTypedInteger(std::string_view Text, int64_t Min, int64_t Max,
                             const TNumberFormat& Format) {
  return ReadScaled(Text, 0, {Min, Max, 0}, Format);
}

TTypedValue ReadTypedDecimal(std::string_view Text, int Decimals, int64_t Min, int64_t Max,
                             const TNumberFormat& Format) {
  return ReadScaled(Text, Decimals, {Min, Max, Decimals}, Format);
}

std::string TypedText(const CParameter& P, int64_t Raw, const TNumberFormat& Format) {
  if (IsNumberKind(P.Kind)) return LimitText(Raw, P.Decimals, P.Decimals, Format);
  if (P.Kind == pkTemperature || P.Kind == pkNegativeTemperature)
    return std::to_string(TemperatureOfRaw(Raw));
  if (P.Kind == pkPair) return std::to_string(PairHigh(Raw)) + " - " + std::to_string(PairLow(Raw));
  for (size_t item = 0; item < P.ValueNames.size(); ++item)
    if (RawOfItem(P, item) == Raw) return P.ValueNames[item];
  return std::to_string(Raw);
}

}  // namespace qx25::params
