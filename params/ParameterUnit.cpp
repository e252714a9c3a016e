#include "ParameterUnit.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

#include "Encodings.h"
#include "NumberText.h"
#include "driver/HostContract.h"

// The catalog hands its link modes to ReadParam and WriteParam as they are.
static_assert(lmParameter == qx25::kLinkParameter && lmCommon == qx25::kLinkCommon &&
              lmAddress == qx25::kLinkAddress);

namespace {

constexpr const char* kMsgConversion = "Ошибка при преобразовании параметра в текстовый вид";

constexpr uint8_t kMaxKind = pkAddress;

constexpr const char* kPairSeparator = " - ";

}  // namespace

std::optional<TLinkMode> LinkModeOf(uint8_t Kind) {
  switch (Kind) {
    case pkNumber:
    case pkList:
    case pkPair:
    case pkTemperature:
    case pkTemperatureList:
    case pkNegativeTemperature:
      return lmParameter;
    case pkCommonNumber:
    case pkCommonList:
      return lmCommon;
    case pkAddress:
      return lmAddress;
    default:
      return std::nullopt;
  }
}

// Parameter names differ from the fields they fill only in case, so that
// neither shadows the other.
CParameter::CParameter(uint8_t code, uint8_t digits, uint8_t decimals, std::string caption,
                       std::string units, int64_t value, int64_t minValue, int64_t maxValue,
                       uint8_t kind, uint8_t tabIndex, bool skipOnWriteAll)
    : Code(code),
      Digits(digits),
      Decimals(decimals),
      Caption(std::move(caption)),
      Units(std::move(units)),
      Value(value),
      MaxValue(maxValue),
      Kind(kind),
      TabIndex(tabIndex),
      SkipOnWriteAll(skipOnWriteAll),
      MinValue(minValue),
      ReadError(false) {}

double CParameter::Power10(int N) { return qx25::DecimalScale(N); }

double CParameter::ScaledValue(int64_t Raw) const {
  const double x = static_cast<double>(Raw);
  return Kind == pkNumber ? x / Power10(Decimals) : x;
}

double CParameter::Step() const { return ScaledValue(1); }

double CParameter::ScaledMin() const { return ScaledValue(MinValue); }

double CParameter::ScaledMax() const { return ScaledValue(MaxValue); }

int64_t CParameter::RawValue(double X) const {
  // nearbyint rounds in the current mode, which is to nearest, ties to even.
  const double raw = std::nearbyint(X * Power10(Decimals));
  // 2^63 is exact in a double; converting anything outside [-2^63, 2^63) is undefined.
  constexpr double kLimit = 9223372036854775808.0;
  if (!(raw >= -kLimit && raw < kLimit))
    throw std::out_of_range("CParameter::RawValue: " + std::to_string(X) +
                            " gives no 64-bit raw value");
  return static_cast<int64_t>(raw);
}

std::string CParameter::ValueToText(int64_t V) const {
  if (V < 0 || Kind > kMaxKind) throw std::runtime_error(kMsgConversion);
  switch (Kind) {
    case pkNumber:
    case pkCommonNumber:
    case pkAddress: {
      // A value below the lower limit is shown as the limit. Both sides carry
      // the same scale, so the raw values compare as the scaled ones do.
      const int scale = Kind == pkNumber ? Decimals : 0;
      return qx25::params::FormatNumber(std::max(V, MinValue), scale, Digits, Decimals,
                                        NumberFormat());
    }
    case pkList:
    case pkCommonList:
      return static_cast<uint64_t>(V) < ValueNames.size() ? ValueNames[static_cast<size_t>(V)]
                                                          : std::to_string(V);
    case pkPair:
      return std::to_string(qx25::params::PairHigh(V)) + kPairSeparator +
             std::to_string(qx25::params::PairLow(V));
    default:  // the temperatures
      return std::to_string(qx25::params::TemperatureOfRaw(V));
  }
}

// Fill is with the table, in Catalog.cpp.

int CTRKParameters::Count() const { return static_cast<int>(Records.size()); }

CParameter& CTRKParameters::Items(int Index) {
  return const_cast<CParameter&>(std::as_const(*this).Items(Index));
}

const CParameter& CTRKParameters::Items(int Index) const {
  if (Index < 0 || Index >= Count())
    throw std::out_of_range("CTRKParameters::Items: index " + std::to_string(Index) +
                            " outside 0.." + std::to_string(Count() - 1));
  return Records[static_cast<size_t>(Index)];
}
