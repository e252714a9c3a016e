#include "ui/core/GridText.h"

#include <algorithm>
#include <exception>

#include "params/NumberText.h"
#include "params/TypedNumber.h"

namespace qx25::ui {

namespace {

constexpr const char* kTabCaptions[kTabCount] = {"Общие команды", "Программирование адреса",
                                                 "Программирование параметров"};
constexpr const char* kHeader[ColumnCount] = {"Код", "Имя параметра", "Ограничения", "Чтение",
                                              "Запись"};
constexpr char kReadError[] = "Ошибка чтения!";
constexpr char kHintRead[] = "Дважды щелкните на поле для чтения параметра";
constexpr char kHintWrite[] = "Нажмите Enter для записи параметра";
constexpr char kLimitsList[] = "<список>";
constexpr char kLimitsPair[] = "от 0 до 999 л/мин.";
constexpr char kLimitsTemperature[] = "от -99 до +200 OC (200 - датчик отключен)";
constexpr char kLimitsNegativeTemperature[] = "от -20 до 0 OC";
constexpr char kOutOfLimits[] = "вне пределов ";
constexpr char kRangeDash[] = " … ";
constexpr char kNoItems[] = "вне пределов: список пуст";
constexpr char kLeftOut[] = "не записан при записи всех параметров: ";

// A limit of a number kind as ValueToText writes a pkNumber value, but with
// every digit: a record's small digit count would put 100 as "1.0E+02".
std::string LimitText(const CParameter& P, int64_t Raw) {
  constexpr int kAllDigits = 40;  // more than any 64-bit value has
  const int scale = P.Kind == pkNumber ? P.Decimals : 0;
  return qx25::params::FormatNumber(Raw, scale, kAllDigits, P.Decimals, NumberFormat());
}

bool IsNumber(uint8_t Kind) {
  return Kind == pkNumber || Kind == pkCommonNumber || Kind == pkAddress;
}

bool IsList(uint8_t Kind) { return Kind == pkList || Kind == pkCommonList; }

}  // namespace

std::string TabCaption(int Tab) { return Tab >= 0 && Tab < kTabCount ? kTabCaptions[Tab] : ""; }

std::string HeaderCaption(int Column) {
  return Column >= 0 && Column < ColumnCount ? kHeader[Column] : "";
}

CParameter* RecordOfRow(CTRKParameters* Catalog, int Row) {
  return Catalog && Row >= 1 && Row <= Catalog->Count() ? &Catalog->Items(Row - 1) : nullptr;
}

std::string DescriptionText(const CParameter& P) {
  std::string text = P.Caption;
  if (!P.Units.empty()) text += " (" + P.Units + ")";
  if (!P.ValueNames.empty()) {
    text += ":";
    for (size_t i = 0; i < P.ValueNames.size(); ++i)
      text += (i == 0 ? "\r\n  " : ";\r\n  ") + P.ValueNames[i];
    // The old toolkit's Trim took every byte up to the blank off the end.
    while (static_cast<unsigned char>(text.back()) <= ' ') text.pop_back();
  }
  return text;
}

std::string LimitsText(const CParameter& P) {
  if (IsNumber(P.Kind))
    return "от " + LimitText(P, P.MinValue) + " до " + LimitText(P, P.MaxValue) + " " + P.Units;
  switch (P.Kind) {
    case pkPair:
      return kLimitsPair;
    case pkTemperature:
    case pkTemperatureList:
      return kLimitsTemperature;
    case pkNegativeTemperature:
      return kLimitsNegativeTemperature;
    default:
      return kLimitsList;  // the lists, and any unknown kind
  }
}

TCell CellOf(const CParameter& P, int Column, const std::string& LeftOut) {
  TCell cell;
  switch (Column) {
    case ColCode:
      cell.Text = std::to_string(P.Code);
      break;
    case ColName:
      cell.Text = DescriptionText(P);
      break;
    case ColLimits:
      cell.Text = LimitsText(P);
      break;
    case ColRead:
      cell.Text = P.ReadError ? kReadError : P.ReadText;
      if (!P.ReadError && !P.ReadText.empty()) cell.Note = Refusal(P, P.Value);
      if (!cell.Note.empty() && IsList(P.Kind) && !P.ValueNames.empty()) {
        // A value the list has no name for shows as its number, said so.
        cell.Note = qx25::params::kNotInList;
        cell.Text += std::string(" (") + qx25::params::kNotInList + ")";
      }
      break;
    case ColWrite:
      // What an edit starts from: the larger of Value and MinValue. A value
      // that a write-all would refuse is marked.
      try {
        cell.Text = P.ValueToText(std::max(P.Value, P.MinValue));
      } catch (const std::exception&) {
        cell.Text.clear();  // a kind without a text shows an empty box
      }
      cell.Note = Refusal(P, P.Value);
      if (cell.Note.empty() && !LeftOut.empty()) cell.Note = kLeftOut + LeftOut;
      break;
    default:
      break;
  }
  cell.OutOfLimits = !cell.Note.empty();
  return cell;
}

std::string CellHintOf(const CParameter& P, int Column, const std::string& LeftOut) {
  if (Column != ColRead && Column != ColWrite) return {};
  const TCell cell = CellOf(P, Column, LeftOut);
  std::string hint = cell.Text.empty() ? "" : cell.Text + "\n";
  hint += Column == ColRead ? kHintRead : kHintWrite;
  if (!cell.Note.empty()) hint += "\n" + cell.Note;
  return hint;
}

std::string ReadValueText(const CParameter& P, int64_t V) {
  std::string text = P.ValueToText(V);  // refuses what has no text
  if (IsNumber(P.Kind) && V < P.MinValue) text = LimitText(P, V);
  return text;
}

std::string Refusal(const CParameter& P, int64_t Raw) {
  if (IsList(P.Kind)) {
    const auto items = static_cast<int64_t>(P.ValueNames.size());
    if (items == 0) return kNoItems;
    if (Raw >= 0 && Raw < items) return {};
    return kOutOfLimits + std::string("0") + kRangeDash + std::to_string(items - 1);
  }
  if (!IsNumber(P.Kind) || (Raw >= P.MinValue && Raw <= P.MaxValue)) return {};
  return kOutOfLimits + LimitText(P, P.MinValue) + kRangeDash + LimitText(P, P.MaxValue);
}

bool ShownOnTab(const CParameter& P, int Tab) { return P.TabIndex == Tab; }

std::optional<int> CurrentRowOnTab(const CTRKParameters& Catalog, int Tab, int Current) {
  if (Current >= 0 && Current < Catalog.Count() && ShownOnTab(Catalog.Items(Current), Tab))
    return Current;
  for (int row = 0; row < Catalog.Count(); ++row)
    if (ShownOnTab(Catalog.Items(row), Tab)) return row;
  return std::nullopt;
}

}  // namespace qx25::ui
