// The read-all and write-all workers: each goes once through the bulk range
// of the catalog on a thread of its own, one parameter at a time, while the
// window stays usable.
//
// A worker never touches a widget or a catalog record itself: it takes what
// it needs for a row (the driver, the port and address in the spin edits,
// a copy of the record) from the window's thread through a blocking queued
// call, talks to the controller on its own thread, and hands the outcome
// back through a queued call. The window stays alive, hidden if closed,
// until the last of its workers has ended (see ShowParamWindow).
#pragma once

#include <QThread>
#include <optional>

#include "driver/QX25.h"
#include "params/ParameterUnit.h"

class TParamFrm;

class TParamsTread : public QThread {
  Q_OBJECT

 public:
  explicit TParamsTread(TParamFrm& Window);

  // The grid row being processed; its record is Items(Row - 1).
  int Row = 0;

 protected:
  // What one row needs, taken on the window's thread.
  struct TRowJob {
    TQX25* Driver = nullptr;
    int Port = 0;
    int Address = 0;
    std::optional<CParameter> Record;
  };

  void run() override;
  virtual void DoRow() = 0;
  TRowJob TakeJob() const;
  // Takes Row's job; the link mode to send it with, or nothing when the row
  // is passed over (marked as failed when there is no driver or no mode).
  std::optional<TLinkMode> Prepare(TRowJob& Job) const;
  // Runs Update on the window's thread with the live record of Row, if the
  // catalog still has it; does not wait.
  template <typename F>
  void UpdateRecord(F Update) const;
  void SetRowFailed() const;

  TParamFrm& Window;
};

class TReadParamsTread : public TParamsTread {
  Q_OBJECT

 public:
  using TParamsTread::TParamsTread;
  void ReadRow();

 protected:
  void DoRow() override { ReadRow(); }
};

class TWriteParamsTread : public TParamsTread {
  Q_OBJECT

 public:
  using TParamsTread::TParamsTread;
  void WriteRow();

 protected:
  void DoRow() override { WriteRow(); }
};

// The running worker of each kind, or null. Read and written on the
// user-interface thread only.
extern TReadParamsTread* ReadParamsThread;
extern TWriteParamsTread* WriteParamsThread;
