// The catalog as the grid shows it: one model row per record (model row i is
// record i, the grid's row i + 1), five columns, and a delegate that draws
// each cell the way the service window always has. The model's display text
// of a cell is exactly the text its cell draws, and its tool tip is the hint
// shown over the cell.
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QFont>
#include <QString>
#include <QStyledItemDelegate>

#include "params/ParameterUnit.h"
#include "ui/core/GridText.h"

class QPainter;

class TParamModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column {
    ColCode = qx25::ui::ColCode,
    ColName = qx25::ui::ColName,
    ColLimits = qx25::ui::ColLimits,
    ColRead = qx25::ui::ColRead,
    ColWrite = qx25::ui::ColWrite,
    ColumnCount = qx25::ui::ColumnCount
  };

  using QAbstractTableModel::QAbstractTableModel;

  // The records shown; nullptr shows none. Not owned.
  void SetCatalog(CTRKParameters* Catalog);
  CTRKParameters* Catalog() const { return Records; }
  // Has every view draw every cell again.
  void Repaint();

  int rowCount(const QModelIndex& Parent = {}) const override;
  int columnCount(const QModelIndex& Parent = {}) const override;
  QVariant data(const QModelIndex& Index, int Role) const override;
  QVariant headerData(int Section, Qt::Orientation Orientation, int Role) const override;

 private:
  CTRKParameters* Records = nullptr;
};

class TParamDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* Painter, const QStyleOptionViewItem& Option,
             const QModelIndex& Index) const override;
};

// A value cell: the core's value box in Rect (BoxHeight high, 16 at least),
// its text in Ink clipped to it, and a black outline 2 pixels outside it.
void DrawValueBox(QPainter& Canvas, const QRect& Rect, const QString& Text,
                  const QColor& Ink = Qt::black, int BoxHeight = 0);
// The value box's height for a font: a line of it and a pixel above and below.
int ValueBoxHeight(const QFont& Font);

// Text with the record texts' CR LF line ends as a painter lays it out, and
// room to break a long number between its thousands.
QString LaidOut(const QString& Text);
