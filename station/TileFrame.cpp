#include "TileFrame.h"

#include <QWidget>
#include <algorithm>

namespace qx25::station {

TileFrame::TileFrame(QObject* Parent) : QObject(Parent) {
  Tick.setSingleShot(true);
  Tick.setInterval(kTileFrame);
  connect(&Tick, &QTimer::timeout, this, &TileFrame::Paint);
}

void TileFrame::Later(QWidget* Tile) {
  if (std::find(Waiting.begin(), Waiting.end(), Tile) == Waiting.end()) Waiting.emplace_back(Tile);
  // The frame starts with the first change after a quiet spell, so a lone
  // change waits one frame at most.
  if (!Tick.isActive()) Tick.start();
}

void TileFrame::Now(QWidget* Tile) {
  const auto due = std::find(Waiting.begin(), Waiting.end(), Tile);
  if (due != Waiting.end()) Waiting.erase(due);
  Tile->update();
}

void TileFrame::Paint() {
  std::vector<QPointer<QWidget>> due;
  due.swap(Waiting);
  for (const QPointer<QWidget>& tile : due)
    if (tile) tile->update();
}

}  // namespace qx25::station
