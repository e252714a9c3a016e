#include "PortPoller.h"

#include <QTimer>
#include <cmath>
#include <exception>
#include <utility>

#include "ConsoleWords.h"
#include "driver/HostContract.h"

namespace qx25::station {

namespace {

// The Extra argument of the presets, and Confirm of the stops: the console
// always means it.
constexpr int32_t kNoExtra = 0;
constexpr int32_t kConfirmed = 1;
constexpr int32_t kResetFirst = 0;  // SkipReset of slot 19

void Run(TQX25& Driver, const NozzleCommand& C) {
  switch (C.Kind) {
    case CommandKind::SetPrice:
      Driver.SetPrice(C.Port, C.Nozzle, C.Side, 0, 0, C.Amount);
      return;
    case CommandKind::PresetVolume:
      Driver.PresetVolume(C.Port, C.Nozzle, C.Side, kNoExtra, C.Amount);
      return;
    case CommandKind::PresetMoney:
      Driver.PresetMoney(C.Port, C.Nozzle, C.Side, kNoExtra, C.Amount);
      return;
    case CommandKind::Start:
      Driver.StartPump(C.Port, C.Nozzle, C.Side);
      return;
    case CommandKind::StartWithReset:
      Driver.StartPumpWithReset(C.Port, C.Nozzle, C.Side, kResetFirst);
      return;
    case CommandKind::Stop:
      Driver.StopPump(C.Port, C.Nozzle, C.Side, kConfirmed);
      return;
    case CommandKind::StopAndReset:
      Driver.StopPumpAndReset(C.Port, C.Nozzle, C.Side, kConfirmed);
      return;
  }
}

bool IsStart(CommandKind Kind) {
  return Kind == CommandKind::Start || Kind == CommandKind::StartWithReset;
}

}  // namespace

PortPoller::PortPoller(TQX25& Driver, int Port, std::vector<NozzleConfig> Configs,
                       std::chrono::milliseconds Pause)
    : DispenserDriver(Driver), PortNumber(Port), RoundPause(Pause) {
  for (const NozzleConfig& config : Configs) Nozzles.push_back(Tracked{config});
}

void PortPoller::Start() {
  if (Timer != nullptr) return;
  for (const NozzleCommand& command : std::exchange(First, {})) Execute(command);
  Timer = new QTimer(this);
  Timer->setSingleShot(true);
  connect(Timer, &QTimer::timeout, this, &PortPoller::Step);
  Timer->start(0);
}

void PortPoller::Halt() {
  Stopping = true;
  if (Timer != nullptr) Timer->stop();
}

PortPoller::Tracked* PortPoller::Find(int Nozzle) {
  for (Tracked& t : Nozzles)
    if (t.Config.Nozzle == Nozzle) return &t;
  return nullptr;
}

void PortPoller::Step() {
  if (Stopping || Nozzles.empty()) return;
  if (HeldBy) {
    CheckHeld();
    if (!Stopping) Timer->start(HeldBy ? kHeldCheck : std::chrono::milliseconds{0});
    return;
  }
  PollOne(Nozzles[Next]);
  Next = (Next + 1) % Nozzles.size();
  // Within a round the next nozzle follows at once; the events queued
  // meanwhile (commands) run before it.
  if (!Stopping) Timer->start(Next == 0 ? RoundPause : std::chrono::milliseconds{0});
}

void PortPoller::Execute(NozzleCommand Command) {
  if (Stopping) return;
  CommandOutcome outcome{Command, 0, {}};
  if (HeldBy) {
    // Neither a start nor a stop goes to controllers that are not the line's.
    outcome.OtherDevice = *HeldBy;
    outcome.Error = *HeldBy + QStringLiteral(": команда не отправлена");
    outcome.PortStatus = DispenserDriver.GetPortStatus(PortNumber);
    emit CommandDone(outcome);
    return;
  }
  try {
    if (Command.PriceFirst) {
      DispenserDriver.SetPrice(Command.Port, Command.Nozzle, Command.Side, 0, 0, *Command.PriceFirst);
      outcome.PriceStored = true;
    }
    Run(DispenserDriver, Command);
  } catch (const std::exception& e) {
    outcome.Error = QString::fromUtf8(e.what());
  }
  try {
    outcome.PortStatus = DispenserDriver.GetPortStatus(PortNumber);
  } catch (const std::exception& e) {
    if (outcome.Error.isEmpty()) outcome.Error = QString::fromUtf8(e.what());
  }
  Tracked* nozzle = Find(Command.Nozzle);
  const std::optional<double> given =
      outcome.PriceStored ? Command.PriceFirst
      : Command.Kind == CommandKind::SetPrice && outcome.Error.isEmpty()
          ? std::optional<double>(Command.Amount)
          : std::nullopt;
  if (nozzle != nullptr && given && Command.Side >= 1 && Command.Side <= kMaxSides)
    nozzle->Given[static_cast<size_t>(Command.Side)] = given;
  if (nozzle != nullptr && outcome.Error.isEmpty() && outcome.PortStatus == kLineOk) {
    if (IsStart(Command.Kind)) nozzle->Dispensing = true;
    // A reset closes the delivery without the poll seeing it finish; the
    // controller still gives its result until the next start.
    if (Command.Kind == CommandKind::StopAndReset) {
      nozzle->TotalsDue = true;
      nozzle->ResultDue = nozzle->Dispensing;
      nozzle->Dispensing = false;
    }
  }
  emit CommandDone(outcome);
  if (nozzle != nullptr && Command.Kind != CommandKind::SetPrice && !Stopping) PollOne(*nozzle);
}

void PortPoller::ReadParameter(ParameterQuery Query) {
  if (Stopping) return;
  ParameterAnswer answer{Query, std::nullopt, 0, {}};
  try {
    // The parameter number of slot 17 for side 1 is the code past the commands.
    const int32_t value =
        DispenserDriver.GetParam(PortNumber, Query.Nozzle, kParamNoFirstCode + Query.Code);
    answer.PortStatus = DispenserDriver.GetPortStatus(PortNumber);
    if (value >= 0) answer.Value = value;
  } catch (const std::exception& e) {
    answer.Error = QString::fromUtf8(e.what());
    try {
      answer.PortStatus = DispenserDriver.GetPortStatus(PortNumber);
    } catch (const std::exception&) {
      // The message above says what went wrong.
    }
  }
  emit ParameterRead(answer);
}

void PortPoller::PollOne(Tracked& Nozzle) {
  NozzleReading out;
  out.Nozzle = Nozzle.Config;
  try {
    // Back after a loss: the counters say whose controllers answer, before
    // a poll can close a delivery on them.
    if (Nozzle.CheckDue) {
      std::vector<std::optional<double>> totals = ReadTotals(Nozzle);
      out.PortStatus = DispenserDriver.GetPortStatus(PortNumber);
      const QString why = Backwards(Nozzle, totals);
      if (!why.isEmpty()) return Hold(why);
      if (out.PortStatus == kLineOk) {
        Nozzle.CheckDue = false;
        Nozzle.TotalsDue = false;
        out.Totals = std::move(totals);
      }
    }
    out.Poll = DispenserDriver.PollNozzle(PortNumber, Nozzle.Config.Nozzle, Nozzle.Config.Sides);
    out.PortStatus = DispenserDriver.GetPortStatus(PortNumber);
    if (out.PortStatus == kLineOk) ReadAfterPoll(Nozzle, out);
  } catch (const std::exception& e) {
    out.Error = QString::fromUtf8(e.what());
    LineFailed();
    try {
      out.PortStatus = DispenserDriver.GetPortStatus(PortNumber);
    } catch (const std::exception&) {
      // The port number itself was refused; the message above says so.
    }
  }
  if (out.PortStatus != kLineOk && ChangedDevice)
    if (const std::optional<QString> other = ChangedDevice())
      return Hold(QStringLiteral("другое устройство: ") + *other);
  if (const QString why = Backwards(Nozzle, out.Totals); !why.isEmpty()) return Hold(why);
  KeepHighest(Nozzle, out.Totals);
  emit Reading(out);
}

void PortPoller::Hold(const QString& Why) {
  HeldBy = Why;
  for (const Tracked& t : Nozzles) {
    NozzleReading held;
    held.Nozzle = t.Config;
    held.PortStatus = DispenserDriver.GetPortStatus(PortNumber);
    held.OtherDevice = Why;
    emit Reading(held);
  }
}

void PortPoller::CheckHeld() {
  // Nothing goes out while the dispatcher finds the other device there.
  try {
    for (Tracked& t : Nozzles) {
      const std::vector<std::optional<double>> totals = ReadTotals(t);
      if (!Backwards(t, totals).isEmpty()) return;
      for (const std::optional<double>& total : totals)
        if (!total) return;  // nothing read: no telling whose they are
    }
  } catch (const std::exception&) {
    return;  // still away
  }
  HeldBy.reset();
  for (Tracked& t : Nozzles) {
    t.CheckDue = false;
    t.TotalsDue = true;
  }
}

void PortPoller::AcceptDevice() {
  if (!HeldBy) return;
  HeldBy.reset();
  for (Tracked& t : Nozzles) {
    t.Highest = {};
    t.CheckDue = false;
    t.TotalsDue = true;
  }
}

std::vector<std::optional<double>> PortPoller::ReadTotals(const Tracked& Nozzle) {
  std::vector<std::optional<double>> totals;
  for (int side = 1; side <= Nozzle.Config.Sides; ++side) {
    double total = 0;
    uint64_t second = 0;
    DispenserDriver.GetTotalCounter(PortNumber, Nozzle.Config.Nozzle, side, total, second, 0, 0);
    const int status = DispenserDriver.GetPortStatus(PortNumber);
    totals.push_back(status == kLineOk ? std::optional<double>(total) : std::nullopt);
  }
  return totals;
}

QString PortPoller::Backwards(const Tracked& Nozzle,
                              const std::vector<std::optional<double>>& Totals) const {
  for (size_t k = 0; k < Totals.size() && k < kMaxSides; ++k) {
    const std::optional<double>& highest = Nozzle.Highest[k + 1];
    if (Totals[k] && highest && *Totals[k] < *highest)
      return QStringLiteral("другие контроллеры: ТРК %1, сторона %2 — счётчик %3 л, был %4 л")
          .arg(Nozzle.Config.Nozzle)
          .arg(k + 1)
          .arg(*Totals[k], 0, 'f', 0)
          .arg(*highest, 0, 'f', 0);
  }
  return {};
}

void PortPoller::KeepHighest(Tracked& Nozzle, const std::vector<std::optional<double>>& Totals) {
  for (size_t k = 0; k < Totals.size() && k < kMaxSides; ++k)
    if (Totals[k]) Nozzle.Highest[k + 1] = std::max(Nozzle.Highest[k + 1].value_or(0), *Totals[k]);
}

// While the line was down (an adapter unplugged) the counters may have moved:
// every nozzle reads its totalizers again at its next good poll. A delivery
// that ended meanwhile is still reported finished by its controller, so the
// poll reads its result once, as ever.
void PortPoller::LineFailed() {
  for (Tracked& t : Nozzles) {
    t.TotalsDue = true;
    t.CheckDue = t.Highest[1].has_value();
  }
}

std::optional<double> PortPoller::MoneyOf(const Tracked& Nozzle, const TNozzlePoll& Poll,
                                          double Volume, double DriverMoney) const {
  const auto given = [&Nozzle](int Side) -> std::optional<double> {
    if (Side < 1 || Side > kMaxSides) return std::nullopt;
    return Nozzle.Given[static_cast<size_t>(Side)];
  };
  // The driver counts at the price of the side the nozzle last ran on.
  const int side = DispenserDriver.NozzleSides[PortNumber][Nozzle.Config.Nozzle];
  if (side >= 1 && side <= kMaxSides)
    return given(side) ? std::optional<double>(DriverMoney) : std::nullopt;
  // After a restart it knows no side and counts 0: the poll names the side,
  // and the money is counted as the driver counts it.
  const std::optional<double> price = given(Poll.StateSide);
  if (!price) return std::nullopt;
  return std::nearbyint(Volume * *price * kCentsPerUnit + kCentRoundingAddend) / kCentsPerUnit;
}

void PortPoller::ReadAfterPoll(Tracked& Nozzle, NozzleReading& Out) {
  const int port = PortNumber;
  const int nozzle = Nozzle.Config.Nozzle;
  const uint8_t state = Out.Poll.State;
  if (IsFinished(state) || Nozzle.ResultDue) {
    // The poll (or a reset) has closed the delivery; slot 6 gives its result.
    Amounts final;
    double money = 0;
    DispenserDriver.GetDeliveryResult(port, nozzle, final.Volume, money);
    final.Money = MoneyOf(Nozzle, Out.Poll, final.Volume, money);
    Out.PortStatus = DispenserDriver.GetPortStatus(port);
    if (Out.PortStatus == kLineOk) Out.Final = final;
    Nozzle.Dispensing = false;
    Nozzle.ResultDue = false;
    Nozzle.TotalsDue = true;
  } else if (IsDelivering(state) || Nozzle.Dispensing) {
    // A started delivery may report as authorised until the controller
    // counts; it reads the volume the host last saw, so ask while it runs.
    Nozzle.Dispensing = !IsIdle(state);
    if (Nozzle.Dispensing) {
      Amounts current;
      double money = 0;
      current.Volume = DispenserDriver.GetCurrentDelivery(port, nozzle, money);
      current.Money = MoneyOf(Nozzle, Out.Poll, current.Volume, money);
      Out.PortStatus = DispenserDriver.GetPortStatus(port);
      if (Out.PortStatus == kLineOk) Out.Current = current;
    }
  }
  if (Nozzle.TotalsDue && Out.PortStatus == kLineOk) {
    Out.Totals = ReadTotals(Nozzle);
    Nozzle.TotalsDue = false;
  }
}

}  // namespace qx25::station
