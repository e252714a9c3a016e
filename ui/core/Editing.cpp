#include "ui/core/Editing.h"

#include <cmath>
#include <exception>
#include <optional>
#include <stdexcept>

#include "params/Encodings.h"

namespace qx25::ui {

namespace {

constexpr char kWritten[] = "Операция записи проведена.";
constexpr char kWriteFailed[] = "Ошибка при проведении операции записи.";
constexpr char kNoDriver[] = "Невозможно провести операцию записи.";

using namespace qx25::params;

int64_t Rounded(double X) {
  if (!std::isfinite(X) || std::fabs(X) > 9.2e18) throw std::out_of_range("value out of range");
  return std::llround(X);
}

void IntegerBox(TEditorSpec& Spec, int64_t Min, int64_t Max, int64_t Start) {
  Spec.Kind = TEditorSpec::Number;
  Spec.Min = static_cast<double>(Min);
  Spec.Max = static_cast<double>(Max);
  Spec.Start = static_cast<double>(Start);
}

}  // namespace

TEditorSpec EditorFor(const CParameter& P) {
  TEditorSpec spec;
  auto list = [&](int Selected) {
    spec.Kind = TEditorSpec::List;
    spec.Items = P.ValueNames;
    spec.Enabled = !spec.Items.empty();
    spec.Selected = Selected >= 0 && Selected < static_cast<int>(spec.Items.size()) ? Selected : -1;
  };
  switch (P.Kind) {
    case pkNumber:
    case pkCommonNumber:
    case pkAddress:
      spec.Kind = TEditorSpec::Number;
      spec.Decimals = P.Decimals;
      spec.Step = P.Step();
      spec.Min = P.ScaledMin();
      spec.Max = P.ScaledMax();
      spec.Start = static_cast<double>(P.Value) / CParameter::Power10(P.Decimals);
      break;
    case pkList:
    case pkCommonList:
      list(static_cast<int32_t>(static_cast<uint32_t>(P.Value)));
      break;
    case pkPair:
      IntegerBox(spec, 0, kPairHighMax, 0);
      spec.Kind = TEditorSpec::Pair;
      spec.Max2 = static_cast<double>(kPairLowMax);
      break;
    case pkTemperature:
      IntegerBox(spec, kTemperatureMin, kTemperatureMax, TemperatureOfRaw(P.Value));
      break;
    case pkNegativeTemperature:
      IntegerBox(spec, kNegativeTemperatureMin, 0, TemperatureOfRaw(P.Value));
      break;
    case pkTemperatureList:
      list(TemperatureListItemOfRaw(P.Value));
      break;
    default:
      break;
  }
  return spec;
}

int64_t CommittedRaw(const CParameter& P, const TEdit& Edit) {
  switch (P.Kind) {
    case pkList:
    case pkCommonList:
      // A list without names has nothing chosen: nothing to send.
      if (Edit.Item < 0) throw std::out_of_range("no value chosen");
      return P.RawValue(Edit.Item);
    case pkPair:
      return RawOfPair(Rounded(Edit.Value), Rounded(Edit.Value2));
    case pkTemperature:
    case pkNegativeTemperature:
      return RawOfTemperature(Rounded(Edit.Value));
    case pkTemperatureList:
      return Edit.Item == 0 || Edit.Item == 1 ? kTemperatureListRaw[Edit.Item] : 0;
    default:
      return P.RawValue(Edit.Value);  // the number kinds
  }
}

std::string ReadOne(const TLine& Line, CParameter& P) {
  const std::optional<TLinkMode> mode = LinkModeOf(P.Kind);
  std::string text;
  int64_t value = -1;
  if (Line.Driver && mode) {
    try {
      value = Line.Driver->ReadParam(*mode, Line.Port, Line.Address, P.Code, P.Digits);
      text = P.ValueToText(value);
    } catch (const std::exception&) {
      text.clear();  // a failed read shows as "Ошибка чтения!", not as a message
    }
  }
  P.ReadError = text.empty();
  if (!text.empty()) P.Value = value;
  return text;
}

TStatus WriteOne(const TLine& Line, CParameter* P, const TEdit& Edit, int IdNumber) {
  TStatus status;
  const std::optional<TLinkMode> mode = P ? LinkModeOf(P->Kind) : std::nullopt;
  if (!Line.Driver || !P || !mode) {
    status.Message = Line.Driver && P ? kWriteFailed : kNoDriver;
    return status;
  }
  try {
    status.Message = kWriteFailed;  // kept when the edit gives no value
    const int64_t raw = CommittedRaw(*P, Edit);
    status.Message.clear();  // a driver that raises leaves no message
    if (*mode == lmAddress) P->Code = IdNumber;
    const bool ok =
        Line.Driver->WriteParam(*mode, Line.Port, Line.Address, P->Code, P->Digits, raw);
    status.Message = ok ? kWritten : kWriteFailed;
    status.Colour = ok ? TStatusColour::Success : TStatusColour::Failure;
    if (ok) {
      P->Value = raw;
      P->ReadText = P->ValueToText(raw);
    }
  } catch (const std::exception& Error) {
    status.Colour = TStatusColour::Failure;
    status.Detail = Error.what();
  }
  return status;
}

}  // namespace qx25::ui
