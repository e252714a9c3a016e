#include "HostMenu.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace qx25::station {

void* CreateMenuItem(void* Parent, int32_t Position) {
  auto* entry = static_cast<QAction*>(Parent);
  QMenu* menu = entry != nullptr ? entry->menu() : nullptr;
  if (menu == nullptr) return nullptr;
  auto* item = new QAction(menu);
  const QList<QAction*> items = menu->actions();
  if (Position >= 0 && Position < items.size())
    menu->insertAction(items.at(Position), item);
  else
    menu->addAction(item);
  return item;
}

QAction* TopLevelEntry(const QMenuBar& Bar, const QString& Text) {
  for (QAction* entry : Bar.actions())
    if (entry->text() == Text) return entry;
  return nullptr;
}

}  // namespace qx25::station
