#include "ui/core/BulkRun.h"

#include <exception>
#include <utility>

#include "ui/core/GridText.h"

namespace qx25::ui {

namespace {

constexpr char kWriteDone[] = "Операция записи параметра ";
constexpr char kWriteError[] = "Ошибка при операции записи параметра ";
constexpr char kReadBusy[] = "Чтение всех параметров ещё идёт";
constexpr char kWriteBusy[] = "Запись всех параметров ещё идёт";

// One row of a run; nothing when the row sends nothing and shows nothing.
std::optional<TRowResult> RunRow(TBulk Kind, const TRunInputs::TRowJob& Job, int Row) {
  if (!Job.Record) return std::nullopt;  // the catalog went away
  CParameter p = *Job.Record;
  TRowResult result;
  result.Row = Row;
  if (Kind == TBulk::Read) {
    result.Text = ReadOne(Job.Target, p);
    result.Value = p.Value;
    if (!result.Text.empty())
      result.Outcome = TRowResult::Read;
    else
      result.Text = ReadFailureText(Job.Target, p);
    return result;
  }
  const TTarget& line = Job.Target;
  const std::optional<TLinkMode> mode = LinkModeOf(p.Kind);
  if (!line.Driver || !mode) return result;  // no driver, or a kind that is never sent
  if (p.SkipOnWriteAll) return std::nullopt;
  if (const std::string refusal = Refusal(p, p.Value); !refusal.empty()) {
    result.Outcome = TRowResult::Refused;
    result.Text = kWriteError + std::to_string(p.Code) + ": " + refusal;
    return result;
  }
  bool ok = false;
  try {
    ok = line.Driver->WriteParam(*mode, line.Port, line.Address, p.Code, p.Digits, p.Value);
  } catch (const std::exception&) {
    ok = false;  // a value the line cannot carry is a failed write, and the run goes on
  }
  result.Outcome = ok ? TRowResult::Written : TRowResult::WriteFailed;
  result.Text = (ok ? kWriteDone : kWriteError) + std::to_string(p.Code);
  return result;
}

}  // namespace

void TRunInputs::SetTarget(const TTarget& NewTarget) {
  const std::lock_guard guard(Lock);
  Target = NewTarget;
}

void TRunInputs::Publish(const CTRKParameters* Catalog) {
  std::vector<CParameter> records;
  if (Catalog)
    for (int i = 0; i < Catalog->Count(); ++i) records.push_back(Catalog->Items(i));
  const std::lock_guard guard(Lock);
  std::swap(Records, records);  // the old ones go once the lock is free
}

void TRunInputs::Publish(const TTarget& NewTarget, const CTRKParameters* Catalog) {
  SetTarget(NewTarget);
  Publish(Catalog);
}

void TRunInputs::Publish(int Row, const CParameter& Record) {
  CParameter copy = Record;  // copied outside the lock, which a run waits on
  const std::lock_guard guard(Lock);
  if (Row >= 0 && static_cast<size_t>(Row) < Records.size()) std::swap(Records[Row], copy);
}

TRunInputs::TRowJob TRunInputs::Job(int Row) const {
  const std::lock_guard guard(Lock);
  TRowJob job{Target, std::nullopt};
  if (Row >= 0 && static_cast<size_t>(Row) < Records.size()) job.Record = Records[Row];
  return job;
}

int TRunInputs::Count() const {
  const std::lock_guard guard(Lock);
  return static_cast<int>(Records.size());
}

void RunBulk(TBulk Kind, const TRunInputs& Inputs,
             const std::function<void(const TRowResult&)>& Report) {
  const int count = Inputs.Count();  // taken once, as the grid's rows were
  for (int row = kBulkFirst; row < count && !Inputs.Stopped(); ++row)
    if (const std::optional<TRowResult> result = RunRow(Kind, Inputs.Job(row), row))
      Report(*result);
}

std::string BusyText(TBulk Kind) { return Kind == TBulk::Read ? kReadBusy : kWriteBusy; }

std::string ApplyRowResult(CTRKParameters* Catalog, const TRowResult& Result) {
  if (Result.Outcome != TRowResult::Read && Result.Outcome != TRowResult::Failed)
    return Result.Text;
  if (!Catalog || Result.Row < 0 || Result.Row >= Catalog->Count()) return {};
  CParameter& p = Catalog->Items(Result.Row);
  p.ReadError = Result.Outcome != TRowResult::Read;
  if (!p.ReadError) {
    p.Value = Result.Value;
    p.ReadText = Result.Text;
  }
  return {};
}

TRowNews TakeRowResult(CTRKParameters* Catalog, TRunInputs& Inputs, const TRowResult& Result) {
  TRowNews news;
  if (std::string status = ApplyRowResult(Catalog, Result); !status.empty()) {
    // A write leaves the record as it was: only the bar has news.
    const bool red = Result.Outcome == TRowResult::Refused;
    news.Status =
        TStatus{std::move(status), red ? TStatusColour::Failure : TStatusColour::Normal, {}};
  } else if (Catalog && Result.Row >= 0 && Result.Row < Catalog->Count()) {
    Inputs.Publish(Result.Row, Catalog->Items(Result.Row));
    news.ReadRow = Result.Row;
  }
  // A failed read that knows why says so (the cell says only that it failed).
  if (Result.Outcome == TRowResult::Failed && !Result.Text.empty())
    news.Status = TStatus{Result.Text, TStatusColour::Failure, {}};
  return news;
}

}  // namespace qx25::ui
