#include "OverviewPane.h"

#include <QHBoxLayout>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "ForecourtOverview.h"
#include "NozzlePanel.h"
#include "NozzleTile.h"

namespace qx25::station {

OverviewPane::OverviewPane(QWidget* Parent)
    : QWidget(Parent), Tiles(new ForecourtOverview(this)), Shown(new QStackedWidget(this)) {
  setObjectName(QStringLiteral("OverviewPane"));
  Shown->setObjectName(QStringLiteral("ChosenPanel"));
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(Tiles, 1);
  // The panel stands at the top, as it would in its row.
  auto* column = new QVBoxLayout;
  column->addWidget(Shown);
  column->addStretch(1);
  row->addLayout(column);
  connect(Tiles, &ForecourtOverview::TileChosen, this, [this](NozzleTile* Tile) {
    for (NozzlePanel* panel : Panels)
      if (panel->Config() == Tile->Config()) Shown->setCurrentWidget(panel);
  });
}

void OverviewPane::SetPanels(const std::vector<NozzlePanel*>& NewPanels) {
  Panels = NewPanels;
  std::vector<NozzleConfig> nozzles;
  for (NozzlePanel* panel : Panels) {
    nozzles.push_back(panel->Config());
    Shown->addWidget(panel);
  }
  Tiles->SetNozzles(nozzles);
  for (size_t i = 0; i < Panels.size(); ++i) {
    NozzleTile* tile = Tiles->Tiles()[i];
    connect(Panels[i], &NozzlePanel::ReadingShown, tile, &NozzleTile::ShowReading);
    connect(Panels[i], &NozzlePanel::OutcomeShown, tile, &NozzleTile::ShowOutcome);
  }
  if (!Tiles->Tiles().empty()) Tiles->Choose(Tiles->Tiles().front());
}

NozzlePanel* OverviewPane::ShownPanel() const {
  return qobject_cast<NozzlePanel*>(Shown->currentWidget());
}

void OverviewPane::Choose(int Port, int Nozzle) { Tiles->Choose(Tiles->Tile(Port, Nozzle)); }

}  // namespace qx25::station
