#include "ui/TypedSpinBox.h"

#include <cmath>

#include "params/NumberText.h"
#include "params/ParameterUnit.h"

namespace {
constexpr int kAllDigits = 40;  // more than any 64-bit value has
}

QValidator::State TTypedSpinBox::validate(QString& Input, int&) const {
  // Never Invalid: every key the technician presses stays in the text.
  return Reader && Reader(Input.toStdString()) ? QValidator::Acceptable : QValidator::Intermediate;
}

double TTypedSpinBox::valueFromText(const QString& Text) const {
  const std::optional<double> read = Reader ? Reader(Text.toStdString()) : std::nullopt;
  return read.value_or(value());
}

QString TTypedSpinBox::textFromValue(double Value) const {
  // The steps and the start value are written as the grid writes numbers.
  const double raw = std::nearbyint(Value * CParameter::Power10(decimals()));
  if (!std::isfinite(raw) || std::fabs(raw) > 9.2e18) return {};
  return QString::fromStdString(qx25::params::FormatNumber(static_cast<int64_t>(raw), decimals(),
                                                           kAllDigits, decimals(), NumberFormat()));
}

void TTypedSpinBox::fixup(QString&) const {}  // what was typed stays as typed

void TTypedSpinBox::stepBy(int Steps) {
  if (Reader && Reader(text().toStdString())) QDoubleSpinBox::stepBy(Steps);
}
