// The driver's side of its log: the level check every decision makes first,
// and the line put together only when the level is on. Internal.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <type_traits>

#include "DriverLog.h"

namespace qx25 {

// llOff while no callback is installed.
extern std::atomic<int32_t> LogLevel;

inline bool LogOn(int32_t Level) { return Level <= LogLevel.load(std::memory_order_relaxed); }

// Where a decision was taken: "COM3", "COM3 nozzle 2", "COM3 nozzle 2 side 1"
// (a nozzle or side of 0 is left out).
struct TAt {
  uint8_t Port;
  int Nozzle = 0;
  int Side = 0;
};

inline void Append(std::string& Line, const char* Text) { Line += Text != nullptr ? Text : ""; }
inline void Append(std::string& Line, const std::string& Text) { Line += Text; }
inline void Append(std::string& Line, char Char) { Line += Char; }
void Append(std::string& Line, TAt At);
void Append(std::string& Line, double Value);
template <class T>
  requires std::is_integral_v<T>
void Append(std::string& Line, T Value) {
  Line += std::to_string(Value);
}

// Hands a finished line to the host's callback, if one is still installed.
void WriteLog(int32_t Level, const std::string& Line);

// Parts are cheap to pass (numbers, C strings, TAt): nothing is built unless
// Level is on.
template <class... TParts>
void Log(int32_t Level, const TParts&... Parts) {
  if (!LogOn(Level)) return;
  std::string line;
  (Append(line, Parts), ...);
  WriteLog(Level, line);
}

}  // namespace qx25
