// The dispenser driver, loaded at run time as a station's control program
// loads it: dlopen of libqx25.so and GetQX25 found by name. The host is not
// linked against the library, so a station can replace it without a rebuild.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "driver/QX25.h"

namespace qx25::station {

using TGetQX25Fn = TQX25* (*)(uint32_t Options, uintptr_t AppHandle, PortDispatcher* Dispatcher);

// The library's one exported function.
inline constexpr char kDriverEntry[] = "GetQX25";
// Its log switch, which an older library does not have.
using TSetQX25LogFn = int32_t (*)(int32_t Level, TLogCallback Callback, void* Context);
inline constexpr char kLogEntry[] = "SetQX25Log";

// No candidate could be loaded; the message names every path tried and why.
class DriverLoadError : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Where the library is looked for, in order, from the directory of the host's
// executable: the build tree's driver folder beside it, the install tree's
// library folder, then the bare soname (LD_LIBRARY_PATH and the loader's
// cache).
std::vector<std::string> DriverSearchList(const std::string& ExecutableDir);
// The --driver path alone when one is given, else DriverSearchList.
std::vector<std::string> DriverCandidates(const std::string& DriverPath,
                                          const std::string& ExecutableDir);

// qx25-host --version: prints its version and the description of the driver
// the first loadable candidate makes on stdout and returns kHostExitOk; when
// none loads, prints the version alone and says on stderr why, and returns
// kHostExitNoDriver.
int PrintVersion(const std::vector<std::string>& Candidates);

class DriverLibrary {
 public:
  DriverLibrary() = default;
  // Releases the handle; the library stays mapped (it is opened with
  // RTLD_NODELETE), since the menu entries and windows it made may outlive
  // this object inside the application.
  ~DriverLibrary();
  DriverLibrary(const DriverLibrary&) = delete;
  DriverLibrary& operator=(const DriverLibrary&) = delete;

  // Opens the first candidate that loads and exports GetQX25. Throws
  // DriverLoadError when none does, std::logic_error when already loaded.
  void Load(const std::vector<std::string>& Candidates);
  bool Loaded() const { return Handle != nullptr; }
  // The candidate that was loaded, as it was given.
  const std::string& Path() const { return LoadedPath; }
  // GetQX25 of the loaded library; null before Load.
  TGetQX25Fn Factory() const { return Entry; }
  // SetQX25Log of the loaded library; null before Load or when it has none.
  TSetQX25LogFn LogSwitch() const { return LogEntry; }

 private:
  void* Handle = nullptr;
  TGetQX25Fn Entry = nullptr;
  TSetQX25LogFn LogEntry = nullptr;
  std::string LoadedPath;
};

}  // namespace qx25::station
