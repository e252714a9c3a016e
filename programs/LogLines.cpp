#include "LogLines.h"

#include <cstdio>
#include <mutex>

#include "driver/DriverLog.h"

namespace qx25::programs {

std::map<std::string, int> LogLevelsByName() {
  std::map<std::string, int> levels;
  for (int level = llError; level <= llDebug; ++level) levels.emplace(QX25LogLevelName(level), level);
  return levels;
}

void LogToStderr(void*, int32_t Level, const char* Line) {
  static std::mutex Writing;  // the driver's and the dispatcher's threads share stderr
  const char* name = QX25LogLevelName(Level);
  const std::lock_guard<std::mutex> hold(Writing);
  std::fprintf(stderr, "qx25 %s: %s\n", name != nullptr ? name : "log", Line);
  std::fflush(stderr);
}

}  // namespace qx25::programs
