// The window's own texts that both views show.
#pragma once

namespace qx25::ui {

// Slot 24: the host's menu popup the item goes under, and the item (also the
// caption of the messages shown before any window is up).
inline constexpr char kHostEntry[] = "&ТРК";
inline constexpr char kMenuCaption[] = "Программирование параметров наливной";

// A single write asks first.
inline constexpr char kConfirmCaption[] = "Подтверждение записи";
inline constexpr char kConfirmText[] = "Вы действительно хотите записать параметр";

// The file dialogs: their titles, the name they offer, and the suffix a name
// without one is given.
inline constexpr char kSaveTitle[] = "Сохранение файла настроек";
inline constexpr char kOpenTitle[] = "Считать параметры из файла";
inline constexpr char kInitialName[] = "ТРК";
inline constexpr char kSaveSuffix[] = "par";
inline constexpr char kOpenSuffix[] = "tar";

// A host asked to quit while the window's write-all runs asks this first.
inline constexpr char kQuitDuringWrite[] = "Идёт запись параметров в ТРК: прервать?";
inline constexpr char kQuitStopWrite[] = "Прервать и выйти";
inline constexpr char kQuitKeepWriting[] = "Не выходить";

}  // namespace qx25::ui
