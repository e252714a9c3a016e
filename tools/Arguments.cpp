#include "Arguments.h"

#include <charconv>
#include <sstream>

namespace qx25::tools {

namespace {

std::string Shown(double X) {
  std::ostringstream text;
  text << X;
  return text.str();
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

bool ParseDecimal(const std::string& Text, double& Value) {
  const size_t start = !Text.empty() && Text[0] == '-' ? 1 : 0;
  const std::string body = Text.substr(start);
  if (body.empty() || body == "." || body.find_first_not_of("0123456789.") != std::string::npos ||
      body.find('.') != body.rfind('.'))
    return false;
  const auto r = std::from_chars(Text.data(), Text.data() + Text.size(), Value);
  return r.ec == std::errc() && r.ptr == Text.data() + Text.size();
}

CLI::Validator DecimalNumber(double Min, double Max, bool AboveMin) {
  const std::string range =
      AboveMin ? "above " + Shown(Min) + ", up to " + Shown(Max) : Shown(Min) + ".." + Shown(Max);
  return CLI::Validator(
      [Min, Max, AboveMin, range](std::string& Text) -> std::string {
        double value = 0;
        if (!ParseDecimal(Text, value)) return "\"" + Text + "\" is not a number";
        if (value < Min || (AboveMin && value == Min) || value > Max)
          return Text + " is out of range " + range;
        return {};
      },
      range);
}

}  // namespace qx25::tools
