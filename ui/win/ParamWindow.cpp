// The window itself: its controls, the catalog's life on show and close, the
// grid's rows, the status bar and the runs. In-place editing and the files
// have files of their own; what any of them decides comes from ui/core.
#include "ui/win/ParamWindow.h"

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <algorithm>
#include <cwchar>
#include <exception>
#include <iterator>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "ui/core/GridText.h"
#include "ui/win/Controls.h"
#include "ui/win/Glyphs.h"
#include "ui/win/Ids.h"
#include "ui/win/ServiceWindow.h"
#include "ui/win/Text.h"

namespace qx25::win {
namespace {

constexpr wchar_t kClass[] = L"TParamFrm";
constexpr int kClientWidth = 817;
constexpr int kClientHeight = 705;
constexpr UINT kStatusTimeoutMs = 2000;
constexpr UINT kEditorDelayMs = 50;
constexpr COLORREF kStatusSuccess = RGB(0x00, 0x80, 0x00);
constexpr COLORREF kStatusFailure = RGB(0xFF, 0x00, 0x00);
constexpr int kToolSize = 28;
constexpr UINT_PTR kStatusSubclassId = 1;
constexpr int kStatusTextIndent = 4;

// The catalog's separators follow the user's locale; read once.
void TakeNumberFormatFromLocale() {
  static const bool taken = [] {
    wchar_t decimal[8] = L".", thousand[8] = L" ";
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimal, 8);
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, thousand, 8);
    TNumberFormat format;
    format.DecimalSeparator = Utf8(decimal);
    format.ThousandSeparator = Utf8(thousand);
    SetNumberFormat(format);
    return true;
  }();
  (void)taken;
}

// The common status bar draws its own background over SB_SETBKCOLOR under
// some themes (and under Wine always), so a coloured status is painted here:
// the colour from the bar's "Colour" property, then the text of its part.
LRESULT CALLBACK StatusBarProc(HWND Bar, UINT Message, WPARAM W, LPARAM L, UINT_PTR, DWORD_PTR) {
  const auto colour = static_cast<ui::TStatusColour>(
      static_cast<int>(reinterpret_cast<INT_PTR>(GetPropW(Bar, kColourProperty))) - 1);
  const bool coloured =
      colour == ui::TStatusColour::Success || colour == ui::TStatusColour::Failure;
  if (Message == WM_NCDESTROY) RemoveWindowSubclass(Bar, &StatusBarProc, kStatusSubclassId);
  if (!coloured || (Message != WM_PAINT && Message != WM_ERASEBKGND))
    return DefSubclassProc(Bar, Message, W, L);
  if (Message == WM_ERASEBKGND) return 1;
  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(Bar, &paint);
  RECT r{};
  GetClientRect(Bar, &r);
  HBRUSH brush =
      CreateSolidBrush(colour == ui::TStatusColour::Success ? kStatusSuccess : kStatusFailure);
  FillRect(dc, &r, brush);
  DeleteObject(brush);
  std::wstring text(LOWORD(SendMessageW(Bar, SB_GETTEXTLENGTHW, 0, 0)) + 1, L'\0');
  SendMessageW(Bar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text.data()));
  text.resize(std::wcslen(text.c_str()));
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(Bar, WM_GETFONT, 0, 0)));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
  r.left += kStatusTextIndent;
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
            DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
  SelectObject(dc, old);
  EndPaint(Bar, &paint);
  return 0;
}

// The windows of this thread, for WindowGoing and for a run's end; the
// window's thread only.
std::vector<TParamFrm*> LiveFrames;
HHOOK DestroyHook = nullptr;

}  // namespace

UINT WriteRunMessage() {
  static const UINT message = RegisterWindowMessageW(L"qx25.WriteRun");
  return message;
}

TParamFrm::TParamFrm(HWND OwnerWindow)
    : Owner(OwnerWindow),
      RunInputs(std::make_shared<ui::TRunInputs>()),
      Rows(std::make_shared<TRowQueue>()) {
  TakeNumberFormatFromLocale();
  Window = MakeFrame(kClass, DefWindowProcW, L"ParamFrm", "Программирование параметров ТРК", Owner,
                     kClientWidth, kClientHeight, this);
  if (!Window) throw std::runtime_error("the parameter window cannot be created");
  SetWindowLongPtrW(Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(Window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TParamFrm::Proc));
  if (LiveFrames.empty())
    DestroyHook = SetWindowsHookExW(WH_CBT, &TParamFrm::WindowGoing, nullptr, GetCurrentThreadId());
  LiveFrames.push_back(this);
  MakeControls();
}

// Under Wine, DestroyWindow on the owner was seen to hide it and then wait
// until the workers had ended before this window heard of its end, so the
// runs went on to the last row. They are told to stop as soon as the owner
// (or this window) starts to go, and end after the exchange in flight.
LRESULT CALLBACK TParamFrm::WindowGoing(int Code, WPARAM W, LPARAM L) {
  if (Code == HCBT_DESTROYWND) {
    const auto going = reinterpret_cast<HWND>(W);
    for (TParamFrm* frame : LiveFrames)
      if (going == frame->Window || (going && going == frame->Owner)) frame->RunInputs->Stop();
  }
  return CallNextHookEx(nullptr, Code, W, L);
}

void TParamFrm::MakeControls() {
  HWND w = Window;
  constexpr DWORD label = WS_VISIBLE | SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX;
  constexpr DWORD button = WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
  // Created in the tab order.
  MakeControl(w, L"STATIC", L"Label1", "№ СОМ-порта", label, {8, 12, 87, 16}, -1);
  ComPortEdit = MakeSpin(w, L"ComPortEdit", {96, 8, 89, 22}, kIdComPortEdit, ui::kPortMin,
                         ui::kPortMax, ui::kPortMin);
  MakeControl(w, L"STATIC", L"Label2", "Адрес пистолета", label, {224, 12, 95, 16}, -1);
  AddrEdit = MakeSpin(w, L"AddrEdit", {320, 8, 89, 22}, kIdAddrEdit, ui::kAddressMin,
                      ui::kAddressMax, ui::kAddressMin);
  AddrBtn = MakeGlyphButton(w, L"AddrBtn", "", AddressGlyph, {408, 8, 23, 22}, kIdAddrBtn);
  EnableWindow(AddrBtn, FALSE);
  IDLabel = MakeControl(w, L"STATIC", L"IDLabel", "ID-номер", SS_LEFT | SS_CENTERIMAGE,
                        {264, 36, 55, 16}, -1);
  edIDNumber = MakeSpin(w, L"edIDNumber", {320, 32, 121, 22}, kIdIDNumber, ui::kIdNumberMin,
                        ui::kIdNumberMax, ui::kIdNumberMin);
  ShowWindow(edIDNumber, SW_HIDE);
  ShowWindow(static_cast<HWND>(GetPropW(edIDNumber, L"qx25.UpDown")), SW_HIDE);
  Button1 = MakeControl(w, L"BUTTON", L"Button1", "Прочитать все параметры из ТРК", button,
                        {8, 55, 209, 25}, kIdButton1, BoldFont());
  SaveBtn = MakeControl(w, L"BUTTON", L"SaveBtn", "Сохранить параметры в файл", button,
                        {447, 6, 194, 25}, kIdSaveBtn, BoldFont());
  LoadBtn = MakeControl(w, L"BUTTON", L"LoadBtn", "Считать параметры из файла", button,
                        {447, 37, 194, 25}, kIdLoadBtn, BoldFont());
  WriteBtn = MakeControl(w, L"BUTTON", L"WriteBtn", "Записать все параметры в ТРК", button,
                         {447, 68, 194, 25}, kIdWriteBtn, BoldFont());

  // Buttons of their own rather than a tool bar's: Tab reaches each.
  ToolBar1 = MakePanel(w, L"ToolBar1", {647, 4, 40, 66}, kIdToolBar);
  CopyTool = MakeToolButton(ToolBar1, L"CopyTool", "Копировать", "Копировать в буфер", CopyGlyph,
                            {6, 2, kToolSize, kToolSize}, kIdCopyTool);
  PasteTool = MakeToolButton(ToolBar1, L"PasteTool", "&Вставить", "Копировать из буфера",
                             PasteGlyph, {6, 2 + kToolSize, kToolSize, kToolSize}, kIdPasteTool);

  BitBtn1 =
      MakeGlyphButton(w, L"BitBtn1", "Закрыть (Esc)", CloseGlyph, {693, 55, 108, 25}, kIdBitBtn1);

  TabControl1 =
      MakeControl(w, WC_TABCONTROLW, L"TabControl1", "", WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS,
                  {1, 86, 815, 599}, kIdTabControl);
  for (int tab = 0; tab < ui::kTabCount; ++tab) {
    std::wstring caption = Wide(ui::TabCaption(tab));
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = caption.data();
    SendMessageW(TabControl1, TCM_INSERTITEMW, static_cast<WPARAM>(tab),
                 reinterpret_cast<LPARAM>(&item));
  }
  FitTabs();
  RECT page{1, 86, 1 + 815, 86 + 599};
  SendMessageW(TabControl1, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&page));
  Grid = std::make_unique<TGrid>(
      w, w, TPlace{page.left, page.top, page.right - page.left, page.bottom - page.top}, kIdGrid);
  SetWindowPos(Grid->Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  Grid->OnSelectCell = [this](int, int) { SetTimer(Window, kTimer2, kEditorDelayMs, nullptr); };
  Grid->OnDblClick = [this](int Col, int Row) { RxDGCommonDblClick(Col, Row); };
  Grid->OnEnter = [this] { ApplyGridEnterRule(); };

  HWND g = Grid->Handle();
  WriteValueEdit =
      MakeControl(g, L"EDIT", L"WriteValueEdit", "", WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP,
                  {0, 0, 80, 20}, kIdWriteValueEdit);
  WriteValueEdit2 =
      MakeControl(g, L"EDIT", L"WriteValueEdit2", "", WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP,
                  {0, 0, 80, 20}, kIdWriteValueEdit2);
  for (HWND edit : {WriteValueEdit, WriteValueEdit2}) {
    HWND updown =
        CreateWindowExW(0, UPDOWN_CLASSW, nullptr, WS_CHILD | UDS_ALIGNRIGHT | UDS_ARROWKEYS, 0, 0,
                        0, 0, g, nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(updown, UDM_SETRANGE32, 0, 100);
    SendMessageW(updown, UDM_SETPOS32, 0, 50);
    SetPropW(edit, L"qx25.UpDown", updown);
  }
  WriteValueCB =
      MakeControl(g, L"COMBOBOX", L"WriteValueCB", "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP,
                  {0, 0, 160, 200}, kIdWriteValueCB);
  SendMessageW(WriteValueCB, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), EditorHeight() - 6);

  StatusBar1 = MakeControl(w, STATUSCLASSNAMEW, L"StatusBar1", "",
                           WS_VISIBLE | CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER,
                           {0, 686, 817, 19}, kIdStatusBar);
  SetWindowSubclass(StatusBar1, &StatusBarProc, kStatusSubclassId, 0);
}

LRESULT CALLBACK TParamFrm::Proc(HWND Window, UINT Message, WPARAM W, LPARAM L) {
  auto* self = reinterpret_cast<TParamFrm*>(GetWindowLongPtrW(Window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(Window, Message, W, L);
  if (Message == WM_NCDESTROY) {
    SetWindowLongPtrW(Window, GWLP_USERDATA, 0);
    std::erase(LiveFrames, self);
    if (LiveFrames.empty() && DestroyHook) UnhookWindowsHookEx(std::exchange(DestroyHook, nullptr));
    delete self;
    return DefWindowProcW(Window, Message, W, L);
  }
  try {
    return self->Handle(Message, W, L);
  } catch (const std::exception& Error) {
    // Nothing may leave a window procedure; the technician sees the reason.
    MessageBoxW(Window, Wide(Error.what()).c_str(), Wide(kMenuCaption).c_str(),
                MB_OK | MB_ICONWARNING);
    return 0;
  }
}

LRESULT TParamFrm::Handle(UINT Message, WPARAM W, LPARAM L) {
  switch (Message) {
    case WM_COMMAND:
      Command(LOWORD(W), HIWORD(W), reinterpret_cast<HWND>(L));
      return 0;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(L);
      if (header->hwndFrom == TabControl1 && header->code == TCN_SELCHANGE) TabControl1Change();
      if (header->code == UDN_DELTAPOS) {
        const int delta = reinterpret_cast<const NMUPDOWN*>(L)->iDelta;
        for (HWND edit : {WriteValueEdit, WriteValueEdit2})
          if (GetPropW(edit, L"qx25.UpDown") == header->hwndFrom) StepNumber(edit, delta);
        for (HWND edit : {ComPortEdit, AddrEdit, edIDNumber})
          if (GetPropW(edit, L"qx25.UpDown") == header->hwndFrom) StepField(edit, delta);
        return 1;  // the edit's text is the value, not the up-down's position
      }
      return 0;
    }
    case WM_DRAWITEM:
      return DrawGlyphButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(L));
    case WM_TIMER:
      if (W == kTimer1) Timer1Timer();
      if (W == kTimer2) Timer2Timer();
      return 0;
    case kRowsWaiting:
      TakeRows();
      return 0;
    case kRunEnded:
      WorkerEnded(reinterpret_cast<TWorker*>(L));
      return 0;
    case kEditorExit:
      WriteValueEditExit();
      return 0;
    default:
      if (Message == WriteRunMessage()) {
        std::string progress;
        if (!WriteRun(W != 0, progress)) return 0;
        if (auto* out = reinterpret_cast<wchar_t*>(L)) {
          const std::wstring text = Wide(progress);
          const size_t length = std::min<size_t>(text.size(), kCellTextSize - 1);
          text.copy(out, length);
          out[length] = L'\0';
        }
        return 1;
      }
      break;
    case WM_CLOSE:
      FormClose();
      return 0;
    case WM_DESTROY:
      Destroyed();
      return 0;
  }
  return DefWindowProcW(Window, Message, W, L);
}

bool TParamFrm::PreTranslate(const MSG& Message) {
  if (Message.hwnd != Window && !IsChild(Window, Message.hwnd)) return false;
  // Alt+X, like Esc, closes the window.
  if (Message.message == WM_SYSKEYDOWN && Message.wParam == 'X') {
    FormClose();
    return true;
  }
  // Alt+В, the paste button's mnemonic, in either case.
  if (Message.message == WM_SYSCHAR && (Message.wParam == L'в' || Message.wParam == L'В')) {
    PasteToolClick();
    return true;
  }
  if (Message.message == WM_KEYDOWN && Message.wParam == VK_TAB && GetKeyState(VK_CONTROL) >= 0 &&
      GetKeyState(VK_MENU) >= 0) {
    MoveFocus(GetKeyState(VK_SHIFT) < 0 ? -1 : 1);
    return true;
  }
  return false;
}

// The dialog manager cannot walk this order itself: the grid lies over the
// tab control and holds the editors.
void TParamFrm::MoveFocus(int Direction) {
  const HWND order[] = {ComPortEdit,    AddrEdit,       AddrBtn,         edIDNumber,
                        Button1,        SaveBtn,        LoadBtn,         WriteBtn,
                        CopyTool,       PasteTool,      BitBtn1,         TabControl1,
                        Grid->Handle(), WriteValueEdit, WriteValueEdit2, WriteValueCB};
  constexpr int count = static_cast<int>(std::size(order));
  const HWND focus = GetFocus();
  // The control itself first: the editors lie inside the grid.
  int at = -1;
  for (int i = 0; i < count && at < 0; ++i)
    if (focus == order[i]) at = i;
  for (int i = 0; i < count && at < 0; ++i)
    if (focus && IsChild(order[i], focus)) at = i;
  if (at < 0) at = Direction > 0 ? count - 1 : 0;
  for (int step = 1; step <= count; ++step) {
    const HWND next = order[((at + Direction * step) % count + count) % count];
    if (!IsWindowVisible(next) || !IsWindowEnabled(next)) continue;
    SetFocus(next);
    // An edit reached by Tab has its text selected, as in a dialog.
    wchar_t kind[8] = {};
    GetClassNameW(next, kind, 8);
    if (_wcsicmp(kind, L"Edit") == 0) SendMessageW(next, EM_SETSEL, 0, -1);
    return;
  }
}

// The tabs narrowed as far as needed for the last one to end clear of the
// buttons above its edge.
void TParamFrm::FitTabs() {
  constexpr int kClearance = 2;  // between the last tab and the button
  RECT button{}, tabs{};
  GetWindowRect(WriteBtn, &button);
  GetWindowRect(TabControl1, &tabs);
  const int room = button.left - tabs.left - kClearance;
  std::wstring captions;
  for (int tab = 0; tab < ui::kTabCount; ++tab) captions += Wide(ui::TabCaption(tab));
  RECT last{};
  SendMessageW(TabControl1, TCM_GETITEMRECT, static_cast<WPARAM>(ui::kTabCount - 1),
               reinterpret_cast<LPARAM>(&last));
  if (last.right <= room) return;
  HDC canvas = GetDC(TabControl1);
  HGDIOBJ old = SelectObject(canvas, FormFont());
  SIZE text{};
  GetTextExtentPoint32W(canvas, captions.c_str(), static_cast<int>(captions.size()), &text);
  SelectObject(canvas, old);
  ReleaseDC(TabControl1, canvas);
  // What the tabs take beside their captions (frames, padding) stays as it is.
  const int frames = last.right - text.cx;
  SendMessageW(TabControl1, WM_SETFONT,
               reinterpret_cast<WPARAM>(FittedFont(captions, room - frames, false)), TRUE);
}

void TParamFrm::Command(int Id, int Code, HWND Control) {
  switch (Id) {
    case IDOK:  // Enter
      if (EditorHasFocus() || GetFocus() == WriteValueCB) return WriteValueEditKeyDown();
      if (HWND focus = GetFocus();
          focus && IsChild(Window, focus) && NameOf(focus) && !GetPropW(focus, L"qx25.UpDown"))
        SendMessageW(focus, BM_CLICK, 0, 0);
      return;
    case IDCANCEL:  // Esc: an open editor's first, then the window's
      if (EditorHasFocus() || GetFocus() == WriteValueCB) {
        PlaceEditor(0, 0);
        SetFocus(Grid->Handle());
        return;
      }
      return FormClose();
    case kIdComPortEdit:
    case kIdAddrEdit:
      if (Code == EN_CHANGE) TargetEdited();
      return;
    case kIdWriteValueEdit:
    case kIdWriteValueEdit2:
      if (Code == EN_KILLFOCUS) PostMessageW(Window, kEditorExit, 0, 0);
      return;
    case kIdWriteValueCB:
      if (Code == CBN_KILLFOCUS) PostMessageW(Window, kEditorExit, 0, 0);
      return;
  }
  if (Code != BN_CLICKED) return;
  (void)Control;
  switch (Id) {
    case kIdButton1:
      return Button1Click();
    case kIdWriteBtn:
      return WriteBtnClick();
    case kIdSaveBtn:
      return SaveBtnClick();
    case kIdLoadBtn:
      return LoadBtnClick();
    case kIdCopyTool:
      return CopyToolClick();
    case kIdPasteTool:
      return PasteToolClick();
    case kIdAddrBtn:
      return AddrBtnClick();
    case kIdBitBtn1:
      return FormClose();
  }
}

void TParamFrm::ShowModal() {
  bool done = false;
  ModalDone = &done;
  FormShow();
  bool destroyed = false;
  // The window may be destroyed inside the loop (with its owner): only the
  // loop's own flags are looked at then.
  SetPropW(Window, L"qx25.Destroyed", &destroyed);
  RunModal(Window, Owner, done,
           [this, &done](const MSG& Message) { return !done && PreTranslate(Message); });
  if (destroyed) return;
  RemovePropW(Window, L"qx25.Destroyed");
  ModalDone = nullptr;
  Dismiss();
}

void TParamFrm::FormShow() {
  LoadCatalog();
  EnableWindow(AddrBtn, Driver != nullptr);
  SetFocus(Grid->Handle());
}

void TParamFrm::FormClose() {
  if (ModalDone) *ModalDone = true;
  if (Closed) return;
  Closed = true;
  KillTimer(Window, kTimer2);
  // A running worker still fills this catalog; it goes with the window then.
  if (Workers.empty()) ReleaseCatalog();
  if (TrkParameters == Parameters.get()) TrkParameters = nullptr;
}

void TParamFrm::Dismiss() {
  if (Workers.empty()) {
    DestroyWindow(Window);  // deletes this
    return;
  }
  Dismissed = true;
  ShowWindow(Window, SW_HIDE);
}

void TParamFrm::Destroyed() {
  if (auto* destroyed = static_cast<bool*>(GetPropW(Window, L"qx25.Destroyed"))) *destroyed = true;
  RemovePropW(Window, L"qx25.Destroyed");
  if (ModalDone) *ModalDone = true;
  ModalDone = nullptr;
  // Its owner is going, and with it perhaps the driver: the runs end after
  // the exchange in flight and send nothing more.
  RunInputs->Stop();
  for (auto& worker : Workers) {
    if (ReadParamsThread == worker.get()) ReadParamsThread = nullptr;
    if (WriteParamsThread == worker.get()) WriteParamsThread = nullptr;
  }
  Workers.clear();  // waits for each
  if (ParamWindow == this) ParamWindow = nullptr;
  ReleaseCatalog();
}

void TParamFrm::LoadCatalog() {
  try {
    auto catalog = std::make_unique<CTRKParameters>();
    catalog->Fill();
    Parameters = std::move(catalog);
    TrkParameters = Parameters.get();
    Grid->SetCatalog(Parameters.get());
    RunInputs->Publish(ReadTarget().OrNoLine(), Catalog());
    GridReady = true;
    ApplyTabFilter(TabIndex());
    ApplyGridEnterRule();
  } catch (const std::exception&) {
    // The window then shows whatever the grid holds.
  }
}

void TParamFrm::ReleaseCatalog() {
  if (Grid) Grid->SetCatalog(nullptr);
  if (TrkParameters == Parameters.get()) TrkParameters = nullptr;
  Parameters.reset();
  RunInputs->Publish(nullptr);
  GridReady = false;
}

int TParamFrm::TabIndex() const {
  return static_cast<int>(SendMessageW(TabControl1, TCM_GETCURSEL, 0, 0));
}

ui::TTargetRead TParamFrm::ReadTarget() const {
  return ui::ReadTarget(Driver, Utf8(WindowText(ComPortEdit)), Utf8(WindowText(AddrEdit)));
}

std::optional<ui::TTarget> TParamFrm::RequestTarget() {
  const ui::TTargetRead target = ReadTarget();
  if (!target) ShowStatus({target.Refusal, ui::TStatusColour::Failure, {}});
  return target.Target;
}

void TParamFrm::TargetEdited() {
  const ui::TTargetRead target = ReadTarget();
  // A run in progress sends nothing more until the fields read again, and says why.
  RunInputs->SetTarget(target.OrNoLine());
  if (!target && !Workers.empty()) ShowStatus({target.Refusal, ui::TStatusColour::Failure, {}});
}

// The arrows step from the number the field shows, within its range; from a
// text that does not read they take no step (the last good value is not put back).
void TParamFrm::StepField(HWND Edit, int Delta) {
  int min = 0, max = 0;
  SendMessageW(static_cast<HWND>(GetPropW(Edit, L"qx25.UpDown")), UDM_GETRANGE32,
               reinterpret_cast<WPARAM>(&min), reinterpret_cast<LPARAM>(&max));
  const params::TTypedValue typed =
      params::ReadTypedInteger(Utf8(WindowText(Edit)), min, max, NumberFormat());
  if (!typed) return;
  const int64_t next = *typed.Raw + Delta;
  if (next >= min && next <= max) SetWindowTextW(Edit, std::to_wstring(next).c_str());
}

int TParamFrm::RowHeightFor(int Row) const {
  const CParameter* p = RecordOfRow(Row);
  if (!p) return 0;
  return ui::RowHeight(Grid->TextHeight(ui::DescriptionText(*p), ui::ColName),
                       Grid->TextHeight(ui::LimitsText(*p), ui::ColLimits), Grid->ValueBoxHeight(),
                       EditorHeight());
}

void TParamFrm::ApplyTabFilter(int Tab) {
  if (!GridReady || !Parameters) return;
  for (int row = Grid->RowCount() - 1; row >= 1; --row)
    Grid->SetRowHeight(row,
                       ui::ShownOnTab(Parameters->Items(row - 1), Tab) ? RowHeightFor(row) : -1);
}

void TParamFrm::ApplyGridEnterRule() {
  if (!Parameters) return;
  const std::optional<int> row = ui::CurrentRowOnTab(*Parameters, TabIndex(), Grid->Row() - 1);
  if (row && *row != Grid->Row() - 1) Grid->SetCurrentCell(Grid->Col(), *row + 1);
}

void TParamFrm::SetStatus(const std::string& Message) {
  SendMessageW(StatusBar1, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(Wide(Message).c_str()));
}

void TParamFrm::SetStatusColour(ui::TStatusColour NewColour) {
  Colour = NewColour;
  // What StatusBarProc paints with; read by tests and tools as well.
  SetPropW(StatusBar1, kColourProperty,
           reinterpret_cast<HANDLE>(static_cast<INT_PTR>(static_cast<int>(NewColour) + 1)));
  InvalidateRect(StatusBar1, nullptr, TRUE);
}

void TParamFrm::ShowStatus(const ui::TStatus& Status) {
  if (Status.Colour != ui::TStatusColour::Normal) SetStatusColour(Status.Colour);
  SetStatus(Status.Message);
  SetTimer(Window, kTimer1, kStatusTimeoutMs, nullptr);
}

void TParamFrm::Timer1Timer() {
  SetStatusColour(ui::TStatusColour::Normal);
  KillTimer(Window, kTimer1);
}

void TParamFrm::Button1Click() {
  // A run of this window's or of one just closed still goes: say so.
  if (ReadParamsThread) return SetStatus(ui::BusyText(ui::TBulk::Read));
  StartWorker(ui::TBulk::Read);
}

void TParamFrm::WriteBtnClick() {
  if (WriteParamsThread) return SetStatus(ui::BusyText(ui::TBulk::Write));
  StartWorker(ui::TBulk::Write);
}

void TParamFrm::StartWorker(ui::TBulk Kind) {
  const std::optional<ui::TTarget> target = RequestTarget();
  if (!target) return;
  TallyOf(Kind).emplace(Kind, Catalog());
  if (Kind == ui::TBulk::Write) Grid->SetLeftOut(&*WriteTally);
  RunInputs->Resume(Kind);
  RunInputs->Publish(*target, Catalog());  // records may have been changed in place since
  Workers.push_back(std::make_unique<TWorker>(Kind, RunInputs, Rows, Window));
  (Kind == ui::TBulk::Read ? ReadParamsThread : WriteParamsThread) = Workers.back().get();
}

void TParamFrm::TakeRows() {
  std::deque<ui::TRowResult> rows;
  {
    const std::lock_guard<std::mutex> hold(Rows->Lock);
    rows.swap(Rows->Rows);
  }
  for (const ui::TRowResult& result : rows) {
    if (std::optional<ui::TRunTally>& tally = TallyOf(result.Kind)) tally->Take(result);
    const ui::TRowNews news = ui::TakeRowResult(Parameters.get(), *RunInputs, result);
    if (news.Status && news.Status->Colour == ui::TStatusColour::Failure)
      ShowStatus(*news.Status);
    else if (news.Status)
      SetStatus(news.Status->Message);
  }
  if (!rows.empty()) Grid->Repaint();
}

void TParamFrm::WorkerEnded(TWorker* Worker) {
  const auto found = std::find_if(Workers.begin(), Workers.end(),
                                  [Worker](const auto& Each) { return Each.get() == Worker; });
  if (found == Workers.end()) return;  // already ended by a stop
  const ui::TBulk kind = Worker->Kind;
  if (ReadParamsThread == Worker) ReadParamsThread = nullptr;
  if (WriteParamsThread == Worker) WriteParamsThread = nullptr;
  Workers.erase(found);  // waits for the thread, which has ended or ends after its row
  TakeRows();            // its last rows came before its end
  if (const std::optional<ui::TRunTally>& tally = TallyOf(kind)) {
    RunEnded(*tally, true);
    for (TParamFrm* other : LiveFrames)
      if (other != this) other->RunEnded(*tally, false);
  }
  if (Dismissed && Workers.empty()) DestroyWindow(Window);
}

void TParamFrm::RunEnded(const ui::TRunTally& Tally, bool Own) {
  // Another window's run only replaces the busy text that spoke of it.
  std::wstring shown(LOWORD(SendMessageW(StatusBar1, SB_GETTEXTLENGTHW, 0, 0)) + 1, L'\0');
  SendMessageW(StatusBar1, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(shown.data()));
  shown.resize(std::wcslen(shown.c_str()));
  if (!Own && shown != Wide(ui::BusyText(Tally.Kind()))) return;
  const ui::TStatus summary = Tally.Summary();
  // It stays, in its colour, until the next news.
  KillTimer(Window, kTimer1);
  SetStatusColour(summary.Colour);
  SetStatus(summary.Message);
  Grid->Repaint();
}

bool TParamFrm::WriteRun(bool Stop, std::string& Progress) {
  TWorker* const worker = WriteParamsThread;
  const bool own = std::any_of(Workers.begin(), Workers.end(),
                               [worker](const auto& Each) { return Each.get() == worker; });
  if (!worker || !own || !WriteTally) return false;
  if (!Stop) {
    Progress = WriteTally->Progress();
    return true;
  }
  RunInputs->Stop(ui::TBulk::Write);
  // A closed window goes with its run, but only once the text is taken.
  const bool dismissed = std::exchange(Dismissed, false);
  WorkerEnded(worker);
  Progress = WriteTally->StoppedText();
  Dismissed = dismissed;
  if (Dismissed && Workers.empty()) DestroyWindow(Window);  // deletes this
  return true;
}

}  // namespace qx25::win
