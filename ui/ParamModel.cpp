#include "ui/ParamModel.h"

#include <QFontMetrics>
#include <QPainter>
#include <QRegularExpression>
#include <QTextLayout>
#include <QtMath>

const QColor kNameBackground(0xC0, 0xDC, 0xC0);
const QColor kOutOfLimitsInk(0xFF, 0x00, 0x00);

void TParamModel::SetCatalog(CTRKParameters* Catalog) {
  beginResetModel();
  Records = Catalog;
  endResetModel();
}

void TParamModel::Repaint() {
  if (rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
}

void TParamModel::RepaintValues(int Row) {
  // One cell at a time: a view redraws a single cell, but the whole of itself
  // for a range.
  for (int col : {ColRead, ColWrite}) emit dataChanged(index(Row, col), index(Row, col));
}

int TParamModel::rowCount(const QModelIndex& Parent) const {
  return Parent.isValid() || !Records ? 0 : Records->Count();
}

int TParamModel::columnCount(const QModelIndex& Parent) const {
  return Parent.isValid() ? 0 : ColumnCount;
}

QVariant TParamModel::data(const QModelIndex& Index, int Role) const {
  if (!Records || !Index.isValid() || Index.row() >= Records->Count()) return {};
  const CParameter& p = Records->Items(Index.row());
  if (Role == Qt::ToolTipRole)
    return QString::fromStdString(qx25::ui::CellHintOf(p, Index.column(), LeftOutOf(Index.row())));
  if (Role != Qt::DisplayRole && Role != Qt::ForegroundRole) return {};
  const qx25::ui::TCell cell = qx25::ui::CellOf(p, Index.column(), LeftOutOf(Index.row()));
  if (Role == Qt::ForegroundRole) return cell.OutOfLimits ? QVariant(kOutOfLimitsInk) : QVariant();
  return QString::fromStdString(cell.Text);
}

QVariant TParamModel::headerData(int Section, Qt::Orientation Orientation, int Role) const {
  if (Orientation != Qt::Horizontal || Section < 0 || Section >= ColumnCount) return {};
  if (Role == Qt::DisplayRole) return QString::fromStdString(qx25::ui::HeaderCaption(Section));
  if (Role == Qt::TextAlignmentRole)
    return QVariant::fromValue(Section == ColCode ? Qt::AlignCenter
                                                  : Qt::AlignLeft | Qt::AlignVCenter);
  return {};
}

QString LaidOut(const QString& Text) {
  QString text = QString(Text).replace("\r\n", "\n");
  // A number longer than a narrow column (the card code's fifteen digits)
  // may wrap between its thousands; a shorter one stays whole.
  constexpr int kWholeGroups = 3;
  const QString separator = QString::fromStdString(NumberFormat().ThousandSeparator);
  if (separator.isEmpty()) return text;
  const QRegularExpression longNumber("\\d{1,3}(?:" + QRegularExpression::escape(separator) +
                                      "\\d{3}){" + QString::number(kWholeGroups) + ",}");
  QString out;
  qsizetype done = 0;
  for (auto it = longNumber.globalMatch(text); it.hasNext();) {
    const QRegularExpressionMatch m = it.next();
    out += text.mid(done, m.capturedStart() - done);
    out += m.captured().replace(separator, separator + QChar(0x200B));
    done = m.capturedEnd();
  }
  return out + text.mid(done);
}

QTextOption WrappedText() {
  QTextOption option(Qt::AlignLeft | Qt::AlignTop);
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  return option;
}

int WrappedHeight(const QFont& Font, int Width, const QString& Text) {
  qreal height = 0;
  for (const QString& paragraph : Text.split(QLatin1Char('\n'))) {
    QTextLayout layout(paragraph, Font);
    layout.setTextOption(WrappedText());
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
      line.setLineWidth(Width);
      height += line.height();
    }
    layout.endLayout();
  }
  return qCeil(height);
}

int ValueBoxHeight(const QFont& Font) { return QFontMetrics(Font).height() + 2; }

void TParamDelegate::paint(QPainter* Painter, const QStyleOptionViewItem& Option,
                           const QModelIndex& Index) const {
  QStyleOptionViewItem option(Option);
  initStyleOption(&option, Index);
  const QString text = Index.data(Qt::DisplayRole).toString();
  const QRect cell = Option.rect;
  // The background as the view paints an empty cell (selection included).
  option.text.clear();
  if (const QWidget* view = option.widget)
    view->style()->drawControl(QStyle::CE_ItemViewItem, &option, Painter, view);

  Painter->save();
  Painter->setFont(option.font);
  Painter->setPen(option.palette.color(
      (option.state & QStyle::State_Selected) ? QPalette::HighlightedText : QPalette::Text));
  switch (Index.column()) {
    case TParamModel::ColCode: {
      // The address row's code becomes a long ID number: narrowed to fit.
      QFont font = option.font;
      for (int stretch = 90;
           QFontMetrics(font).horizontalAdvance(text) > cell.width() - 2 && stretch >= 50;
           stretch -= 10)
        font.setStretch(stretch);
      Painter->setFont(font);
      Painter->drawText(cell, Qt::AlignCenter | Qt::TextSingleLine, text);
      break;
    }
    case TParamModel::ColName:
      Painter->fillRect(cell, kNameBackground);
      Painter->setPen(Qt::black);
      [[fallthrough]];
    case TParamModel::ColLimits:
      Painter->drawText(QRectF(cell), LaidOut(text), WrappedText());
      break;
    default: {
      // The core's value box, its text clipped to it, and a black outline.
      if (cell.height() <= 0) break;
      const QVariant ink = Index.data(Qt::ForegroundRole);
      const QRect box = ViewRect(qx25::ui::ValueBox(CoreRect(cell), ValueBoxHeight(option.font)));
      Painter->save();
      Painter->setClipRect(box);
      Painter->setPen(ink.isValid() ? ink.value<QColor>() : QColor(Qt::black));
      // Shortened as the status bar shortens; the hint has it whole.
      const QString shown = QFontMetrics(option.font).elidedText(text, Qt::ElideRight, box.width());
      Painter->drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, shown);
      Painter->restore();
      Painter->setPen(Qt::black);
      Painter->setBrush(Qt::NoBrush);
      // A one-pixel pen strokes one pixel beyond the rectangle's right and bottom.
      constexpr int outline = qx25::ui::kValueBoxOutline;
      Painter->drawRect(box.adjusted(-outline, -outline, outline - 1, outline - 1));
    }
  }
  Painter->restore();
}
