// Scaling, raw values and the texts of values, on the catalog's own records
// and on records built for the kinds the catalog does not use.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "params/NumberText.h"
#include "params/ParameterUnit.h"

using qx25::params::FormatNumber;

namespace {

const TNumberFormat kDot{".", ","};
const TNumberFormat kRussian{",", "\u00A0"};  // no-break space, as a Russian locale groups

class ValueText : public ::testing::Test {
 protected:
  void SetUp() override {
    Catalog.Fill();
    SetNumberFormat(kDot);
  }
  void TearDown() override { SetNumberFormat(kDot); }

  std::string Text(int Index, int64_t Raw) { return Catalog.Items(Index).ValueToText(Raw); }

  CTRKParameters Catalog;
};

CParameter Record(uint8_t Kind, uint8_t Digits = 3, uint8_t Decimals = 0) {
  return CParameter(1, Digits, Decimals, "", "", 0, 0, 999, Kind, 2, false);
}

TEST_F(ValueText, ScalesNumbersAndGroupsThousands) {
  ASSERT_EQ(Catalog.Items(20).Code, 16);
  EXPECT_EQ(Text(20, 120000), "1,200.00");
  EXPECT_EQ(Text(20, 0), "600.00");  // below the lower limit: the limit
  EXPECT_EQ(Text(20, 750000), "7,500.00");
  ASSERT_EQ(Catalog.Items(9).Code, 5);
  EXPECT_EQ(Text(9, 4), "0.4");
  EXPECT_EQ(Text(9, 500), "50.0");
  EXPECT_EQ(Text(48, 99999999), "999,999.99");  // code 44: eight digits, two decimals
  EXPECT_EQ(Text(46, 5), "0.05");               // code 42

  SetNumberFormat(kRussian);
  EXPECT_EQ(Text(20, 120000), "1\u00A0200,00");
  EXPECT_EQ(Text(9, 4), "0,4");
  EXPECT_EQ(Text(48, 99999999), "999\u00A0999,99");

  SetNumberFormat({".", ""});  // a locale that does not group
  EXPECT_EQ(Text(20, 120000), "1200.00");
}

TEST_F(ValueText, LeavesAddressAndCommonNumbersUnscaled) {
  const CParameter& address = Catalog.Items(0);
  EXPECT_EQ(address.ValueToText(57), "57");
  EXPECT_EQ(address.Step(), 1.0);
  EXPECT_EQ(address.ScaledMax(), 99.0);

  // Decimals still give the places shown and the factor of RawValue.
  const CParameter common = Record(pkCommonNumber, 4, 2);
  EXPECT_EQ(common.ScaledValue(5), 5.0);
  EXPECT_EQ(common.Step(), 1.0);
  EXPECT_EQ(common.ValueToText(5), "5.00");
  EXPECT_EQ(common.RawValue(1.5), 150);
}

TEST_F(ValueText, WritesANumberInExponentFormPastItsDigits) {
  CParameter one = Record(pkNumber, 1);
  one.MaxValue = 999999999999999;
  EXPECT_EQ(one.ValueToText(0), "0");
  EXPECT_EQ(one.ValueToText(9), "9");
  EXPECT_EQ(one.ValueToText(10), "1E+01");
  EXPECT_EQ(one.ValueToText(12), "1E+01");
  EXPECT_EQ(one.ValueToText(15), "2E+01");
  EXPECT_EQ(one.ValueToText(95), "1E+02");  // rounds up into the next power
  EXPECT_EQ(one.ValueToText(999999999999999), "1E+15");
}

// The controller keeps the limit-card code with 15 digits: every one of them
// is shown and sent.
TEST_F(ValueText, ShowsTheLimitCardCodeWhole) {
  const CParameter& card = Catalog.Items(6);
  ASSERT_EQ(card.Caption, "Код лимитной карты");
  EXPECT_EQ(card.Digits, 15);
  EXPECT_EQ(static_cast<int64_t>(card.ScaledMax()), 999999999999999);
  EXPECT_EQ(card.ValueToText(123456789012345), "123,456,789,012,345");
  EXPECT_EQ(card.ValueToText(999999999999999), "999,999,999,999,999");
  EXPECT_EQ(card.RawValue(123456789012345.0), 123456789012345);
}

TEST_F(ValueText, NamesListValuesThatHaveANameOnly) {
  ASSERT_EQ(Catalog.Items(7).Code, 2);
  EXPECT_EQ(Text(7, 1), "1-Первая сторона");
  EXPECT_EQ(Text(7, 7), "7");
  EXPECT_EQ(Text(7, INT64_MAX), "9223372036854775807");
  ASSERT_EQ(Catalog.Items(4).Code, 4);
  EXPECT_EQ(Text(4, 0), "0-Сбросить");
  EXPECT_EQ(Text(4, 1), "1");
  EXPECT_EQ(Text(42, 3), "3-датчик \"Метран\"");
  // Code 32 carries names but is a number: its value is shown as one.
  ASSERT_EQ(Catalog.Items(36).Code, 32);
  EXPECT_EQ(Text(36, 1), "1");
}

TEST_F(ValueText, ShowsTemperaturesAbove200AsNegative) {
  ASSERT_EQ(Catalog.Items(40).Kind, pkTemperature);
  EXPECT_EQ(Text(40, 200), "200");
  EXPECT_EQ(Text(40, 201), "-1");
  EXPECT_EQ(Text(40, 250), "-50");
  EXPECT_EQ(Text(40, 0), "0");
  EXPECT_EQ(Text(40, INT64_MAX), "-9223372036854775607");
  EXPECT_EQ(Record(pkTemperatureList).ValueToText(220), "-20");
  EXPECT_EQ(Record(pkNegativeTemperature).ValueToText(1), "1");
}

TEST_F(ValueText, SplitsPairsAtTheThousands) {
  const CParameter pair = Record(pkPair);
  EXPECT_EQ(pair.ValueToText(56789), "56 - 789");
  EXPECT_EQ(pair.ValueToText(999), "0 - 999");
  EXPECT_EQ(pair.ValueToText(1000), "1 - 0");
}

TEST_F(ValueText, RefusesNegativeValuesAndUnknownKinds) {
  auto expectRefused = [](const CParameter& P, int64_t V) {
    try {
      P.ValueToText(V);
      ADD_FAILURE() << "kind " << int(P.Kind) << " value " << V << " gave a text";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "Ошибка при преобразовании параметра в текстовый вид");
    }
  };
  for (uint8_t kind = 0; kind <= 8; ++kind) {
    expectRefused(Record(kind), -1);
    expectRefused(Record(kind), INT64_MIN);
  }
  for (int i = 0; i < Catalog.Count(); ++i) expectRefused(Catalog.Items(i), -1);
  expectRefused(Record(9), 0);
  expectRefused(Record(255), 5);
}

TEST(Scaling, Power10CountsOnlyPositiveExponents) {
  EXPECT_EQ(CParameter::Power10(0), 1.0);
  EXPECT_EQ(CParameter::Power10(-3), 1.0);
  EXPECT_EQ(CParameter::Power10(3), 1000.0);
  EXPECT_EQ(CParameter::Power10(22), 1e22);
  EXPECT_TRUE(std::isinf(CParameter::Power10(400)));
  EXPECT_TRUE(std::isinf(CParameter::Power10(INT32_MAX)));  // and returns
}

TEST(Scaling, RawValueRoundsTiesToEvenAndRefusesWhatDoesNotFit) {
  EXPECT_EQ(Record(pkNumber, 3, 1).RawValue(0.4), 4);
  const CParameter whole = Record(pkNumber, 3, 0);
  EXPECT_EQ(whole.RawValue(2.5), 2);
  EXPECT_EQ(whole.RawValue(3.5), 4);
  EXPECT_EQ(whole.RawValue(-2.5), -2);
  EXPECT_EQ(whole.RawValue(2.6), 3);
  EXPECT_EQ(whole.RawValue(-9223372036854775808.0), INT64_MIN);
  EXPECT_EQ(Record(pkNumber, 6, 2).RawValue(1200.0), 120000);
  for (double bad : {9223372036854775808.0, 1e300, -1e300, std::numeric_limits<double>::infinity(),
                     std::numeric_limits<double>::quiet_NaN()})
    EXPECT_THROW(whole.RawValue(bad), std::out_of_range) << bad;
  // A scale that overflows the double.
  EXPECT_THROW(Record(pkNumber, 3, 255).RawValue(1e100), std::out_of_range);
}

TEST(NumberText, RoundsToDigitsAndDecimals) {
  EXPECT_EQ(FormatNumber(1234567, 2, 6, 2, kDot), "12,345.70");
  EXPECT_EQ(FormatNumber(9999, 2, 3, 2, kDot), "100.00");
  EXPECT_EQ(FormatNumber(99999, 2, 3, 2, kDot), "1.00E+03");
  EXPECT_EQ(FormatNumber(123456, 0, 3, 0, kRussian), "1,23E+05");
  EXPECT_EQ(FormatNumber(123, 3, 5, 1, kDot), "0.1");
  EXPECT_EQ(FormatNumber(5, 4, 3, 3, kDot), "0.001");  // half away from zero
  EXPECT_EQ(FormatNumber(4, 4, 3, 3, kDot), "0.000");
  EXPECT_EQ(FormatNumber(0, 2, 6, 2, kDot), "0.00");
  EXPECT_EQ(FormatNumber(7, 0, 0, 0, kDot), "7");  // no digits count as one
  EXPECT_EQ(FormatNumber(1, 255, 3, 0, kDot), "0");
  EXPECT_EQ(FormatNumber(1000, 0, 4, 0, kDot), "1,000");
  EXPECT_EQ(FormatNumber(100, 0, 3, 0, kDot), "100");
}

TEST(NumberText, WritesNegativeAndExtremeValues) {
  EXPECT_EQ(FormatNumber(-1234567, 2, 6, 2, kDot), "-12,345.70");
  EXPECT_EQ(FormatNumber(-4, 3, 3, 3, kDot), "-0.004");
  EXPECT_EQ(FormatNumber(-4, 4, 3, 3, kDot), "0.000");  // rounds to zero: no sign
  EXPECT_EQ(FormatNumber(-15, 0, 1, 0, kDot), "-2E+01");
  EXPECT_EQ(FormatNumber(INT64_MIN, 0, 19, 0, kDot), "-9,223,372,036,854,775,808");
  EXPECT_EQ(FormatNumber(INT64_MAX, 0, 19, 0, kRussian),
            "9\u00A0223\u00A0372\u00A0036\u00A0854\u00A0775\u00A0807");
  EXPECT_EQ(FormatNumber(INT64_MIN, 0, 2, 1, kDot), "-9.2E+18");
  EXPECT_EQ(FormatNumber(999999999999999, 0, 1, 0, kDot), "1E+15");
}

TEST(NumberFormat, DefaultsToTheCLibraryLocale) {
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
  EXPECT_EQ(qx25::params::NumberFormatOfLocale(), (TNumberFormat{".", ""}));
  if (std::setlocale(LC_ALL, "ru_RU.UTF-8") != nullptr) {
    const TNumberFormat russian = qx25::params::NumberFormatOfLocale();
    EXPECT_EQ(russian.DecimalSeparator, ",");
    EXPECT_TRUE(russian.ThousandSeparator == "\u00A0" || russian.ThousandSeparator == "\u202F")
        << russian.ThousandSeparator;
  }
  std::setlocale(LC_ALL, saved.c_str());
}

TEST(NumberFormat, KeepsReferencesValidWhileAnotherThreadSetsIt) {
  SetNumberFormat(kDot);
  const TNumberFormat& before = NumberFormat();
  CTRKParameters catalog;
  catalog.Fill();
  std::thread setter([] {
    for (int i = 0; i < 2000; ++i) SetNumberFormat(i % 2 ? kRussian : kDot);
  });
  for (int i = 0; i < 2000; ++i) {
    const std::string text = catalog.Items(20).ValueToText(120000);
    ASSERT_TRUE(text == "1,200.00" || text == "1\u00A0200,00") << text;
  }
  setter.join();
  EXPECT_EQ(before, kDot);
  SetNumberFormat(kRussian);
  EXPECT_EQ(NumberFormat(), kRussian);
  EXPECT_EQ(before, kDot);
  SetNumberFormat(kDot);
}

}  // namespace
