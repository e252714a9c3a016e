// Steps of the window test on what the Win32 window shares with the Qt one
// beyond its cells: the keyboard, the hints, the fitted texts, the marked
// default button, the names of the system's dialogs, and a line whose device
// goes away and comes back.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include "WindowTest.h"

namespace {

constexpr int kColRead = 3, kColWrite = 4;
constexpr int kDensityRow = 21;  // code 16
constexpr int kAddressRow = 1;
constexpr int kLastRow = 50;

std::wstring NameOf(HWND Window) {
  const auto* name = static_cast<const wchar_t*>(GetPropW(Window, L"Name"));
  return name ? name : L"";
}

std::string Narrow(const std::wstring& Text) {
  std::string out;
  for (wchar_t c : Text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

// Dark enough to be a letter's ink on a light cell.
bool Ink(COLORREF Pixel) { return GetRValue(Pixel) + GetGValue(Pixel) + GetBValue(Pixel) < 384; }

}  // namespace

HWND TWindowTest::Focused() const {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(UiThread, &info) ? info.hwndFocus : nullptr;
}

void TWindowTest::Press(WORD Key, bool Shift) {
  std::vector<INPUT> keys;
  auto key = [&keys](WORD Code, bool Up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = Code;
    in.ki.dwFlags = Up ? KEYEVENTF_KEYUP : 0;
    keys.push_back(in);
  };
  if (Shift) key(VK_SHIFT, false);
  key(Key, false);
  key(Key, true);
  if (Shift) key(VK_SHIFT, true);
  SendInput(static_cast<UINT>(keys.size()), keys.data(), sizeof(INPUT));
}

// Tab and Shift+Tab go round every control that is shown and enabled, the
// tool buttons and the grid included; Alt+X closes and Alt+В pastes.
void TWindowTest::Keyboard() {
  const std::string copied = Cell(kColWrite, kDensityRow);  // what the buffer holds
  PostMessageW(Focused(), WM_SYSKEYDOWN, 'X', 1 << 29);
  HWND first = Frame;
  if (!Check(WaitUntil([&] { return !IsWindow(first); }), "Alt+X closes the window")) return;
  if (!OpenWindow()) return;
  ClickTab(2);
  const std::string order =
      "ComPortEdit AddrEdit AddrBtn Button1 SaveBtn LoadBtn WriteBtn CopyTool PasteTool BitBtn1 "
      "TabControl1 RxDGCommon ";
  const std::string back =
      "RxDGCommon TabControl1 BitBtn1 PasteTool CopyTool WriteBtn LoadBtn SaveBtn Button1 AddrBtn "
      "AddrEdit ComPortEdit ";
  SetForegroundWindow(Frame);
  // From wherever the focus is to the first control, then once round each way.
  auto walk = [&](bool Back, int Keys) {
    std::string seen;
    for (int i = 0; i < Keys; ++i) {
      const HWND before = Focused();
      Press(VK_TAB, Back);
      WaitUntil([&] { return Focused() != before; }, 2000);
      seen += Narrow(NameOf(Focused())) + " ";
    }
    return seen;
  };
  for (int i = 0; i < 20 && NameOf(Focused()) != L"ComPortEdit"; ++i) walk(false, 1);
  const int count = static_cast<int>(std::count(order.begin(), order.end(), ' '));
  const std::string forward = walk(false, count), backward = walk(true, count);
  Check(forward == order.substr(order.find(' ') + 1) + "ComPortEdit ",
        "Tab goes round every control in order: " + forward);
  Check(backward == back, "Shift+Tab goes round backwards: " + backward);

  Check(Cell(kColWrite, kDensityRow) != copied, "a new window starts from the catalog");
  PostMessageW(Focused(), WM_SYSCHAR, L'в', 1 << 29);
  Check(WaitUntil([&] { return Cell(kColWrite, kDensityRow) == copied; }, 5000),
        "Alt+В pastes " + copied);
}

// The tool buttons' hints come up under the mouse.
void TWindowTest::Hints() {
  for (const auto& [name, hint] : {std::pair{L"CopyTool", "Копировать в буфер"},
                                   std::pair{L"PasteTool", "Копировать из буфера"}}) {
    HWND button = Control(name);
    if (!Check(button != nullptr, Narrow(name) + " is there")) continue;
    RECT r{};
    GetWindowRect(button, &r);
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    POINT inside{(r.right - r.left) / 2, (r.bottom - r.top) / 2};
    PostMessageW(button, WM_MOUSEMOVE, 0, MAKELPARAM(inside.x, inside.y));
    std::string shown;
    const bool up = WaitUntil(
        [&] {
          const HWND tip = ThreadWindow([](HWND W) {
            wchar_t kind[32] = {};
            GetClassNameW(W, kind, 32);
            return std::wcscmp(kind, TOOLTIPS_CLASSW) == 0 && IsWindowVisible(W);
          });
          if (!tip) return false;
          std::vector<wchar_t> text(256);
          TOOLINFOW tool{};
          tool.cbSize = TTTOOLINFOW_V1_SIZE;
          if (!SendMessageW(tip, TTM_GETCURRENTTOOLW, 0, reinterpret_cast<LPARAM>(&tool)))
            return false;
          tool.lpszText = text.data();
          SendMessageW(tip, TTM_GETTEXTW, text.size(), reinterpret_cast<LPARAM>(&tool));
          shown = Utf8(text.data());
          return shown == hint;
        },
        5000);
    Check(up, Narrow(name) + " shows its hint, not \"" + shown + "\"");
    Snapshot(name == std::wstring(L"CopyTool") ? "win-hint-copy" : "win-hint-paste");
  }
  SetCursorPos(0, 0);
}

// The ID number that the address row's code becomes fits its narrow column.
void TWindowTest::CodeColumn() {
  ClickTab(1);
  SetText(Control(L"edIDNumber"), "7654321");  // the simulator's controller 1
  ClickCell(kColWrite, kAddressRow);
  HWND edit = Control(L"WriteValueEdit");
  if (!Check(WaitUntil([&] { return IsWindowVisible(edit) != FALSE; }), "the address editor opens"))
    return;
  Type(edit, "1");  // its address stays
  WaitUntil([&] { return TextOf(edit) == "1"; }, 2000);
  PostMessageW(edit, WM_KEYDOWN, VK_RETURN, 0);
  ConfirmedText();
  Check(WaitUntil([&] { return Cell(0, kAddressRow) == "7654321"; }, 10000),
        "the code shows the ID number: " + Cell(0, kAddressRow));
  PostMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 0);
  WaitUntil([&] { return !IsWindowVisible(edit); });
  RedrawWindow(Grid, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  static const UINT message = RegisterWindowMessageW(L"qx25.CellRect");
  RECT cell{};
  SendMessageW(Grid, message, MAKEWPARAM(0, kAddressRow), reinterpret_cast<LPARAM>(&cell));
  // Clipped, the digits would run into both sides of the cell.
  HDC canvas = GetDC(Grid);
  int inkLeft = 0, inkRight = 0, inkAll = 0;
  for (LONG y = cell.top; y < cell.bottom - 1; ++y) {
    inkLeft += Ink(GetPixel(canvas, cell.left, y));
    inkRight += Ink(GetPixel(canvas, cell.right - 2, y));
    for (LONG x = cell.left; x < cell.right - 1; ++x) inkAll += Ink(GetPixel(canvas, x, y));
  }
  ReleaseDC(Grid, canvas);
  Check(inkAll > 0 && inkLeft == 0 && inkRight == 0,
        "the ID number fits its cell (ink at the sides: " + std::to_string(inkLeft) + ", " +
            std::to_string(inkRight) + ")");
  Snapshot("win-code-column");
}

// Bold buttons are bold, and none of them covers the tabs.
void TWindowTest::Looks() {
  for (const wchar_t* name : {L"Button1", L"SaveBtn", L"LoadBtn", L"WriteBtn"}) {
    LOGFONTW face{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Control(name), WM_GETFONT, 0, 0)), sizeof face,
               &face);
    Check(face.lfWeight >= FW_BOLD, Narrow(name) + " is bold");
  }
  HWND tabs = Control(L"TabControl1");
  RECT last{}, button{};
  SendMessageW(tabs, TCM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&last));
  MapWindowPoints(tabs, Frame, reinterpret_cast<POINT*>(&last), 2);
  GetWindowRect(Control(L"WriteBtn"), &button);
  MapWindowPoints(nullptr, Frame, reinterpret_cast<POINT*>(&button), 2);
  RECT overlap{};
  Check(!IntersectRect(&overlap, &last, &button),
        "the third tab ends at " + std::to_string(last.right) + ", clear of the write button");
}

// "Вычислить" is the marked default button, its caption not narrowed; Esc
// leaves the address as it was.
void TWindowTest::AddressDialogLooks() {
  PostMessageW(Control(L"AddrBtn"), BM_CLICK, 0, 0);
  HWND dialog = nullptr;
  if (!Check(WaitUntil([&] { return (dialog = TopLevel(L"AddrFrm")) && IsWindowVisible(dialog); }),
             "the address dialog opens"))
    return;
  HWND compute = nullptr;
  for (HWND w = FindWindowExW(dialog, nullptr, nullptr, nullptr); w && !compute;
       w = FindWindowExW(dialog, w, nullptr, nullptr))
    if (NameOf(w) == L"BitBtn1") compute = w;
  if (!Check(compute != nullptr, "the dialog has \"Вычислить\"")) return;
  LOGFONTW face{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(compute, WM_GETFONT, 0, 0)), sizeof face, &face);
  Check(face.lfWidth == 0, "\"Вычислить\" is not narrowed");
  RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  RECT r{};
  GetClientRect(compute, &r);
  HDC canvas = GetDC(compute);
  const COLORREF edge = GetPixel(canvas, 0, r.bottom / 2);
  ReleaseDC(compute, canvas);
  Check(edge == RGB(0, 0, 0), "the default button has its black ring");
  Snapshot("win-address-default");
  const std::string before = TextOf(Control(L"AddrEdit"));
  PostMessageW(compute, WM_KEYDOWN, VK_ESCAPE, 0);
  Check(WaitUntil([&] { return !IsWindow(dialog); }), "Esc closes the dialog");
  Check(TextOf(Control(L"AddrEdit")) == before, "and leaves the address");
}

// The simulator behind the COM link stops and starts again (the script does
// it when asked by a file): reads say the line is lost, then find it again.
void TWindowTest::LostLine() {
  ClickTab(2);
  auto ask = [this](const wchar_t* Request) {
    const std::wstring file = Directory + L"\\" + Request;
    CloseHandle(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    return Check(
        WaitUntil([&] { return GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES; },
                  30000),
        Narrow(Request) + " done by the script");
  };
  const std::string lost = "Ошибка чтения параметра 16: линия потеряна";
  ClickCell(kColRead, kDensityRow, true);
  Check(Cell(kColRead, kDensityRow) != "Ошибка чтения!", "the line answers before");
  if (!ask(L"win-sim-stop")) return;
  SetText(Control(L"StatusBar1"), "");
  ClickCell(kColRead, kDensityRow, true);
  Check(WaitUntil([&] { return Status() == lost; }, 10000), "a read says: " + Status());
  Check(Cell(kColRead, kDensityRow) == "Ошибка чтения!", "and the cell that it failed");
  Snapshot("win-line-lost");
  // A read-all says it too: its summary gives the lost line as the reason.
  SetText(Control(L"StatusBar1"), "");
  SendMessageW(Control(L"Button1"), BM_CLICK, 0, 0);
  Check(WaitUntil([&] { return Status().ends_with("45 (линия потеряна)"); }, 20000),
        "read-all says: " + Status());
  WaitUntil([&] { return Cell(kColRead, kLastRow) == "Ошибка чтения!"; }, 60000);
  if (!ask(L"win-sim-start")) return;
  ClickCell(kColRead, kDensityRow, true);
  Check(WaitUntil([&] { return Cell(kColRead, kDensityRow) != "Ошибка чтения!"; }, 10000),
        "the restarted line is found again: " + Cell(kColRead, kDensityRow));
}
