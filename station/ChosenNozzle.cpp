#include "ChosenNozzle.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>

#include "ForecourtOverview.h"
#include "NozzlePanel.h"
#include "NozzleTile.h"
#include "OverviewPane.h"

namespace qx25::station {

namespace {
const QKeySequence kStopKey(Qt::Key_F12);
}  // namespace

QString KeysText() {
  return QStringLiteral(
      "F12 — стоп выбранного пистолета, откуда бы ни был фокус\n"
      "Alt+С — то же: кнопка «Стоп» выбранного пистолета\n"
      "Выбранный пистолет — тот, чья панель показана рядом с обзором, или панель, "
      "где последний раз нажимали или вводили (отмечена ► в заголовке)\n"
      "Enter — нажать кнопку панели, на которой фокус\n"
      "Пробел — кнопки панелей не нажимает\n"
      "Esc — закрыть вопрос, ничего не выполняя\n"
      "Ctrl+Q — выход");
}

ChosenNozzle::ChosenNozzle(QMainWindow& W) : QObject(&W), Window(W) {
  // Not in a menu: a menu's shortcut waits for the menu bar; this one works
  // wherever the focus is in the window.
  Stop = new QAction(QStringLiteral("Стоп выбранного пистолета"), &Window);
  Stop->setObjectName(QStringLiteral("StopChosenAction"));
  Stop->setShortcut(kStopKey);
  Stop->setShortcutContext(Qt::WindowShortcut);
  Window.addAction(Stop);
  connect(Stop, &QAction::triggered, this, [this] {
    if (NozzlePanel* panel = Chosen()) panel->StopNow();
  });

  QMenu* help = Window.menuBar()->addMenu(QString::fromUtf8(kHelpMenuText));
  help->addAction(Stop);
  Keys = help->addAction(QStringLiteral("Клавиши"));
  Keys->setObjectName(QStringLiteral("KeysAction"));
  connect(Keys, &QAction::triggered, this, [this] {
    auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("Клавиши"), KeysText(),
                                QMessageBox::Close, &Window);
    box->setObjectName(QStringLiteral("KeysBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
  });

  // Typing into a panel or pressing its buttons chooses it.
  connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* Now) {
    for (QWidget* w = Now; w != nullptr; w = w->parentWidget())
      if (auto* panel = qobject_cast<NozzlePanel*>(w)) return Choose(panel);
  });
}

void ChosenNozzle::SetPanels(const std::vector<NozzlePanel*>& NewPanels, OverviewPane* Pane) {
  Panels = NewPanels;
  Overview = Pane;
  Last = Panels.empty() ? nullptr : Panels.front();
  for (NozzlePanel* panel : Panels) panel->installEventFilter(this);
  if (Overview)
    connect(&Overview->Overview(), &ForecourtOverview::TileChosen, this, [this] { Mark(); });
  Mark();
}

NozzlePanel* ChosenNozzle::Chosen() const {
  if (Overview) return Overview->ShownPanel();
  return Last;
}

bool ChosenNozzle::eventFilter(QObject* Watched, QEvent* Event) {
  // A click on a panel's labels chooses it too.
  if (Event->type() == QEvent::MouseButtonPress)
    if (auto* panel = qobject_cast<NozzlePanel*>(Watched)) Choose(panel);
  return QObject::eventFilter(Watched, Event);
}

void ChosenNozzle::Choose(NozzlePanel* Panel) {
  if (Overview) return;  // the overview's tile chooses
  Last = Panel;
  Mark();
}

void ChosenNozzle::Mark() {
  NozzlePanel* chosen = Chosen();
  if (chosen == Marked) return;
  if (Marked) Marked->SetChosen(false);
  Marked = chosen;
  if (Marked) Marked->SetChosen(true);
}

}  // namespace qx25::station
