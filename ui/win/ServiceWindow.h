// The window module's state on Windows and its door into the host: slot 24
// adds "Программирование параметров наливной" under the host's "&ТРК" menu
// popup, and the item opens the window for the driver built last.
#pragma once

#include <string>

#include "driver/QX25.h"
#include "params/ParameterUnit.h"
#include "ui/core/Texts.h"

namespace qx25::win {

class TParamFrm;

using ui::kHostEntry, ui::kMenuCaption;

// The open window, or null.
extern TParamFrm* ParamWindow;
// The catalog of the open window, or null.
extern CTRKParameters* TrkParameters;
// True until the first call of slot 24.
extern bool MenuPending;

// Creates the window if there is none; shows it modally over the host's
// window (AppHandle) when Driver is set; destroys it in every case (or, with
// a run still going, once that run ends).
void ShowParamWindow(TQX25* Driver);

// Slot 24 (the contract is in driver/QX25.h). Throws std::invalid_argument
// when RootItem is not a menu or no menu function is given; the menu is left
// as it was then.
void InstallServiceMenu(TQX25& Driver, void* RootItem, TCreateMenuItemFn CreateMenuItemFn);

// Where parameter files start and the copy buffer lives.
std::string SettingsDirectory();

}  // namespace qx25::win
