#include "TraceDelegate.h"

#include <QApplication>
#include <QBrush>
#include <QPainter>
#include <QStyle>

namespace qx25::hostapp {

void TraceDelegate::paint(QPainter* Painter, const QStyleOptionViewItem& Option,
                          const QModelIndex& Index) const {
  const QString text = Index.data(Qt::DisplayRole).toString();
  if (text.isEmpty()) return;
  const QWidget* view = Option.widget;
  const QStyle* style = view != nullptr ? view->style() : QApplication::style();
  // The margin the style gives an item's text, so the cells read as before.
  const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
  const QRect room = Option.rect.adjusted(margin, 0, -margin, 0);
  const QFontMetrics& metrics = Option.fontMetrics;
  // Measured only when it might not fit: most cells are far shorter.
  QString shown = text;
  if (text.size() * metrics.maxWidth() > room.width() &&
      metrics.horizontalAdvance(text) > room.width())
    shown = metrics.elidedText(text, Qt::ElideRight, room.width());
  const QVariant colour = Index.data(Qt::ForegroundRole);
  Painter->save();
  Painter->setFont(Option.font);
  Painter->setPen(colour.canConvert<QBrush>() ? colour.value<QBrush>().color()
                                              : Option.palette.color(QPalette::Text));
  Painter->drawText(room, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
  Painter->restore();
}

}  // namespace qx25::hostapp
