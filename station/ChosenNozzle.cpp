#include "ChosenNozzle.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <algorithm>

#include "ForecourtOverview.h"
#include "NozzlePanel.h"
#include "NozzleTile.h"
#include "OverviewPane.h"

namespace qx25::station {

namespace {
const QKeySequence kStopKey(Qt::Key_F12);
const QKeySequence kNextKey(Qt::CTRL | Qt::Key_PageDown);
const QKeySequence kPreviousKey(Qt::CTRL | Qt::Key_PageUp);

// A key that works wherever the focus is in the window, listed under Help.
QAction* WindowKey(QMainWindow& Window, const QString& Text, const char* Name,
                   const QKeySequence& Key) {
  auto* action = new QAction(Text, &Window);
  action->setObjectName(QString::fromUtf8(Name));
  action->setShortcut(Key);
  action->setShortcutContext(Qt::WindowShortcut);
  Window.addAction(action);
  return action;
}
}  // namespace

QString KeysText() {
  return QStringLiteral(
      "F12 — стоп выбранного пистолета, откуда бы ни был фокус\n"
      "Alt+С — то же: кнопка «Стоп» выбранного пистолета\n"
      "Ctrl+PgDown, Ctrl+PgUp — выбрать следующий или предыдущий пистолет "
      "и перейти к его дозе\n"
      "Выбранный пистолет — тот, чья панель показана рядом с обзором, или панель, "
      "где последний раз нажимали или вводили (отмечена ► в заголовке и рамкой)\n"
      "Стрелки и Enter в обзоре — выбрать пистолет\n"
      "Tab, Shift+Tab — по панели: доза, цена, «Задать», «Пуск», «Стоп», "
      "затем следующая панель и остальное окно\n"
      "Enter в поле дозы или цены — задать её; на кнопке панели — нажать кнопку\n"
      "Пробел — кнопки панелей не нажимает\n"
      "Esc — закрыть вопрос, ничего не выполняя\n"
      "Ctrl+Q — выход");
}

ChosenNozzle::ChosenNozzle(QMainWindow& W) : QObject(&W), Window(W) {
  // Not in a menu: a menu's shortcut waits for the menu bar; this one works
  // wherever the focus is in the window.
  Stop =
      WindowKey(Window, QStringLiteral("Стоп выбранного пистолета"), "StopChosenAction", kStopKey);
  connect(Stop, &QAction::triggered, this, [this] {
    if (NozzlePanel* panel = Chosen()) panel->StopNow();
  });
  Next = WindowKey(Window, QStringLiteral("Следующий пистолет"), "NextNozzleAction", kNextKey);
  connect(Next, &QAction::triggered, this, [this] { Step(1); });
  Previous = WindowKey(Window, QStringLiteral("Предыдущий пистолет"), "PreviousNozzleAction",
                       kPreviousKey);
  connect(Previous, &QAction::triggered, this, [this] { Step(-1); });

  QMenu* help = Window.menuBar()->addMenu(QString::fromUtf8(kHelpMenuText));
  help->addActions({Stop, Next, Previous});
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

void ChosenNozzle::Step(int By) {
  if (Panels.empty()) return;
  const auto count = static_cast<int>(Panels.size());
  const auto at = std::find(Panels.begin(), Panels.end(), Chosen());
  const int from = at == Panels.end() ? 0 : static_cast<int>(at - Panels.begin());
  NozzlePanel* next = Panels[static_cast<size_t>(((from + By) % count + count) % count)];
  if (Overview)
    Overview->Choose(next->Config().Port, next->Config().Nozzle);
  else
    Choose(next);
  next->FocusDose();
}

void ChosenNozzle::Mark() {
  NozzlePanel* chosen = Chosen();
  if (chosen == Marked) return;
  if (Marked) Marked->SetChosen(false);
  Marked = chosen;
  if (Marked) Marked->SetChosen(true);
}

}  // namespace qx25::station
