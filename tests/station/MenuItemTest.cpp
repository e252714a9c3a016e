// The menu function the host hands to slot 24, on a menu bar of its own.
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include "HostMenu.h"
#include "HostTests.h"

using namespace qx25::station;

namespace {

QAction* Item(QAction* Entry, int32_t Position) {
  return static_cast<QAction*>(CreateMenuItem(Entry, Position));
}

}  // namespace

void MenuItemTest::insertsBeforePositionOrAppends() {
  QMenuBar bar;
  QMenu* menu = bar.addMenu(QStringLiteral("&ТРК"));
  QAction* a = menu->addAction(QStringLiteral("A"));
  QAction* b = menu->addAction(QStringLiteral("B"));
  QAction* c = menu->addAction(QStringLiteral("C"));
  QAction* entry = menu->menuAction();

  QAction* first = Item(entry, 0);
  QCOMPARE(menu->actions(), (QList<QAction*>{first, a, b, c}));
  QAction* beforeC = Item(entry, 3);
  QCOMPARE(menu->actions(), (QList<QAction*>{first, a, b, beforeC, c}));
  // -1, any other negative, and a position past the end append.
  QAction* appended = Item(entry, kAppendItem);
  QAction* atSize = Item(entry, static_cast<int32_t>(menu->actions().size()));
  QAction* far = Item(entry, 1000);
  QAction* negative = Item(entry, -7);
  QCOMPARE(menu->actions(),
           (QList<QAction*>{first, a, b, beforeC, c, appended, atSize, far, negative}));

  // The menu owns them, and they start empty for the caller to caption.
  for (QAction* item : {first, beforeC, appended, far}) {
    QCOMPARE(item->parent(), menu);
    QVERIFY(item->text().isEmpty());
  }
  // Nothing lands on the bar itself.
  QCOMPARE(bar.actions().size(), 1);
}

void MenuItemTest::refusesWhatIsNotAMenuEntry() {
  QCOMPARE(CreateMenuItem(nullptr, kAppendItem), nullptr);
  QAction plain(QStringLiteral("&ТРК"));
  QCOMPARE(CreateMenuItem(&plain, kAppendItem), nullptr);
  QCOMPARE(CreateMenuItem(&plain, 0), nullptr);
}

void MenuItemTest::findsTopLevelEntryByExactText() {
  QMenuBar bar;
  bar.addMenu(QStringLiteral("&Файл"));
  QMenu* dispensers = bar.addMenu(QStringLiteral("&ТРК"));
  QCOMPARE(TopLevelEntry(bar, QStringLiteral("&ТРК")), dispensers->menuAction());
  // The mnemonic's ampersand is part of the text, and case counts.
  QCOMPARE(TopLevelEntry(bar, QStringLiteral("ТРК")), nullptr);
  QCOMPARE(TopLevelEntry(bar, QStringLiteral("&трк")), nullptr);
  // Items inside a menu are not top-level entries.
  dispensers->addAction(QStringLiteral("&Вложенный"));
  QCOMPARE(TopLevelEntry(bar, QStringLiteral("&Вложенный")), nullptr);
}
