// Gathers the overview's tile repaints into frames. Every poll of a running
// delivery changes a tile's figures; with thirty lines that is a hundred and
// more repaints a second, each a pass of the window's painting. Figures wait
// for the next frame (kTileFrame), so that all the tiles changed meanwhile
// are painted in one pass; a tile whose colour, word or mark changed is
// painted at once.
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <vector>

class QWidget;

namespace qx25::station {

// Ten frames a second: as fast as an operator reads running litres.
inline constexpr std::chrono::milliseconds kTileFrame{100};

class TileFrame : public QObject {
  Q_OBJECT

 public:
  explicit TileFrame(QObject* Parent = nullptr);

  // Repaints Tile with the next frame; a tile already due is not added twice.
  void Later(QWidget* Tile);
  // Repaints Tile now, and takes it off the next frame.
  void Now(QWidget* Tile);
  // Tiles waiting for the next frame.
  size_t Due() const { return Waiting.size(); }

 private:
  void Paint();

  QTimer Tick;
  std::vector<QPointer<QWidget>> Waiting;
};

}  // namespace qx25::station
