#include "ui/win/ServiceWindow.h"

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <exception>
#include <stdexcept>

#include "driver/MenuHook.h"
#include "params/ParameterFile.h"
#include "ui/win/ParamWindow.h"
#include "ui/win/Text.h"

namespace qx25::win {

TParamFrm* ParamWindow = nullptr;
CTRKParameters* TrkParameters = nullptr;
bool MenuPending = true;

namespace {

constexpr UINT_PTR kSubclassId = 0x51A25;
constexpr int kAppend = -1;

HWND HostWindow() {
  auto* window = reinterpret_cast<HWND>(qx25::HostWindow());
  return window && IsWindow(window) ? window : nullptr;
}

void OpenForCurrentDriver() {
  try {
    ShowParamWindow(CurrentDriver);
  } catch (const std::exception& Error) {
    // Nothing may leave the host's window procedure; its user sees the reason.
    MessageBoxW(HostWindow(), Wide(Error.what()).c_str(), Wide(kMenuCaption).c_str(),
                MB_OK | MB_ICONWARNING);
  }
}

// Sits in front of the host window's procedure and takes the item's command.
LRESULT CALLBACK HostProc(HWND Window, UINT Message, WPARAM W, LPARAM L, UINT_PTR Id,
                          DWORD_PTR Command) {
  if (Message == WM_COMMAND && HIWORD(W) <= 1 && L == 0 && LOWORD(W) == Command) {
    OpenForCurrentDriver();
    return 0;
  }
  if (Message == WM_NCDESTROY) RemoveWindowSubclass(Window, &HostProc, Id);
  return DefSubclassProc(Window, Message, W, L);
}

const bool Registered = (SetMenuInstaller(&InstallServiceMenu), true);

}  // namespace

std::string SettingsDirectory() { return kSettingsDirectory; }

void ShowParamWindow(TQX25* Driver) {
  if (!ParamWindow) ParamWindow = new TParamFrm(HostWindow());
  TParamFrm* window = ParamWindow;
  // Whatever happens next, a later call makes a window of its own.
  ParamWindow = nullptr;
  if (!Driver) return window->Dismiss();
  window->Driver = Driver;
  window->ShowModal();  // the window is gone afterwards, or goes with its last run
}

void InstallServiceMenu(TQX25&, void* RootItem, TCreateMenuItemFn CreateMenuItemFn) {
  if (!MenuPending) return;
  auto* root = static_cast<HMENU>(RootItem);
  if (root && !IsMenu(root))
    throw std::invalid_argument("InstallMenu: RootItem is not a menu (HMENU)");
  if (root && !CreateMenuItemFn)
    throw std::invalid_argument("InstallMenu: no function to create the menu item");
  MenuPending = false;
  if (!root) return;
  const std::wstring entryText = Wide(kHostEntry);
  const int count = GetMenuItemCount(root);
  for (int position = 0; position < count; ++position) {
    wchar_t text[64] = {};
    MENUITEMINFOW entry{};
    entry.cbSize = sizeof entry;
    entry.fMask = MIIM_STRING | MIIM_SUBMENU;
    entry.dwTypeData = text;
    entry.cch = static_cast<UINT>(std::size(text));
    if (!GetMenuItemInfoW(root, static_cast<UINT>(position), TRUE, &entry)) continue;
    if (!entry.hSubMenu || entryText != text) continue;
    const auto command = reinterpret_cast<UINT_PTR>(CreateMenuItemFn(entry.hSubMenu, kAppend));
    if (command == 0 || command > 0xFFFF) return;
    std::wstring caption = Wide(kMenuCaption);
    MENUITEMINFOW item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_STRING;
    item.dwTypeData = caption.data();
    SetMenuItemInfoW(entry.hSubMenu, static_cast<UINT>(command), FALSE, &item);
    if (HWND host = HostWindow()) {
      SetWindowSubclass(host, &HostProc, kSubclassId, command);
      if (GetMenu(host) == root) DrawMenuBar(host);
    }
    return;
  }
}

}  // namespace qx25::win
