// What the window's tests share: a host's menu bar with "&Файл" and "&ТРК",
// a driver over the serial dispatcher, and simulated controllers at network
// addresses 1 to 4 on a pseudo-terminal (port 3). The window is opened as a
// host's user opens it: slot 24 on the menu bar, then a click on the entry;
// the test body runs inside the window's modal loop.
#pragma once

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <functional>
#include <optional>

#include "driver/DriverPtr.h"
#include "driver/QX25.h"
#include "serial/SerialDispatcher.h"
#include "sim/Endpoint.h"
#include "sim/Simulator.h"
#include "ui/ParamFrame.h"
#include "ui/ParamModel.h"
#include "ui/ServiceWindow.h"
#include "ui/ui_ParamFrame.h"

namespace uitest {

inline constexpr int kPort = 3;
inline constexpr int kControllers = 4;
inline constexpr char kEntryCaption[] = "Программирование параметров наливной";

// The host's menu function: a new item in the entry's menu at Position, or
// appended for -1.
inline int LastMenuPosition = 0;
inline void* CreateMenuItem(void* Parent, int32_t Position) {
  auto* entry = static_cast<QAction*>(Parent);
  QMenu* menu = entry->menu();
  auto* item = new QAction(menu);
  LastMenuPosition = Position;
  const auto existing = menu->actions();
  if (Position < 0 || Position >= existing.size())
    menu->addAction(item);
  else
    menu->insertAction(existing[Position], item);
  return item;
}

// The item slot 24 added under Entry, or null.
inline QAction* ServiceItem(QMenuBar& Bar, const QString& Entry = "&ТРК") {
  for (QAction* top : Bar.actions())
    if (top->text() == Entry && top->menu())
      for (QAction* item : top->menu()->actions())
        if (item->text() == QString::fromUtf8(kEntryCaption)) return item;
  return nullptr;
}

inline void WriteScreenshot(QWidget& Widget, const QString& Name) {
  QDir().mkpath(QX25_SCREENSHOT_DIR);
  Widget.grab().save(QString(QX25_SCREENSHOT_DIR) + "/" + Name + ".png");
}

class WindowRig {
 public:
  WindowRig() {
    QStandardPaths::setTestModeEnabled(true);
    for (int address = 1; address <= kControllers; ++address) Sim.AddController(address);
    qx25::sim::EndpointOptions options;
    options.Baud = 38400;
    options.Pacing = false;
    Wire.emplace(Sim, options);
    const std::string path = Wire->OpenPseudoTerminal();
    Wire->Start();
    Lines.SetDevicePath(kPort, path);
    Lines.SetTimeouts({std::chrono::milliseconds(300), std::chrono::milliseconds(150)});
    Driver.reset(GetQX25(0, 0, &Lines));
    Driver->SetupPort(kPort);
    Bar.addMenu("&Файл");
    Bar.addMenu("&ТРК");
    MenuPending = true;
    Driver->InstallMenu(&Bar, &CreateMenuItem);
    Item = ServiceItem(Bar);
  }

  ~WindowRig() {
    Driver.reset();
    Lines.Close(kPort);
    Wire->Stop();
    MenuPending = true;
  }

  // Clicks the menu entry and runs Body on the shown window, then closes it
  // if Body has not. Returns false when no window came up.
  bool WithWindow(const std::function<void(TParamFrm&)>& Body) {
    bool ran = false;
    QTimer::singleShot(0, [&] {
      TParamFrm* window = ParamWindow;
      if (!window || !window->isVisible()) return;
      ran = true;
      QApplication::setActiveWindow(window);
      if (!QTest::qWaitForWindowActive(window)) return;
      if (!LocaleNumbers) SetNumberFormat({".", ","});
      window->Form().ComPortEdit->setValue(kPort);
      Body(*window);
      if (ParamWindow == window && window->isVisible()) window->close();
    });
    if (Item) Item->trigger();
    return ran;
  }

  qx25::sim::Simulator Sim;
  std::optional<qx25::sim::Endpoint> Wire;
  qx25::serial::SerialDispatcher Lines;
  DriverPtr Driver;
  QMenuBar Bar;
  QAction* Item = nullptr;
  // Numbers as the window takes them from the user's locale, not as "1,200.00".
  bool LocaleNumbers = false;
};

// Grid rows (1-based, the header is row 0) that are shown.
inline QList<int> ShownRows(const TParamFrm& Window) {
  QList<int> rows;
  const TRXDrawGrid* grid = Window.Form().RxDGCommon;
  for (int row = 1; row <= grid->RowCount(); ++row)
    if (grid->RowHeight(row) > 0) rows.append(row);
  return rows;
}

// What the status bar's panel says.
inline QString Status(const TParamFrm& Window) {
  return Window.findChild<QLabel*>("StatusPanel")->text();
}

inline QString CellText(const TParamFrm& Window, int Row, int Col) {
  const TParamModel& model = Window.Model();
  return model.data(model.index(Row - 1, Col), Qt::DisplayRole).toString();
}

}  // namespace uitest

namespace uitest {

// Runs Body on the next modal window of type T as soon as it is shown (the
// window's confirmation, a file dialog, the address dialog).
template <typename T>
void OnNextModal(std::function<void(T&)> Body) {
  auto* poll = new QTimer;
  poll->setInterval(5);
  QObject::connect(poll, &QTimer::timeout, [poll, Body] {
    auto* modal = qobject_cast<T*>(QApplication::activeModalWidget());
    if (!modal) return;
    poll->stop();
    poll->deleteLater();
    Body(*modal);
  });
  poll->start();
}

// Clicks Button on the next message box; Seen tells whether one came.
inline void AnswerNextBox(QMessageBox::StandardButton Button, bool* Seen = nullptr) {
  OnNextModal<QMessageBox>([Button, Seen](QMessageBox& Box) {
    if (Seen) *Seen = true;
    Box.button(Button)->click();
  });
}

// Row r's editor placed as a selection of its "Запись" cell places it.
inline void OpenEditor(TParamFrm& Window, int Row) {
  CParameter& p = Window.Catalog()->Items(Row - 1);
  Window.Form().TabControl1->Tabs()->setCurrentIndex(p.TabIndex);
  Window.Form().RxDGCommon->SetCurrentCell(TParamModel::ColWrite, Row);
  // The selection places the editor 50 ms later; a test that set a value
  // before then would see it reset.
  const QTimer* delay = Window.findChild<QTimer*>("Timer2");
  QVERIFY(QTest::qWaitFor([delay] { return !delay->isActive(); }));
  Window.PlaceEditor(Row, TParamModel::ColWrite);
}

}  // namespace uitest
