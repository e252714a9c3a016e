#include "ui/win/Controls.h"

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <algorithm>
#include <climits>
#include <cwchar>

#include "ui/win/Glyphs.h"
#include "ui/win/Text.h"

namespace qx25::win {
namespace {

constexpr int kFontHeight = -11;  // 8 points at 96 dpi
constexpr wchar_t kUpDownProperty[] = L"qx25.UpDown";
constexpr wchar_t kGlyphProperty[] = L"qx25.Glyph";
constexpr int kGlyphGap = 4;

constexpr int kNarrowest = 70;  // percent of the normal width
constexpr int kStretchStep = 5;
constexpr int kButtonPadding = 10;  // the frame and the space around the caption

HFONT MakeFont(int Weight, int Width = 0) {
  // "MS Shell Dlg" is the system's own dialog face, with Cyrillic wherever
  // the system shows Russian.
  return CreateFontW(kFontHeight, Width, 0, 0, Weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_DONTCARE, L"MS Shell Dlg");
}

struct TFound {
  const wchar_t* Name;
  HWND Window;
};

BOOL CALLBACK MatchName(HWND Window, LPARAM Param) {
  auto* found = reinterpret_cast<TFound*>(Param);
  const wchar_t* name = NameOf(Window);
  if (name && std::wcscmp(name, found->Name) == 0) {
    found->Window = Window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

void SetName(HWND Window, const wchar_t* Name) {
  SetPropW(Window, kNameProperty, reinterpret_cast<HANDLE>(const_cast<wchar_t*>(Name)));
}

const wchar_t* NameOf(HWND Window) {
  return static_cast<const wchar_t*>(GetPropW(Window, kNameProperty));
}

HWND FindNamed(HWND Root, const wchar_t* Name) {
  const wchar_t* own = NameOf(Root);
  if (own && std::wcscmp(own, Name) == 0) return Root;
  TFound found{Name, nullptr};
  EnumChildWindows(Root, MatchName, reinterpret_cast<LPARAM>(&found));
  return found.Window;
}

HFONT FormFont() {
  static const HFONT font = MakeFont(FW_NORMAL);
  return font;
}

HFONT BoldFont() {
  static const HFONT font = MakeFont(FW_BOLD);
  return font;
}

namespace {

int TextWidth(HFONT Font, const std::wstring& Text, int* AverageWidth = nullptr) {
  HDC canvas = GetDC(nullptr);
  HGDIOBJ old = SelectObject(canvas, Font);
  SIZE size{};
  GetTextExtentPoint32W(canvas, Text.c_str(), static_cast<int>(Text.size()), &size);
  if (AverageWidth) {
    TEXTMETRICW metrics{};
    GetTextMetricsW(canvas, &metrics);
    *AverageWidth = metrics.tmAveCharWidth;
  }
  SelectObject(canvas, old);
  ReleaseDC(nullptr, canvas);
  return size.cx;
}

}  // namespace

HFONT FittedFont(const std::wstring& Text, int Room, bool Bold) {
  HFONT font = Bold ? BoldFont() : FormFont();
  int average = 0;
  if (TextWidth(font, Text, &average) <= Room) return font;
  // Narrowed cuts are made once and kept for the process's life.
  static HFONT narrowed[2][100 / kStretchStep + 1] = {};
  for (int stretch = 100 - kStretchStep; stretch >= kNarrowest; stretch -= kStretchStep) {
    HFONT& cut = narrowed[Bold ? 1 : 0][stretch / kStretchStep];
    if (!cut) cut = MakeFont(Bold ? FW_BOLD : FW_NORMAL, std::max(average * stretch / 100, 1));
    font = cut;
    if (TextWidth(font, Text) <= Room) break;
  }
  return font;
}

HWND MakeControl(HWND Parent, const wchar_t* Class, const wchar_t* Name, const std::string& Text,
                 DWORD Style, TPlace At, int Id, HFONT Font) {
  HWND control = CreateWindowExW(
      0, Class, Wide(Text).c_str(), WS_CHILD | Style, At.X, At.Y, At.Width, At.Height, Parent,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(Id)), GetModuleHandleW(nullptr), nullptr);
  if (!control) return nullptr;
  SetName(control, Name);
  const std::wstring caption = Wide(Text);
  const std::wstring kind = Class;
  if (!caption.empty() && (kind == L"BUTTON" || kind == L"STATIC")) {
    std::wstring plain = caption;
    std::erase(plain, L'&');
    Font =
        FittedFont(plain, At.Width - (kind == L"BUTTON" ? kButtonPadding : 0), Font == BoldFont());
  }
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(Font), FALSE);
  return control;
}

HWND MakeSpin(HWND Parent, const wchar_t* Name, TPlace At, int Id, int Min, int Max, int Value) {
  HWND edit = MakeControl(Parent, L"EDIT", Name, std::to_string(Value),
                          WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, At, Id);
  HWND updown = CreateWindowExW(
      0, UPDOWN_CLASSW, nullptr,
      WS_CHILD | WS_VISIBLE | UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS | UDS_NOTHOUSANDS, 0,
      0, 0, 0, Parent, nullptr, GetModuleHandleW(nullptr), nullptr);
  SendMessageW(updown, UDM_SETBUDDY, reinterpret_cast<WPARAM>(edit), 0);
  SendMessageW(updown, UDM_SETRANGE32, static_cast<WPARAM>(Min), static_cast<LPARAM>(Max));
  SendMessageW(updown, UDM_SETPOS32, 0, Value);
  SetPropW(edit, kUpDownProperty, updown);
  return edit;
}

int SpinValue(HWND Edit) {
  auto* updown = static_cast<HWND>(GetPropW(Edit, kUpDownProperty));
  int min = INT_MIN, max = INT_MAX;
  if (updown)
    SendMessageW(updown, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&min),
                 reinterpret_cast<LPARAM>(&max));
  // What was typed, held to the range; text that is no number reads as the
  // range's nearest value to zero, as an empty spin edit does.
  const std::wstring text = WindowText(Edit);
  wchar_t* end = nullptr;
  const long long typed = std::wcstoll(text.c_str(), &end, 10);
  const long long value = end == text.c_str() ? 0 : typed;
  return static_cast<int>(std::clamp<long long>(value, min, max));
}

void SetSpinValue(HWND Edit, int Value) {
  auto* updown = static_cast<HWND>(GetPropW(Edit, kUpDownProperty));
  if (updown) {
    SendMessageW(updown, UDM_SETPOS32, 0, Value);
    Value = static_cast<int>(SendMessageW(updown, UDM_GETPOS32, 0, 0));
  }
  SetWindowTextW(Edit, std::to_wstring(Value).c_str());
}

HWND MakeGlyphButton(HWND Parent, const wchar_t* Name, const std::string& Text, int Glyph,
                     TPlace At, int Id) {
  HWND button =
      MakeControl(Parent, L"BUTTON", Name, Text, WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, At, Id);
  SetPropW(button, kGlyphProperty, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(Glyph + 1)));
  if (!Text.empty())
    SendMessageW(button, WM_SETFONT,
                 reinterpret_cast<WPARAM>(FittedFont(
                     Wide(Text), At.Width - kButtonPadding - kGlyphSize - kGlyphGap, false)),
                 FALSE);
  return button;
}

bool DrawGlyphButton(const DRAWITEMSTRUCT& Item) {
  if (Item.CtlType != ODT_BUTTON) return false;
  const int glyph =
      static_cast<int>(reinterpret_cast<INT_PTR>(GetPropW(Item.hwndItem, kGlyphProperty))) - 1;
  RECT r = Item.rcItem;
  const bool pressed = (Item.itemState & ODS_SELECTED) != 0;
  const bool disabled = (Item.itemState & ODS_DISABLED) != 0;
  DrawFrameControl(Item.hDC, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));
  const std::wstring text = WindowText(Item.hwndItem);
  HGDIOBJ old = SelectObject(
      Item.hDC, reinterpret_cast<HFONT>(SendMessageW(Item.hwndItem, WM_GETFONT, 0, 0)));
  SIZE size{};
  GetTextExtentPoint32W(Item.hDC, text.c_str(), static_cast<int>(text.size()), &size);
  const int glyphWidth = glyph >= 0 ? kGlyphSize + (text.empty() ? 0 : kGlyphGap) : 0;
  const int shift = pressed ? 1 : 0;
  int x = (r.left + r.right - glyphWidth - size.cx) / 2 + shift;
  if (glyph >= 0) {
    DrawGlyph(Item.hDC, glyph, x, (r.top + r.bottom - kGlyphSize) / 2 + shift, disabled);
    x += glyphWidth;
  }
  SetBkMode(Item.hDC, TRANSPARENT);
  SetTextColor(Item.hDC, GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
  TextOutW(Item.hDC, x, (r.top + r.bottom - size.cy) / 2 + shift, text.c_str(),
           static_cast<int>(text.size()));
  SelectObject(Item.hDC, old);
  if (Item.itemState & ODS_FOCUS) {
    RECT focus = r;
    InflateRect(&focus, -4, -4);
    DrawFocusRect(Item.hDC, &focus);
  }
  return true;
}

std::wstring WindowText(HWND Window) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(Window)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(Window, text.data(), static_cast<int>(text.size()))));
  return text;
}

HWND MakeFrame(const wchar_t* Class, WNDPROC Proc, const wchar_t* Name, const std::string& Caption,
               HWND Owner, int Width, int Height, void* Self) {
  WNDCLASSW c{};
  if (!GetClassInfoW(GetModuleHandleW(nullptr), Class, &c)) {
    c.lpfnWndProc = Proc;
    c.hInstance = GetModuleHandleW(nullptr);
    c.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    c.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    c.lpszClassName = Class;
    RegisterClassW(&c);
  }
  constexpr DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  constexpr DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
  RECT frame{0, 0, Width, Height};
  AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  const int w = frame.right - frame.left, h = frame.bottom - frame.top;
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  HWND window = CreateWindowExW(exStyle, Class, Wide(Caption).c_str(), style,
                                work.left + (work.right - work.left - w) / 2,
                                work.top + (work.bottom - work.top - h) / 2, w, h, Owner, nullptr,
                                GetModuleHandleW(nullptr), Self);
  if (window) SetName(window, Name);
  return window;
}

void RunModal(HWND Window, HWND Owner, const bool& Done,
              const std::function<bool(const MSG&)>& PreTranslate) {
  const bool disable = Owner && IsWindowEnabled(Owner);
  if (disable) EnableWindow(Owner, FALSE);
  ShowWindow(Window, SW_SHOW);
  SetForegroundWindow(Window);
  MSG msg{};
  while (!Done) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (got < 0) break;
    if (PreTranslate && PreTranslate(msg)) continue;
    if (!Done && IsWindow(Window) && IsDialogMessageW(Window, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  // The owner first, so that the activation goes back to it, not elsewhere.
  if (disable && IsWindow(Owner)) {
    EnableWindow(Owner, TRUE);
    SetActiveWindow(Owner);
  }
}

}  // namespace qx25::win
