#include "ui/win/Workers.h"

#include <exception>
#include <stdexcept>

namespace qx25::win {

TWorker* ReadParamsThread = nullptr;
TWorker* WriteParamsThread = nullptr;

TWorker::TWorker(ui::TBulk RunKind, std::shared_ptr<const ui::TRunInputs> RunInputs,
                 std::shared_ptr<TRowQueue> RowQueue, HWND Target)
    : Kind(RunKind), Inputs(std::move(RunInputs)), Rows(std::move(RowQueue)), Window(Target) {
  Thread = CreateThread(nullptr, 0, &TWorker::Run, this, 0, nullptr);
  if (!Thread) throw std::runtime_error("the run's thread cannot be started");
}

DWORD WINAPI TWorker::Run(void* Self) {
  auto* worker = static_cast<TWorker*>(Self);
  try {
    ui::RunBulk(worker->Kind, *worker->Inputs, [worker](const ui::TRowResult& Result) {
      {
        const std::lock_guard<std::mutex> hold(worker->Rows->Lock);
        worker->Rows->Rows.push_back(Result);
      }
      PostMessageW(worker->Window, kRowsWaiting, 0, 0);
    });
  } catch (const std::exception&) {
    // The rows done so far are in the queue; the window hears of the end.
  }
  PostMessageW(worker->Window, kRunEnded, 0, reinterpret_cast<LPARAM>(worker));
  return 0;
}

TWorker::~TWorker() {
  WaitForSingleObject(Thread, INFINITE);
  CloseHandle(Thread);
}

}  // namespace qx25::win
