// One line's poller: it runs every driver operation for the nozzles of one
// port on a thread of its own, so that the window never waits for a line that
// is busy or dead. It polls its nozzles in turn (slot 21, and what the state
// calls for: the current delivery, the final result, the totalizers) and
// carries out the panels' commands between two polls. What it finds goes
// out as signals on its own thread; the forecourt gathers them for the
// window.
//
//   auto* poller = new PortPoller(*driver, port, nozzles);
//   poller->moveToThread(thread);
//   QObject::connect(thread, &QThread::started, poller, &PortPoller::Start);
//   QMetaObject::invokeMethod(poller, [=] { poller->Execute(command); });
#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>
#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <vector>

#include "HostOptions.h"
#include "driver/QX25.h"

class QTimer;

namespace qx25::station {

// What a panel asks of its nozzle.
enum class CommandKind {
  SetPrice,        // slot 11, Amount is the unit price of Side
  PresetVolume,    // slot 13, Amount in litres
  PresetMoney,     // slot 14, Amount in money
  Start,           // slot 15
  StartWithReset,  // slot 19
  Stop,            // slot 22
  StopAndReset,    // slot 23
};

struct NozzleCommand {
  CommandKind Kind = CommandKind::Start;
  int Port = 0;
  int Nozzle = 0;
  int Side = 1;
  double Amount = 0;
  // A unit price for Side to store first (slot 11); when it cannot be stored
  // the command is not sent, so that nothing is sold at a price never given.
  std::optional<double> PriceFirst;
};

// How a command ended: the port status it left, and the driver's message when
// it threw (a failed exchange, an argument out of range).
struct CommandOutcome {
  NozzleCommand Command;
  int PortStatus = 0;
  QString Error;
  bool PriceStored = false;  // PriceFirst reached the driver
  QString OtherDevice = {};   // not sent: the line is held, and why
};

// A parameter of a nozzle's controller (slot 17 GetParam, side 1), read for
// a window of the console between two polls. Ticket tells the asker's
// answers from another's.
struct ParameterQuery {
  int Nozzle = 0;
  int Code = 0;
  quint64 Ticket = 0;
};

struct ParameterAnswer {
  ParameterQuery Query;
  std::optional<int64_t> Value;  // nothing when the controller gave none
  int PortStatus = 0;
  QString Error;  // the driver's message when the exchange failed
};

struct Amounts {
  double Volume = 0;
  // None when the driver counted it at a price this console never gave it
  // (after a restart it knows none, and says 0).
  std::optional<double> Money = 0;
};

// One poll of one nozzle and what the poller read because of it.
struct NozzleReading {
  NozzleConfig Nozzle;
  TNozzlePoll Poll{};
  int PortStatus = 0;                         // after the last operation of the poll
  QString Error;                              // the message of an operation that threw
  std::optional<Amounts> Current;             // slot 9, while fuel flows
  std::optional<Amounts> Final;               // slot 6, once the delivery is closed
  std::vector<std::optional<double>> Totals;  // slot 7 per side, when read; else empty
  // Not empty while the line is held: another device is behind its path, or
  // its controllers' totalizers went backwards. Says which, for the operator.
  QString OtherDevice;
};

// The device a line's path leads to now, when it is not the line's own (the
// dispatcher's word); none while it is. Called on the poller's thread.
using DeviceCheck = std::function<std::optional<QString>()>;

// How often a held line looks whether its own device and controllers are back.
inline constexpr std::chrono::milliseconds kHeldCheck{1000};

// How fast a line is polled: the pause after a round over all its nozzles.
// A command is carried out before the next poll.
inline constexpr std::chrono::milliseconds kRoundPause{200};

class PortPoller : public QObject {
  Q_OBJECT

 public:
  // Driver must outlive the poller; Nozzles all belong to Port.
  PortPoller(TQX25& Driver, int Port, std::vector<NozzleConfig> Nozzles,
             std::chrono::milliseconds Pause = kRoundPause);

  int Port() const { return PortNumber; }
  // Asks the poller to stop after the operation it runs now; any thread.
  void RequestStop() { Stopping = true; }

  // Commands to carry out before the first poll (the prices kept across a
  // restart, so that a sale that ended meanwhile is counted at its price).
  // Before Start only.
  void SetFirstCommands(std::vector<NozzleCommand> Commands) { First = std::move(Commands); }
  // How the poller learns that another device is behind its line. Before Start only.
  void SetDeviceCheck(DeviceCheck Check) { ChangedDevice = std::move(Check); }

 public slots:
  // On the poller's thread: carries out the first commands, then begins polling.
  void Start();
  // On the poller's thread: stops the timer (the thread is ending).
  void Halt();
  // On the poller's thread: runs the command, reports it, then polls its nozzle.
  void Execute(qx25::station::NozzleCommand Command);
  // On the poller's thread: reads one parameter and reports it.
  void ReadParameter(qx25::station::ParameterQuery Query);
  // On the poller's thread: the operator takes what is on a held line now
  // as the line's own; its totalizers are the ones counted on from here.
  void AcceptDevice();

 signals:
  void Reading(const qx25::station::NozzleReading& Reading);
  void CommandDone(const qx25::station::CommandOutcome& Outcome);
  void ParameterRead(const qx25::station::ParameterAnswer& Answer);

 private:
  struct Tracked {
    NozzleConfig Config;
    bool Dispensing = false;  // a start was accepted, or fuel was seen flowing
    bool TotalsDue = true;    // read the totalizers at the next poll
    bool ResultDue = false;   // a reset closed the delivery: read its result
    // By side: the price this poller gave the driver, if any.
    std::array<std::optional<double>, kMaxSides + 1> Given{};
    // By side: the highest totalizer read. A totalizer never goes back, so a
    // lower one is another controller behind the same line.
    std::array<std::optional<double>, kMaxSides + 1> Highest{};
    bool CheckDue = false;  // the line was down: read the totalizers before any poll
  };

  void Step();
  void PollOne(Tracked& Nozzle);
  void ReadAfterPoll(Tracked& Nozzle, NozzleReading& Out);
  void LineFailed();
  // Stops polling and commands on the line, and tells every nozzle's panel why.
  void Hold(const QString& Why);
  // A held line: reads the totalizers (nothing goes out while the device is
  // another); polls again once its own device and counters are back.
  void CheckHeld();
  // Slot 7 for every side of Nozzle; none for a side whose exchange failed.
  std::vector<std::optional<double>> ReadTotals(const Tracked& Nozzle);
  void KeepHighest(Tracked& Nozzle, const std::vector<std::optional<double>>& Totals);
  // Why the totalizers read for Nozzle mean other controllers; empty if they do not.
  QString Backwards(const Tracked& Nozzle, const std::vector<std::optional<double>>& Totals) const;
  // The money of Volume at a price this console gave, or none.
  std::optional<double> MoneyOf(const Tracked& Nozzle, const TNozzlePoll& Poll, double Volume,
                                double DriverMoney) const;
  Tracked* Find(int Nozzle);

  TQX25& DispenserDriver;
  const int PortNumber;
  std::vector<Tracked> Nozzles;
  const std::chrono::milliseconds RoundPause;
  size_t Next = 0;
  std::vector<NozzleCommand> First;
  QTimer* Timer = nullptr;
  std::atomic<bool> Stopping{false};
  DeviceCheck ChangedDevice;
  std::optional<QString> HeldBy;
};

}  // namespace qx25::station

Q_DECLARE_METATYPE(qx25::station::NozzleCommand)
Q_DECLARE_METATYPE(qx25::station::CommandOutcome)
Q_DECLARE_METATYPE(qx25::station::NozzleReading)
Q_DECLARE_METATYPE(qx25::station::ParameterQuery)
Q_DECLARE_METATYPE(qx25::station::ParameterAnswer)
