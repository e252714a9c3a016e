// What a technician types, read under the "C" locale's format (no grouping),
// the program's default (',' groups) and a Russian one (',' is the decimal
// separator): one table of texts, each with the raw value or the refusal.
#include <gtest/gtest.h>

#include <clocale>
#include <optional>
#include <string>

#include "params/NumberText.h"
#include "params/ParameterUnit.h"
#include "params/TypedNumber.h"

using namespace qx25::params;

namespace {

const TNumberFormat kC{".", ""};
const TNumberFormat kDot{".", ","};
const TNumberFormat kRussian{",", "\u00A0"};

// Catalog indices.
constexpr int kCard = 6, kCode3 = 8, kCode5 = 9, kCode10 = 14, kCode15 = 19, kCode16 = 20,
              kCode31 = 35, kCode36 = 40;

// A raw value, or the start of the refusal.
struct TOutcome {
  std::optional<int64_t> Raw;
  std::string Refusal;
};
TOutcome Raw(int64_t Value) { return {Value, {}}; }
TOutcome No(std::string Why) { return {std::nullopt, std::move(Why)}; }

struct TCase {
  int Index;
  const char* Text;
  TOutcome C, Dot, Russian;
};
TCase Same(int Index, const char* Text, const TOutcome& All) {
  return {Index, Text, All, All, All};
}

const std::string kNotNumber = "не число";

void Expect(const TOutcome& Want, const TTypedValue& Got, const std::string& What) {
  if (Want.Raw) {
    EXPECT_EQ(Got.Raw, Want.Raw) << What << ": " << Got.Refusal;
    return;
  }
  EXPECT_FALSE(Got.Raw) << What << " gave " << Got.Raw.value_or(0);
  EXPECT_EQ(Got.Refusal, Want.Refusal) << What;
}

class TypedNumber : public ::testing::Test {
 protected:
  void SetUp() override { Catalog.Fill(); }
  const CParameter& Item(int Index) { return Catalog.Items(Index); }
  CTRKParameters Catalog;
};

TEST_F(TypedNumber, ReadsTheTableOfTypedTextsUnderEachFormat) {
  const TOutcome wholeNumber = No("нужно целое число");
  const TCase cases[] = {
      // Integers and decimals, with either separator.
      Same(kCode15, "10", Raw(10)),
      Same(kCode5, "4.7", Raw(47)),
      {kCode5, "4,7", Raw(47), No(kNotNumber), Raw(47)},
      Same(kCode16, "950.5", Raw(95050)),
      {kCode16, "950,5", Raw(95050), No(kNotNumber), Raw(95050)},
      Same(kCode5, " 4.7 ", Raw(47)),
      Same(kCode5, "+4.7", Raw(47)),
      Same(kCode5, ".5", Raw(5)),
      Same(kCode5, "4.70", Raw(47)),  // zeros past the decimals change nothing
      // Grouped thousands: the grid's own output, and what a hand groups with.
      {kCode10, "1,234", wholeNumber, Raw(1234), wholeNumber},
      {kCode16, "1,200.00", No(kNotNumber), Raw(120000), No(kNotNumber)},
      {kCode16, "1\u00A0200,00", Raw(120000), No(kNotNumber), Raw(120000)},
      {kCode16, "1 100.5", Raw(110050), Raw(110050), Raw(110050)},
      Same(kCode16, "1\u202F200", Raw(120000)),
      Same(kCode10, "12 34", No(kNotNumber)),
      Same(kCode10, "1 2345", No(kNotNumber)),
      Same(kCode10, " 1234 ", Raw(1234)),
      // Limits: each end and one step past it.
      Same(kCode15, "3", Raw(3)),
      Same(kCode15, "2", No("вне пределов 3 … 15")),
      Same(kCode15, "15", Raw(15)),
      Same(kCode15, "16", No("вне пределов 3 … 15")),
      {kCode31, "1500", No("вне пределов 600.00 … 1200.00"), No("вне пределов 600.00 … 1,200.00"),
       No("вне пределов 600,00 … 1\u00A0200,00")},
      {kCode31, "599.99", No("вне пределов 600.00 … 1200.00"), No("вне пределов 600.00 … 1,200.00"),
       No("вне пределов 600,00 … 1\u00A0200,00")},
      Same(kCode31, "600", Raw(60000)),
      Same(kCode31, "1200", Raw(120000)),
      // The 15-digit card code, and past the 64-bit range.
      Same(kCard, "999999999999999", Raw(999999999999999)),
      Same(kCard, "123 456 789 012 345", Raw(123456789012345)),
      Same(kCard, "0", Raw(0)),
      {kCard, "1000000000000000", No("вне пределов 0 … 999999999999999"),
       No("вне пределов 0 … 999,999,999,999,999"),
       No("вне пределов 0 … 999\u00A0999\u00A0999\u00A0999\u00A0999")},
      {kCard, "99999999999999999999999", No("вне пределов 0 … 999999999999999"),
       No("вне пределов 0 … 999,999,999,999,999"),
       No("вне пределов 0 … 999\u00A0999\u00A0999\u00A0999\u00A0999")},
      // Decimals: one more than allowed is refused, never rounded.
      Same(kCode5, "4.75", No("не более 1 знака после запятой")),
      Same(kCode16, "950.555", No("не более 2 знаков после запятой")),
      Same(kCode15, "3.5", wholeNumber),
      // Signs: a temperature may be negative, nothing else here.
      Same(kCode5, "-1", No("отрицательное значение недопустимо")),
      Same(kCode36, "-15", Raw(215)),
      Same(kCode36, "\u221215", Raw(215)),
      Same(kCode36, "-99", Raw(299)),
      Same(kCode36, "-100", No("вне пределов -99 … 200")),
      Same(kCode36, "200", Raw(200)),
      Same(kCode36, "201", No("вне пределов -99 … 200")),
      Same(kCode36, "-1.5", wholeNumber),
      // Not numbers at all.
      Same(kCode5, "", No("не введено значение")),
      Same(kCode5, "  ", No("не введено значение")),
      Same(kCode5, "abc", No(kNotNumber)),
      Same(kCode5, "4.7x", No(kNotNumber)),
      Same(kCode5, "4.7.1", No(kNotNumber)),
      Same(kCode5, "1E+01", Raw(100)),  // the grid's form for a value wider than its digits
      Same(kCode5, "1.5E-01", No("не более 1 знака после запятой")),
      Same(kCode5, "1E+", No(kNotNumber)),
      Same(kCode5, "1 000E+01", No(kNotNumber)),
      Same(kCode5, "-", No(kNotNumber)),
      Same(kCode5, "+-4", No(kNotNumber)),
      // Lists: the raw value or an item's name.
      Same(kCode3, "2", Raw(2)),
      Same(kCode3, "1-Двухканальный", Raw(1)),
      Same(kCode3, "6", No("нет в списке")),
      Same(kCode3, "", No("Выберите значение из списка")),
  };
  for (const TCase& c : cases) {
    const std::string what = std::string(Item(c.Index).Caption) + " \"" + c.Text + "\"";
    Expect(c.C, ReadTyped(Item(c.Index), c.Text, kC), what + " (C)");
    Expect(c.Dot, ReadTyped(Item(c.Index), c.Text, kDot), what + " (1,234.5)");
    Expect(c.Russian, ReadTyped(Item(c.Index), c.Text, kRussian), what + " (ru)");
  }
}

TEST_F(TypedNumber, ReadsPairsListsAndPlainFields) {
  CParameter pair(18, 6, 0, "", "", 0, 0, 0, pkPair, 2, false);
  EXPECT_EQ(ReadTyped(pair, "12 - 345", kDot).Raw, 12345);
  EXPECT_EQ(ReadTyped(pair, "12-345", kRussian).Raw, 12345);
  EXPECT_EQ(ReadTypedPair(pair, "0", "999", kDot).Raw, 999);
  EXPECT_EQ(ReadTypedPair(pair, "12", "1000", kDot).Refusal, "вне пределов 0 … 999");
  EXPECT_EQ(ReadTypedPair(pair, "", "5", kDot).Refusal, "не введено значение");
  EXPECT_EQ(ReadTyped(pair, "12", kDot).Refusal, kNotNumber);
  EXPECT_EQ(ReadTyped(pair, "-12 - 5", kDot).Refusal, "не введено значение");

  CParameter sensor(37, 3, 0, "", "", 0, 0, 0, pkTemperatureList, 2, false);
  sensor.ValueNames = {"on", "off"};
  EXPECT_EQ(ReadTyped(sensor, "200", kDot).Raw, 200);
  EXPECT_EQ(ReadTyped(sensor, "off", kDot).Raw, 200);
  EXPECT_EQ(ReadTyped(sensor, "2", kDot).Refusal, "нет в списке");
  EXPECT_EQ(ReadChosen(sensor, 0).Raw, 1);
  EXPECT_EQ(ReadChosen(sensor, 1).Raw, 200);

  CParameter list = Item(kCode3);
  EXPECT_EQ(ReadChosen(list, 5).Raw, 5);
  EXPECT_EQ(ReadChosen(list, -1).Refusal, "Выберите значение из списка");
  EXPECT_EQ(ReadChosen(list, 6).Refusal, "нет в списке");
  EXPECT_EQ(ReadChosen(Item(kCode5), 0).Refusal, kNotNumber);  // not a list
  list.ValueNames.clear();
  EXPECT_EQ(ReadChosen(list, 0).Refusal, "вне пределов: список пуст");
  EXPECT_EQ(ReadTyped(list, "0", kDot).Refusal, "вне пределов: список пуст");

  EXPECT_EQ(ReadTypedInteger("32", 1, 32, kDot).Raw, 32);
  EXPECT_EQ(ReadTypedInteger("0", 1, 32, kDot).Refusal, "вне пределов 1 … 32");
  EXPECT_EQ(ReadTypedInteger("12 345", 0, 99999, kRussian).Raw, 12345);
  EXPECT_EQ(ReadTypedInteger("12,345", 0, 99999, kDot).Raw, 12345);
  EXPECT_EQ(ReadTypedInteger("-3", -5, 5, kDot).Raw, -3);
  EXPECT_EQ(ReadTypedInteger("1.5", 0, 5, kDot).Refusal, "нужно целое число");

  // Plain decimals: either separator where it does not group, limits in the field's units.
  EXPECT_EQ(ReadTypedDecimal("25,7", 2, 1, 9999949, kRussian).Raw, 2570);
  EXPECT_EQ(ReadTypedDecimal("25.70", 2, 1, 9999949, kRussian).Raw, 2570);
  EXPECT_EQ(ReadTypedDecimal("1\u202F200,5", 2, 1, 9999949, kRussian).Raw, 120050);
  EXPECT_EQ(ReadTypedDecimal("45,30", 2, 1, 9999949, kC).Raw, 4530);
  EXPECT_EQ(ReadTypedDecimal("1,200.5", 2, 1, 9999949, kDot).Raw, 120050);
  EXPECT_EQ(ReadTypedDecimal("0", 2, 1, 9999949, kDot).Refusal, "вне пределов 0.01 … 99,999.49");
  EXPECT_FALSE(ReadTypedDecimal("2.555", 2, 1, 9999949, kDot));
  EXPECT_FALSE(ReadTypedDecimal("nan", 2, 1, 9999949, kDot));
  EXPECT_EQ(ReadTypedDecimal("1.005", 2, 0, 99999999, kRussian).Refusal,
            "не более 2 знаков после запятой");
  EXPECT_EQ(ReadTypedDecimal("100000", 2, 0, 9999999, kRussian).Refusal,
            "вне пределов 0,00 … 99\u00A0999,99");
  EXPECT_EQ(ReadTypedDecimal("12,5", 0, 0, 99999, kRussian).Refusal, "нужно целое число");
}

// Whatever the grid and the editors show reads back as the value shown.
TEST_F(TypedNumber, TheSystemsOwnTextsReadBackAsThemselves) {
  for (const TNumberFormat& format : {kC, kDot, kRussian}) {
    SetNumberFormat(format);
    for (int index = 0; index < Catalog.Count(); ++index) {
      const CParameter& p = Item(index);
      if (p.Kind != pkNumber && p.Kind != pkCommonNumber && p.Kind != pkAddress) continue;
      for (int64_t raw : {p.MinValue, p.MaxValue, (p.MinValue + p.MaxValue) / 2}) {
        EXPECT_EQ(ReadTyped(p, TypedText(p, raw, format), format).Raw, raw) << p.Code;
        EXPECT_EQ(ReadTyped(p, p.ValueToText(raw), format).Raw, raw) << p.Code;
      }
    }
    for (int64_t raw : {0, 1, 5}) {
      const std::string name = Item(kCode3).ValueToText(raw);
      EXPECT_EQ(ReadTyped(Item(kCode3), name, format).Raw, raw) << name;
    }
    EXPECT_EQ(ReadTyped(Item(kCode36), TypedText(Item(kCode36), 215, format), format).Raw, 215);
  }
  SetNumberFormat(kDot);
}

TEST_F(TypedNumber, ReadsTheNumbersOfTheRealLocales) {
  for (const char* name : {"C", "ru_RU.UTF-8"}) {
    if (!std::setlocale(LC_ALL, name)) continue;  // not generated here
    const TNumberFormat format = NumberFormatOfLocale();
    const std::string shown = FormatNumber(100050, 2, 40, 2, format);
    EXPECT_EQ(ReadTyped(Item(kCode16), shown, format).Raw, 100050) << name << " " << shown;
  }
  std::setlocale(LC_ALL, "C");
}

}  // namespace
