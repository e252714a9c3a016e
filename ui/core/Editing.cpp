#include "ui/core/Editing.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <optional>
#include <stdexcept>

#include "params/Encodings.h"
#include "params/NumberText.h"
#include "serial/SerialDispatcher.h"
#include "ui/core/GridText.h"

namespace qx25::ui {

namespace {

constexpr char kWritten[] = "Операция записи проведена.";
constexpr char kWriteFailed[] = "Ошибка при проведении операции записи.";
constexpr char kNoDriver[] = "Невозможно провести операцию записи.";
constexpr char kNewAddress[] = "Новый сетевой адрес: ";
constexpr char kIdNumber[] = ", ID-номер: ";
constexpr char kReadFailed[] = "Ошибка чтения параметра ";
constexpr int kValueBoxHeight = 16;  // the least; a larger font gets more
constexpr int kMinRowHeight = 20;
constexpr int kRowTextMargin = 5;
constexpr int kEditorIndent = 5;
constexpr int kPairGap = 5;
constexpr int kAllDigits = 40;  // more than any 64-bit value has

using namespace qx25::params;

// X rounded to Decimals places, in the number format in use; "" for no number.
std::string NumberText(double X, int Decimals) {
  const double raw = std::nearbyint(X * CParameter::Power10(Decimals));
  if (!std::isfinite(raw) || std::fabs(raw) > 9.2e18) return {};
  return FormatNumber(static_cast<int64_t>(raw), Decimals, kAllDigits, Decimals, NumberFormat());
}

void IntegerBox(TEditorChoice& Choice, int64_t Min, int64_t Max, int64_t Start) {
  Choice.Kind = TEditorChoice::Number;
  Choice.Min = static_cast<double>(Min);
  Choice.Max = static_cast<double>(Max);
  Choice.Start = static_cast<double>(Start);
}

}  // namespace

TEditorChoice EditorFor(const CParameter& P) {
  TEditorChoice choice;
  auto list = [&](int Selected) {
    choice.Kind = TEditorChoice::List;
    choice.Items = P.ValueNames;
    choice.Enabled = !choice.Items.empty();
    choice.Selected =
        Selected >= 0 && Selected < static_cast<int>(choice.Items.size()) ? Selected : -1;
  };
  switch (P.Kind) {
    case pkNumber:
    case pkCommonNumber:
    case pkAddress:
      choice.Kind = TEditorChoice::Number;
      choice.Decimals = P.Decimals;
      choice.Step = P.Step();
      choice.Min = P.ScaledMin();
      choice.Max = P.ScaledMax();
      // Where the "Запись" cell starts: a value below the limits shows as the limit.
      choice.Start =
          static_cast<double>(std::max(P.Value, P.MinValue)) / CParameter::Power10(P.Decimals);
      break;
    case pkList:
    case pkCommonList:
      list(static_cast<int32_t>(static_cast<uint32_t>(P.Value)));
      break;
    case pkPair:
      IntegerBox(choice, 0, kPairHighMax, 0);
      choice.Kind = TEditorChoice::Pair;
      choice.Max2 = static_cast<double>(kPairLowMax);
      break;
    case pkTemperature:
      IntegerBox(choice, kTemperatureMin, kTemperatureMax, TemperatureOfRaw(P.Value));
      break;
    case pkNegativeTemperature:
      IntegerBox(choice, kNegativeTemperatureMin, 0, TemperatureOfRaw(P.Value));
      break;
    case pkTemperatureList:
      list(TemperatureListItemOfRaw(P.Value));
      break;
    default:
      break;
  }
  return choice;
}

TTypedValue ReadEdit(const CParameter& P, const TEdit& Edit) {
  const TNumberFormat& format = NumberFormat();
  switch (P.Kind) {
    case pkList:
    case pkCommonList:
    case pkTemperatureList:
      return ReadChosen(P, Edit.Item);
    case pkPair:
      if (Edit.Typed) return ReadTypedPair(P, Edit.Text, Edit.Text2, format);
      return ReadTypedPair(P, NumberText(Edit.Value, 0), NumberText(Edit.Value2, 0), format);
    default:
      break;
  }
  if (Edit.Typed) return ReadTyped(P, Edit.Text, format);
  const bool number = P.Kind == pkNumber || P.Kind == pkCommonNumber || P.Kind == pkAddress;
  // A value is written out as the reader's own text and read back: one set of rules.
  return ReadTyped(P, NumberText(Edit.Value, number ? P.Decimals : 0), format);
}

std::optional<double> ShownValue(const CParameter& P, std::string_view Text) {
  const TTypedValue typed = ReadTyped(P, Text, NumberFormat());
  if (!typed) return std::nullopt;
  if (P.Kind == pkTemperature || P.Kind == pkNegativeTemperature)
    return static_cast<double>(TemperatureOfRaw(*typed.Raw));
  return static_cast<double>(*typed.Raw) / CParameter::Power10(P.Decimals);
}

int64_t CommittedRaw(const CParameter& P, const TEdit& Edit) {
  const TTypedValue typed = ReadEdit(P, Edit);
  if (!typed) throw std::out_of_range(typed.Refusal);
  return *typed.Raw;
}

std::string ConfirmationDetail(const CParameter& P, const TEdit& Edit, int IdNumber) {
  try {
    const int64_t raw = CommittedRaw(P, Edit);
    if (P.Kind == pkAddress)
      return kNewAddress + std::to_string(raw) + kIdNumber + std::to_string(IdNumber);
    std::string text = P.Caption + ": " + ReadValueText(P, raw);
    // A list item is a name, which takes no unit.
    if (!P.Units.empty() && P.ValueNames.empty()) text += " " + P.Units;
    return text;
  } catch (const std::exception&) {
    return {};  // nothing chosen, or a value without a text
  }
}

TRect ValueBox(const TRect& Cell, int BoxHeight) {
  const int height = std::max(BoxHeight, kValueBoxHeight);
  const int top = (Cell.Top + Cell.Bottom) / 2 - height / 2;
  return {Cell.Left + kEditorIndent, top, Cell.Right - kEditorIndent, top + height};
}

TEditorPlace EditorPlace(const TRect& Cell, int EditorHeight, bool Pair) {
  const int height = std::max(EditorHeight, kEditorHeight);
  // On the box's middle: the classic 18-pixel editor starts where the box does.
  const int top = (Cell.Top + Cell.Bottom) / 2 - (height - 2) / 2;
  TEditorPlace place;
  place.First = {Cell.Left + kEditorIndent, top, Cell.Right - kEditorIndent, top + height};
  if (Pair) {
    const int middle = (place.First.Left + place.First.Right) / 2 - kPairGap;
    place.Second = {middle + kPairGap, top, 2 * middle - place.First.Left, top + height};
    place.First.Right = middle;
  }
  return place;
}

int RowHeight(int NameTextHeight, int LimitsTextHeight, int BoxHeight, int EditorHeight) {
  return std::max({NameTextHeight + kRowTextMargin, LimitsTextHeight + kRowTextMargin,
                   kMinRowHeight, std::max(BoxHeight, kValueBoxHeight) + 2 * kValueBoxOutline,
                   std::max(EditorHeight, kEditorHeight) + 2});
}

namespace {

TTypedValue ReadField(const char* Field, std::string_view Text, int64_t Min, int64_t Max) {
  TTypedValue typed = ReadTypedInteger(Text, Min, Max, NumberFormat());
  if (!typed) typed.Refusal = std::string(Field) + ": " + typed.Refusal;
  return typed;
}

}  // namespace

TTargetRead ReadTarget(TQX25* Driver, std::string_view PortText, std::string_view AddressText) {
  const TTypedValue port = ReadField(kPortField, PortText, kPortMin, kPortMax);
  if (!port) return {std::nullopt, port.Refusal};
  const TTypedValue address = ReadField(kAddressField, AddressText, kAddressMin, kAddressMax);
  if (!address) return {std::nullopt, address.Refusal};
  return {TTarget{Driver, static_cast<int>(*port.Raw), static_cast<int>(*address.Raw)}, {}};
}

TTypedValue IdNumberFor(const CParameter& P, std::string_view IdNumberText) {
  if (P.Kind != pkAddress) return {0, {}};
  return ReadField(kIdNumberField, IdNumberText, kIdNumberMin, kIdNumberMax);
}

std::string ReadOne(const TTarget& Line, CParameter& P) {
  const std::optional<TLinkMode> mode = LinkModeOf(P.Kind);
  std::string text;
  int64_t value = -1;
  if (Line.Driver && mode) {
    try {
      value = Line.Driver->ReadParam(*mode, Line.Port, Line.Address, P.Code, P.Digits);
      text = ReadValueText(P, value);
    } catch (const std::exception&) {
      text.clear();  // a failed read shows as "Ошибка чтения!", not as a message
    }
  }
  P.ReadError = text.empty();
  if (!text.empty()) P.Value = value;
  return text;
}

std::string ReadFailureText(const TTarget& Line, const CParameter& P) {
  if (!Line.Driver) return {};
  try {
    if (Line.Driver->GetPortStatus(Line.Port) != qx25::serial::kLineNoDevice) return {};
  } catch (const std::exception&) {
    return {};
  }
  return kReadFailed + std::to_string(P.Code) + ": " + kLineLost;
}

TStatus WriteOne(const TTarget& Line, CParameter* P, const TEdit& Edit, int IdNumber) {
  const std::optional<TLinkMode> mode = P ? LinkModeOf(P->Kind) : std::nullopt;
  if (!Line.Driver || !P || !mode)
    return {Line.Driver && P ? kWriteFailed : kNoDriver, TStatusColour::Normal, {}};
  TStatus status{kWriteFailed, TStatusColour::Normal, {}};
  const TTypedValue typed = ReadEdit(*P, Edit);
  if (!typed) {
    // Sent nothing: the edit gives no value the controller has a use for.
    status.Message += " (" + typed.Refusal + ")";
    status.Colour = TStatusColour::Failure;
    return status;
  }
  const int64_t raw = *typed.Raw;
  try {
    status.Message.clear();  // a driver that raises leaves no message
    if (*mode == lmAddress) P->Code = IdNumber;
    const bool ok =
        Line.Driver->WriteParam(*mode, Line.Port, Line.Address, P->Code, P->Digits, raw);
    status.Message = ok ? kWritten : kWriteFailed;
    status.Colour = ok ? TStatusColour::Success : TStatusColour::Failure;
    if (ok) {
      P->Value = raw;
      P->ReadText = ReadValueText(*P, raw);
    }
  } catch (const std::exception& Error) {
    status.Colour = TStatusColour::Failure;
    status.Detail = Error.what();
  }
  return status;
}

}  // namespace qx25::ui
