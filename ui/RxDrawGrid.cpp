#include "ui/RxDrawGrid.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>
#include <algorithm>

constexpr int kFrame = 2;  // the page's border, as the tab control draws it

TTabControl::TTabControl(QWidget* Parent) : QWidget(Parent), Bar(new QTabBar(this)) {
  Bar->setObjectName("TabControl1Tabs");
  Bar->setDrawBase(false);
  Bar->setExpanding(false);
  connect(Bar, &QTabBar::currentChanged, this, &TTabControl::Change);
}

int TTabControl::TabIndex() const { return Bar->currentIndex(); }

QRect TTabControl::PageRect() const {
  const int top = Bar->sizeHint().height();
  return QRect(0, top, width(), height() - top).adjusted(kFrame, kFrame, -kFrame, -kFrame);
}

void TTabControl::SetPage(QWidget* NewPage) {
  Page = NewPage;
  resizeEvent(nullptr);
}

void TTabControl::resizeEvent(QResizeEvent*) {
  Bar->setGeometry(0, 0, width(), Bar->sizeHint().height());
  if (Page) Page->setGeometry(PageRect());
}

void TTabControl::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QStyleOptionTabWidgetFrame frame;
  frame.initFrom(this);
  frame.rect = PageRect().adjusted(-kFrame, -kFrame, kFrame, kFrame);
  frame.tabBarSize = Bar->sizeHint();
  frame.shape = QTabBar::RoundedNorth;
  style()->drawPrimitive(QStyle::PE_FrameTabWidget, &frame, &painter, this);
}

TOpenedRXDrawGrid::TOpenedRXDrawGrid(QWidget* Parent) : QTableView(Parent) {
  setMouseTracking(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  verticalHeader()->hide();
  horizontalHeader()->setHighlightSections(false);
  connect(horizontalHeader(), &QHeaderView::sectionResized, this, &TOpenedRXDrawGrid::ColumnSized);
}

bool TOpenedRXDrawGrid::SelectCell(int Col, int Row) {
  if (Row < 1 || RowHeight(Row) <= 0) return false;
  emit SelectCellEvent(Col, Row);
  return true;
}

// No current cell is an index whose row and column are -1.
int TOpenedRXDrawGrid::Col() const { return std::max(currentIndex().column(), 0); }
int TOpenedRXDrawGrid::Row() const { return currentIndex().row() + 1; }

void TOpenedRXDrawGrid::SetCurrentCell(int Col, int Row) {
  if (!model() || Row < 1) return;
  setCurrentIndex(model()->index(Row - 1, Col));
}

void TOpenedRXDrawGrid::SetRowHeight(int Row, int Height) {
  if (Row < 1 || Row > RowCount()) return;
  setRowHidden(Row - 1, Height <= 0);
  if (Height > 0) setRowHeight(Row - 1, Height);
}

int TOpenedRXDrawGrid::RowHeight(int Row) const {
  if (Row < 1 || Row > RowCount()) return 0;
  return isRowHidden(Row - 1) ? -1 : rowHeight(Row - 1);
}

int TOpenedRXDrawGrid::RowCount() const { return model() ? model()->rowCount() : 0; }

QRect TOpenedRXDrawGrid::CellRect(int Col, int Row, const QWidget* Target) const {
  if (!model() || Row < 1 || Row > RowCount()) return {};
  const QRect cell = visualRect(model()->index(Row - 1, Col));
  if (!cell.isValid()) return {};
  const QPoint origin = viewport()->mapTo(window(), cell.topLeft());
  return QRect(Target->mapFrom(window(), origin), cell.size());
}

std::pair<int, int> TOpenedRXDrawGrid::CellAt(QPoint Viewport) const {
  const QModelIndex index = indexAt(Viewport);
  if (!index.isValid()) return {columnAt(Viewport.x()), -1};
  return {index.column(), index.row() + 1};
}

void TOpenedRXDrawGrid::currentChanged(const QModelIndex& Current, const QModelIndex& Previous) {
  if (!Reverting && Current.isValid() && !SelectCell(Current.column(), Current.row() + 1)) {
    // A hidden row never becomes current: put back what was there.
    Reverting = true;
    selectionModel()->setCurrentIndex(Previous, QItemSelectionModel::ClearAndSelect);
    Reverting = false;
    return;
  }
  QTableView::currentChanged(Current, Previous);
}

void TOpenedRXDrawGrid::focusInEvent(QFocusEvent* Event) {
  QTableView::focusInEvent(Event);
  emit Enter();
}

void TOpenedRXDrawGrid::mouseMoveEvent(QMouseEvent* Event) {
  QTableView::mouseMoveEvent(Event);
  const auto [col, row] = CellAt(Event->position().toPoint());
  emit CellMouseMove(col, row, Event->globalPosition().toPoint());
}

void TOpenedRXDrawGrid::mouseDoubleClickEvent(QMouseEvent* Event) {
  QTableView::mouseDoubleClickEvent(Event);
  const auto [col, row] = CellAt(Event->position().toPoint());
  emit CellDblClick(col, row);
}

void TOpenedRXDrawGrid::mouseReleaseEvent(QMouseEvent* Event) {
  QTableView::mouseReleaseEvent(Event);
  const auto [col, row] = CellAt(Event->position().toPoint());
  if (Event->button() == Qt::LeftButton && row == Row() && col == Col()) emit CellOpen(col, row);
}

void TOpenedRXDrawGrid::keyPressEvent(QKeyEvent* Event) {
  const int key = Event->key();
  if ((key == Qt::Key_F2 || key == Qt::Key_Return || key == Qt::Key_Enter) && Row() >= 1) {
    emit CellOpen(Col(), Row());
    Event->accept();
    return;
  }
  QTableView::keyPressEvent(Event);
}

bool TOpenedRXDrawGrid::viewportEvent(QEvent* Event) {
  // The hint follows every mouse move (CellMouseMove); the view's own
  // delayed tool tips would show a second, stale one.
  if (Event->type() == QEvent::ToolTip) return true;
  return QTableView::viewportEvent(Event);
}
