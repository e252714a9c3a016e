// The window's number editor: a spin box whose texts are the system's own.
// What a text means is asked of the one reader in params/ (through Reader),
// so the toolkit never decides it: a text the reader refuses stays as typed
// (Intermediate), is never clamped or put back, and Enter shows the refusal.
#pragma once

#include <QDoubleSpinBox>
#include <functional>
#include <optional>
#include <string>

class TTypedSpinBox : public QDoubleSpinBox {
  Q_OBJECT

 public:
  using QDoubleSpinBox::QDoubleSpinBox;

  // The shown number a text stands for, or none when the reader refuses it.
  using TReader = std::function<std::optional<double>(const std::string& Text)>;
  void SetReader(TReader NewReader) { Reader = std::move(NewReader); }

  QValidator::State validate(QString& Input, int& Pos) const override;
  double valueFromText(const QString& Text) const override;
  QString textFromValue(double Value) const override;
  void fixup(QString& Input) const override;
  // A step from a text the reader refuses would put back the last value: none is taken.
  void stepBy(int Steps) override;

 private:
  TReader Reader;
};
