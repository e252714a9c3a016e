// The nozzle the operator works with, and the keys that act on it: F12 stops
// it from anywhere in the window, as does its Stop button's mnemonic;
// Ctrl+PgDown and Ctrl+PgUp choose the next or the previous nozzle and put
// the keyboard in its dose field. With the overview it is the nozzle whose
// panel is shown; in rows of panels, the panel last clicked or typed into
// (the first to begin with). Its panel says so in its title and frame. The
// window's "Справка" menu lists the keys.
#pragma once

#include <QObject>
#include <QPointer>
#include <vector>

class QAction;
class QMainWindow;

namespace qx25::station {

class NozzlePanel;
class OverviewPane;

// Alt+С is the chosen nozzle's Stop: the menu takes another letter.
inline constexpr char kHelpMenuText[] = "Спр&авка";

class ChosenNozzle : public QObject {
  Q_OBJECT

 public:
  // Adds the stop key and the help entry to Window.
  explicit ChosenNozzle(QMainWindow& Window);

  // The panels shown, and the overview when it stands in their place.
  void SetPanels(const std::vector<NozzlePanel*>& Panels, OverviewPane* Overview);
  NozzlePanel* Chosen() const;
  QAction* StopAction() const { return Stop; }
  QAction* NextAction() const { return Next; }
  QAction* PreviousAction() const { return Previous; }
  QAction* KeysAction() const { return Keys; }

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  void Choose(NozzlePanel* Panel);
  // Chooses the nozzle By places on, round the forecourt, and types into it.
  void Step(int By);
  void Mark();

  QMainWindow& Window;
  QAction* Stop;
  QAction* Next;
  QAction* Previous;
  QAction* Keys;
  std::vector<NozzlePanel*> Panels;
  QPointer<OverviewPane> Overview;
  QPointer<NozzlePanel> Last;    // in rows: the one last used
  QPointer<NozzlePanel> Marked;  // the one whose title says it is chosen
};

// The window's keys, as "Справка" -> "Клавиши" lists them.
QString KeysText();

}  // namespace qx25::station
