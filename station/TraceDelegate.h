// Draws the trace's cells: a line of text in the row's colour, cut with an
// ellipsis where it does not fit. At thirty lines the pane shows new rows at
// every take, and the item views' general drawing (a text layout per cell,
// every role asked for) took a third of the window's time.
#pragma once

#include <QStyledItemDelegate>

namespace qx25::hostapp {

class TraceDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* Painter, const QStyleOptionViewItem& Option,
             const QModelIndex& Index) const override;
};

}  // namespace qx25::hostapp
