#include "NozzleTile.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>

#include "ConsoleWords.h"
#include "LineListModel.h"
#include "NozzlePanel.h"
#include "TileFrame.h"
#include "driver/HostContract.h"
#include "driver/protocol/Protocol.h"

namespace qx25::station {

namespace {

constexpr int kPadding = 3;
constexpr int kRadius = 4;
constexpr int kChosenPen = 3;
constexpr int kMarkSize = 14;
constexpr int kSmallerBy = 1;  // points of the tiles' text below the console's
const QString kLineDownWord = QStringLiteral("сбой линии");
// The words and figures a tile holds whole. "налив остановлен" would widen
// every tile of a full forecourt: the tile says "остановлен", its orange
// says it is a delivery, and the tip gives the whole state.
const QString kWidestWord = QStringLiteral("8 налив разрешён");
const QString kHaltedWord = QStringLiteral("остановлен");
const QString kWideAmounts = QStringLiteral("8888 л · 88888.88");

const QColor kRefusalMark{0xE0, 0x70, 0x00};
const QColor kFailureMark{0xB0, 0x00, 0x00};
const QColor kChosenFrame{0x10, 0x40, 0xA0};

bool Failed(int PortStatus, const QString& Error) {
  return !Error.isEmpty() || PortStatusMeaning(PortStatus).Kind == StatusKind::LineFailure;
}

}  // namespace

void TileState::ShowReading(const NozzleReading& Reading, Clock::time_point Now) {
  const bool down = Failed(Reading.PortStatus, Reading.Error);
  // A line that goes down is news; a line that stays down is not.
  if (down && !LineDown && !IsChosen) FailureMark = true;
  LineDown = down;
  LineText = down ? PortStatusMeaning(Reading.PortStatus).Text : QString();
  if (down) return;
  if (Reading.Poll.State != 0) {
    State = Reading.Poll.State;
    EventLetter = Reading.Poll.EventLetter;
  }
  if (Reading.Final) {
    Flow = Reading.Final;
    // A chosen tile's panel shows the result itself.
    if (!IsChosen) {
      Ended = Reading.Final;
      EndedAt = Now;
    }
  } else if (Reading.Current) {
    Flow = Reading.Current;
  }
  const bool anew = !IsIdle(State) && !IsFinished(State);
  if (Ended && (anew || Now - EndedAt >= kFinishedHeld)) Ended.reset();
  if (IsIdle(State)) Flow.reset();
}

bool TileState::HoldsEnded() const { return Ended && !LineDown && IsIdle(State); }

void TileState::ShowOutcome(const CommandOutcome& Outcome) {
  const StatusMeaning status = PortStatusMeaning(Outcome.PortStatus);
  LastCommand = CommandName(Outcome.Command.Kind) + QStringLiteral(": ") +
                (Outcome.Error.isEmpty() ? status.Text : Outcome.Error);
  const CommandKind kind = Outcome.Command.Kind;
  if ((kind == CommandKind::Start || kind == CommandKind::StartWithReset) &&
      Outcome.Error.isEmpty() && status.Kind == StatusKind::Accepted)
    Ended.reset();  // a new delivery: the last one's figures would mislead
  if (IsChosen) return;
  if (Failed(Outcome.PortStatus, Outcome.Error))
    FailureMark = true;
  else if (status.Kind == StatusKind::Refused)
    RefusalMark = true;
}

void TileState::Seen() {
  Ended.reset();
  RefusalMark = false;
  FailureMark = false;
}

TileTone TileState::Tone() const {
  if (LineDown) return TileTone::LineDown;
  if (IsDelivering(State)) return TileTone::Flowing;
  if (IsHalted(State)) return TileTone::Halted;
  if (IsFinished(State) || HoldsEnded()) return TileTone::Finished;
  if (IsIdle(State)) return TileTone::Idle;
  if (State == 0) return TileTone::Unknown;
  return TileTone::Waiting;  // lifted, authorised: about to flow
}

QString TileState::Word() const {
  if (LineDown) return kLineDownWord;
  if (IsHalted(State)) return kHaltedWord;
  return NozzleStateWord(HoldsEnded() ? kCodeFinished : State);
}

QString TileState::Amounts() const {
  const std::optional<qx25::station::Amounts>& shown = HoldsEnded() ? Ended : Flow;
  if (!shown || LineDown) return {};
  return LitresText(shown->Volume) + QStringLiteral(" · ") + MoneyText(shown->Money);
}

QString TileState::Detail() const {
  QStringList lines{NozzleStateText(State, EventLetter)};
  if (LineDown) lines << kLineDownWord + QStringLiteral(": ") + LineText;
  if (!LastCommand.isEmpty()) lines << QStringLiteral("Команда ") + LastCommand;
  if (RefusalMark || FailureMark) lines << QStringLiteral("Выберите, чтобы снять отметку");
  return lines.join(QLatin1Char('\n'));
}

NozzleTile::NozzleTile(const NozzleConfig& Config, QWidget* Parent, TileFrame* Frame)
    : QWidget(Parent), Nozzle(Config), Frames(Frame) {
  setObjectName(QStringLiteral("NozzleTile_%1_%2").arg(Nozzle.Port).arg(Nozzle.Nozzle));
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::NoFocus);  // the overview keeps the keyboard and moves among tiles
  setAccessibleName(PortName(Nozzle.Port) + QStringLiteral(" · пистолет %1").arg(Nozzle.Nozzle));
  // A point smaller than the console's text: four tiles of a line, and two
  // lines side by side, beside the chosen panel at 1400 pixels.
  QFont small = font();
  if (small.pointSizeF() > kSmallerBy + 1)
    small.setPointSizeF(small.pointSizeF() - kSmallerBy);
  else if (small.pixelSize() > kSmallerBy + 1)
    small.setPixelSize(small.pixelSize() - kSmallerBy);
  setFont(small);
}

QColor NozzleTile::ToneColour(TileTone Tone) {
  switch (Tone) {
    case TileTone::Unknown:
      return {0xD8, 0xD8, 0xD8};
    case TileTone::Idle:
      return {0xF2, 0xF2, 0xF2};
    case TileTone::Waiting:
      return {0xFF, 0xE0, 0x80};
    case TileTone::Flowing:
      return {0x5C, 0xC8, 0x5C};
    case TileTone::Halted:
      return {0xFF, 0xA8, 0x50};
    case TileTone::Finished:
      return {0xA8, 0xC8, 0xF8};
    case TileTone::LineDown:
      return {0xD0, 0x20, 0x20};
  }
  return Qt::white;
}

QSize NozzleTile::sizeHint() const {
  const QFontMetrics fm = fontMetrics();
  // The mark shares the second row with the figures, which are short but
  // while a large delivery runs.
  const int text = std::max(fm.horizontalAdvance(kWidestWord), fm.horizontalAdvance(kWideAmounts));
  return {text + 2 * kPadding + 2, 2 * fm.height() + 2 * kPadding};
}

void NozzleTile::SetChosen(bool Chosen) {
  IsChosen = Chosen;
  Shown.SetChosen(Chosen);
  if (Chosen) Shown.Seen();
  update();
}

void NozzleTile::MarkSeen() {
  Shown.Seen();
  update();
}

void NozzleTile::SetCurrent(bool Current) {
  if (IsCurrent == Current) return;
  IsCurrent = Current;
  update();
}

void NozzleTile::ShowReading(const NozzleReading& Reading) {
  const TileState before = Shown;
  Shown.ShowReading(Reading);
  Changed(before);
}

void NozzleTile::ShowOutcome(const CommandOutcome& Outcome) {
  const TileState before = Shown;
  Shown.ShowOutcome(Outcome);
  Changed(before);
}

void NozzleTile::Changed(const TileState& Before) {
  const bool urgent = Before.Tone() != Shown.Tone() || Before.Word() != Shown.Word() ||
                      Before.RefusalMarked() != Shown.RefusalMarked() ||
                      Before.FailureMarked() != Shown.FailureMarked();
  if (Frames == nullptr) {
    if (urgent || Before.Amounts() != Shown.Amounts()) update();
  } else if (urgent) {
    Frames->Now(this);
  } else if (Before.Amounts() != Shown.Amounts()) {
    Frames->Later(this);
  }
}

void NozzleTile::PaintBackground(QPainter& P, TileTone Tone) const {
  P.fillRect(rect(), palette().color(QPalette::Window));
  P.setRenderHint(QPainter::Antialiasing);
  const QRectF box = QRectF(rect()).adjusted(1, 1, -1, -1);
  P.setBrush(ToneColour(Tone));
  P.setPen(IsChosen ? QPen(kChosenFrame, kChosenPen) : QPen(QColor(0x90, 0x90, 0x90), 1));
  P.drawRoundedRect(
      box.adjusted(kChosenPen / 2.0, kChosenPen / 2.0, -kChosenPen / 2.0, -kChosenPen / 2.0),
      kRadius, kRadius);
  if (IsCurrent) {
    P.setPen(QPen(Qt::black, 1, Qt::DashLine));
    P.setBrush(Qt::NoBrush);
    P.drawRoundedRect(box.adjusted(3, 3, -3, -3), kRadius, kRadius);
  }
}

void NozzleTile::paintEvent(QPaintEvent*) {
  const TileTone tone = Shown.Tone();
  // The rounded box with the number and the word is most of a tile's
  // painting, and changes far less often than its figures: it is drawn once
  // for each look and kept.
  const qreal ratio = devicePixelRatioF();
  const Look look{tone,         IsChosen, IsCurrent,
                  size(),       ratio,    palette().color(QPalette::Window),
                  Shown.Word(), font()};
  const QRect text = rect().adjusted(kPadding + 2, kPadding, -kPadding, -kPadding);
  const QFontMetrics fm = fontMetrics();
  QFont bold = font();
  bold.setBold(true);
  // Dark text on the light tones, white on the strong ones.
  const QColor ink = tone == TileTone::LineDown ? Qt::white : Qt::black;
  if (Background.isNull() || look != BackgroundLook) {
    Background = QPixmap(size() * ratio);
    Background.setDevicePixelRatio(ratio);
    QPainter box(&Background);
    PaintBackground(box, tone);
    box.setPen(ink);
    box.setFont(bold);
    const QString number = QString::number(Nozzle.Nozzle) + QLatin1Char(' ');
    box.drawText(text.topLeft() + QPoint(0, fm.ascent()), number);
    const int numberWidth = QFontMetrics(bold).horizontalAdvance(number);
    box.setFont(font());
    box.drawText(text.topLeft() + QPoint(numberWidth, fm.ascent()),
                 fm.elidedText(Shown.Word(), Qt::ElideRight, text.width() - numberWidth));
    BackgroundLook = look;
  }
  QPainter p(this);
  p.drawPixmap(0, 0, Background);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(ink);
  const bool marked = Shown.FailureMarked() || Shown.RefusalMarked();
  const QString amounts = Shown.Amounts();
  if (!amounts.isEmpty())
    p.drawText(
        text.topLeft() + QPoint(0, fm.height() + fm.ascent()),
        fm.elidedText(amounts, Qt::ElideRight, text.width() - (marked ? kMarkSize + kPadding : 0)));

  if (marked) {
    const QRectF mark(width() - kPadding - kMarkSize - 1, height() - kPadding - kMarkSize - 1,
                      kMarkSize, kMarkSize);
    p.setPen(QPen(Qt::white, 1.5));
    p.setBrush(Shown.FailureMarked() ? kFailureMark : kRefusalMark);
    p.drawEllipse(mark);
    p.setFont(bold);
    p.drawText(mark, Qt::AlignCenter, QStringLiteral("!"));
  }
}

void NozzleTile::mousePressEvent(QMouseEvent* Event) {
  if (Event->button() == Qt::LeftButton) emit Clicked(this);
}

bool NozzleTile::event(QEvent* Event) {
  // The tip is made when asked for, not at every poll.
  if (Event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(Event);
    QToolTip::showText(help->globalPos(), accessibleName() + QLatin1Char('\n') + Shown.Detail(),
                       this);
    return true;
  }
  return QWidget::event(Event);
}

}  // namespace qx25::station
