#include "ElidedLabel.h"

#include <QPainter>

namespace qx25::hostapp {

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
  return {m.left() + m.right(), fontMetrics().height() + m.top() + m.bottom()};
}

void ElidedLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect room = contentsRect();
  painter.setPen(palette().color(foregroundRole()));
  painter.drawText(room, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   fontMetrics().elidedText(text(), Qt::ElideRight, room.width()));
}

}  // namespace qx25::hostapp
