// The forecourt overview with the chosen nozzle's full panel beside it. The
// console shows it in place of the rows of panels once they no longer fit.
#pragma once

#include <QWidget>
#include <vector>

class QStackedWidget;

namespace qx25::station {

class ForecourtOverview;
class NozzlePanel;

class OverviewPane : public QWidget {
  Q_OBJECT

 public:
  explicit OverviewPane(QWidget* Parent = nullptr);

  // A tile for each panel's nozzle; the panels move into the pane, the one
  // of the chosen tile shown. The first nozzle is chosen to begin with.
  void SetPanels(const std::vector<NozzlePanel*>& Panels);
  ForecourtOverview& Overview() const { return *Tiles; }
  NozzlePanel* ShownPanel() const;
  // Chooses the nozzle's tile, as a click on it would.
  void Choose(int Port, int Nozzle);

 private:
  ForecourtOverview* Tiles;
  QStackedWidget* Shown;
  std::vector<NozzlePanel*> Panels;
};

}  // namespace qx25::station
