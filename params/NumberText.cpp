#include "NumberText.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace qx25::params {

namespace {

// A decimal number as its digits, most significant first, and the power of
// ten of the first digit. Digits past the end are zeros; no digits is zero.
struct TDecimal {
  std::string Digits;
  int Exponent = 0;

  char DigitAt(int Power) const {
    const int i = Exponent - Power;
    return i >= 0 && i < static_cast<int>(Digits.size()) ? Digits[i] : '0';
  }
};

// Keeps the powers of ten down to Last, rounding half away from zero.
void RoundAt(TDecimal& X, int Last) {
  const int keep = X.Exponent - Last + 1;
  if (keep >= static_cast<int>(X.Digits.size())) return;
  const bool up = keep >= 0 && X.Digits[keep] >= '5';
  if (keep <= 0) {
    // Every digit lies below the last kept power: the result is 0 or 10^Last.
    X.Digits = up ? "1" : "";
    X.Exponent = Last;
    return;
  }
  X.Digits.resize(keep);
  if (!up) return;
  for (int i = keep - 1; i >= 0; --i) {
    if (X.Digits[i] != '9') {
      ++X.Digits[i];
      return;
    }
    X.Digits[i] = '0';
  }
  X.Digits = "1";  // all nines carried over
  ++X.Exponent;
}

std::string GroupThousands(const std::string& Integer, const std::string& Separator) {
  std::string out;
  const size_t n = Integer.size();
  for (size_t i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) out += Separator;
    out += Integer[i];
  }
  return out;
}

bool IsUtf8(const std::string& Text) {
  size_t i = 0;
  while (i < Text.size()) {
    const auto lead = static_cast<unsigned char>(Text[i]);
    const size_t n = lead < 0x80           ? 1
                     : (lead >> 5) == 0x6  ? 2
                     : (lead >> 4) == 0xE  ? 3
                     : (lead >> 3) == 0x1E ? 4
                                           : 0;
    if (n == 0 || i + n > Text.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(Text[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

// A separator in the locale's own character set, as UTF-8.
std::optional<std::string> ConvertSeparator(const char* Text) {
  std::string out;
  std::mbstate_t state{};
  const char* p = Text;
  size_t left = std::strlen(Text);
  while (left > 0) {
    if (static_cast<unsigned char>(*p) < 0x80) {  // ASCII is the same in every charset we meet
      out += *p++;
      --left;
      state = std::mbstate_t{};
      continue;
    }
    wchar_t wide = 0;
    const size_t n = std::mbrtowc(&wide, p, left, &state);
    if (n == 0 || n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2)) return std::nullopt;
    const std::string bytes = EncodeUtf8(static_cast<char32_t>(wide));
    if (bytes.empty()) return std::nullopt;
    out += bytes;
    p += n;
    left -= n;
  }
  return out;
}

// When the character type cannot read the separator (a UTF-8 numeric locale
// under the "C" character type, say), its bytes are taken as they are if they
// are UTF-8.
std::string LocaleSeparator(const char* Text, const std::string& Fallback) {
  if (Text == nullptr) return Fallback;
  if (std::optional<std::string> converted = ConvertSeparator(Text)) return *converted;
  return IsUtf8(Text) ? std::string(Text) : Fallback;
}

}  // namespace

std::string EncodeUtf8(char32_t C) {
  std::string out;
  if (C < 0x80) {
    out += static_cast<char>(C);
  } else if (C < 0x800) {
    out += static_cast<char>(0xC0 | (C >> 6));
    out += static_cast<char>(0x80 | (C & 0x3F));
  } else if (C < 0x10000) {
    if (C >= 0xD800 && C <= 0xDFFF) return {};
    out += static_cast<char>(0xE0 | (C >> 12));
    out += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (C & 0x3F));
  } else if (C <= 0x10FFFF) {
    out += static_cast<char>(0xF0 | (C >> 18));
    out += static_cast<char>(0x80 | ((C >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (C & 0x3F));
  }
  return out;
}

std::string FormatNumber(int64_t Raw, int Scale, int Digits, int Decimals,
                         const TNumberFormat& Format) {
  const int precision = std::max(Digits, 1);
  const int decimals = std::max(Decimals, 0);
  const bool negative = Raw < 0;
  // Unsigned negation: the magnitude of INT64_MIN does not fit a signed value.
  const uint64_t magnitude =
      negative ? uint64_t{0} - static_cast<uint64_t>(Raw) : static_cast<uint64_t>(Raw);

  TDecimal x;
  if (magnitude != 0) {
    x.Digits = std::to_string(magnitude);
    x.Exponent = static_cast<int>(x.Digits.size()) - 1 - std::max(Scale, 0);
    RoundAt(x, std::max(x.Exponent - precision + 1, -decimals));
  }
  const bool zero = x.Digits.empty();
  std::string out = negative && !zero ? "-" : "";

  if (!zero && x.Exponent + 1 > precision) {
    out += x.DigitAt(x.Exponent);
    if (precision > 1) {
      out += Format.DecimalSeparator;
      for (int p = x.Exponent - 1; p > x.Exponent - precision; --p) out += x.DigitAt(p);
    }
    out += x.Exponent < 0 ? "E-" : "E+";
    const std::string e = std::to_string(std::abs(x.Exponent));
    if (e.size() < 2) out += '0';
    return out + e;
  }

  std::string integer;
  if (zero || x.Exponent < 0) {
    integer = "0";
  } else {
    for (int p = x.Exponent; p >= 0; --p) integer += x.DigitAt(p);
  }
  out += GroupThousands(integer, Format.ThousandSeparator);
  if (decimals > 0) {
    out += Format.DecimalSeparator;
    for (int p = -1; p >= -decimals; --p) out += zero ? '0' : x.DigitAt(p);
  }
  return out;
}

TNumberFormat NumberFormatOfLocale() {
  const TNumberFormat defaults;
  TNumberFormat format;
  const std::lconv* conv = std::localeconv();
  if (conv == nullptr) return defaults;
  format.DecimalSeparator = LocaleSeparator(conv->decimal_point, defaults.DecimalSeparator);
  if (format.DecimalSeparator.empty()) format.DecimalSeparator = defaults.DecimalSeparator;
  // A locale that does not group has an empty grouping or starts it with CHAR_MAX.
  const char* grouping = conv->grouping;
  const bool groups = grouping != nullptr && grouping[0] > 0 && grouping[0] != CHAR_MAX;
  format.ThousandSeparator =
      groups ? LocaleSeparator(conv->thousands_sep, defaults.ThousandSeparator) : "";
  return format;
}

}  // namespace qx25::params

// The number format is read by the workers' threads and set by the window's:
// every format ever in use is kept, unchanged, so that a reference handed out
// by NumberFormat() never dangles or changes under its reader.
namespace {

struct TFormatStore {
  std::mutex Lock;
  std::vector<std::unique_ptr<const TNumberFormat>> Kept;
  std::atomic<const TNumberFormat*> Current{nullptr};

  // Called with Lock held.
  const TNumberFormat* Keep(const TNumberFormat& Format) {
    for (const auto& kept : Kept)
      if (*kept == Format) return kept.get();
    Kept.push_back(std::make_unique<const TNumberFormat>(Format));
    return Kept.back().get();
  }
};

TFormatStore& FormatStore() {
  static TFormatStore store;
  return store;
}

}  // namespace

void SetNumberFormat(const TNumberFormat& Format) {
  TFormatStore& store = FormatStore();
  const std::lock_guard<std::mutex> guard(store.Lock);
  store.Current.store(store.Keep(Format), std::memory_order_release);
}

const TNumberFormat& NumberFormat() {
  TFormatStore& store = FormatStore();
  if (const TNumberFormat* current = store.Current.load(std::memory_order_acquire)) return *current;
  const std::lock_guard<std::mutex> guard(store.Lock);
  if (store.Current.load(std::memory_order_relaxed) == nullptr)
    store.Current.store(store.Keep(qx25::params::NumberFormatOfLocale()),
                        std::memory_order_release);
  return *store.Current.load(std::memory_order_relaxed);
}
