// Decimal digit fields: every number on the line, in requests and replies
// alike, travels as a fixed count of ASCII digits, most significant first.
// One codec for the driver, the simulator, the fuzzers and the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace qx25 {

// The most digits an int64_t holds whatever they are.
inline constexpr size_t kMaxInt64Digits = 18;
// A reply byte with both of these bits set is read as a digit.
inline constexpr uint8_t kDigitBits = 0x30;

// 10 to the power N as a double, the scale of a value with N decimals: 1 for
// N <= 0, and infinite past 10^308 (the loop stops there).
constexpr double DecimalScale(int N) {
  double p = 1.0;
  for (int i = 0; i < N && p <= 1e308; ++i) p *= 10.0;
  return p;
}

// 10 to the power N, for N 0..18: exact, since every such power is a double.
// A larger N gives 10^18, the largest power an int64_t holds.
constexpr int64_t PowerOfTen(int N) {
  constexpr int kMost = static_cast<int>(kMaxInt64Digits);
  return static_cast<int64_t>(DecimalScale(N < kMost ? N : kMost));
}

// The largest value that Digits decimal digits carry.
constexpr int64_t MaxDigitsValue(int Digits) { return PowerOfTen(Digits) - 1; }

// Writes the Count lowest decimal digits of Value, zero-padded.
constexpr void WriteDigits(uint8_t* Out, uint64_t Value, size_t Count) {
  for (size_t i = Count; i > 0; --i) {
    Out[i - 1] = static_cast<uint8_t>('0' + Value % 10);
    Value /= 10;
  }
}

// The value of Count digits; nothing when a byte is not '0'..'9' or there are
// more than 18 digits. Zero digits make 0. What a controller asks of a request.
constexpr std::optional<int64_t> ParseDigits(const uint8_t* Digits, size_t Count) {
  if (Count > kMaxInt64Digits) return std::nullopt;
  int64_t value = 0;
  for (size_t i = 0; i < Count; ++i) {
    if (Digits[i] < '0' || Digits[i] > '9') return std::nullopt;
    value = value * 10 + (Digits[i] - '0');
  }
  return value;
}

// The value of at most Count digits that stand Stride bytes apart (2 inside a
// reply frame, where each byte is followed by its complement), read as the
// host reads a controller: each digit is its byte minus '0', unchecked. With
// UntilNonDigit the field ends early at the first byte that is no kDigitBits
// byte. Count is at most 15, the longest field on the line, so no sum
// overflows.
constexpr int64_t ReadDigitsLoose(const uint8_t* First, int Count, int Stride,
                                  bool UntilNonDigit = false) {
  int64_t value = 0;
  for (int i = 0; i < Count; ++i) {
    const uint8_t b = First[i * Stride];
    if (UntilNonDigit && (b & kDigitBits) != kDigitBits) break;
    value = value * 10 + (b - '0');
  }
  return value;
}

}  // namespace qx25
