// The parameter grid. It counts rows as the window does: row 0 is the
// header, row r (r >= 1) is model row r - 1. A row is hidden by a height of
// 0 or less, and a cell in a hidden row can never become the current cell,
// whether by mouse, keyboard or code.
#pragma once

#include <QPoint>
#include <QRect>
#include <QTableView>

class TOpenedRXDrawGrid : public QTableView {
  Q_OBJECT

 public:
  explicit TOpenedRXDrawGrid(QWidget* Parent = nullptr);

  // Whether the cell may become current; raises SelectCellEvent when it may.
  virtual bool SelectCell(int Col, int Row);

  // The current cell; row 0 when there is none.
  int Col() const;
  int Row() const;
  void SetCurrentCell(int Col, int Row);
  // Grid row r's height; -1 hides it.
  void SetRowHeight(int Row, int Height);
  int RowHeight(int Row) const;
  int RowCount() const;
  // The cell's rectangle in the coordinates of Target (a widget the grid is
  // inside, or the grid itself).
  QRect CellRect(int Col, int Row, const QWidget* Target) const;
  // The cell at a point of the viewport; row -1 when it is no cell, 0 on the header.
  void CellAt(QPoint Viewport, int& Col, int& Row) const;

 signals:
  void SelectCellEvent(int Col, int Row);
  void Enter();
  void ColumnSized();
  void CellMouseMove(int Col, int Row, QPoint Global);
  void CellDblClick(int Col, int Row);

 protected:
  void currentChanged(const QModelIndex& Current, const QModelIndex& Previous) override;
  void focusInEvent(QFocusEvent* Event) override;
  void mouseMoveEvent(QMouseEvent* Event) override;
  void mouseDoubleClickEvent(QMouseEvent* Event) override;
  bool viewportEvent(QEvent* Event) override;

 private:
  bool Reverting = false;
};

class TRXDrawGrid : public TOpenedRXDrawGrid {
  Q_OBJECT

 public:
  using TOpenedRXDrawGrid::TOpenedRXDrawGrid;
};
