// The draw grid RxDGCommon: the catalog's rows under a fixed header row,
// rows of different heights (a hidden row has none), drawn by this library
// from the core's texts. Rows are counted as the window counts them: row 0
// is the header, row r shows catalog record r - 1.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "params/ParameterUnit.h"
#include "ui/core/BulkRun.h"
#include "ui/core/GridText.h"
#include "ui/win/Controls.h"

namespace qx25::win {

// Registered messages the grid answers for tests and tools, wParam =
// MAKEWPARAM(column, row). CellText: lParam a wchar_t[kCellTextSize] that
// receives the cell's text as drawn; the result is its length, -1 for no
// such cell. CellRect: puts the cell's rectangle, in the grid's client
// coordinates (outside the client area when scrolled out of sight), into
// lParam (a RECT*); the result is 1, or 0 for a hidden row or no such cell.
UINT CellTextMessage();
UINT CellRectMessage();
inline constexpr int kCellTextSize = 1024;

class TGrid {
 public:
  // Frame receives the commands and notifications of the grid's children
  // (the in-place editors).
  TGrid(HWND Parent, HWND Frame, TPlace At, int Id);
  HWND Handle() const { return Window; }

  // Null: no rows. The grid draws the records as they are at each repaint.
  void SetCatalog(const CTRKParameters* Catalog);
  // The write-all whose left-out rows are marked; not owned; null marks none.
  void SetLeftOut(const ui::TRunTally* Tally) { LeftOut = Tally; }
  int RowCount() const { return static_cast<int>(Heights.size()); }
  int RowHeight(int Row) const;
  void SetRowHeight(int Row, int Height);
  int ColumnWidth(int Col) const;
  int Row() const { return CurrentRow; }
  int Col() const { return CurrentCol; }
  // Makes (Col, Row) current when Row is shown; tells OnSelectCell.
  void SetCurrentCell(int Col, int Row);
  // The cell in client coordinates; empty for a hidden row or no such cell.
  RECT CellRect(int Col, int Row) const;
  void Repaint();

  // The height of Text word-wrapped at the width of column Col.
  int TextHeight(const std::string& Text, int Col) const;
  int ValueBoxHeight() const;

  std::function<void(int Col, int Row)> OnSelectCell;
  std::function<void(int Col, int Row)> OnDblClick;
  std::function<void()> OnEnter;

 private:
  static LRESULT CALLBACK Proc(HWND Window, UINT Message, WPARAM W, LPARAM L);
  LRESULT Handle(UINT Message, WPARAM W, LPARAM L);
  void Paint(HDC Canvas, const RECT& Area) const;
  void PaintCell(HDC Canvas, int Col, int Row, const RECT& Cell) const;
  int RowTop(int Row) const;  // before scrolling
  int HeaderHeight() const;
  int ContentHeight() const;
  bool HitTest(int X, int Y, int& Col, int& Row) const;
  void ScrollTo(int Top);
  void BringIntoSight(int Row);
  void UpdateScrollBar();
  void MoveCurrent(int Key);
  std::wstring HintAt(int X, int Y) const;

  HWND Window = nullptr;
  HWND Frame = nullptr;
  HWND Tips = nullptr;
  const CTRKParameters* Records = nullptr;
  const ui::TRunTally* LeftOut = nullptr;
  std::string LeftOutOf(int Row) const {
    return LeftOut ? LeftOut->LeftOut(Row - 1) : std::string();
  }
  std::vector<int> Heights;  // by grid row, the header's included
  int CurrentCol = 0, CurrentRow = 1;
  int Top = 0;  // pixels scrolled
  int HintCol = -1, HintRow = -1;
  std::wstring Hint;
};

}  // namespace qx25::win
