#include "ui/RxDrawGrid.h"

#include <QHeaderView>
#include <QMouseEvent>

TOpenedRXDrawGrid::TOpenedRXDrawGrid(QWidget* Parent) : QTableView(Parent) {
  setMouseTracking(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectItems);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setWordWrap(true);
  verticalHeader()->hide();
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  connect(horizontalHeader(), &QHeaderView::sectionResized, this, &TOpenedRXDrawGrid::ColumnSized);
}

bool TOpenedRXDrawGrid::SelectCell(int Col, int Row) {
  if (Row < 1 || RowHeight(Row) <= 0) return false;
  emit SelectCellEvent(Col, Row);
  return true;
}

int TOpenedRXDrawGrid::Col() const {
  const QModelIndex current = currentIndex();
  return current.isValid() ? current.column() : 0;
}

int TOpenedRXDrawGrid::Row() const {
  const QModelIndex current = currentIndex();
  return current.isValid() ? current.row() + 1 : 0;
}

void TOpenedRXDrawGrid::SetCurrentCell(int Col, int Row) {
  if (!model() || Row < 1) return;
  setCurrentIndex(model()->index(Row - 1, Col));
}

void TOpenedRXDrawGrid::SetRowHeight(int Row, int Height) {
  if (Row < 1 || Row > RowCount()) return;
  if (Height <= 0) {
    setRowHidden(Row - 1, true);
  } else {
    setRowHidden(Row - 1, false);
    setRowHeight(Row - 1, Height);
  }
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

void TOpenedRXDrawGrid::CellAt(QPoint Viewport, int& Col, int& Row) const {
  const QModelIndex index = indexAt(Viewport);
  Col = index.isValid() ? index.column() : columnAt(Viewport.x());
  Row = index.isValid() ? index.row() + 1 : -1;
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
  int col = 0, row = -1;
  CellAt(Event->position().toPoint(), col, row);
  emit CellMouseMove(col, row, Event->globalPosition().toPoint());
}

void TOpenedRXDrawGrid::mouseDoubleClickEvent(QMouseEvent* Event) {
  QTableView::mouseDoubleClickEvent(Event);
  int col = 0, row = -1;
  CellAt(Event->position().toPoint(), col, row);
  emit CellDblClick(col, row);
}

bool TOpenedRXDrawGrid::viewportEvent(QEvent* Event) {
  // The hint follows every mouse move (CellMouseMove); the view's own
  // delayed tool tips would show a second, stale one.
  if (Event->type() == QEvent::ToolTip) return true;
  return QTableView::viewportEvent(Event);
}
