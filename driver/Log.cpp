// The driver's log sink: one callback for the process, swapped under a lock
// so that a callback is never called after the host replaced it.
#include "Log.h"

#include <cstdio>
#include <mutex>

namespace qx25 {

std::atomic<int32_t> LogLevel{llOff};

namespace {

// Recursive: a callback may call the driver, or SetQX25Log, itself.
std::recursive_mutex SinkLock;
TLogCallback Sink = nullptr;
void* SinkContext = nullptr;

}  // namespace

void Append(std::string& Line, TAt At) {
  Line += "COM";
  Line += std::to_string(At.Port);
  if (At.Nozzle > 0) {
    Line += " nozzle ";
    Line += std::to_string(At.Nozzle);
  }
  if (At.Side > 0) {
    Line += " side ";
    Line += std::to_string(At.Side);
  }
}

void Append(std::string& Line, double Value) {
  // Volumes: three decimals, as the controller counts them.
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", Value);
  Line += text;
}

void WriteLog(int32_t Level, const std::string& Line) {
  const std::lock_guard<std::recursive_mutex> hold(SinkLock);
  // Checked again under the lock: the host may have switched the log off
  // since the caller looked.
  if (Sink == nullptr || Level > LogLevel.load(std::memory_order_relaxed)) return;
  try {
    Sink(SinkContext, Level, Line.c_str());
  } catch (...) {
    // The log must never change what the driver does.
  }
}

}  // namespace qx25

extern "C" int32_t SetQX25Log(int32_t Level, TLogCallback Callback, void* Context) {
  using namespace qx25;
  if (Level < llOff || Level > llDebug) return -1;
  const std::lock_guard<std::recursive_mutex> hold(SinkLock);
  Sink = Level == llOff ? nullptr : Callback;
  SinkContext = Sink != nullptr ? Context : nullptr;
  LogLevel.store(Sink != nullptr ? Level : llOff, std::memory_order_relaxed);
  return 0;
}
