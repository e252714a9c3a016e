// The host's half of the driver's menu hook (slot 24 InstallMenu): the driver
// finds a top-level entry of the host's QMenuBar by its text and asks this
// function for a new item in that entry's menu, which it then captions and
// connects itself.
#pragma once

#include <cstdint>

class QAction;
class QMenuBar;
class QString;

namespace qx25::station {

// The position that appends.
inline constexpr int32_t kAppendItem = -1;

// Parent is a top-level QAction* of the menu bar. Returns a new, empty
// QAction* in its menu (owned by the menu): inserted before the item at
// Position, or appended when Position is negative or past the last item.
// Returns null when Parent is null or has no menu.
void* CreateMenuItem(void* Parent, int32_t Position);

// The top-level entry of Bar whose text is exactly Text, or null.
QAction* TopLevelEntry(const QMenuBar& Bar, const QString& Text);

}  // namespace qx25::station
