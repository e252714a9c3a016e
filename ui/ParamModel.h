// The catalog as the grid shows it: model row i is record i (the grid's row
// i + 1), five columns, and a delegate that draws each cell the way the
// service window always has. A cell's display text is exactly the text it
// draws, and its tool tip the hint shown over it.
#pragma once

#include <QAbstractTableModel>
#include <QStyledItemDelegate>
#include <QTextOption>

#include "ui/core/BulkRun.h"
#include "ui/core/Editing.h"
#include "ui/core/GridText.h"

class TParamModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  using enum qx25::ui::TColumn;
  using QAbstractTableModel::QAbstractTableModel;

  void SetCatalog(CTRKParameters* Catalog);  // not owned; null shows none
  // The write-all whose left-out rows are marked; not owned; null marks none.
  void SetLeftOut(const qx25::ui::TRunTally* Tally) { LeftOut = Tally; }
  void Repaint();
  // The value cells of record Row, which a read changed.
  void RepaintValues(int Row);

  int rowCount(const QModelIndex& Parent = {}) const override;
  int columnCount(const QModelIndex& Parent = {}) const override;
  QVariant data(const QModelIndex& Index, int Role) const override;
  QVariant headerData(int Section, Qt::Orientation Orientation, int Role) const override;

 private:
  std::string LeftOutOf(int Row) const { return LeftOut ? LeftOut->LeftOut(Row) : std::string(); }
  CTRKParameters* Records = nullptr;
  const qx25::ui::TRunTally* LeftOut = nullptr;
};

class TParamDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* Painter, const QStyleOptionViewItem& Option,
             const QModelIndex& Index) const override;
};

// Word-wrapped text that breaks a word too long for the width anywhere, as
// measured for a row's height and as drawn.
QTextOption WrappedText();
int WrappedHeight(const QFont& Font, int Width, const QString& Text);

// The value box's height for a font: a line of it and a pixel above and below.
int ValueBoxHeight(const QFont& Font);

// Text with the record texts' CR LF line ends as a painter lays it out, and
// room to break a long number between its thousands.
QString LaidOut(const QString& Text);

// The core's rectangles leave out their right and bottom edges; QRect's
// right() and bottom() are inside.
inline QRect ViewRect(const qx25::ui::TRect& R) {
  return QRect(R.Left, R.Top, R.Right - R.Left, R.Bottom - R.Top);
}
inline qx25::ui::TRect CoreRect(const QRect& R) {
  return {R.left(), R.top(), R.left() + R.width(), R.top() + R.height()};
}
