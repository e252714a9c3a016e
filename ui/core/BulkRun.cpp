#include "ui/core/BulkRun.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "ui/core/GridText.h"

namespace qx25::ui {

namespace {

constexpr char kWriteDone[] = "Операция записи параметра ";
constexpr char kWriteError[] = "Ошибка при операции записи параметра ";
constexpr char kReadBusy[] = "Чтение всех параметров ещё идёт";
constexpr char kWriteBusy[] = "Запись всех параметров ещё идёт";
constexpr char kReadCount[] = "Прочитано ";
constexpr char kWriteCount[] = "Записано ";
constexpr char kWriteProgress[] = "записано ";
constexpr char kOf[] = " из ";
constexpr char kNotRead[] = "; не прочитаны: ";
constexpr char kNotWritten[] = "; не записаны: ";
constexpr char kWriteStopped[] = "Запись параметров прервана: ";
constexpr char kWhyOutside[] = "вне пределов";
constexpr char kWhyWriteFailed[] = "ошибка записи";
constexpr char kWhyNotSent[] = "не отправлен";
constexpr char kWhyReadFailed[] = "ошибка чтения";

// One row of a run; nothing when the row sends nothing and shows nothing.
std::optional<TRowResult> RunRow(TBulk Kind, const TRunInputs::TRowJob& Job, int Row) {
  if (!Job.Record) return std::nullopt;  // the catalog went away
  CParameter p = *Job.Record;
  TRowResult result;
  result.Kind = Kind;
  result.Row = Row;
  result.Code = p.Code;
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
  for (int row = kBulkFirst; row < count && !Inputs.Stopped(Kind); ++row)
    if (const std::optional<TRowResult> result = RunRow(Kind, Inputs.Job(row), row))
      Report(*result);
}

std::string BusyText(TBulk Kind) { return Kind == TBulk::Read ? kReadBusy : kWriteBusy; }

TRunTally::TRunTally(TBulk Kind, const CTRKParameters* Catalog) : RunKind(Kind) {
  if (!Catalog) return;
  for (int i = kBulkFirst; i < Catalog->Count(); ++i)
    if (Kind == TBulk::Read || !Catalog->Items(i).SkipOnWriteAll) ++Planned;
}

void TRunTally::Take(const TRowResult& Result) {
  std::string why;
  switch (Result.Outcome) {
    case TRowResult::Read:
    case TRowResult::Written:
      ++Succeeded;
      return;
    case TRowResult::Refused:
      why = kWhyOutside;
      break;
    case TRowResult::WriteFailed:
      why = kWhyWriteFailed;
      break;
    case TRowResult::Failed:
      // A read's text says why only when the line's device went away.
      why = RunKind == TBulk::Write ? kWhyNotSent
            : Result.Text.empty()   ? kWhyReadFailed
                                    : kLineLost;
      break;
  }
  Left.push_back({Result.Row, Result.Code, std::move(why)});
}

TStatus TRunTally::Summary() const {
  const bool read = RunKind == TBulk::Read;
  std::string text =
      (read ? kReadCount : kWriteCount) + std::to_string(Succeeded) + kOf + std::to_string(Planned);
  // The codes a reason at a time, the reasons in the order the run met them.
  std::vector<std::string> reasons;
  for (const TLeft& left : Left)
    if (std::find(reasons.begin(), reasons.end(), left.Why) == reasons.end())
      reasons.push_back(left.Why);
  for (size_t r = 0; r < reasons.size(); ++r) {
    text += r == 0 ? (read ? kNotRead : kNotWritten) : ", ";
    std::string codes;
    for (const TLeft& left : Left)
      if (left.Why == reasons[r]) codes += (codes.empty() ? "" : ", ") + std::to_string(left.Code);
    text += codes + " (" + reasons[r] + ")";
  }
  return {text, Left.empty() ? TStatusColour::Normal : TStatusColour::Failure, {}};
}

std::string TRunTally::Progress() const {
  return kWriteProgress + std::to_string(Succeeded) + kOf + std::to_string(Planned);
}

std::string TRunTally::StoppedText() const { return kWriteStopped + Progress(); }

std::string TRunTally::LeftOut(int Row) const {
  for (const TLeft& left : Left)
    if (left.Row == Row) return left.Why;
  return {};
}

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
