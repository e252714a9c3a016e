// The pollers of a running station: one PortPoller on a thread of its own for
// every line that has nozzles, wired to the nozzles' panels. Built once the
// driver is loaded; destroying it stops every poller and waits for its
// thread, which may take up to one exchange's time-out per line (the lines
// stop in parallel).
#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <variant>
#include <vector>

#include "PortPoller.h"

class QThread;

namespace qx25::station {

class NozzlePanel;

// How long the window lets the lines' reports gather before it takes them
// all at once: a station of thirty lines makes some 300 readings a second,
// and waking the window for each cost more than showing them. Tiles paint
// at most every kTileFrame anyway, and a command's outcome 50 ms late is
// not seen as late.
inline constexpr std::chrono::milliseconds kReportGathering{50};

// Call before the QApplication is made. Other threads still wake the
// window's (the statistics' sampler, a comparison's reads); with glib's
// event loop that wake-up takes the window's main-context lock, and a
// thread that loses its processor while holding it stalls the window for
// its whole time slice. Qt's own Unix event loop wakes through an eventfd
// without a lock. QT_NO_GLIB set by the user is left as it is.
void PreferLockFreeEventLoop();

class PollerSet : public QObject {
  Q_OBJECT

 public:
  // Starts a poller for each port the panels name. Driver and the panels
  // must outlive the forecourt.
  // Check tells each line's poller whether another device is behind its port.
  PollerSet(TQX25& Driver, const std::vector<NozzlePanel*>& Panels,
            std::chrono::milliseconds Pause = kRoundPause, QObject* Parent = nullptr,
            std::function<std::optional<QString>(int Port)> Check = {});
  ~PollerSet() override;
  PollerSet(const PollerSet&) = delete;
  PollerSet& operator=(const PollerSet&) = delete;

  // The poller of Port, or null when the port has no nozzle.
  PortPoller* Poller(int Port) const;
  size_t LineCount() const { return Polled.size(); }

 signals:
  // Every line's readings, on the window's thread, once the nozzle's panel
  // has them, in the order each line made them.
  void Read(const qx25::station::NozzleReading& Reading);

 private:
  // A reading or a command's outcome, and the panel of its nozzle (null when
  // no panel shows that nozzle).
  struct Report {
    NozzlePanel* Panel;
    std::variant<NozzleReading, CommandOutcome> What;
  };
  // On a line's thread.
  void Post(Report R);
  // On the window's thread: shows every report gathered so far, in order.
  void Deliver();

  struct PolledPort {
    int Port;
    QThread* Thread;
    PortPoller* Poller;
  };
  std::vector<PolledPort> Polled;
  std::mutex Gathered;
  std::vector<Report> Reports;  // guarded by Gathered
  QTimer Gathering;
};

}  // namespace qx25::station
