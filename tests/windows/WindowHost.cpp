#include "WindowHost.h"

#include <stdexcept>
#include <string>

namespace {

constexpr wchar_t kClass[] = L"QX25TestHost";
constexpr UINT kFirstItem = 1000;
using GetQX25Fn = decltype(&GetQX25);

TWindowHost* Host = nullptr;
UINT NextItem = kFirstItem;

}  // namespace

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
      if (LOWORD(W) == kExitCommand) DestroyWindow(Window);
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
