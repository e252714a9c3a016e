// The module's state and slot 24: the menu entry, and the window it opens.
#include "ui/ServiceWindow.h"

#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <QScopeGuard>
#include <stdexcept>

#include "driver/MenuHook.h"
#include "ui/ParamFrame.h"
#include "ui/core/Texts.h"

TParamFrm* ParamWindow = nullptr;
CTRKParameters* TrkParameters = nullptr;
bool MenuPending = true;

namespace {

using qx25::ui::kHostEntry, qx25::ui::kMenuCaption;
constexpr int kAppend = -1;

// The host's main window, when the handle names a live widget of this
// application; the handle is only an integer, so it is checked, not trusted.
QWidget* HostWidget() {
  auto* widget = reinterpret_cast<QWidget*>(qx25::HostWindow());
  return widget && QApplication::allWidgets().contains(widget) ? widget : nullptr;
}

void OpenForCurrentDriver() {
  try {
    ShowParamWindow(CurrentDriver);
  } catch (const std::exception& Error) {
    // Nothing may leave a Qt event handler; the host's user sees the reason.
    QMessageBox::warning(HostWidget(), QString::fromUtf8(kMenuCaption),
                         QString::fromUtf8(Error.what()));
  }
}

const bool Registered = (qx25::SetMenuInstaller(&InstallServiceMenu), true);

}  // namespace

void ShowParamWindow(TQX25* Driver) {
  if (!ParamWindow) ParamWindow = new TParamFrm(HostWidget());
  TParamFrm* window = ParamWindow;
  const auto release = qScopeGuard([window] {
    if (ParamWindow == window) ParamWindow = nullptr;
    window->Dismiss();
  });
  if (!Driver) return;
  window->Driver = Driver;
  // Modal to its owner only: a host that gives another window than its
  // forecourt as AppHandle keeps the forecourt usable while a technician works.
  window->setWindowModality(Qt::WindowModal);
  window->exec();
}

void InstallServiceMenu(TQX25&, void* RootItem, TCreateMenuItemFn CreateMenuItemFn) {
  if (!MenuPending) return;
  if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
    throw std::runtime_error(
        "InstallMenu: the host has no QApplication; create it before calling slot 24");
  auto* root = static_cast<QWidget*>(RootItem);
  if (root && !QApplication::allWidgets().contains(root))
    throw std::invalid_argument("InstallMenu: RootItem is not a menu of this application");
  if (root && !CreateMenuItemFn)
    throw std::invalid_argument("InstallMenu: no function to create the menu item");
  MenuPending = false;
  if (!root) return;
  const QString entryText = QString::fromUtf8(kHostEntry);
  for (QAction* entry : root->actions()) {
    if (entry->text() != entryText) continue;
    auto* item = static_cast<QAction*>(CreateMenuItemFn(entry, kAppend));
    if (!item) return;
    const QString caption = QString::fromUtf8(kMenuCaption);
    item->setText(caption);
    item->setToolTip(caption);
    item->setStatusTip(caption);
    QObject::connect(item, &QAction::triggered, item, &OpenForCurrentDriver);
    return;
  }
}
