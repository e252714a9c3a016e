// Read-all and write-all, a row at a time on a thread of their own, from the
// TRunInputs the window's thread keeps current; each TRowResult goes back for
// that thread to apply. A run never refers to a window.
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
  enum TRowOutcome { Failed, Read, Written, WriteFailed, Refused } Outcome = Failed;
  TBulk Kind = TBulk::Read;
  int Row = 0;  // catalog index
  int Code = 0;
  int64_t Value = 0;
  // Read: the value's text; Written, WriteFailed: the status text; Failed:
  // why, when the line says (ReadFailureText), else empty.
  std::string Text;
};

class TRunInputs {
 public:
  // On the window's thread whenever the line or a record changes.
  void SetTarget(const TTarget& Target);
  void Publish(const CTRKParameters* Catalog);
  void Publish(const TTarget& Target, const CTRKParameters* Catalog);
  // One record (catalog index) changed: cheaper than the whole catalog.
  void Publish(int Row, const CParameter& Record);
  struct TRowJob {
    TTarget Target;
    std::optional<CParameter> Record;
  };
  TRowJob Job(int Row) const;
  int Count() const;
  // Every run over these inputs stops after the row in flight.
  void Stop() { Stopping = true; }
  bool Stopped() const { return Stopping; }
  // The runs of one kind stop after the row in flight; Resume lets the next one go.
  void Stop(TBulk Kind) { KindStopping[Index(Kind)] = true; }
  void Resume(TBulk Kind) { KindStopping[Index(Kind)] = false; }
  bool Stopped(TBulk Kind) const { return Stopping || KindStopping[Index(Kind)]; }

 private:
  mutable std::mutex Lock;
  TTarget Target;
  std::vector<CParameter> Records;
  std::atomic<bool> Stopping = false;
  static constexpr int Index(TBulk Kind) { return Kind == TBulk::Read ? 0 : 1; }
  std::atomic<bool> KindStopping[2] = {false, false};
};

// The run over the bulk range on the calling thread, reporting each row's result.
void RunBulk(TBulk Kind, const TRunInputs& Inputs,
             const std::function<void(const TRowResult&)>& Report);

// What the status bar says when a run of Kind is asked for while one goes on.
std::string BusyText(TBulk Kind);

// What a run has done so far: the summary it ends with, the rows it left out
// (catalog index: why) for the grid to mark, and how far it has got for a
// host that is asked to quit meanwhile.
class TRunTally {
 public:
  // Counts the rows the run will try: the bulk range, less what write-all skips.
  TRunTally(TBulk Kind, const CTRKParameters* Catalog);
  void Take(const TRowResult& Result);
  TBulk Kind() const { return RunKind; }
  int Done() const { return Succeeded; }
  int Total() const { return Planned; }
  // "Записано 27 из 31; не записаны: 16, 31, 34, 39 (вне пределов)"; red
  // when anything was left out.
  TStatus Summary() const;
  // "записано 19 из 31"
  std::string Progress() const;
  // What a host says once it has stopped a write run: how far it got.
  std::string StoppedText() const;
  // Why the run left this record (catalog index) out; empty when it did not.
  std::string LeftOut(int Row) const;

 private:
  TBulk RunKind;
  int Planned = 0;
  int Succeeded = 0;
  struct TLeft {
    int Row, Code;
    std::string Why;
  };
  std::vector<TLeft> Left;
};

// Applies a result to the catalog, if it still has the row; a write's status text.
std::string ApplyRowResult(CTRKParameters* Catalog, const TRowResult& Result);

struct TRowNews {
  // A write's news: shown red for a while when Failure, else the text alone.
  std::optional<TStatus> Status;
  // A read changed this record (catalog index), already published to the run.
  std::optional<int> ReadRow;
};

// ApplyRowResult, and a changed record published for the run's later rows.
TRowNews TakeRowResult(CTRKParameters* Catalog, TRunInputs& Inputs, const TRowResult& Result);

}  // namespace qx25::ui
