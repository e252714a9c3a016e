#include "ui/TypedIntegerBox.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>

#include "params/ParameterUnit.h"

namespace {

qx25::params::TTypedValue ReadText(const QString& Text, int Min, int Max) {
  return qx25::params::ReadTypedInteger(Text.toStdString(), Min, Max, NumberFormat());
}

}  // namespace

TTypedIntegerBox::TTypedIntegerBox(QWidget* Parent) : QSpinBox(Parent) {
  connect(lineEdit(), &QLineEdit::textChanged, this, &TTypedIntegerBox::Edited);
}

qx25::params::TTypedValue TTypedIntegerBox::Read() const {
  return ReadText(text(), minimum(), maximum());
}

QValidator::State TTypedIntegerBox::validate(QString& Input, int&) const {
  // Never Invalid: every key the technician presses stays in the text.
  return ReadText(Input, minimum(), maximum()) ? QValidator::Acceptable : QValidator::Intermediate;
}

int TTypedIntegerBox::valueFromText(const QString& Text) const {
  const qx25::params::TTypedValue read = ReadText(Text, minimum(), maximum());
  return read ? static_cast<int>(*read.Raw) : value();
}

void TTypedIntegerBox::fixup(QString&) const {}  // what was typed stays as typed

void TTypedIntegerBox::stepBy(int Steps) {
  if (Read()) QSpinBox::stepBy(Steps);
}

// The spin box rewrites its text from its last value when it loses the focus,
// is shown again (the ID number with its tab) or takes Enter; a text that does not read is kept
// instead, for the request to refuse with its reason.
void TTypedIntegerBox::focusOutEvent(QFocusEvent* Event) {
  if (Read()) return QSpinBox::focusOutEvent(Event);
  QCoreApplication::sendEvent(lineEdit(), Event);
  QWidget::focusOutEvent(Event);  // NOLINT(bugprone-parent-virtual-call): skips the rewrite
  emit editingFinished();
}

void TTypedIntegerBox::showEvent(QShowEvent* Event) {
  if (Read()) return QSpinBox::showEvent(Event);
  QWidget::showEvent(Event);  // NOLINT(bugprone-parent-virtual-call): skips the rewrite
}

void TTypedIntegerBox::keyPressEvent(QKeyEvent* Event) {
  const bool enter = Event->key() == Qt::Key_Return || Event->key() == Qt::Key_Enter;
  if (enter && !Read()) return Event->ignore();  // on to the window, the text as typed
  QSpinBox::keyPressEvent(Event);
}
