// The service window's module-level state and its door into the host: slot
// 24 adds "Программирование параметров наливной" under the host's "&ТРК"
// menu entry, which opens the window for the driver built last.
#pragma once

#include <QString>

#include "driver/QX25.h"
#include "params/ParameterUnit.h"

class TParamFrm;

extern TParamFrm* ParamWindow;         // the open window, or null
extern CTRKParameters* TrkParameters;  // its catalog, or null
extern bool MenuPending;               // true until the first call of slot 24

// Creates the window if there is none; shows it modally over the host's
// window (AppHandle) alone when Driver is set; destroys it in every case.
void ShowParamWindow(TQX25* Driver);

// Slot 24. Throws std::runtime_error when the process has no QApplication,
// std::invalid_argument when RootItem is not a widget of this application or
// no menu function is given; the menu is left as it was then.
void InstallServiceMenu(TQX25& Driver, void* RootItem, TCreateMenuItemFn CreateMenuItemFn);

// Where parameter files start and the copy buffer lives: ZARO/Settings under
// the user's data directory.
QString SettingsDirectory();
QString BufferFileName();  // "Vedo.buf" in the settings directory
