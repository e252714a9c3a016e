#include "AmountBox.h"

#include <QLineEdit>
#include <cmath>

#include "params/NumberText.h"
#include "params/ParameterUnit.h"

namespace qx25::station {

namespace {
constexpr int kAllDigits = 40;  // more than any value of the box has

int64_t Scaled(double Value, int Decimals) {
  return static_cast<int64_t>(std::llround(Value * CParameter::Power10(Decimals)));
}
}  // namespace

AmountBox::AmountBox(QWidget* Parent) : QDoubleSpinBox(Parent) {
  // The panel's buttons read the text when pressed; no value follows each key.
  setKeyboardTracking(false);
  setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
}

params::TTypedValue AmountBox::ReadText(const QString& Text) const {
  return params::ReadTypedDecimal(Text.toStdString(), decimals(), Scaled(minimum(), decimals()),
                                  Scaled(maximum(), decimals()), NumberFormat());
}

params::TTypedValue AmountBox::Read() const { return ReadText(lineEdit()->text()); }

std::optional<double> AmountBox::Typed() const {
  const params::TTypedValue typed = Read();
  if (!typed) return std::nullopt;
  return static_cast<double>(*typed.Raw) / CParameter::Power10(decimals());
}

QValidator::State AmountBox::validate(QString& Input, int&) const {
  // Never Invalid: every key the operator presses stays in the text.
  return ReadText(Input) ? QValidator::Acceptable : QValidator::Intermediate;
}

double AmountBox::valueFromText(const QString& Text) const {
  const params::TTypedValue typed = ReadText(Text);
  return typed ? static_cast<double>(*typed.Raw) / CParameter::Power10(decimals()) : value();
}

QString AmountBox::textFromValue(double Value) const {
  return QString::fromStdString(params::FormatNumber(Scaled(Value, decimals()), decimals(),
                                                     kAllDigits, decimals(), NumberFormat()));
}

void AmountBox::fixup(QString&) const {}  // what was typed stays as typed

void AmountBox::stepBy(int Steps) {
  if (Read()) QDoubleSpinBox::stepBy(Steps);
}

void AmountBox::focusOutEvent(QFocusEvent* Event) {
  // Leaving the box with a refused text would put back the last value
  // without a word; the text stays, and the button that reads it says why.
  const QString typed = lineEdit()->text();
  QDoubleSpinBox::focusOutEvent(Event);
  if (lineEdit()->text() != typed) lineEdit()->setText(typed);
}

}  // namespace qx25::station
