#include "WindowHost.h"

#include <stdexcept>
#include <string>
#include <vector>

#include "ui/core/Texts.h"

namespace {

constexpr wchar_t kClass[] = L"QX25TestHost";
constexpr UINT kFirstItem = 1000;
using GetQX25Fn = decltype(&GetQX25);

TWindowHost* Host = nullptr;
UINT NextItem = kFirstItem;

struct TWritingWindows {
  UINT Message;
  std::vector<HWND> Windows;
};

// A named function, since on 32-bit Windows a lambda does not convert to the
// stdcall callback EnumThreadWindows takes.
BOOL CALLBACK AddIfWriting(HWND W, LPARAM L) {
  auto& f = *reinterpret_cast<TWritingWindows*>(L);
  const auto* name = static_cast<const wchar_t*>(GetPropW(W, L"Name"));
  if (name && std::wstring(name) == L"ParamFrm" && SendMessageW(W, f.Message, 0, 0) != 0)
    f.Windows.push_back(W);
  return TRUE;
}

// The service windows of this thread that run a write-all: the open one, or
// one closed with its run going on. The contract: the window's "Name" is
// "ParamFrm", and it answers "qx25.WriteRun".
std::vector<HWND> WritingWindows() {
  TWritingWindows found{RegisterWindowMessageW(L"qx25.WriteRun"), {}};
  EnumThreadWindows(GetCurrentThreadId(), AddIfWriting, reinterpret_cast<LPARAM>(&found));
  return found.Windows;
}

// A close during a write-all asks first; a stopped run ends after the write
// in flight, and the host says how far it got.
bool MayClose(HWND Window) {
  const std::vector<HWND> writing = WritingWindows();
  if (writing.empty()) return true;
  wchar_t caption[128] = {};
  GetWindowTextW(Window, caption, 128);
  if (MessageBoxW(Window, Wide(qx25::ui::kQuitDuringWrite).c_str(), caption,
                  MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
    return false;
  const UINT message = RegisterWindowMessageW(L"qx25.WriteRun");
  for (HWND service : writing) {
    std::vector<wchar_t> stopped(1024);
    if (IsWindow(service) &&
        SendMessageW(service, message, 1, reinterpret_cast<LPARAM>(stopped.data())) != 0)
      MessageBoxW(Window, stopped.data(), caption, MB_OK | MB_ICONINFORMATION);
  }
  return true;
}

}  // namespace

std::wstring Wide(const std::string& Text) {
  std::wstring out(Text.size() + 1, L'\0');
  out.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, Text.c_str(), -1, out.data(),
                                                     static_cast<int>(out.size()))) -
             1);
  return out;
}

TWindowHost::TWindowHost() : Library(LoadLibraryW(L"qx25.dll")) {
  if (!Library)
    throw std::runtime_error("qx25.dll cannot be loaded (error " + std::to_string(GetLastError()) +
                             ")");
  Host = this;
}

TWindowHost::~TWindowHost() {
  Host = nullptr;
  // The library stays loaded: a window of it may still be on its way out.
}

void* TWindowHost::CreateMenuItem(void* Parent, int32_t Position) {
  // The contract: append (or insert at Position) an item to the popup and
  // return its command identifier.
  const UINT command = NextItem++;
  auto* popup = static_cast<HMENU>(Parent);
  const BOOL made = Position < 0 ? AppendMenuW(popup, MF_STRING, command, L"")
                                 : InsertMenuW(popup, static_cast<UINT>(Position),
                                               MF_BYPOSITION | MF_STRING, command, L"");
  if (!made) return nullptr;
  if (Host) Host->ItemCommand = command;
  return reinterpret_cast<void*>(static_cast<UINT_PTR>(command));
}

LRESULT CALLBACK TWindowHost::Proc(HWND Window, UINT Message, WPARAM W, LPARAM L) {
  switch (Message) {
    case WM_COMMAND:
      if (LOWORD(W) == kExitCommand) DestroyWindow(Window);  // quits without asking
      return 0;
    case WM_CLOSE:
      if (MayClose(Window)) DestroyWindow(Window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(Window, Message, W, L);
}

void TWindowHost::Open() {
  WNDCLASSW c{};
  c.lpfnWndProc = &TWindowHost::Proc;
  c.hInstance = GetModuleHandleW(nullptr);
  c.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  c.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
  c.lpszClassName = kClass;
  RegisterClassW(&c);
  HMENU bar = CreateMenu();
  HMENU file = CreatePopupMenu();
  AppendMenuW(file, MF_STRING, kExitCommand, L"В&ыход");
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"&Файл");
  Station = CreatePopupMenu();
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(Station), L"&ТРК");
  Window = CreateWindowExW(0, kClass, L"qx25 — станция", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480,
                           nullptr, bar, GetModuleHandleW(nullptr), nullptr);
  if (!Window)
    throw std::runtime_error("the host's window cannot be created (error " +
                             std::to_string(GetLastError()) + ")");
  const auto factory =
      reinterpret_cast<GetQX25Fn>(reinterpret_cast<void*>(GetProcAddress(Library, "GetQX25")));
  if (!factory) throw std::runtime_error("qx25.dll exports no GetQX25");
  Driver.reset(factory(0, reinterpret_cast<uintptr_t>(Window), &Lines));
  Driver->InstallMenu(bar, &TWindowHost::CreateMenuItem);
  ShowWindow(Window, SW_SHOW);
}

int TWindowHost::Run() {
  MSG msg{};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}
