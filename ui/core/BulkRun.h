// Read-all and write-all as row jobs, one row at a time on a thread of the
// run's own. A row's inputs come from TRunInputs, which the window's thread
// keeps current; its result goes back as a TRowResult for the window's thread
// to apply. A run never holds a reference to a window, and stops between rows
// once asked to.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "driver/QX25.h"
#include "params/ParameterUnit.h"
#include "ui/core/Editing.h"

namespace qx25::ui {

enum class TBulk { Read, Write };

struct TRowResult {
  // Refused: not sent, the value lies outside the record's limits.
  enum TOutcome { Failed, Read, Written, WriteFailed, Refused } Outcome = Failed;
  int Row = 0;  // catalog index
  int64_t Value = 0;
  std::string Text;  // Read: the value's text; Written, WriteFailed: the status text
};

class TRunInputs {
 public:
  // Called on the window's thread whenever the line or a record changes; a
  // null catalog is gone.
  void SetLine(const TLine& Line);
  void Publish(const CTRKParameters* Catalog);
  void Publish(const TLine& Line, const CTRKParameters* Catalog);
  // One record (catalog index) changed: cheaper than the whole catalog.
  void Publish(int Row, const CParameter& Record);

  struct TRowJob {
    TLine Line;
    std::optional<CParameter> Record;
  };
  TRowJob Job(int Row) const;
  int Count() const;

  // Asks every run over these inputs to stop after the row in flight.
  void Stop() { Stopping = true; }
  bool Stopped() const { return Stopping; }

 private:
  mutable std::mutex Lock;
  TLine Line;
  std::vector<CParameter> Records;
  std::atomic<bool> Stopping = false;
};

// The whole run over the bulk range, on the calling thread; Report gets each
// row's result as soon as the row is done.
void RunBulk(TBulk Kind, const TRunInputs& Inputs,
             const std::function<void(const TRowResult&)>& Report);

// What the status bar says when a run of Kind is asked for while one goes on.
std::string BusyText(TBulk Kind);

// Applies a result to the catalog (not when it no longer has the row); the
// status text a write leaves, else empty.
std::string ApplyRowResult(CTRKParameters* Catalog, const TRowResult& Result);

struct TRowNews {
  // A write's news: shown red for a while when Failure, else the text alone.
  std::optional<TStatus> Status;
  // A read changed this record (catalog index), already published to the run.
  std::optional<int> ReadRow;
};

// Applies Result to Catalog and publishes a changed record to Inputs, so that
// the run's later rows see it.
TRowNews TakeRowResult(CTRKParameters* Catalog, TRunInputs& Inputs, const TRowResult& Result);

}  // namespace qx25::ui
