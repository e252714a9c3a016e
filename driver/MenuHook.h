// Slot 24 adds the service window to the host's menu, but the window needs
// the desktop toolkit and the driver's unit uses the standard library only.
// The window's module registers its installer here when it is linked in (as
// it is in libqx25.so); a build without it leaves the host's menu alone.
#pragma once

#include "QX25.h"

namespace qx25 {

using TMenuInstaller = void (*)(TQX25& Driver, void* RootItem, TCreateMenuItemFn CreateMenuItemFn);

// Registered once, at load; a second call replaces the first.
void SetMenuInstaller(TMenuInstaller Installer);
TMenuInstaller MenuInstaller();

// The host's main window as handed to GetQX25 (a QWidget* as an integer, or 0).
uintptr_t HostWindow();

}  // namespace qx25
