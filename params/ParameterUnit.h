// The catalog of nozzle-controller parameters.
//
// One description serves the service window, the read-all and write-all
// workers, the parameter files and the tools: for each of the 50 entries it
// says how the value is addressed on the link (code, digit count, link mode),
// how its raw integer is scaled and limited, how it is turned into text, on
// which tab it is shown and whether write-all leaves it out. It also carries
// the entry's working value and the outcome of its last read. The catalog does
// no input or output of its own.
//
// Texts (captions, units, value names, messages) are UTF-8.
//
// Thread safety: SetNumberFormat and NumberFormat may be called from any
// thread. Records and the catalog take no lock: whoever shares them between
// threads keeps their accesses apart.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

/**
 * @file ParameterUnit.h
 * @brief The catalog of the 50 nozzle-controller parameters: how each is
 * addressed on the link, scaled, limited and shown.
 *
 * A host reads a parameter through TQX25::ReadParam with the record's Code,
 * Digits and LinkModeOf(Kind), and shows it with ValueToText.
 * Texts are UTF-8. Nothing here does input or output, and nothing takes a
 * lock but SetNumberFormat() and NumberFormat().
 */

// libqx25.so exports the catalog and hides everything else it holds; the
// same mark as in PortDispatcher.h, so that either header may come first.
#ifndef QX25_EXPORT
#define QX25_EXPORT __attribute__((visibility("default")))
#endif

/// How a value is shown, edited and addressed.
enum TParamKind : uint8_t {
  pkNumber,               ///< scaled by 10^-Decimals
  pkList,                 ///< one of ValueNames
  pkPair,                 ///< thousands part " - " remainder
  pkTemperature,          ///< above 200 stands for 200 - value
  pkTemperatureList,      ///< temperature, chosen from ValueNames
  pkNegativeTemperature,  ///< temperature, edited from -20 to 0
  pkCommonNumber,         ///< command common to the dispensers, unscaled
  pkCommonList,           ///< command common to the dispensers, one of ValueNames
  pkAddress               ///< network address programmed by ID number, unscaled
};

/// The first argument of TQX25::ReadParam and TQX25::WriteParam.
enum TLinkMode : uint8_t { lmParameter, lmCommon, lmAddress };

/// Kinds 0 to 5 address a parameter of the controller, 6 and 7 a common
/// command, 8 the network address. Any other kind has no link mode: such a
/// record is never sent, and its callers mark it as failed.
QX25_EXPORT std::optional<TLinkMode> LinkModeOf(uint8_t Kind);

/// The catalog's size after Fill, and the first index of the bulk range that
/// read-all, write-all and the parameter files cover: kBulkFirst to Count() - 1.
/// The entries before it are the address record, the five common commands and
/// the limit-card code.
inline constexpr int kCatalogSize = 50;
inline constexpr int kBulkFirst = 7;  ///< index of the bulk range's first entry (code 2)

/// Separators of the number text, UTF-8.
struct TNumberFormat {
  std::string DecimalSeparator = ".";   ///< between the integer part and the decimals
  std::string ThousandSeparator = ",";  ///< between groups of three digits; may be empty
  bool operator==(const TNumberFormat&) const = default;  ///< both separators alike
};

/// The window sets the separators from the user's locale. Until something sets
/// them, they are the C library's current locale's (localeconv, read once at
/// first use: decimal_point, and thousands_sep where the locale groups digits).
QX25_EXPORT void SetNumberFormat(const TNumberFormat& Format);
/// The reference stays valid and unchanged for the life of the program, even
/// when the format is set again later.
QX25_EXPORT const TNumberFormat& NumberFormat();

/// One catalog entry: how its value travels, is limited and is shown, with
/// its working value and the outcome of its last read.
class QX25_EXPORT CParameter {
 public:
  /// A record as the catalog's table gives it; ValueNames, ReadText and
  /// ReadError start empty.
  CParameter(uint8_t Code, uint8_t Digits, uint8_t Decimals, std::string Caption, std::string Units,
             int64_t Value, int64_t MinValue, int64_t MaxValue, uint8_t Kind, uint8_t TabIndex,
             bool SkipOnWriteAll);

  int32_t Code;      ///< number on the link; the address record holds the ID number here
  uint8_t Digits;    ///< digits a write sends; significant digits of the number text
  uint8_t Decimals;  ///< implied decimal places
  std::string Caption;  ///< the name the window shows (Russian)
  std::string Units;    ///< "мс", "кг/м3"...; empty where the value has none
  int64_t Value;     ///< working raw value
  int64_t MaxValue;  ///< raw limits, used by the number kinds only
  uint8_t Kind;      ///< a TParamKind
  uint8_t TabIndex;  ///< 0 common commands, 1 address programming, 2 parameters
  bool SkipOnWriteAll;  ///< write-all leaves it out (read-only and protected entries)
  std::vector<std::string> ValueNames;  ///< entry i names raw value i
  std::string ReadText;                 ///< text of the value last read or written
  int64_t MinValue;  ///< raw lower limit, used by the number kinds only
  bool ReadError;  ///< the last read failed

  /// 10^N by repeated multiplication; 1.0 for N <= 0.
  static double Power10(int N);
  /// Raw / 10^Decimals for pkNumber; Raw unchanged for every other kind.
  double ScaledValue(int64_t Raw) const;
  double Step() const;       ///< ScaledValue(1)
  double ScaledMin() const;  ///< ScaledValue(MinValue)
  double ScaledMax() const;  ///< ScaledValue(MaxValue)
  /// X × 10^Decimals (for every kind) to the nearest integer, a tie going to the
  /// even neighbour. Throws std::out_of_range when X is not a number or the
  /// result lies outside the signed 64-bit range.
  int64_t RawValue(double X) const;

  /// The text of raw value V:
  /// - pkNumber, pkCommonNumber, pkAddress: the larger of ScaledValue(V) and
  ///   ScaledMin, rounded to Digits significant digits (half away from zero),
  ///   with exactly Decimals digits after the decimal separator and the integer
  ///   part grouped in thousands, separators from NumberFormat(). When the
  ///   integer part would need more than Digits digits, the exponent form
  ///   instead: Digits significant digits, the exponent after "E" with its sign
  ///   and at least two digits ("1E+01" for 12 with Digits 1, "1.23E+05" for
  ///   123456 with Digits 3). A Digits of 0 counts as 1.
  /// - pkList, pkCommonList: ValueNames[V], or V in decimal when it has no name.
  /// - pkPair: V div 1000, " - ", V mod 1000.
  /// - pkTemperature, pkTemperatureList, pkNegativeTemperature: V, or 200 - V
  ///   when V is above 200.
  /// Throws std::runtime_error "Ошибка при преобразовании параметра в текстовый
  /// вид" when V is negative or Kind is above 8.
  std::string ValueToText(int64_t V) const;
};

/// The ordered catalog; indices count from 0. It owns its records.
///
///     CTRKParameters catalog;
///     catalog.Fill();
///     const CParameter& density = catalog.Items(20);  // code 16
///     int64_t raw = driver->ReadParam(*LinkModeOf(density.Kind), 3, 1, density.Code,
///                                     density.Digits);
///     if (raw >= 0) std::puts(density.ValueToText(raw).c_str());
class QX25_EXPORT CTRKParameters {
 public:
  /// Makes the catalog the 50 records of the table, with their initial values.
  /// Called once after construction; a later call starts again from the table
  /// (references to the old records are then invalid).
  void Fill();
  int Count() const;  ///< 50 after Fill(); 0 before
  /// Throws std::out_of_range outside 0..Count()-1.
  CParameter& Items(int Index);
  const CParameter& Items(int Index) const;  ///< as the other Items()

 private:
  std::vector<CParameter> Records;
};
