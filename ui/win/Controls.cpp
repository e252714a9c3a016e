#include "ui/win/Controls.h"

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <algorithm>
#include <climits>
#include <cwchar>
#include <utility>

#include "ui/win/Glyphs.h"
#include "ui/win/Text.h"

namespace qx25::win {
namespace {

constexpr int kFontHeight = -11;  // 8 points at 96 dpi
constexpr wchar_t kUpDownProperty[] = L"qx25.UpDown";
constexpr wchar_t kGlyphProperty[] = L"qx25.Glyph";
constexpr wchar_t kDefaultProperty[] = L"qx25.Default";
constexpr wchar_t kFlatProperty[] = L"qx25.Flat";
constexpr wchar_t kPanelClass[] = L"TQx25Panel";
constexpr int kGlyphGap = 4;  // at most: less where the caption needs the room
constexpr int kFrameWidth = 2;
constexpr int kGlyphMargin = 2;  // clear columns at the sides of every glyph

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

HFONT FittedFont(const std::wstring& Text, int Room, bool Bold, int Narrowest) {
  HFONT font = Bold ? BoldFont() : FormFont();
  int average = 0;
  if (TextWidth(font, Text, &average) <= Room) return font;
  // Narrowed cuts are made once and kept for the process's life.
  static HFONT narrowed[2][100 / kStretchStep + 1] = {};
  for (int stretch = 100 - kStretchStep; stretch >= Narrowest; stretch -= kStretchStep) {
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
  // The gap beside the glyph gives way before the caption is narrowed.
  if (!Text.empty())
    SendMessageW(button, WM_SETFONT,
                 reinterpret_cast<WPARAM>(
                     FittedFont(Wide(Text), At.Width - 2 * kFrameWidth - kGlyphSize, false)),
                 FALSE);
  return button;
}

void MarkDefault(HWND Button) {
  SetPropW(Button, kDefaultProperty, reinterpret_cast<HANDLE>(1));
  InvalidateRect(Button, nullptr, FALSE);
}

HWND MakeToolButton(HWND Parent, const wchar_t* Name, const std::string& Caption,
                    const std::string& Hint, int Glyph, TPlace At, int Id) {
  HWND button = MakeGlyphButton(Parent, Name, "", Glyph, At, Id);
  SetWindowTextW(button, Wide(Caption).c_str());
  SetPropW(button, kFlatProperty, reinterpret_cast<HANDLE>(1));
  // Its own tip window, owned by the form, so that it goes with it.
  HWND tips =
      CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                      GetAncestor(Parent, GA_ROOT), nullptr, GetModuleHandleW(nullptr), nullptr);
  std::wstring hint = Wide(Hint);
  TOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V1_SIZE;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = Parent;
  tool.uId = reinterpret_cast<UINT_PTR>(button);
  tool.lpszText = hint.data();  // copied by the tip window
  SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  return button;
}

namespace {

// Commands, notifications and owner drawing go where the panel's controls
// would have sent them without it.
LRESULT CALLBACK PanelProc(HWND Panel, UINT Message, WPARAM W, LPARAM L) {
  switch (Message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_DRAWITEM:
      return SendMessageW(GetParent(Panel), Message, W, L);
  }
  return DefWindowProcW(Panel, Message, W, L);
}

}  // namespace

HWND MakePanel(HWND Parent, const wchar_t* Name, TPlace At, int Id) {
  static const bool registered = [] {
    WNDCLASSW c{};
    c.lpfnWndProc = PanelProc;
    c.hInstance = GetModuleHandleW(nullptr);
    c.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    c.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    c.lpszClassName = kPanelClass;
    return RegisterClassW(&c) != 0;
  }();
  (void)registered;
  HWND panel = CreateWindowExW(WS_EX_CONTROLPARENT, kPanelClass, nullptr, WS_CHILD | WS_VISIBLE,
                               At.X, At.Y, At.Width, At.Height, Parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(Id)),
                               GetModuleHandleW(nullptr), nullptr);
  if (panel) SetName(panel, Name);
  return panel;
}

namespace {

thread_local const wchar_t* PendingDialogName = nullptr;

}  // namespace

TNameNextDialog::TNameNextDialog(const wchar_t* Name) {
  PendingDialogName = Name;
  Installed = SetWindowsHookExW(WH_CBT, &TNameNextDialog::Hook, nullptr, GetCurrentThreadId());
}

TNameNextDialog::~TNameNextDialog() {
  PendingDialogName = nullptr;
  if (Installed) UnhookWindowsHookEx(Installed);
}

LRESULT CALLBACK TNameNextDialog::Hook(int Code, WPARAM W, LPARAM L) {
  if (Code == HCBT_CREATEWND && PendingDialogName) {
    const auto* created = reinterpret_cast<const CBT_CREATEWNDW*>(L);
    wchar_t kind[16] = {};
    GetClassNameW(reinterpret_cast<HWND>(W), kind, 16);
    // The dialog itself, not a child dialog of its own or a list it drops down.
    if ((created->lpcs->style & WS_CHILD) == 0 && std::wcscmp(kind, L"#32770") == 0)
      SetName(reinterpret_cast<HWND>(W), std::exchange(PendingDialogName, nullptr));
  }
  return CallNextHookEx(nullptr, Code, W, L);
}

bool DrawGlyphButton(const DRAWITEMSTRUCT& Item) {
  if (Item.CtlType != ODT_BUTTON) return false;
  const int glyph =
      static_cast<int>(reinterpret_cast<INT_PTR>(GetPropW(Item.hwndItem, kGlyphProperty))) - 1;
  RECT r = Item.rcItem;
  const bool pressed = (Item.itemState & ODS_SELECTED) != 0;
  const bool disabled = (Item.itemState & ODS_DISABLED) != 0;
  const bool focused = (Item.itemState & ODS_FOCUS) != 0;
  const bool flat = GetPropW(Item.hwndItem, kFlatProperty) != nullptr;
  if (flat) {
    // A tool button shows an edge only while it is pressed or has the focus.
    FillRect(Item.hDC, &r, GetSysColorBrush(COLOR_BTNFACE));
    if (pressed || focused)
      DrawEdge(Item.hDC, &r, pressed ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
  } else {
    DrawFrameControl(Item.hDC, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));
    // The default button's outer ring black, as the system draws one.
    if (GetPropW(Item.hwndItem, kDefaultProperty))
      FrameRect(Item.hDC, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  }
  // A tool button's caption is for its mnemonic only.
  const std::wstring text = flat ? std::wstring() : WindowText(Item.hwndItem);
  HGDIOBJ old = SelectObject(
      Item.hDC, reinterpret_cast<HFONT>(SendMessageW(Item.hwndItem, WM_GETFONT, 0, 0)));
  SIZE size{};
  GetTextExtentPoint32W(Item.hDC, text.c_str(), static_cast<int>(text.size()), &size);
  const int spare = static_cast<int>(r.right - r.left) - 2 * kFrameWidth - kGlyphSize - size.cx;
  const int gap = text.empty() ? 0 : std::clamp(spare, 0, kGlyphGap);
  const int glyphWidth = glyph >= 0 ? kGlyphSize + gap : 0;
  const int shift = pressed ? 1 : 0;
  int x = (r.left + r.right - glyphWidth - size.cx) / 2 + shift;
  if (glyph >= 0) {
    // Where the gap had to give way, the glyph moves into its own clear margin.
    const int lend = text.empty() ? 0 : std::min(kGlyphMargin, kGlyphGap - gap);
    DrawGlyph(Item.hDC, glyph, x - lend, (r.top + r.bottom - kGlyphSize) / 2 + shift, disabled);
    x += glyphWidth;
  }
  SetBkMode(Item.hDC, TRANSPARENT);
  SetTextColor(Item.hDC, GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
  TextOutW(Item.hDC, x, (r.top + r.bottom - size.cy) / 2 + shift, text.c_str(),
           static_cast<int>(text.size()));
  SelectObject(Item.hDC, old);
  if (focused) {
    RECT focus = r;
    InflateRect(&focus, flat ? -3 : -4, flat ? -3 : -4);
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
