#include "Arguments.h"

#include <charconv>
#include <cstdio>
#include <sstream>

#include "params/TypedNumber.h"

namespace qx25::tools {

namespace {

// A limit as qx25ctl reads numbers back: plain digits, never "1e+09".
std::string Shown(double X) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6f", X);
  std::string plain = text;
  plain.erase(plain.find_last_not_of('0') + 1);
  if (plain.back() == '.') plain.pop_back();
  return plain;
}

}  // namespace

CLI::Validator WholeNumber(int64_t Min, int64_t Max) {
  const std::string range = std::to_string(Min) + ".." + std::to_string(Max);
  return CLI::Validator(
      [Min, Max, range](std::string& Text) -> std::string {
        const bool negative = !Text.empty() && Text[0] == '-';
        std::string digits = Text.substr(negative ? 1 : 0);
        if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos)
          return "\"" + Text + "\" is not a whole number";
        const size_t first = digits.find_first_not_of('0');
        digits = first == std::string::npos ? "0" : digits.substr(first);
        const std::string plain = (negative && digits != "0" ? "-" : "") + digits;
        int64_t value = 0;
        const auto r = std::from_chars(plain.data(), plain.data() + plain.size(), value);
        if (r.ec != std::errc() || value < Min || value > Max)
          return Text + " is out of range " + range;
        Text = plain;
        return {};
      },
      range);
}

std::string ReaderReason(const std::string& Refusal) { return " (" + Refusal + ")"; }

CLI::Validator DecimalNumber(double Min, double Max, bool AboveMin, int Decimals) {
  const std::string range =
      AboveMin ? "above " + Shown(Min) + ", up to " + Shown(Max) : Shown(Min) + ".." + Shown(Max);
  return CLI::Validator(
      [Min, Max, AboveMin, Decimals, range](std::string& Text) -> std::string {
        // The range is checked apart, so that its message names the option's units.
        constexpr int64_t kAny = 999'999'999'999'999'999;
        const params::TTypedValue typed =
            params::ReadTypedDecimal(Text, Decimals, -kAny, kAny, NumberFormat());
        if (!typed) {
          constexpr int kManyDecimals = 9;
          if (params::ReadTypedDecimal(Text, kManyDecimals, -kAny, kAny, NumberFormat()))
            return Text + " has more than " + std::to_string(Decimals) + " decimals";
          return "\"" + Text + "\" is not a number" + ReaderReason(typed.Refusal);
        }
        const double value = static_cast<double>(*typed.Raw) / CParameter::Power10(Decimals);
        if (value < Min || (AboveMin && value == Min) || value > Max)
          return Text + " is out of range " + range;
        char plain[48];
        std::snprintf(plain, sizeof plain, "%.*f", Decimals, value);
        Text = plain;
        return {};
      },
      range);
}

}  // namespace qx25::tools
