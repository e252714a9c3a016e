// The pollers of a running station: one LinePoller on a thread of its own for
// every line that has nozzles, wired to the nozzles' panels. Built once the
// driver is loaded; destroying it stops every poller and waits for its
// thread, which may take up to one exchange's time-out per line (the lines
// stop in parallel).
#pragma once

#include <QObject>
#include <chrono>
#include <vector>

#include "LinePoller.h"

class QThread;

namespace qx25::hostapp {

class NozzlePanel;

// Call before the QApplication is made. Every poller wakes the window's
// thread for each reading; with glib's event loop that wake-up takes the
// window's main-context lock, and a poller that loses its processor while
// holding it stalls the window for its whole time slice. Qt's own Unix event
// loop wakes through an eventfd without a lock. QT_NO_GLIB set by the user
// is left as it is.
void PreferLockFreeEventLoop();

class Forecourt : public QObject {
  Q_OBJECT

 public:
  // Starts a poller for each port the panels name. Driver and the panels
  // must outlive the forecourt.
  Forecourt(TQX25& Driver, const std::vector<NozzlePanel*>& Panels,
            std::chrono::milliseconds Pause = kRoundPause, QObject* Parent = nullptr);
  ~Forecourt() override;
  Forecourt(const Forecourt&) = delete;
  Forecourt& operator=(const Forecourt&) = delete;

  // The poller of Port, or null when the port has no nozzle.
  LinePoller* Poller(int Port) const;
  size_t LineCount() const { return LineThreads.size(); }

 signals:
  // Every line's readings, on the window's thread, once the nozzle's panel
  // has them: whoever else follows the readings shares their one queued event.
  void Read(const qx25::hostapp::NozzleReading& Reading);

 private:
  struct Line {
    int Port;
    QThread* Thread;
    LinePoller* Poller;
  };
  std::vector<Line> LineThreads;
};

}  // namespace qx25::hostapp
