#include "WindowTest.h"

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

namespace {

struct TSearch {
  std::function<bool(HWND)> Match;
  HWND Found = nullptr;
};

BOOL CALLBACK Visit(HWND Window, LPARAM Param) {
  auto* search = reinterpret_cast<TSearch*>(Param);
  if (!search->Match(Window)) return TRUE;
  search->Found = Window;
  return FALSE;
}

bool Named(HWND Window, const wchar_t* Name) {
  const auto* name = static_cast<const wchar_t*>(GetPropW(Window, L"Name"));
  return name && std::wcscmp(name, Name) == 0;
}

void Click(HWND Window, POINT At, bool Double = false) {
  const LPARAM where = MAKELPARAM(At.x, At.y);
  SendMessageW(Window, Double ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN, MK_LBUTTON, where);
  SendMessageW(Window, WM_LBUTTONUP, 0, where);
}

POINT Centre(const RECT& R) { return {(R.left + R.right) / 2, (R.top + R.bottom) / 2}; }

}  // namespace

std::string Utf8(const std::wstring& Text) {
  std::string out(Text.size() * 4 + 1, '\0');
  out.resize(
      static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, Text.c_str(), -1, out.data(),
                                              static_cast<int>(out.size()), nullptr, nullptr)) -
      1);
  return out;
}

TWindowTest::TWindowTest(TWindowHost& TestHost, int TestPort, std::wstring OutDirectory, DWORD Ui)
    : Host(TestHost), Port(TestPort), Directory(std::move(OutDirectory)), UiThread(Ui) {}

bool TWindowTest::Check(bool Condition, const std::string& What) {
  if (!Condition) {
    ++Failed;
    std::fprintf(stderr, "FAILED: %s\n", What.c_str());
  }
  return Condition;
}

bool TWindowTest::WaitUntil(const std::function<bool()>& Condition, int Milliseconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(Milliseconds);
  while (!Condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

HWND TWindowTest::ThreadWindow(const std::function<bool(HWND)>& Match) const {
  TSearch search{Match};
  EnumThreadWindows(UiThread, Visit, reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

HWND TWindowTest::TopLevel(const wchar_t* Name) const {
  return ThreadWindow([Name](HWND W) { return Named(W, Name); });
}

HWND TWindowTest::Box(const std::string& Caption) const {
  const std::wstring caption = Wide(Caption);
  TSearch search{[&caption](HWND W) {
    wchar_t text[256] = {}, kind[32] = {};
    GetClassNameW(W, kind, 32);
    GetWindowTextW(W, text, 256);
    return std::wcscmp(kind, L"#32770") == 0 && caption == text && IsWindowVisible(W);
  }};
  EnumThreadWindows(UiThread, Visit, reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

HWND TWindowTest::Control(const wchar_t* Name) const {
  TSearch search{[Name](HWND W) { return Named(W, Name); }};
  EnumChildWindows(Frame, Visit, reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

std::string TWindowTest::Cell(int Col, int Row) const {
  static const UINT message = RegisterWindowMessageW(L"qx25.CellText");
  std::vector<wchar_t> text(1024);
  if (SendMessageW(Grid, message, MAKEWPARAM(Col, Row), reinterpret_cast<LPARAM>(text.data())) < 0)
    return "<no cell>";
  return Utf8(text.data());
}

bool TWindowTest::Shown(int Row) const {
  static const UINT message = RegisterWindowMessageW(L"qx25.CellRect");
  RECT r{};
  return SendMessageW(Grid, message, MAKEWPARAM(0, Row), reinterpret_cast<LPARAM>(&r)) == 1;
}

void TWindowTest::ClickCell(int Col, int Row, bool Double) {
  static const UINT message = RegisterWindowMessageW(L"qx25.CellRect");
  RECT r{}, client{};
  GetClientRect(Grid, &client);
  constexpr int kHeader = 24, kTurns = 60;
  // Scrolled into sight with the wheel first, as a technician does.
  for (int turn = 0; turn < kTurns; ++turn) {
    if (!Check(SendMessageW(Grid, message, MAKEWPARAM(Col, Row), reinterpret_cast<LPARAM>(&r)) == 1,
               "row " + std::to_string(Row) + " is shown"))
      return;
    if (r.top >= kHeader && r.bottom <= client.bottom) break;
    SendMessageW(Grid, WM_MOUSEWHEEL, MAKEWPARAM(0, r.top < kHeader ? WHEEL_DELTA : -WHEEL_DELTA),
                 0);
  }
  Click(Grid, Centre(r), Double);
}

void TWindowTest::ClickTab(int Tab) {
  HWND tabs = Control(L"TabControl1");
  RECT r{};
  SendMessageW(tabs, TCM_GETITEMRECT, static_cast<WPARAM>(Tab), reinterpret_cast<LPARAM>(&r));
  Click(tabs, Centre(r));
}

void TWindowTest::ClickTool(int Index) {
  HWND tool = Control(Index == 0 ? L"CopyTool" : L"PasteTool");
  RECT r{};
  GetClientRect(tool, &r);
  Click(tool, Centre(r));
}

std::string TWindowTest::Status() const {
  std::vector<wchar_t> text(1024);
  HWND bar = Control(L"StatusBar1");
  if (LOWORD(SendMessageW(bar, SB_GETTEXTLENGTHW, 0, 0)) >= text.size()) return "<too long>";
  SendMessageW(bar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text.data()));
  return Utf8(text.data());
}

int TWindowTest::StatusColour() const {
  return static_cast<int>(reinterpret_cast<INT_PTR>(GetPropW(Control(L"StatusBar1"), L"Colour")));
}

void TWindowTest::SetText(HWND Window, const std::string& Text) {
  SendMessageW(Window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Wide(Text).c_str()));
}

void TWindowTest::Type(HWND Edit, const std::string& Text, bool Replace) {
  // Posted, as keys arrive: they take their turn after what the window is doing.
  if (Replace) {
    PostMessageW(Edit, EM_SETSEL, 0, -1);
    PostMessageW(Edit, WM_CHAR, VK_BACK, 0);
  }
  for (wchar_t key : Wide(Text)) PostMessageW(Edit, WM_CHAR, key, 0);
}

std::string TWindowTest::TextOf(HWND Window) const {
  std::vector<wchar_t> text(1024);
  GetWindowTextW(Window, text.data(), static_cast<int>(text.size()));
  return Utf8(text.data());
}

std::string TWindowTest::ConfirmedText() {
  HWND box = nullptr;
  if (!WaitUntil([&] { return (box = Box("Подтверждение записи")) != nullptr; }, 5000)) return {};
  Check(Named(box, L"ConfirmWrite"), "the confirmation is named ConfirmWrite");
  std::string text;
  for (HWND w = FindWindowExW(box, nullptr, L"Static", nullptr); w;
       w = FindWindowExW(box, w, L"Static", nullptr))
    text += TextOf(w);
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  WaitUntil([&] { return !IsWindow(box); });
  return text;
}

// The window's place on the screen, as a 24-bit BMP in the output directory
// (the script makes PNGs of them).
void TWindowTest::Snapshot(const char* Name, HWND Of) {
  HWND shown = Of ? Of : Frame;
  RedrawWindow(shown, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  SendMessageW(shown, WM_NULL, 0, 0);
  RECT r{};
  GetWindowRect(shown, &r);
  const int width = r.right - r.left, height = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC canvas = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(canvas, bitmap);
  BitBlt(canvas, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  const DWORD size = stride * static_cast<DWORD>(height);
  constexpr DWORD head = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  BITMAPFILEHEADER file{0x4D42, head + size, 0, 0, head};
  std::ofstream out(std::filesystem::path(Directory + L"\\" + Wide(Name) + L".bmp"),
                    std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
  out.write(static_cast<const char*>(bits), size);
  SelectObject(canvas, old);
  DeleteObject(bitmap);
  DeleteDC(canvas);
  ReleaseDC(nullptr, screen);
  Check(out.good(), std::string("screenshot ") + Name + " written");
}

bool TWindowTest::OpenWindow() {
  PostMessageW(Host.Window, WM_COMMAND, Host.ItemCommand, 0);
  if (!Check(
          WaitUntil([this] { return (Frame = TopLevel(L"ParamFrm")) && IsWindowVisible(Frame); }),
          "the menu item opens the window"))
    return false;
  Grid = Control(L"RxDGCommon");
  SetText(Control(L"ComPortEdit"), std::to_string(Port));
  return Check(Grid != nullptr, "the window has its grid");
}

bool TWindowTest::Confirm(bool Ok) {
  HWND box = nullptr;
  if (!Check(WaitUntil([&] { return (box = Box("Подтверждение записи")) != nullptr; }),
             "Enter asks for a confirmation"))
    return false;
  Check(Named(box, L"ConfirmWrite"), "the confirmation is named ConfirmWrite");
  PostMessageW(box, WM_COMMAND, Ok ? IDOK : IDCANCEL, 0);
  return WaitUntil([&] { return !IsWindow(box); });
}

bool TWindowTest::FileDialog(const std::string& Title, const std::wstring& FileName) {
  HWND dialog = nullptr;
  if (!Check(WaitUntil([&] { return (dialog = Box(Title)) != nullptr; }), Title + " opens"))
    return false;
  Check(Named(dialog, Title == "Сохранение файла настроек" ? L"SaveDialog" : L"OpenDialog"),
        Title + " carries its name");
  // The explorer dialog's name box: a combo box (cmb13) or an edit (edt1).
  HWND name = GetDlgItem(dialog, 0x47C);
  if (!name) name = GetDlgItem(dialog, 0x480);
  SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(FileName.c_str()));
  PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  return Check(WaitUntil([&] { return !IsWindow(dialog); }), Title + " closes");
}

void TWindowTest::All() {
  WaitUntil([this] { return Host.ItemCommand != 0; });
  Check(Host.ItemCommand != 0, "slot 24 made the item under \"&ТРК\"");
  if (OpenWindow()) {
    Tabs();
    ReadAndWriteAll();
    Files();
    EditInPlace();
    TypedEdits();
    RefusedAddress();
    AddressDialog();
    CopyAndPaste();
    Keyboard();
    Hints();
    CodeColumn();
    Looks();
    AddressDialogLooks();
    LostLine();
  }
  if (Frame && IsWindow(Frame)) CloseDuringRun();
  QuitDuringWriteAll();
  DestroyHostDuringRun();
  if (IsWindow(Host.Window)) PostMessageW(Host.Window, WM_CLOSE, 0, 0);
  std::printf("window tests: %d failed\n", Failed);
}
