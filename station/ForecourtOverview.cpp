#include "ForecourtOverview.h"

#include <QKeyEvent>
#include <QLabel>
#include <QScrollBar>
#include <algorithm>
#include <cstdlib>
#include <limits>

#include "LineListModel.h"
#include "NozzleTile.h"
#include "TileFrame.h"

namespace qx25::station {

namespace {

constexpr size_t kTilesPerRow = 4;  // a simulated line's four nozzles
constexpr int kGap = 2;             // between tiles and between rows
constexpr int kColumnGap = 10;      // between lines side by side
constexpr int kMargin = 4;
constexpr int kNamePadding = 4;

}  // namespace

ForecourtOverview::ForecourtOverview(QWidget* Parent)
    : QScrollArea(Parent), Body(new QWidget(this)), Frames(new TileFrame(this)) {
  setObjectName(QStringLiteral("ForecourtOverview"));
  Body->setObjectName(QStringLiteral("OverviewBody"));
  setWidget(Body);
  setWidgetResizable(false);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setFocusPolicy(Qt::StrongFocus);
  setFrameShape(QFrame::NoFrame);
}

void ForecourtOverview::SetNozzles(const std::vector<NozzleConfig>& Nozzles) {
  for (NozzleTile* tile : TileList) delete tile;
  for (QWidget* name : Names) delete name;
  TileList.clear();
  Names.clear();
  Rows.clear();
  Chosen = nullptr;
  Current = 0;
  for (const NozzleConfig& nozzle : Nozzles) {
    auto* tile = new NozzleTile(nozzle, Body, Frames);
    connect(tile, &NozzleTile::Clicked, this, [this](NozzleTile* T) {
      const auto at = std::find(TileList.begin(), TileList.end(), T);
      SetCurrent(static_cast<size_t>(at - TileList.begin()));
      Choose(T);
      setFocus(Qt::MouseFocusReason);
    });
    if (Rows.empty() || Rows.back().Port != nozzle.Port ||
        Rows.back().Tiles.size() == kTilesPerRow) {
      const bool first = Rows.empty() || Rows.back().Port != nozzle.Port;
      Rows.push_back(LineRow{nozzle.Port, first, {}});
      if (first) {
        auto* name = new QLabel(PortName(nozzle.Port), Body);
        name->setObjectName(QStringLiteral("LineName_%1").arg(nozzle.Port));
        QFont bold = name->font();
        bold.setBold(true);
        name->setFont(bold);
        name->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        Names.push_back(name);
      }
    }
    Rows.back().Tiles.push_back(tile);
    TileList.push_back(tile);
  }
  Relayout();
  for (QWidget* w : Body->findChildren<QWidget*>()) w->show();
}

NozzleTile* ForecourtOverview::Tile(int Port, int Nozzle) const {
  for (NozzleTile* tile : TileList)
    if (tile->Config().Port == Port && tile->Config().Nozzle == Nozzle) return tile;
  return nullptr;
}

void ForecourtOverview::Choose(NozzleTile* Tile) {
  if (Tile == nullptr) return;
  if (Chosen != nullptr && Chosen != Tile) Chosen->SetChosen(false);
  Chosen = Tile;
  Tile->SetChosen(true);
  // The arrows go on from the nozzle chosen, however it was chosen.
  const auto at = std::find(TileList.begin(), TileList.end(), Tile);
  if (at != TileList.end()) SetCurrent(static_cast<size_t>(at - TileList.begin()));
  emit TileChosen(Tile);
}

QSize ForecourtOverview::TileSize() const {
  return TileList.empty() ? QSize() : TileList.front()->sizeHint();
}

int ForecourtOverview::NameWidth() const {
  QFont bold = font();
  bold.setBold(true);
  return QFontMetrics(bold).horizontalAdvance(QStringLiteral("COM30")) + kNamePadding;
}

ForecourtOverview::Grid ForecourtOverview::GridFor(int Width) const {
  const int tiles = static_cast<int>(kTilesPerRow);
  const int least = NameWidth() + tiles * TileSize().width() + (tiles - 1) * kGap;
  Grid grid;
  grid.Columns = std::max(1, (Width - 2 * kMargin + kColumnGap) / (least + kColumnGap));
  const int column = (Width - 2 * kMargin - (grid.Columns - 1) * kColumnGap) / grid.Columns;
  grid.TileWidth =
      std::max(TileSize().width(), (column - NameWidth() - (tiles - 1) * kGap) / tiles);
  return grid;
}

int ForecourtOverview::HeightFor(int Width) const {
  if (Rows.empty()) return 0;
  const int columns = GridFor(Width).Columns;
  const int rows = (static_cast<int>(Rows.size()) + columns - 1) / columns;
  return 2 * kMargin + rows * TileSize().height() + (rows - 1) * kGap;
}

QSize ForecourtOverview::sizeHint() const {
  // Two lines side by side, every row shown.
  const int tiles = static_cast<int>(kTilesPerRow);
  const int line = NameWidth() + tiles * TileSize().width() + (tiles - 1) * kGap;
  const int width = 2 * kMargin + 2 * line + kColumnGap;
  return {width, HeightFor(width)};
}

void ForecourtOverview::resizeEvent(QResizeEvent* Event) {
  QScrollArea::resizeEvent(Event);
  Relayout();
}

void ForecourtOverview::Relayout() {
  const int width = viewport()->width();
  const Grid grid = GridFor(width);
  const QSize tile(grid.TileWidth, TileSize().height());
  const int tiles = static_cast<int>(kTilesPerRow);
  const int column = NameWidth() + tiles * tile.width() + (tiles - 1) * kGap;
  Body->resize(std::max(width, 2 * kMargin + column), HeightFor(width));
  size_t name = 0;
  for (size_t r = 0; r < Rows.size(); ++r) {
    const int x =
        kMargin + static_cast<int>(r % static_cast<size_t>(grid.Columns)) * (column + kColumnGap);
    const int y =
        kMargin + static_cast<int>(r / static_cast<size_t>(grid.Columns)) * (tile.height() + kGap);
    if (Rows[r].First && name < Names.size())
      Names[name++]->setGeometry(x, y, NameWidth() - kNamePadding, tile.height());
    int tx = x + NameWidth();
    for (NozzleTile* t : Rows[r].Tiles) {
      t->setGeometry(QRect(QPoint(tx, y), tile));
      tx += tile.width() + kGap;
    }
  }
  // The wheel and the arrows of the bar move a row of lines at a time.
  verticalScrollBar()->setSingleStep(tile.height() + kGap);
}

void ForecourtOverview::SetCurrent(size_t Index) {
  if (Index >= TileList.size()) return;
  if (Current < TileList.size()) TileList[Current]->SetCurrent(false);
  Current = Index;
  TileList[Current]->SetCurrent(hasFocus());
  ensureWidgetVisible(TileList[Current], 0, 0);
}

void ForecourtOverview::MoveCurrent(int Key) {
  if (TileList.empty()) return;
  if (Key == Qt::Key_Left && Current > 0) return SetCurrent(Current - 1);
  if (Key == Qt::Key_Right) return SetCurrent(Current + 1);
  if (Key != Qt::Key_Up && Key != Qt::Key_Down) return;
  // The nearest tile in the next row up or down, as the eye goes.
  const QRect from = TileList[Current]->geometry();
  size_t best = Current;
  long bestDy = std::numeric_limits<long>::max(), bestDx = bestDy;
  for (size_t i = 0; i < TileList.size(); ++i) {
    const QRect to = TileList[i]->geometry();
    const long dy = Key == Qt::Key_Up ? from.top() - to.top() : to.top() - from.top();
    const long dx = std::labs(static_cast<long>(to.center().x() - from.center().x()));
    if (dy <= 0) continue;
    if (dy < bestDy || (dy == bestDy && dx < bestDx)) {
      best = i;
      bestDy = dy;
      bestDx = dx;
    }
  }
  SetCurrent(best);
}

void ForecourtOverview::keyPressEvent(QKeyEvent* Event) {
  switch (Event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
      MoveCurrent(Event->key());
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
      if (Current < TileList.size()) Choose(TileList[Current]);
      return;
    default:
      QScrollArea::keyPressEvent(Event);
  }
}

void ForecourtOverview::focusInEvent(QFocusEvent* Event) {
  QScrollArea::focusInEvent(Event);
  if (Current < TileList.size()) TileList[Current]->SetCurrent(true);
}

void ForecourtOverview::focusOutEvent(QFocusEvent* Event) {
  QScrollArea::focusOutEvent(Event);
  if (Current < TileList.size()) TileList[Current]->SetCurrent(false);
}

}  // namespace qx25::station
