#include "TraceDelegate.h"

#include <QApplication>
#include <QBrush>
#include <QPainter>
#include <QStyle>

namespace qx25::station {

namespace {

// Enough for every text a screen of rows shows many times over; the times
// column never repeats, so the store is emptied when it is full.
constexpr qsizetype kKeptTexts = 2048;

}  // namespace

const QStaticText& TraceDelegate::LaidOut(const QString& Text, int Width, const QFont& Font,
                                          const QFontMetrics& Metrics) const {
  auto found = Kept.find(Text);
  if (found != Kept.end() && found->Width == Width && found->Font == Font) return found->Text;
  // Measured only when it might not fit: most cells are far shorter.
  QString shown = Text;
  if (Text.size() * Metrics.maxWidth() > Width && Metrics.horizontalAdvance(Text) > Width)
    shown = Metrics.elidedText(Text, Qt::ElideRight, Width);
  QStaticText laid(shown);
  laid.setTextFormat(Qt::PlainText);
  laid.setPerformanceHint(QStaticText::AggressiveCaching);
  laid.prepare({}, Font);
  if (found == Kept.end() && Kept.size() >= kKeptTexts) Kept.clear();
  found = Kept.insert(Text, Laid{Width, Font, laid});
  return found->Text;
}

void TraceDelegate::paint(QPainter* Painter, const QStyleOptionViewItem& Option,
                          const QModelIndex& Index) const {
  const QString text = Index.data(Qt::DisplayRole).toString();
  if (text.isEmpty()) return;
  const QWidget* view = Option.widget;
  const QStyle* style = view != nullptr ? view->style() : QApplication::style();
  // The margin the style gives an item's text, so the cells read as before.
  const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
  const QRect room = Option.rect.adjusted(margin, 0, -margin, 0);
  const QStaticText& laid = LaidOut(text, room.width(), Option.font, Option.fontMetrics);
  const QVariant colour = Index.data(Qt::ForegroundRole);
  Painter->save();
  Painter->setFont(Option.font);
  Painter->setPen(colour.canConvert<QBrush>() ? colour.value<QBrush>().color()
                                              : Option.palette.color(QPalette::Text));
  Painter->setClipRect(room, Qt::IntersectClip);
  const double top = room.top() + (room.height() - laid.size().height()) / 2;
  Painter->drawStaticText(QPointF(room.left(), top), laid);
  Painter->restore();
}

}  // namespace qx25::station
