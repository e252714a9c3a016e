#include "ui/ParamModel.h"

#include <QPainter>
#include <algorithm>
#include <exception>

#include "params/NumberText.h"

namespace {

constexpr char kReadError[] = "Ошибка чтения!";
constexpr char kHintRead[] = "Дважды щелкните на поле для чтения параметра";
constexpr char kHintWrite[] = "Нажмите Enter для записи параметра";
constexpr char kLimitsList[] = "<список>";
constexpr char kLimitsPair[] = "от 0 до 999 л/мин.";
constexpr char kLimitsTemperature[] = "от -99 до +200 OC (200 - датчик отключен)";
constexpr char kLimitsNegativeTemperature[] = "от -20 до 0 OC";
const char* const kHeader[TParamModel::ColumnCount] = {"Код", "Имя параметра", "Ограничения",
                                                        "Чтение", "Запись"};
const QColor kNameBackground(0xC0, 0xDC, 0xC0);
constexpr int kValueBoxHeight = 16;
constexpr int kValueBoxIndent = 5;
constexpr int kValueBoxOutline = 2;

QString FromUtf8(const std::string& Text) { return QString::fromStdString(Text); }

// Trims what the old toolkit's Trim did: every character up to the blank.
QString TrimControls(const QString& Text) {
  qsizetype first = 0, last = Text.size();
  while (first < last && Text[first].unicode() <= ' ') ++first;
  while (last > first && Text[last - 1].unicode() <= ' ') --last;
  return Text.mid(first, last - first);
}

// A limit of a number kind as ValueToText writes a pkNumber value.
QString LimitText(const CParameter& P, int64_t Raw) {
  const int scale = P.Kind == pkNumber ? P.Decimals : 0;
  return FromUtf8(qx25::params::FormatNumber(Raw, scale, P.Digits, P.Decimals, NumberFormat()));
}

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
  const CParameter& p = Records->Items(Index.row());
  if (Role == Qt::ToolTipRole) return CellHint(Index.column());
  if (Role != Qt::DisplayRole) return {};
  switch (Index.column()) {
    case ColCode: return QString::number(p.Code);
    case ColName: return DescriptionText(p);
    case ColLimits: return LimitsText(p);
    case ColRead: return ReadCellText(p);
    case ColWrite: return WriteCellText(p);
    default: return {};
  }
}

QVariant TParamModel::headerData(int Section, Qt::Orientation Orientation, int Role) const {
  if (Orientation != Qt::Horizontal || Section < 0 || Section >= ColumnCount) return {};
  if (Role == Qt::DisplayRole) return HeaderCaption(Section);
  if (Role == Qt::TextAlignmentRole)
    return QVariant::fromValue(Section == ColCode ? Qt::AlignCenter
                                                  : Qt::AlignLeft | Qt::AlignVCenter);
  return {};
}

QString TParamModel::DescriptionText(const CParameter& P) {
  QString text = FromUtf8(P.Caption);
  if (!P.Units.empty()) text = QString("%1 (%2)").arg(text, FromUtf8(P.Units));
  if (!P.ValueNames.empty()) {
    QString names = ":\r\n";
    for (size_t i = 0; i < P.ValueNames.size(); ++i) {
      names += "  " + FromUtf8(P.ValueNames[i]);
      if (i + 1 < P.ValueNames.size()) names += ";\r\n";
    }
    text += TrimControls(names);
  }
  return text;
}

QString TParamModel::LimitsText(const CParameter& P) {
  switch (P.Kind) {
    case pkNumber:
    case pkCommonNumber:
    case pkAddress:
      return "от " + LimitText(P, P.MinValue) + " до " + LimitText(P, P.MaxValue) + " " +
             FromUtf8(P.Units);
    case pkPair: return QString::fromUtf8(kLimitsPair);
    case pkTemperature:
    case pkTemperatureList: return QString::fromUtf8(kLimitsTemperature);
    case pkNegativeTemperature: return QString::fromUtf8(kLimitsNegativeTemperature);
    default: return QString::fromUtf8(kLimitsList);  // the lists, and any unknown kind
  }
}

QString TParamModel::ReadCellText(const CParameter& P) {
  return P.ReadError ? QString::fromUtf8(kReadError) : FromUtf8(P.ReadText);
}

QString TParamModel::WriteCellText(const CParameter& P) {
  try {
    return FromUtf8(P.ValueToText(std::max(P.Value, P.MinValue)));
  } catch (const std::exception&) {
    return {};  // a kind without a text shows an empty box
  }
}

QString TParamModel::HeaderCaption(int Column) {
  return Column >= 0 && Column < ColumnCount ? QString::fromUtf8(kHeader[Column]) : QString();
}

QString TParamModel::CellHint(int Column) {
  if (Column == ColRead) return QString::fromUtf8(kHintRead);
  if (Column == ColWrite) return QString::fromUtf8(kHintWrite);
  return {};
}

QString LaidOut(const QString& Text) { return QString(Text).replace("\r\n", "\n"); }

void DrawValueBox(QPainter& Canvas, const QRect& Rect, const QString& Text) {
  if (Rect.height() <= 0) return;
  // QRect's bottom is inclusive; the box arithmetic counts the edge outside.
  const int top = (Rect.top() + Rect.top() + Rect.height()) / 2 - kValueBoxHeight / 2;
  const QRect box(QPoint(Rect.left() + kValueBoxIndent, top),
                  QPoint(Rect.left() + Rect.width() - kValueBoxIndent - 1, top + kValueBoxHeight - 1));
  Canvas.save();
  Canvas.setClipRect(box);
  Canvas.setPen(Qt::black);
  Canvas.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, Text);
  Canvas.restore();
  Canvas.save();
  Canvas.setPen(Qt::black);
  Canvas.setBrush(Qt::NoBrush);
  const QRect outline = box.adjusted(-kValueBoxOutline, -kValueBoxOutline, kValueBoxOutline,
                                     kValueBoxOutline);
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
