// The forecourt at a glance: a tile per nozzle, a row of tiles per line with
// the line's name before it, as many lines side by side as the width holds.
// Thirty lines of four nozzles fit a 1400 x 900 console; more scroll a line
// at a time. A click on a tile, or the arrows and Enter, chooses a nozzle;
// the pane beside shows its full panel.
#pragma once

#include <QScrollArea>
#include <vector>

#include "HostOptions.h"

namespace qx25::station {

class NozzleTile;
class TileFrame;

class ForecourtOverview : public QScrollArea {
  Q_OBJECT

 public:
  explicit ForecourtOverview(QWidget* Parent = nullptr);

  // A tile a nozzle, in the order given (by port, then nozzle).
  void SetNozzles(const std::vector<NozzleConfig>& Nozzles);
  const std::vector<NozzleTile*>& Tiles() const { return TileList; }
  NozzleTile* Tile(int Port, int Nozzle) const;
  NozzleTile* ChosenTile() const { return Chosen; }
  // Chooses a tile as a click would: its marks go, the pane shows its panel.
  void Choose(NozzleTile* Tile);

  // The height that shows every tile without scrolling, at Width.
  int HeightFor(int Width) const;
  QSize sizeHint() const override;

 signals:
  void TileChosen(qx25::station::NozzleTile* Tile);

 protected:
  void resizeEvent(QResizeEvent* Event) override;
  void keyPressEvent(QKeyEvent* Event) override;
  void focusInEvent(QFocusEvent* Event) override;
  void focusOutEvent(QFocusEvent* Event) override;

 private:
  struct LineRow {  // one row of a line's tiles; a line with more nozzles wraps
    int Port = 0;
    bool First = true;  // the line's first row carries its name
    std::vector<NozzleTile*> Tiles;
  };
  struct Grid {
    int Columns = 1;  // line rows side by side
    int TileWidth = 0;
  };
  Grid GridFor(int Width) const;
  void Relayout();
  void MoveCurrent(int Key);
  void SetCurrent(size_t Index);
  QSize TileSize() const;
  int NameWidth() const;

  QWidget* Body;
  TileFrame* Frames;
  std::vector<NozzleTile*> TileList;
  std::vector<LineRow> Rows;
  std::vector<QWidget*> Names;  // each line's name, before its first row
  NozzleTile* Chosen = nullptr;
  size_t Current = 0;
};

}  // namespace qx25::station
