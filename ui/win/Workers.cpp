#include "ui/win/Workers.h"

namespace qx25::win {

TWorker* ReadParamsThread = nullptr;
TWorker* WriteParamsThread = nullptr;

TWorker::TWorker(ui::TBulk RunKind, std::shared_ptr<const ui::TRunInputs> Inputs,
                 std::shared_ptr<TRowQueue> Rows, HWND Window)
    : Kind(RunKind) {
  Thread = std::thread([this, Inputs, Rows, Window] {
    ui::RunBulk(Kind, *Inputs, [&](const ui::TRowResult& Result) {
      {
        const std::lock_guard<std::mutex> hold(Rows->Lock);
        Rows->Rows.push_back(Result);
      }
      PostMessageW(Window, kRowsWaiting, 0, 0);
    });
    PostMessageW(Window, kRunEnded, 0, reinterpret_cast<LPARAM>(this));
  });
}

TWorker::~TWorker() {
  if (Thread.joinable()) Thread.join();
}

}  // namespace qx25::win
