// The read-all and write-all workers on Windows threads. A worker knows no
// window: it takes its rows from the run inputs the window keeps current,
// queues each row's result and posts the window a message to take it; the
// queue outlives whichever of them ends first.
#pragma once

#include <windows.h>

#include <deque>
#include <memory>
#include <mutex>

#include "ui/core/BulkRun.h"

namespace qx25::win {

// Posted to the window: rows are waiting in its queue; a run has ended
// (lParam: the TWorker).
inline constexpr UINT kRowsWaiting = WM_APP + 1;
inline constexpr UINT kRunEnded = WM_APP + 2;

struct TRowQueue {
  std::mutex Lock;
  std::deque<ui::TRowResult> Rows;
};

class TWorker {
 public:
  TWorker(ui::TBulk Kind, std::shared_ptr<const ui::TRunInputs> Inputs,
          std::shared_ptr<TRowQueue> Rows, HWND Window);
  // Waits for the run, which ends after the row in flight once its inputs
  // are stopped.
  ~TWorker();
  TWorker(const TWorker&) = delete;
  TWorker& operator=(const TWorker&) = delete;
  const ui::TBulk Kind;

 private:
  // A thread of Windows' own rather than std::thread: the C++ runtime's
  // thread library, linked statically into the DLL as well as into the
  // host, was seen to leave the process heap locked when its thread ended.
  static DWORD WINAPI Run(void* Self);
  std::shared_ptr<const ui::TRunInputs> Inputs;
  std::shared_ptr<TRowQueue> Rows;
  HWND Window;
  HANDLE Thread = nullptr;
};

// The running worker of each kind, or null; the window's thread only.
extern TWorker* ReadParamsThread;
extern TWorker* WriteParamsThread;

}  // namespace qx25::win
