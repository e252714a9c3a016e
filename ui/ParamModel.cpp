#include "ui/ParamModel.h"

#include <QPainter>

namespace {

const QColor kNameBackground(0xC0, 0xDC, 0xC0);
constexpr int kValueBoxHeight = 16;
constexpr int kValueBoxIndent = 5;
constexpr int kValueBoxOutline = 2;

}  // namespace

void TParamModel::SetCatalog(CTRKParameters* Catalog) {
  beginResetModel();
  Records = Catalog;
  endResetModel();
}

void TParamModel::Repaint() {
  if (rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
}

int TParamModel::rowCount(const QModelIndex& Parent) const {
  return Parent.isValid() || !Records ? 0 : Records->Count();
}

int TParamModel::columnCount(const QModelIndex& Parent) const {
  return Parent.isValid() ? 0 : ColumnCount;
}

QVariant TParamModel::data(const QModelIndex& Index, int Role) const {
  if (!Records || !Index.isValid() || Index.row() >= Records->Count()) return {};
  if (Role == Qt::ToolTipRole) return QString::fromStdString(qx25::ui::CellHint(Index.column()));
  if (Role != Qt::DisplayRole) return {};
  return QString::fromStdString(qx25::ui::CellOf(Records->Items(Index.row()), Index.column()).Text);
}

QVariant TParamModel::headerData(int Section, Qt::Orientation Orientation, int Role) const {
  if (Orientation != Qt::Horizontal || Section < 0 || Section >= ColumnCount) return {};
  if (Role == Qt::DisplayRole) return QString::fromStdString(qx25::ui::HeaderCaption(Section));
  if (Role == Qt::TextAlignmentRole)
    return QVariant::fromValue(Section == ColCode ? Qt::AlignCenter
                                                  : Qt::AlignLeft | Qt::AlignVCenter);
  return {};
}

QString LaidOut(const QString& Text) { return QString(Text).replace("\r\n", "\n"); }

void DrawValueBox(QPainter& Canvas, const QRect& Rect, const QString& Text) {
  if (Rect.height() <= 0) return;
  // QRect's bottom is inclusive; the box arithmetic counts the edge outside.
  const int top = (Rect.top() + Rect.top() + Rect.height()) / 2 - kValueBoxHeight / 2;
  const QRect box(
      QPoint(Rect.left() + kValueBoxIndent, top),
      QPoint(Rect.left() + Rect.width() - kValueBoxIndent - 1, top + kValueBoxHeight - 1));
  Canvas.save();
  Canvas.setClipRect(box);
  Canvas.setPen(Qt::black);
  Canvas.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, Text);
  Canvas.restore();
  Canvas.save();
  Canvas.setPen(Qt::black);
  Canvas.setBrush(Qt::NoBrush);
  const QRect outline =
      box.adjusted(-kValueBoxOutline, -kValueBoxOutline, kValueBoxOutline, kValueBoxOutline);
  // A one-pixel pen strokes one pixel beyond the rectangle's right and bottom.
  Canvas.drawRect(outline.adjusted(0, 0, -1, -1));
  Canvas.restore();
}

void TParamDelegate::paint(QPainter* Painter, const QStyleOptionViewItem& Option,
                           const QModelIndex& Index) const {
  QStyleOptionViewItem option(Option);
  initStyleOption(&option, Index);
  const QString text = Index.data(Qt::DisplayRole).toString();
  const QRect cell = Option.rect;
  // The background as the view paints an empty cell (selection included).
  option.text.clear();
  const QWidget* view = option.widget;
  QStyle* style = view ? view->style() : nullptr;
  if (style) style->drawControl(QStyle::CE_ItemViewItem, &option, Painter, view);

  Painter->save();
  Painter->setFont(option.font);
  const QColor ink = (option.state & QStyle::State_Selected)
                         ? option.palette.color(QPalette::HighlightedText)
                         : option.palette.color(QPalette::Text);
  Painter->setPen(ink);
  switch (Index.column()) {
    case TParamModel::ColCode:
      Painter->drawText(cell, Qt::AlignCenter | Qt::TextSingleLine, text);
      break;
    case TParamModel::ColName:
      Painter->fillRect(cell, kNameBackground);
      Painter->setPen(Qt::black);
      Painter->drawText(cell, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, LaidOut(text));
      break;
    case TParamModel::ColLimits:
      Painter->drawText(cell, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, LaidOut(text));
      break;
    default:
      DrawValueBox(*Painter, cell, text);
      break;
  }
  Painter->restore();
}
