#include "ui/win/Grid.h"

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <climits>
#include <numeric>

#include "ui/core/Editing.h"
#include "ui/win/Text.h"

namespace qx25::win {
namespace {

constexpr wchar_t kClass[] = L"TRXDrawGrid";
constexpr int kColumnWidths[ui::ColumnCount] = {38, 422, 76, 64, 169};
constexpr COLORREF kNameBackground = RGB(0xC0, 0xDC, 0xC0);
constexpr COLORREF kOutOfLimitsInk = RGB(0xFF, 0x00, 0x00);
constexpr COLORREF kGridLine = RGB(0xC0, 0xC0, 0xC0);
constexpr int kLineStep = 20;
constexpr int kCodeNarrowest = 50;  // percent
constexpr UINT kWrapped = DT_LEFT | DT_TOP | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX;

void RegisterOnce() {
  static const bool registered = [] {
    WNDCLASSW c{};
    c.style = CS_DBLCLKS;
    c.lpfnWndProc = DefWindowProcW;
    c.hInstance = GetModuleHandleW(nullptr);
    c.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    c.lpszClassName = kClass;
    return RegisterClassW(&c) != 0;
  }();
  (void)registered;
}

// The captions fit their columns: narrowed like the buttons' if need be.
HFONT HeaderFont() {
  static const HFONT font = [] {
    HFONT narrowest = FormFont();
    int narrowestWidth = INT_MAX;
    for (int col = 0; col < ui::ColumnCount; ++col) {
      HFONT fitted = FittedFont(Wide(ui::HeaderCaption(col)), kColumnWidths[col] - 5, false);
      LOGFONTW face{};
      GetObjectW(fitted, sizeof face, &face);
      if (fitted != FormFont() && face.lfWidth < narrowestWidth)
        narrowest = fitted, narrowestWidth = face.lfWidth;
    }
    return narrowest;
  }();
  return font;
}

int LineHeight(HDC Canvas) {
  TEXTMETRICW metrics{};
  GetTextMetricsW(Canvas, &metrics);
  return metrics.tmHeight;
}

}  // namespace

UINT CellTextMessage() {
  static const UINT message = RegisterWindowMessageW(L"qx25.CellText");
  return message;
}

UINT CellRectMessage() {
  static const UINT message = RegisterWindowMessageW(L"qx25.CellRect");
  return message;
}

TGrid::TGrid(HWND Parent, HWND FrameWindow, TPlace At, int Id) : Frame(FrameWindow) {
  RegisterOnce();
  Window = CreateWindowExW(
      WS_EX_CLIENTEDGE | WS_EX_CONTROLPARENT, kClass, nullptr,
      WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, At.X,
      At.Y, At.Width, At.Height, Parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(Id)),
      GetModuleHandleW(nullptr), nullptr);
  SetName(Window, L"RxDGCommon");
  SetWindowLongPtrW(Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(Window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TGrid::Proc));
  SendMessageW(Window, WM_SETFONT, reinterpret_cast<WPARAM>(FormFont()), FALSE);

  // One tool over the whole grid; its text follows the cell under the mouse.
  Tips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                         CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Window,
                         nullptr, GetModuleHandleW(nullptr), nullptr);
  TOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V1_SIZE;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = Window;
  tool.uId = reinterpret_cast<UINT_PTR>(Window);
  tool.lpszText = LPSTR_TEXTCALLBACKW;
  SendMessageW(Tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  SendMessageW(Tips, TTM_SETMAXTIPWIDTH, 0, 400);
  SendMessageW(Tips, TTM_SETDELAYTIME, TTDT_INITIAL, 0);
}

void TGrid::SetCatalog(const CTRKParameters* Catalog) {
  Records = Catalog;
  Heights.assign(Catalog ? static_cast<size_t>(Catalog->Count()) + 1 : 1, 0);
  Heights[0] = HeaderHeight();
  Top = 0;
  UpdateScrollBar();
  Repaint();
}

int TGrid::RowHeight(int Row) const {
  return Row >= 0 && Row < RowCount() ? Heights[static_cast<size_t>(Row)] : 0;
}

void TGrid::SetRowHeight(int Row, int Height) {
  if (Row < 1 || Row >= RowCount()) return;
  Heights[static_cast<size_t>(Row)] = Height;
  UpdateScrollBar();
  InvalidateRect(Window, nullptr, FALSE);
}

int TGrid::ColumnWidth(int Col) const {
  return Col >= 0 && Col < ui::ColumnCount ? kColumnWidths[Col] : 0;
}

int TGrid::HeaderHeight() const {
  HDC canvas = GetDC(Window);
  HGDIOBJ old = SelectObject(canvas, FormFont());
  const int height = LineHeight(canvas) + 6;
  SelectObject(canvas, old);
  ReleaseDC(Window, canvas);
  return height;
}

int TGrid::ValueBoxHeight() const { return std::max(Heights.empty() ? 0 : Heights[0] - 4, 0); }

int TGrid::TextHeight(const std::string& Text, int Col) const {
  HDC canvas = GetDC(Window);
  HGDIOBJ old = SelectObject(canvas, FormFont());
  const std::wstring text = Wide(Text);
  RECT area{0, 0, ColumnWidth(Col) - 1, 0};
  DrawTextW(canvas, text.c_str(), static_cast<int>(text.size()), &area, kWrapped | DT_CALCRECT);
  SelectObject(canvas, old);
  ReleaseDC(Window, canvas);
  return area.bottom - area.top;
}

int TGrid::RowTop(int Row) const {
  int top = 0;
  for (int r = 1; r < Row && r < RowCount(); ++r) top += std::max(RowHeight(r), 0);
  return top;
}

int TGrid::ContentHeight() const { return RowTop(RowCount()); }

RECT TGrid::CellRect(int Col, int Row) const {
  RECT cell{};
  if (Col < 0 || Col >= ui::ColumnCount || Row < 0 || Row >= RowCount() || RowHeight(Row) <= 0)
    return cell;
  cell.left = std::accumulate(kColumnWidths, kColumnWidths + Col, 0);
  cell.right = cell.left + kColumnWidths[Col];
  cell.top = Row == 0 ? 0 : Heights[0] + RowTop(Row) - Top;
  cell.bottom = cell.top + RowHeight(Row);
  return cell;
}

bool TGrid::HitTest(int X, int Y, int& Col, int& Row) const {
  for (Row = 0; Row < RowCount(); ++Row) {
    const RECT r = CellRect(0, Row);
    if (r.bottom <= r.top || Y < r.top || Y >= r.bottom) continue;
    if (Row > 0 && Y < Heights[0]) continue;  // under the header
    for (Col = 0; Col < ui::ColumnCount; ++Col) {
      const RECT c = CellRect(Col, Row);
      if (X >= c.left && X < c.right) return true;
    }
    return false;
  }
  return false;
}

void TGrid::SetCurrentCell(int Col, int Row) {
  if (Col < 0 || Col >= ui::ColumnCount || Row < 1 || RowHeight(Row) <= 0) return;
  CurrentCol = Col;
  CurrentRow = Row;
  BringIntoSight(Row);
  Repaint();
  if (OnSelectCell) OnSelectCell(Col, Row);
}

void TGrid::Repaint() { InvalidateRect(Window, nullptr, FALSE); }

void TGrid::UpdateScrollBar() {
  RECT client{};
  GetClientRect(Window, &client);
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  info.nMax = std::max(ContentHeight() - 1, 0);
  info.nPage =
      static_cast<UINT>(std::max<LONG>(client.bottom - (Heights.empty() ? 0 : Heights[0]), 0));
  const int limit = std::max(ContentHeight() - static_cast<int>(info.nPage), 0);
  if (Top > limit) ScrollTo(limit);
  info.nPos = Top;
  SetScrollInfo(Window, SB_VERT, &info, TRUE);
}

void TGrid::ScrollTo(int NewTop) {
  RECT client{};
  GetClientRect(Window, &client);
  const int page = client.bottom - Heights[0];
  NewTop = std::clamp(NewTop, 0, std::max(ContentHeight() - page, 0));
  if (NewTop == Top) return;
  const int delta = Top - NewTop;
  Top = NewTop;
  // The editors move with the rows they lie over.
  for (HWND child = GetWindow(Window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, Window, reinterpret_cast<POINT*>(&r), 2);
    SetWindowPos(child, nullptr, r.left, r.top + delta, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  SetScrollPos(Window, SB_VERT, Top, TRUE);
  InvalidateRect(Window, nullptr, FALSE);
}

void TGrid::BringIntoSight(int Row) {
  RECT client{};
  GetClientRect(Window, &client);
  const int top = RowTop(Row), page = client.bottom - Heights[0];
  if (top < Top)
    ScrollTo(top);
  else if (top + RowHeight(Row) > Top + page)
    ScrollTo(top + RowHeight(Row) - page);
}

void TGrid::MoveCurrent(int Key) {
  int col = CurrentCol, row = CurrentRow;
  auto step = [&](int Direction) {
    for (int r = row + Direction; r >= 1 && r < RowCount(); r += Direction)
      if (RowHeight(r) > 0) return r;
    return row;
  };
  switch (Key) {
    case VK_LEFT:
      col = std::max(col - 1, 0);
      break;
    case VK_RIGHT:
      col = std::min(col + 1, ui::ColumnCount - 1);
      break;
    case VK_UP:
      row = step(-1);
      break;
    case VK_DOWN:
      row = step(1);
      break;
    case VK_HOME:
      row = 0, row = step(1);
      break;
    case VK_END:
      row = RowCount(), row = step(-1);
      break;
    default:
      return;
  }
  SetCurrentCell(col, row);
}

std::wstring TGrid::HintAt(int X, int Y) const {
  int col = 0, row = 0;
  if (!Records || !HitTest(X, Y, col, row) || row < 1) return {};
  return Wide(ui::CellHintOf(Records->Items(row - 1), col, LeftOutOf(row)));
}

void TGrid::PaintCell(HDC Canvas, int Col, int Row, const RECT& Cell) const {
  RECT inner{Cell.left, Cell.top, Cell.right - 1, Cell.bottom - 1};
  const bool current = Row == CurrentRow && Col == CurrentCol && Row > 0;
  COLORREF ink = GetSysColor(COLOR_WINDOWTEXT);
  COLORREF back = GetSysColor(Row == 0 ? COLOR_BTNFACE : COLOR_WINDOW);
  if (current) {
    back = GetSysColor(COLOR_HIGHLIGHT);
    ink = GetSysColor(COLOR_HIGHLIGHTTEXT);
  }
  if (Row > 0 && Col == ui::ColName) back = kNameBackground, ink = RGB(0, 0, 0);
  HBRUSH brush = CreateSolidBrush(back);
  FillRect(Canvas, &inner, brush);
  DeleteObject(brush);
  SetTextColor(Canvas, ink);

  if (Row == 0) {
    const std::wstring caption = Wide(ui::HeaderCaption(Col));
    SelectObject(Canvas, HeaderFont());
    RECT text = inner;
    InflateRect(&text, -2, 0);
    DrawTextW(
        Canvas, caption.c_str(), -1, &text,
        (Col == ui::ColCode ? DT_CENTER : DT_LEFT) | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(Canvas, FormFont());
    return;
  }
  if (!Records || Row > Records->Count()) return;
  const ui::TCell cell = ui::CellOf(Records->Items(Row - 1), Col, LeftOutOf(Row));
  const std::wstring text = Wide(cell.Text);
  if (Col == ui::ColCode) {
    // The address row's code becomes a long ID number: narrowed to fit, as
    // far as the Qt grid narrows it.
    SelectObject(Canvas, FittedFont(text, inner.right - inner.left - 2, false, kCodeNarrowest));
    DrawTextW(Canvas, text.c_str(), -1, &inner,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(Canvas, FormFont());
  } else if (Col == ui::ColName || Col == ui::ColLimits) {
    DrawTextW(Canvas, text.c_str(), -1, &inner, kWrapped);
  } else {
    const ui::TRect b =
        ui::ValueBox({Cell.left, Cell.top, Cell.right, Cell.bottom}, ValueBoxHeight());
    RECT box{b.Left, b.Top, b.Right, b.Bottom};
    SetTextColor(Canvas, cell.OutOfLimits ? kOutOfLimitsInk : ink);
    // Shortened as the status bar shortens; the hint has it whole.
    DrawTextW(Canvas, text.c_str(), -1, &box,
              DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    InflateRect(&box, ui::kValueBoxOutline, ui::kValueBoxOutline);
    FrameRect(Canvas, &box, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  }
}

void TGrid::Paint(HDC Canvas, const RECT& Area) const {
  FillRect(Canvas, &Area, GetSysColorBrush(COLOR_WINDOW));
  HGDIOBJ oldFont = SelectObject(Canvas, FormFont());
  SetBkMode(Canvas, TRANSPARENT);
  HPEN line = CreatePen(PS_SOLID, 1, kGridLine);
  HGDIOBJ oldPen = SelectObject(Canvas, line);
  // The rows first, then the header over whatever scrolled under it.
  for (int pass = 0; pass < 2; ++pass) {
    for (int row = pass == 0 ? 1 : 0; row < (pass == 0 ? RowCount() : 1); ++row) {
      for (int col = 0; col < ui::ColumnCount; ++col) {
        const RECT cell = CellRect(col, row);
        if (cell.bottom <= cell.top || cell.bottom < Area.top || cell.top > Area.bottom) continue;
        if (row > 0 && cell.bottom <= Heights[0]) continue;
        HRGN clip = CreateRectRgn(cell.left, std::max<LONG>(cell.top, row > 0 ? Heights[0] : 0),
                                  cell.right, cell.bottom);
        SelectClipRgn(Canvas, clip);
        PaintCell(Canvas, col, row, cell);
        MoveToEx(Canvas, cell.right - 1, cell.top, nullptr);
        LineTo(Canvas, cell.right - 1, cell.bottom - 1);
        LineTo(Canvas, cell.left - 1, cell.bottom - 1);
        SelectClipRgn(Canvas, nullptr);
        DeleteObject(clip);
      }
    }
  }
  SelectObject(Canvas, oldPen);
  DeleteObject(line);
  SelectObject(Canvas, oldFont);
}

LRESULT CALLBACK TGrid::Proc(HWND Window, UINT Message, WPARAM W, LPARAM L) {
  auto* grid = reinterpret_cast<TGrid*>(GetWindowLongPtrW(Window, GWLP_USERDATA));
  return grid ? grid->Handle(Message, W, L) : DefWindowProcW(Window, Message, W, L);
}

LRESULT TGrid::Handle(UINT Message, WPARAM W, LPARAM L) {
  if (Message == CellTextMessage()) {
    const int col = LOWORD(W), row = HIWORD(W);
    auto* out = reinterpret_cast<wchar_t*>(L);
    if (!out || col >= ui::ColumnCount || row >= RowCount() || (row > 0 && !Records)) return -1;
    const std::wstring text =
        Wide(row == 0 ? ui::HeaderCaption(col) : ui::CellOf(Records->Items(row - 1), col).Text);
    const size_t length = std::min<size_t>(text.size(), kCellTextSize - 1);
    text.copy(out, length);
    out[length] = L'\0';
    return static_cast<LRESULT>(length);
  }
  if (Message == CellRectMessage()) {
    const int col = LOWORD(W), row = HIWORD(W);
    auto* out = reinterpret_cast<RECT*>(L);
    if (!out || row < 1 || RowHeight(row) <= 0 || col >= ui::ColumnCount) return 0;
    *out = CellRect(col, row);
    return 1;
  }
  switch (Message) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC screen = BeginPaint(Window, &ps);
      RECT client{};
      GetClientRect(Window, &client);
      // Drawn off screen first: no flicker while a run repaints row by row.
      HDC canvas = CreateCompatibleDC(screen);
      HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
      HGDIOBJ old = SelectObject(canvas, bitmap);
      Paint(canvas, client);
      BitBlt(screen, 0, 0, client.right, client.bottom, canvas, 0, 0, SRCCOPY);
      SelectObject(canvas, old);
      DeleteObject(bitmap);
      DeleteDC(canvas);
      EndPaint(Window, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_SIZE:
      UpdateScrollBar();
      return 0;
    case WM_VSCROLL: {
      SCROLLINFO info{};
      info.cbSize = sizeof info;
      info.fMask = SIF_ALL;
      GetScrollInfo(Window, SB_VERT, &info);
      int top = Top;
      switch (LOWORD(W)) {
        case SB_LINEUP:
          top -= kLineStep;
          break;
        case SB_LINEDOWN:
          top += kLineStep;
          break;
        case SB_PAGEUP:
          top -= static_cast<int>(info.nPage);
          break;
        case SB_PAGEDOWN:
          top += static_cast<int>(info.nPage);
          break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION:
          top = info.nTrackPos;
          break;
        case SB_TOP:
          top = 0;
          break;
        case SB_BOTTOM:
          top = ContentHeight();
          break;
      }
      ScrollTo(top);
      return 0;
    }
    case WM_MOUSEWHEEL:
      ScrollTo(Top - GET_WHEEL_DELTA_WPARAM(W) / WHEEL_DELTA * 3 * kLineStep);
      return 0;
    case WM_LBUTTONDOWN: {
      if (GetFocus() != Window) SetFocus(Window);
      int col = 0, row = 0;
      if (HitTest(GET_X_LPARAM(L), GET_Y_LPARAM(L), col, row)) SetCurrentCell(col, row);
      return 0;
    }
    case WM_LBUTTONDBLCLK: {
      int col = 0, row = 0;
      if (HitTest(GET_X_LPARAM(L), GET_Y_LPARAM(L), col, row) && OnDblClick) OnDblClick(col, row);
      return 0;
    }
    case WM_MOUSEMOVE: {
      int col = -1, row = -1;
      if (!HitTest(GET_X_LPARAM(L), GET_Y_LPARAM(L), col, row)) col = row = -1;
      if (col != HintCol || row != HintRow) {
        HintCol = col, HintRow = row;
        Hint = HintAt(GET_X_LPARAM(L), GET_Y_LPARAM(L));
        SendMessageW(Tips, TTM_POP, 0, 0);
        SendMessageW(Tips, TTM_UPDATE, 0, 0);
      }
      break;
    }
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(L);
      if (header->hwndFrom == Tips && header->code == TTN_GETDISPINFOW) {
        auto* info = reinterpret_cast<NMTTDISPINFOW*>(L);
        info->lpszText = Hint.empty() ? nullptr : const_cast<wchar_t*>(Hint.c_str());
        return 0;
      }
      return SendMessageW(Frame, Message, W, L);
    }
    case WM_COMMAND:
      return SendMessageW(Frame, Message, W, L);
    case WM_SETFOCUS:
      if (OnEnter) OnEnter();
      Repaint();
      return 0;
    case WM_KILLFOCUS:
      Repaint();
      return 0;
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS;
    case WM_KEYDOWN:
      MoveCurrent(static_cast<int>(W));
      return 0;
  }
  return DefWindowProcW(Window, Message, W, L);
}

}  // namespace qx25::win
