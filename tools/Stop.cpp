#include "Stop.h"

#include <signal.h>

#include <atomic>

#include "Session.h"

namespace qx25::tools {

namespace {

volatile sig_atomic_t Interrupted = 0;
std::atomic<bool> Lost{false};

// A second Ctrl-C does not wait for the exchange in flight.
extern "C" void OnStopSignal(int Signal) {
  if (Interrupted) {
    signal(Signal, SIG_DFL);
    raise(Signal);
  }
  Interrupted = 1;
}

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
  if (Interrupted) return kExitInterrupted;
  return Lost ? kExitFile : 0;
}

void OutputLost() { Lost = true; }

}  // namespace qx25::tools
