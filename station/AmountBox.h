// The console's box for a dose or a price: a spin box whose text is read by
// the one reader in params/, so that "52.30" and "52,30" are the same price
// under any locale. A text the reader refuses stays as typed (Intermediate),
// is never clamped or put back, and Read() gives the reason to show.
#pragma once

#include <QDoubleSpinBox>

#include "params/TypedNumber.h"

namespace qx25::station {

class AmountBox : public QDoubleSpinBox {
  Q_OBJECT

 public:
  explicit AmountBox(QWidget* Parent = nullptr);

  // What the text says, in the box's last decimal (hundredths with 2 decimals).
  qx25::params::TTypedValue Read() const;
  // The text read as a number, when the reader takes it.
  std::optional<double> Typed() const;

  QValidator::State validate(QString& Input, int& Pos) const override;
  double valueFromText(const QString& Text) const override;
  QString textFromValue(double Value) const override;
  void fixup(QString& Input) const override;
  // A step from a refused text would put back the last value: none is taken.
  void stepBy(int Steps) override;

 protected:
  void focusOutEvent(QFocusEvent* Event) override;

 private:
  qx25::params::TTypedValue ReadText(const QString& Text) const;
};

}  // namespace qx25::station
