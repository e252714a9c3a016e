// The parameter grid and the tab control it lies in.
#pragma once

#include <QTableView>
#include <utility>

class QTabBar;

// One row of tabs over a page that stays the same widget whatever tab is
// selected (the grid filters its rows by the tab instead).
class TTabControl : public QWidget {
  Q_OBJECT

 public:
  explicit TTabControl(QWidget* Parent = nullptr);

  QTabBar* Tabs() const { return Bar; }
  int TabIndex() const;  // -1 when no tab is selected
  // The widget that fills the page (the grid), resized with the control.
  void SetPage(QWidget* Page);

 signals:
  void Change();

 protected:
  void resizeEvent(QResizeEvent* Event) override;
  void paintEvent(QPaintEvent* Event) override;

 private:
  QRect PageRect() const;  // under the tabs, inside the page's frame

  QTabBar* Bar;
  QWidget* Page = nullptr;
};

// The grid counts rows as the window does: row 0 is the header, row r is
// model row r - 1. A row is hidden by a height of 0 or less, and a cell in a
// hidden row never becomes the current cell, whether by mouse, keyboard or
// code.
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
  void SetRowHeight(int Row, int Height);  // -1 hides the row
  int RowHeight(int Row) const;
  int RowCount() const;
  // The cell's rectangle in the coordinates of Target (a widget the grid is
  // inside, or the grid itself).
  QRect CellRect(int Col, int Row, const QWidget* Target) const;

 signals:
  void SelectCellEvent(int Col, int Row);
  void Enter();
  void ColumnSized();
  void CellMouseMove(int Col, int Row, QPoint Global);
  void CellDblClick(int Col, int Row);
  // A click on the current cell, or Enter or F2 over it: asks for its editor.
  void CellOpen(int Col, int Row);

 protected:
  void currentChanged(const QModelIndex& Current, const QModelIndex& Previous) override;
  void focusInEvent(QFocusEvent* Event) override;
  void mouseMoveEvent(QMouseEvent* Event) override;
  void mouseDoubleClickEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;
  void keyPressEvent(QKeyEvent* Event) override;
  bool viewportEvent(QEvent* Event) override;

 private:
  // The column and grid row at a point of the viewport; row -1 off the cells.
  std::pair<int, int> CellAt(QPoint Viewport) const;

  bool Reverting = false;
};

class TRXDrawGrid : public TOpenedRXDrawGrid {
  Q_OBJECT

 public:
  using TOpenedRXDrawGrid::TOpenedRXDrawGrid;
};
