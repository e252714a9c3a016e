// Draws the trace's cells: a line of text in the row's colour, cut with an
// ellipsis where it does not fit. At thirty lines the pane shows new rows at
// every take, and the item views' general drawing (a text layout per cell,
// every role asked for) took a third of the window's time. The cells' texts
// repeat (the same polls and replies on every line), so each is laid out
// once and kept.
#pragma once

#include <QFont>
#include <QHash>
#include <QStaticText>
#include <QStyledItemDelegate>

namespace qx25::station {

class TraceDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* Painter, const QStyleOptionViewItem& Option,
             const QModelIndex& Index) const override;

 private:
  struct Laid {
    int Width;  // the room it was cut for
    QFont Font;
    QStaticText Text;
  };
  const QStaticText& LaidOut(const QString& Text, int Width, const QFont& Font,
                             const QFontMetrics& Metrics) const;

  mutable QHash<QString, Laid> Kept;
};

}  // namespace qx25::station
