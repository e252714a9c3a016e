// The driver's log: one line for each decision the driver takes (a reply
// refused, an exchange failed, a delivery closed by a poll, a nozzle reset),
// for a host that wants to know why, where the wire trace shows only bytes.
//
// Off until the host installs a callback. While off, a decision costs one
// relaxed atomic load: no line is formatted.
//
// Threads. The callback runs on whichever thread called the driver, often
// with that port's lock held, one call at a time (calls from different
// threads never overlap, so lines never mix). It must return soon, must not
// wait for another thread that uses the driver, and what it throws is
// dropped. Once SetQX25Log returns, the previous callback is never called
// again, so its Context may be freed then.
#pragma once

#include <cstdint>

#include "PortDispatcher.h"

// The log's levels, each including those above it.
enum TLogLevel : int32_t {
  llOff = -1,
  llError = 0,    // an exchange failed: the command raises or reports a failure
  llWarning = 1,  // the controller refused, or answered without the data asked for
  llInfo = 2,     // a delivery closed by a poll, a nozzle reset
  llDebug = 3,    // every exchange's outcome, every reply the driver turned down
};

// Line: UTF-8 (request names are Russian), without a newline; it names the
// port as the host does ("COM3") and the nozzle where there is one.
using TLogCallback = void (*)(void* Context, int32_t Level, const char* Line);

// Logs decisions up to Level to Callback, with Context passed back; a null
// Callback or llOff switches the log off. Returns 0, or -1 when Level is
// outside llOff..llDebug (the log is then left as it was). A plain C
// function, so that a host in any language can reach it by name.
extern "C" QX25_EXPORT int32_t SetQX25Log(int32_t Level, TLogCallback Callback, void* Context);

// The name the programs take and print for a level: "error", "warning",
// "info", "debug"; "off" for llOff; null for anything else.
inline const char* QX25LogLevelName(int32_t Level) {
  switch (Level) {
    case llOff: return "off";
    case llError: return "error";
    case llWarning: return "warning";
    case llInfo: return "info";
    case llDebug: return "debug";
    default: return nullptr;
  }
}
