#include "ui/Workers.h"

#include <QMetaObject>
#include <exception>

#include "ui/ParamFrame.h"

TReadParamsTread* ReadParamsThread = nullptr;
TWriteParamsTread* WriteParamsThread = nullptr;

namespace {

constexpr int kFirstBulkRow = kBulkFirst + 1;  // the grid counts the header as row 0
constexpr char kWriteDone[] = "Операция записи параметра ";
constexpr char kWriteError[] = "Ошибка при операции записи параметра ";

}  // namespace

TParamsTread::TParamsTread(TParamFrm& Owner) : Window(Owner) {}

void TParamsTread::run() {
  int rows = 0;
  QMetaObject::invokeMethod(
      &Window, [&] { rows = Window.GridRowCount(); }, Qt::BlockingQueuedConnection);
  for (Row = kFirstBulkRow; Row <= rows - 1; ++Row) {
    DoRow();
    Window.RepaintGrid();
  }
}

TParamsTread::TRowJob TParamsTread::TakeJob() const {
  TRowJob job;
  const int row = Row;
  QMetaObject::invokeMethod(
      &Window,
      [&] {
        job.Driver = Window.Driver;
        job.Port = Window.PortValue();
        job.Address = Window.AddressValue();
        if (const CTRKParameters* catalog = Window.Catalog();
            catalog && row >= 1 && row <= catalog->Count())
          job.Record = catalog->Items(row - 1);
      },
      Qt::BlockingQueuedConnection);
  return job;
}

template <typename F>
void TParamsTread::UpdateRecord(F Update) const {
  TParamFrm* window = &Window;
  const int row = Row;
  QMetaObject::invokeMethod(
      window,
      [window, row, Update] {
        if (CTRKParameters* catalog = window->Catalog();
            catalog && row >= 1 && row <= catalog->Count())
          Update(catalog->Items(row - 1));
      },
      Qt::QueuedConnection);
}

void TParamsTread::SetRowFailed() const {
  UpdateRecord([](CParameter& P) { P.ReadError = true; });
}

std::optional<TLinkMode> TParamsTread::Prepare(TRowJob& Job) const {
  Job = TakeJob();
  if (!Job.Record) return std::nullopt;
  const std::optional<TLinkMode> mode = LinkModeOf(Job.Record->Kind);
  if (!Job.Driver || !mode) SetRowFailed();  // no driver, or a kind that is never sent
  return Job.Driver ? mode : std::nullopt;
}

void TReadParamsTread::ReadRow() {
  TRowJob job;
  const std::optional<TLinkMode> mode = Prepare(job);
  if (!mode) return;
  std::string text;
  int64_t value = -1;
  try {
    value = job.Driver->ReadParam(*mode, job.Port, job.Address, job.Record->Code,
                                  job.Record->Digits);
    text = job.Record->ValueToText(value);
  } catch (const std::exception&) {
    text.clear();  // a link failure, no value or no text: the row shows a read error
  }
  if (text.empty()) {
    SetRowFailed();
    return;
  }
  UpdateRecord([value, text](CParameter& P) {
    P.Value = value;
    P.ReadText = text;
    P.ReadError = false;
  });
}

void TWriteParamsTread::WriteRow() {
  TRowJob job;
  const std::optional<TLinkMode> mode = Prepare(job);
  if (!mode || job.Record->SkipOnWriteAll) return;
  bool ok = false;
  try {
    ok = job.Driver->WriteParam(*mode, job.Port, job.Address, job.Record->Code,
                                job.Record->Digits, job.Record->Value);
  } catch (const std::exception&) {
    ok = false;  // a value the line cannot carry is a failed write, and the run goes on
  }
  const QString status = QString::fromUtf8(ok ? kWriteDone : kWriteError) +
                         QString::number(job.Record->Code);
  TParamFrm* window = &Window;
  QMetaObject::invokeMethod(window, [window, status] { window->SetStatus(status); },
                            Qt::QueuedConnection);
}
