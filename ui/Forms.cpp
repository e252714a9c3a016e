#include "ui/Forms.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPainter>
#include <QScreen>

namespace qx25::ui {
namespace {

constexpr int kFontPoints = 8;
constexpr int kNarrowest = 70;  // percent of the normal width
constexpr int kStretchStep = 5;
constexpr int kSmallestPoints = 6;
constexpr int kButtonPadding = 10;  // the frame and the space around the caption
constexpr int kIconGap = 4;
constexpr int kGlyphSize = 16;

// Narrows Control's font until Caption fits it with Extra to spare; '&' only
// marks the mnemonic.
void Fit(QWidget& Control, const QString& Caption, int Extra) {
  const QString plain = QString(Caption).remove('&');
  const auto fits = [&](const QFont& Font) {
    return QFontMetrics(Font).horizontalAdvance(plain) + Extra <= Control.width();
  };
  if (!fits(Control.font())) Control.setFont(FittedFont(Control.font(), fits));
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

QIcon Draw(const std::function<void(QPainter&)>& Paint) {
  QPixmap pixmap(kGlyphSize, kGlyphSize);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing, true);
  Paint(painter);
  painter.end();
  return QIcon(pixmap);
}

// A ruled sheet of paper.
void Sheet(QPainter& P, const QRectF& Rect) {
  P.setPen(QPen(QColor(0x40, 0x40, 0x40), 1));
  P.setBrush(Qt::white);
  P.drawRect(Rect);
  P.setPen(QPen(QColor(0x70, 0x80, 0xA0), 1));
  for (qreal y = Rect.top() + 3; y < Rect.bottom() - 1; y += 2.5)
    P.drawLine(QPointF(Rect.left() + 2, y), QPointF(Rect.right() - 2, y));
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

QFont FittedFont(QFont Font, const std::function<bool(const QFont&)>& Fits, bool Smaller) {
  for (int stretch = 100 - kStretchStep; !Fits(Font) && stretch >= kNarrowest;
       stretch -= kStretchStep)
    Font.setStretch(stretch);
  while (Smaller && !Fits(Font) && Font.pointSizeF() > kSmallestPoints)
    Font.setPointSizeF(Font.pointSizeF() - 0.5);
  return Font;
}

QIcon AddressGlyph() {
  return Draw([](QPainter& p) {
    p.setPen(QPen(QColor(0x20, 0x20, 0x20), 1));
    p.setBrush(QColor(0xE8, 0xE8, 0xD0));
    p.drawRoundedRect(QRectF(2.5, 1.5, 11, 13), 1.5, 1.5);
    p.setBrush(QColor(0x90, 0xB0, 0x90));
    p.drawRect(QRectF(4.5, 3.5, 7, 3));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x30, 0x30, 0x30));
    for (int row = 0; row < 2; ++row)
      for (int col = 0; col < 3; ++col)
        p.drawRect(QRectF(4.5 + 2.5 * col, 8.5 + 2.5 * row, 1.5, 1.5));
  });
}

QIcon CloseGlyph() {
  return Draw([](QPainter& p) {
    p.setPen(QPen(QColor(0x50, 0x30, 0x10), 1));
    p.setBrush(QColor(0xC8, 0x9A, 0x60));
    p.drawRect(QRectF(3.5, 1.5, 8, 13));
    p.setBrush(QColor(0x9A, 0x6A, 0x30));
    p.drawPolygon(
        QPolygonF({QPointF(3.5, 1.5), QPointF(8.5, 3.5), QPointF(8.5, 15.5), QPointF(3.5, 14.5)}));
    p.setBrush(Qt::yellow);
    p.drawEllipse(QPointF(7.2, 9), 0.8, 0.8);
  });
}

QIcon CopyGlyph() {
  return Draw([](QPainter& p) {
    Sheet(p, QRectF(1.5, 1.5, 8, 10));
    Sheet(p, QRectF(6.5, 4.5, 8, 10));
  });
}

QIcon PasteGlyph() {
  return Draw([](QPainter& p) {
    p.setPen(QPen(QColor(0x50, 0x30, 0x10), 1));
    p.setBrush(QColor(0xC8, 0x9A, 0x60));
    p.drawRoundedRect(QRectF(1.5, 2.5, 10, 12), 1, 1);
    p.setBrush(QColor(0xA0, 0xA0, 0xA0));
    p.drawRect(QRectF(4.5, 1.5, 4, 2));
    Sheet(p, QRectF(6.5, 5.5, 8, 9));
  });
}

QIcon OkGlyph() {
  return Draw([](QPainter& p) {
    p.setPen(QPen(QColor(0x00, 0x80, 0x00), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(3, 8.5), QPointF(6.5, 12), QPointF(13, 4)}));
  });
}

QIcon CancelGlyph() {
  return Draw([](QPainter& p) {
    p.setPen(QPen(QColor(0xC0, 0x00, 0x00), 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(4, 4), QPointF(12, 12));
    p.drawLine(QPointF(12, 4), QPointF(4, 12));
  });
}

}  // namespace qx25::ui
