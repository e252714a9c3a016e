#include "Stop.h"

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

#include "Session.h"

namespace qx25::tools {

namespace {

volatile sig_atomic_t Caught = 0;  // the signal that asked the run to stop
std::atomic<bool> Lost{false};
std::atomic<bool> Stopping{false};  // Caught, as the dispatcher reads it
std::atomic<bool> WaitCut{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

// A second signal does not wait for the exchange in flight.
extern "C" void OnStopSignal(int Signal) {
  if (Caught) {
    signal(Signal, SIG_DFL);
    raise(Signal);
  }
  Caught = Signal;
  Stopping = true;
}

// A wait between exchanges looks at the flag this often.
constexpr std::chrono::milliseconds kStopCheck{20};

}  // namespace

void InstallStopHandlers() {
  signal(SIGPIPE, SIG_IGN);
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int StopStatus() {
  if (Caught) return Caught == SIGTERM ? kExitTerminated : kExitInterrupted;
  return Lost ? kExitFile : 0;
}

bool StopSignalled() { return Caught != 0; }

const std::atomic<bool>& StopFlag() { return Stopping; }

void ReplyWaitCut() { WaitCut = true; }

void OutputLost() { Lost = true; }

bool PauseUnlessStopped(std::chrono::milliseconds Pause) {
  const auto end = std::chrono::steady_clock::now() + Pause;
  for (auto now = std::chrono::steady_clock::now(); now < end;
       now = std::chrono::steady_clock::now()) {
    if (StopSignalled()) return false;
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(kStopCheck, end - now));
  }
  return !StopSignalled();
}

int EndStatus(int Status) {
  if (!StopSignalled()) return Status;
  std::fprintf(stderr, "qx25ctl: %s; %s\n",
               Caught == SIGTERM ? "terminated (SIGTERM)" : "interrupted",
               WaitCut ? "the wait for the last reply was cut short, so what that request did is "
                         "not known"
                       : "no exchange was cut short");
  return StopStatus();
}

}  // namespace qx25::tools
