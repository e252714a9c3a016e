// The window's integer fields (the port, the address, the ID number): spin
// boxes whose texts are read by the one reader in params/ within the box's
// range. A text the reader refuses stays as typed (Intermediate): it is never
// clamped or put back, not even when the field loses the focus, and what the
// window asks of the line reads the text itself (ReadTarget) and refuses it.
#pragma once

#include <QSpinBox>
#include <string>

#include "params/TypedNumber.h"

class TTypedIntegerBox : public QSpinBox {
  Q_OBJECT

 public:
  explicit TTypedIntegerBox(QWidget* Parent = nullptr);

  // The text read within minimum() .. maximum(), or why it does not read.
  qx25::params::TTypedValue Read() const;

  QValidator::State validate(QString& Input, int& Pos) const override;
  int valueFromText(const QString& Text) const override;
  void fixup(QString& Input) const override;
  // A step from a text the reader refuses would start from the last value: none is taken.
  void stepBy(int Steps) override;

 signals:
  // Every change of the text; the spin box's textChanged leaves out those it does not take.
  void Edited();

 protected:
  void focusOutEvent(QFocusEvent* Event) override;
  void showEvent(QShowEvent* Event) override;
  void keyPressEvent(QKeyEvent* Event) override;
};
