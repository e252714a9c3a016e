#include "DriverLibrary.h"

#include <dlfcn.h>

#include <cstdio>

#include "HostOptions.h"
#include "programs/ProgramVersion.h"

// Set by the build: the soname, and the library's folder relative to the
// executable's in the build tree and in the install tree.
#ifndef QX25_DRIVER_SONAME
#define QX25_DRIVER_SONAME "libqx25.so.2"
#endif
#ifndef QX25_DRIVER_BUILD_DIR
#define QX25_DRIVER_BUILD_DIR "../driver"
#endif
#ifndef QX25_DRIVER_INSTALL_DIR
#define QX25_DRIVER_INSTALL_DIR "../lib"
#endif

namespace qx25::station {

namespace {

std::string LoaderError() {
  const char* text = dlerror();
  return text != nullptr ? text : "unknown loader error";
}

}  // namespace

std::vector<std::string> DriverSearchList(const std::string& ExecutableDir) {
  std::vector<std::string> list;
  if (!ExecutableDir.empty()) {
    const std::string dir = ExecutableDir.back() == '/' ? ExecutableDir : ExecutableDir + "/";
    list.push_back(dir + QX25_DRIVER_BUILD_DIR "/" QX25_DRIVER_SONAME);
    list.push_back(dir + QX25_DRIVER_INSTALL_DIR "/" QX25_DRIVER_SONAME);
  }
  list.push_back(QX25_DRIVER_SONAME);
  return list;
}

std::vector<std::string> DriverCandidates(const std::string& DriverPath,
                                          const std::string& ExecutableDir) {
  return DriverPath.empty() ? DriverSearchList(ExecutableDir)
                            : std::vector<std::string>{DriverPath};
}

int PrintVersion(const std::vector<std::string>& Candidates) {
  constexpr char kProgram[] = "qx25-host";
  DriverLibrary library;
  try {
    library.Load(Candidates);
  } catch (const DriverLoadError& e) {
    std::printf("%s\n", programs::VersionText(kProgram, nullptr).c_str());
    std::fprintf(stderr, "%s: %s\n", kProgram, e.what());
    return kHostExitNoDriver;
  }
  std::printf("%s\n", programs::VersionText(kProgram, library.Factory()).c_str());
  return TextWritten() ? kHostExitOk : kHostExitOutput;
}

DriverLibrary::~DriverLibrary() {
  if (Handle != nullptr) dlclose(Handle);
}

void DriverLibrary::Load(const std::vector<std::string>& Candidates) {
  if (Handle != nullptr) throw std::logic_error("the driver library is already loaded");
  std::string tried;
  for (const std::string& path : Candidates) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (handle == nullptr) {
      // The loader's message usually starts with the path; make sure it names it.
      const std::string why = LoaderError();
      tried += "\n  " + (why.rfind(path, 0) == 0 ? why : path + ": " + why);
      continue;
    }
    dlerror();
    void* entry = dlsym(handle, kDriverEntry);
    if (entry == nullptr) {
      tried += "\n  " + path + ": no " + kDriverEntry + " in it (" + LoaderError() + ")";
      dlclose(handle);
      continue;
    }
    Handle = handle;
    Entry = reinterpret_cast<TGetQX25Fn>(entry);
    LogEntry = reinterpret_cast<TSetQX25LogFn>(dlsym(handle, kLogEntry));
    LoadedPath = path;
    return;
  }
  if (Candidates.empty()) tried = "\n  (no path to try)";
  throw DriverLoadError("cannot load the dispenser driver; tried:" + tried);
}

}  // namespace qx25::station
