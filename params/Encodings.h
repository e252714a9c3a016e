// How the temperature and pair kinds carry a number in a raw value. The
// service window, the catalog's texts and qx25ctl all use these, so that a
// value written by one reads back the same in the others.
#pragma once

#include <cstdint>

namespace qx25::params {

// Temperatures: a raw value above this stands for a negative temperature,
// raw 200 + t for -t; 200 itself means "sensor off".
inline constexpr int64_t kTemperatureBias = 200;
inline constexpr int64_t kTemperatureMin = -99;
inline constexpr int64_t kTemperatureMax = 200;
inline constexpr int64_t kNegativeTemperatureMin = -20;
// What the temperature list's two items write: sensor on, sensor off.
inline constexpr int64_t kTemperatureListRaw[] = {1, 200};

// A pair: thousands part and remainder, as "12 - 345".
inline constexpr int64_t kPairBase = 1000;
inline constexpr int64_t kPairHighMax = 999999999;
inline constexpr int64_t kPairLowMax = kPairBase - 1;

inline constexpr int64_t TemperatureOfRaw(int64_t Raw) {
  return Raw > kTemperatureBias ? kTemperatureBias - Raw : Raw;
}
inline constexpr int64_t RawOfTemperature(int64_t T) { return T >= 0 ? T : kTemperatureBias - T; }

// The list item whose raw value Raw is, or -1 when it is neither.
inline constexpr int TemperatureListItemOfRaw(int64_t Raw) {
  return Raw == kTemperatureListRaw[0] ? 0 : Raw == kTemperatureListRaw[1] ? 1 : -1;
}

inline constexpr int64_t RawOfPair(int64_t High, int64_t Low) { return High * kPairBase + Low; }
inline constexpr int64_t PairHigh(int64_t Raw) { return Raw / kPairBase; }
inline constexpr int64_t PairLow(int64_t Raw) { return Raw % kPairBase; }

}  // namespace qx25::params
