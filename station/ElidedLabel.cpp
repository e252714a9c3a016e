#include "ElidedLabel.h"

#include <QPainter>

namespace qx25::station {

namespace {

// Two lines hold a command's outcome with its code ("(код 5)") at a panel's
// width; what is longer is cut.
constexpr int kLines = 2;
constexpr QChar kEllipsis{0x2026};

}  // namespace

ElidedLabel::ElidedLabel(QWidget* Parent) : QLabel(Parent) {
  // Its width is what the layout gives, never what the text asks.
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

void ElidedLabel::SetText(const QString& Text, const QString& Detail) {
  setText(Text);
  setToolTip(Detail.isEmpty() ? Text : Text + QLatin1Char('\n') + Detail);
}

QSize ElidedLabel::sizeHint() const { return minimumSizeHint(); }

QSize ElidedLabel::minimumSizeHint() const {
  const QMargins m = contentsMargins();
  return {m.left() + m.right(), kLines * fontMetrics().lineSpacing() + m.top() + m.bottom()};
}

void ElidedLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect room = contentsRect();
  const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
  const QString whole = text();
  QString shown = whole;
  // Shortened from the end until the wrapped text fits the label's lines.
  for (qsizetype keep = whole.size() - 1;
       keep > 0 && fontMetrics().boundingRect(room, flags, shown).height() > room.height(); --keep)
    shown = whole.left(keep) + kEllipsis;
  painter.setPen(palette().color(foregroundRole()));
  painter.drawText(room, flags, shown);
}

}  // namespace qx25::station
