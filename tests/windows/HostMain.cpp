// qx25-wintest: a station's control program in small, for Windows. It loads
// qx25.dll by name with LoadLibraryW and resolves GetQX25 with GetProcAddress,
// as a host does, and runs the driver on the Win32 serial dispatcher.
//
//   qx25-wintest delivery PORT LITRES   price, preset, start, poll to the
//                                       end, result: the volume must be the
//                                       preset's; slot 24 without a menu
//                                       must do nothing,
//                                       slot 0's exception must reach the
//                                       host (on 32-bit its message), a
//                                       silent address time out
//   qx25-wintest copy-params IN OUT     loads parameter file IN into the
//                                       catalog and saves it as OUT (a
//                                       relative OUT goes to the settings
//                                       directory)
//
// Names are UTF-8 inside and UTF-16 on the command line. Exits 0 on success,
// 1 on a failure (said on stderr), 2 on bad arguments.
#include <windows.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>

#include "driver/DriverPtr.h"
#include "SerialDispatcher.h"
#include "driver/HostContract.h"
#include "driver/QX25.h"
#include "params/ParameterFile.h"

namespace {

using Clock = std::chrono::steady_clock;
using GetQX25Fn = decltype(&GetQX25);

constexpr int kNozzle = 1;
constexpr int kSilentNozzle = 9;  // no controller answers at its address
constexpr int kSide = 1;
constexpr double kPrice = 52.30;
// How often the host asks while the fuel flows, and how long past the
// delivery's own time it waits for the end.
constexpr auto kPollInterval = std::chrono::milliseconds(100);
constexpr auto kDeliveryLimit = std::chrono::seconds(60);

std::string Utf8(const wchar_t* Text) {
  const std::u8string u8 = std::filesystem::path(Text).u8string();
  return std::string(u8.begin(), u8.end());
}

std::filesystem::path PathOf(const std::string& Utf8Name) {
  return std::filesystem::path(std::u8string(Utf8Name.begin(), Utf8Name.end()));
}

std::string Utf8(const std::filesystem::path& Path) { return Utf8(Path.c_str()); }

class Library {
 public:
  Library() : Module(LoadLibraryW(L"qx25.dll")) {
    if (Module == nullptr)
      throw std::runtime_error("qx25.dll cannot be loaded (error " +
                               std::to_string(GetLastError()) + ")");
  }
  ~Library() { FreeLibrary(Module); }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  GetQX25Fn Factory() const { return Function<GetQX25Fn>("GetQX25"); }
  // The calling thread's last failure (the C interface's qx25_last_error).
  std::string LastError() const { return Function<LastErrorFn>("qx25_last_error")(); }

 private:
  using LastErrorFn = const char*(QX25_CALL*)();

  template <typename Fn>
  Fn Function(const char* Name) const {
    const auto f = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(Module, Name)));
    if (f == nullptr) throw std::runtime_error(std::string("qx25.dll exports no ") + Name);
    return f;
  }

  HMODULE Module;
};

void Check(TQX25& Driver, qx25::serial::SerialDispatcher& Lines, int Port, const char* Step) {
  const uint8_t status = Driver.GetPortStatus(Port);
  if (status == qx25::kLineOk) return;
  throw std::runtime_error(
      std::string(Step) + ": port status " + std::to_string(status) + " (" +
      qx25::serial::SerialErrorText(Lines.GetErrorCode(static_cast<uint8_t>(Port))) + ")");
}

// Where no controller answers, the line stays quiet past the first-byte
// time-out, and the dispatcher tells it as the Linux one does.
void SilentController(TQX25& Driver, qx25::serial::SerialDispatcher& Lines, int Port) {
  using namespace qx25::serial;
  const auto asked = Clock::now();
  try {
    Driver.PollNozzle(Port, kSilentNozzle, 1);
  } catch (const std::runtime_error&) {
  }
  const auto waited = Clock::now() - asked;
  const auto port = static_cast<uint8_t>(Port);
  if (Lines.GetLineStatus(port) != kLineTimeout || Lines.GetErrorCode(port) != kSerialTimeout)
    throw std::runtime_error("a silent controller gave line status " +
                             std::to_string(Lines.GetLineStatus(port)) + ", failure " +
                             SerialErrorText(Lines.GetErrorCode(port)));
  if (waited < Lines.Timeouts().FirstByte) throw std::runtime_error("the time-out came early");
}

int Delivery(int Port, double Litres) {
  const Library library;
  qx25::serial::SerialDispatcher lines;
  const DriverPtr driver(library.Factory()(0, 0, &lines));
  TQX25& d = *driver;
#if defined(_WIN64)
  // Slot 0 throws across the DLL's boundary; the host must be able to catch it.
  bool caught = false;
  try {
    d.Abstract();
  } catch (const std::logic_error&) {
    caught = true;
  }
  if (!caught) throw std::runtime_error("slot 0 did not throw std::logic_error");
#else
  // On 32-bit Windows no exception leaves the DLL: slot 0 returns and says why.
  d.Abstract();
  if (library.LastError().find("slot 0") == std::string::npos)
    throw std::runtime_error("slot 0 did not leave its message");
#endif
  // No menu: nothing is added and nothing is called.
  d.InstallMenu(nullptr, nullptr);

  if (d.SetupPort(Port) != 0) throw std::runtime_error("SetupPort failed");
  SilentController(d, lines, Port);
  d.SetPrice(Port, kNozzle, kSide, 0, 0, kPrice);
  d.PresetVolume(Port, kNozzle, kSide, 0, Litres);
  Check(d, lines, Port, "PresetVolume");
  d.StartPump(Port, kNozzle, kSide);
  Check(d, lines, Port, "StartPump");
  const auto deadline = Clock::now() + kDeliveryLimit;
  int polls = 0;
  for (;;) {
    const TNozzlePoll poll = d.PollNozzle(Port, kNozzle, 1);
    Check(d, lines, Port, "PollNozzle");
    ++polls;
    if (poll.State == qx25::kCodeFinished) break;
    if (Clock::now() > deadline) throw std::runtime_error("the delivery did not end in time");
    std::this_thread::sleep_for(kPollInterval);
  }
  double volume = 0, money = 0;
  d.GetDeliveryResult(Port, kNozzle, volume, money);
  Check(d, lines, Port, "GetDeliveryResult");
  std::printf("COM%d: %.0f L, %.2f, after %d polls\n", Port, volume, money, polls);
  if (volume != std::round(Litres))
    throw std::runtime_error("the delivery ended at " + std::to_string(volume) + " L");
  return 0;
}

int CopyParams(const std::string& In, const std::string& Out) {
  std::filesystem::path out = PathOf(Out);
  if (out.is_relative()) {
    const std::filesystem::path settings = PathOf(kSettingsDirectory);
    std::filesystem::create_directories(settings);
    out = settings / out;
  }
  CTRKParameters catalog;
  catalog.Fill();
  LoadParameterFile(catalog, In);
  SaveParameterFile(catalog, Utf8(out));
  std::printf("%s\n", Utf8(out).c_str());
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: qx25-wintest delivery PORT LITRES\n"
               "       qx25-wintest copy-params IN OUT\n");
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  try {
    const std::string command = argc > 1 ? Utf8(argv[1]) : "";
    if (command == "delivery" && argc == 4) {
      const int port = std::stoi(Utf8(argv[2]));
      const double litres = std::stod(Utf8(argv[3]));
      if (port < 1 || port > 30 || litres < 1 || litres > 999) return Usage();
      return Delivery(port, litres);
    }
    if (command == "copy-params" && argc == 4) return CopyParams(Utf8(argv[2]), Utf8(argv[3]));
    return Usage();
  } catch (const std::invalid_argument&) {
    return Usage();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qx25-wintest: %s\n", e.what());
    return 1;
  }
}
