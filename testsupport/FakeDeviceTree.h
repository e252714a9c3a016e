// A system device tree of the tests' own, in which a pseudo-terminal shows as
// a USB adapter with a serial number, as a replugged adapter shows on a
// station: the dispatcher (SetDeviceTree) then knows it for the same adapter
// at whatever node it comes back, and another adapter for another.
#pragma once

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

class FakeDeviceTree {
 public:
  // Root must be a directory the test owns; the tree is made inside it.
  explicit FakeDeviceTree(std::filesystem::path Root) : Top(std::move(Root)) {
    std::filesystem::create_directories(Top / "dev" / "char");
  }

  std::string Root() const { return Top.string(); }

  // Shows the terminal at Path as the adapter 0403:6001 numbered Serial; an
  // empty Serial shows it as no adapter (a terminal's number is reused).
  void Adapter(const std::string& Path, const std::string& Serial) {
    namespace fs = std::filesystem;
    struct stat st {};
    if (stat(Path.c_str(), &st) != 0) throw std::runtime_error("no terminal at " + Path);
    const std::string number =
        std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
    const fs::path link = Top / "dev" / "char" / number;
    fs::remove(link);
    if (Serial.empty()) return;
    const fs::path usb = Top / "devices" / ("usb-" + Serial + "-" + number);
    const fs::path node = usb / "1-1:1.0" / "ttyUSB0" / "tty" / "ttyUSB0";
    fs::create_directories(node);
    Write(usb / "serial", Serial);
    Write(usb / "idVendor", "0403");
    Write(usb / "idProduct", "6001");
    fs::create_directory_symlink(node, link);
  }

 private:
  static void Write(const std::filesystem::path& File, const std::string& Text) {
    std::ofstream(File) << Text << '\n';
  }

  std::filesystem::path Top;
};
