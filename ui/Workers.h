// The read-all and write-all workers: each runs the core's bulk run on a
// thread of its own while the window stays usable. A worker knows no window:
// it takes its rows from the run inputs the window keeps current and emits
// each row's result, which the window receives through a queued connection.
#pragma once

#include <QThread>
#include <memory>

#include "ui/core/BulkRun.h"

class TParamsTread : public QThread {
  Q_OBJECT

 public:
  TParamsTread(qx25::ui::TBulk RunKind, std::shared_ptr<const qx25::ui::TRunInputs> RunInputs)
      : Kind(RunKind), Inputs(std::move(RunInputs)) {}

 signals:
  void RowDone(const qx25::ui::TRowResult& Result);

 protected:
  void run() override {
    qx25::ui::RunBulk(Kind, *Inputs, [this](const qx25::ui::TRowResult& R) { emit RowDone(R); });
  }

 private:
  qx25::ui::TBulk Kind;
  std::shared_ptr<const qx25::ui::TRunInputs> Inputs;
};

// The two kinds differ only in the run they were made for.
using TReadParamsTread = TParamsTread;
using TWriteParamsTread = TParamsTread;

// The running worker of each kind, or null; user-interface thread only.
inline TReadParamsTread* ReadParamsThread = nullptr;
inline TWriteParamsTread* WriteParamsThread = nullptr;
