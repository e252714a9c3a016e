// --log-level of qx25ctl and qx25-host: the driver's and the dispatcher's
// decisions on stderr, one line each, "qx25 warning: COM3 nozzle 2: ...".
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace qx25::programs {

// "error", "warning", "info", "debug" by their level, for the option's check.
std::map<std::string, int> LogLevelsByName();
// Writes one line with its level to stderr; lines from several threads never
// mix. A callback of the driver's log (SetQX25Log): Context is unused.
void LogToStderr(void* Context, int32_t Level, const char* Line);

}  // namespace qx25::programs
