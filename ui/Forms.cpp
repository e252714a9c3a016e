#include "ui/Forms.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QScreen>
#include <QFontMetrics>
#include <QLabel>
#include <QWidget>

namespace qx25::ui {
namespace {

constexpr int kFontPoints = 8;
constexpr int kNarrowest = 70;  // percent of the normal width
constexpr int kStretchStep = 5;
constexpr int kSmallestPoints = 6;
constexpr int kButtonPadding = 10;  // the frame and the space around the caption
constexpr int kIconGap = 4;

int NeededWidth(const QFont& Font, const QString& Caption, int Extra) {
  QString plain = Caption;
  plain.remove('&');
  return QFontMetrics(Font).horizontalAdvance(plain) + Extra;
}

void Fit(QWidget& Control, const QString& Caption, int Extra) {
  QFont font = Control.font();
  const int room = Control.width();
  if (NeededWidth(font, Caption, Extra) <= room) return;
  for (int stretch = 100 - kStretchStep; stretch >= kNarrowest; stretch -= kStretchStep) {
    font.setStretch(stretch);
    if (NeededWidth(font, Caption, Extra) <= room) break;
  }
  while (NeededWidth(font, Caption, Extra) > room && font.pointSizeF() > kSmallestPoints)
    font.setPointSizeF(font.pointSizeF() - 0.5);
  Control.setFont(font);
}

}  // namespace

void UseFormFont(QDialog& Dialog) {
  QFont font = QApplication::font();
  font.setPointSize(kFontPoints);
  Dialog.setFont(font);
}

void FinishFixedDialog(QDialog& Dialog, QSize Client) {
  Dialog.setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                        Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  Dialog.setFixedSize(Client);
  Dialog.setSizeGripEnabled(false);
  FitCaptions(Dialog);
  // Centred on the screen, not over the host's window.
  const QWidget* parent = Dialog.parentWidget();
  const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
  if (screen) Dialog.move(screen->availableGeometry().center() - Dialog.rect().center());
}

void FitCaptions(QWidget& Form) {
  for (QLabel* label : Form.findChildren<QLabel*>())
    if (!label->text().isEmpty()) Fit(*label, label->text(), 0);
  for (QAbstractButton* button : Form.findChildren<QAbstractButton*>()) {
    if (button->text().isEmpty()) continue;
    const int icon = button->icon().isNull() ? 0 : button->iconSize().width() + kIconGap;
    Fit(*button, button->text(), kButtonPadding + icon);
  }
}

}  // namespace qx25::ui
