// A nozzle in the forecourt overview: a small tile with the nozzle's number,
// its state in a word and a colour, the litres and money while fuel flows,
// and a mark when its last command was refused or its line failed. The mark
// stays until the operator has seen it: until he chooses the tile.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QWidget>
#include <chrono>
#include <optional>

#include "PortPoller.h"

class QPainter;

namespace qx25::station {

// The colour a tile takes, by what its nozzle does.
enum class TileTone { Unknown, Idle, Waiting, Flowing, Halted, Finished, LineDown };

// What a tile shows, apart from any widget, so that it can be tested alone.
class TileState {
 public:
  using Clock = std::chrono::steady_clock;
  // A finished delivery keeps its word and figures after the nozzle is hung
  // up, until the operator has seen them: he chooses the tile, a new
  // delivery starts on it, or this long passes.
  static constexpr std::chrono::minutes kFinishedHeld{1};

  void ShowReading(const NozzleReading& Reading, Clock::time_point Now = Clock::now());
  void ShowOutcome(const CommandOutcome& Outcome);
  // The operator has seen the nozzle: its marks go.
  void Seen();
  // While chosen, its full panel stands beside the overview and says it all:
  // nothing new is marked.
  void SetChosen(bool Chosen) { IsChosen = Chosen; }

  TileTone Tone() const;
  QString Word() const;  // "свободна", "идёт налив", "сбой линии"
  // "12 л · 600.00" while a delivery is open; empty otherwise.
  QString Amounts() const;
  bool RefusalMarked() const { return RefusalMark; }
  bool FailureMarked() const { return FailureMark; }
  // A finished delivery is held on the hung-up nozzle.
  bool HoldsEnded() const;
  // The full story, for the tip: the state with its side and event, the
  // line's verdict, and what the last command met.
  QString Detail() const;

 private:
  uint16_t State = 0;
  uint8_t EventLetter = 0;
  bool LineDown = false;
  QString LineText;  // why the line is down
  std::optional<qx25::station::Amounts> Flow;
  std::optional<qx25::station::Amounts> Ended;  // held until seen
  Clock::time_point EndedAt;
  QString LastCommand;
  bool RefusalMark = false;
  bool FailureMark = false;
  bool IsChosen = false;
};

class TileFrame;

class NozzleTile : public QWidget {
  Q_OBJECT

 public:
  // With Frames, changed figures are painted with the overview's next frame;
  // without, at once.
  explicit NozzleTile(const NozzleConfig& Nozzle, QWidget* Parent = nullptr,
                      TileFrame* Frames = nullptr);

  const NozzleConfig& Config() const { return Nozzle; }
  const TileState& State() const { return Shown; }
  // The tone's background, the colour a test and the painter agree on.
  static QColor ToneColour(TileTone Tone);
  // The least size its longest word needs.
  QSize sizeHint() const override;

  void SetChosen(bool Chosen);
  void SetCurrent(bool Current);  // the keyboard's place in the overview
  // The operator has seen what the tile marks, without choosing it.
  void MarkSeen();
  bool Chosen() const { return IsChosen; }

 public slots:
  void ShowReading(const qx25::station::NozzleReading& Reading);
  void ShowOutcome(const qx25::station::CommandOutcome& Outcome);

 signals:
  void Clicked(qx25::station::NozzleTile* Tile);

 protected:
  void paintEvent(QPaintEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;
  bool event(QEvent* Event) override;

 private:
  // Repaints only when what is drawn changed: every poll reports. Figures
  // wait for the frame; a new colour, word or mark does not.
  void Changed(const TileState& Before);
  void PaintBackground(QPainter& P, TileTone Tone) const;

  NozzleConfig Nozzle;
  TileFrame* Frames;
  TileState Shown;
  bool IsChosen = false;
  bool IsCurrent = false;
  // What the kept background was drawn for.
  struct Look {
    TileTone Tone = TileTone::Unknown;
    bool Chosen = false;
    bool Current = false;
    QSize Size;
    qreal Ratio = 1;
    QColor Window;
    QString Word;
    QFont Font;
    bool operator==(const Look&) const = default;
  };
  QPixmap Background;
  Look BackgroundLook;
};

}  // namespace qx25::station
