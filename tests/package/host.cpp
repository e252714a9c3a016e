// A host built outside the tree against the installed driver: it makes the
// driver with GetQX25 on the installed serial dispatcher, runs one delivery
// against qx25-sim on the line named on its command line, and reads the
// catalog. Prints what it saw; exits 1 on anything unexpected.
#include <qx25/ParameterUnit.h>
#include <qx25/QX25.h>
#include <qx25/SerialDispatcher.h>

#include <chrono>
#include <cstdio>
#include <memory>

namespace {

constexpr int32_t kPort = 1;
constexpr int32_t kNozzle = 1;
constexpr int32_t kSide = 1;
constexpr double kVolume = 2;
constexpr uint8_t kAccepted = 1;
constexpr uint8_t kDeliveryClosed = 216;
// The simulator delivers kVolume within a second or two; a hung line ends here.
constexpr std::chrono::seconds kDeliveryLimit{20};

int Fail(const char* What) {
  std::fprintf(stderr, "host: %s\n", What);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return Fail("usage: host LINE");
  qx25::serial::SerialDispatcher lines;
  lines.SetDevicePath(kPort, argv[1]);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdelete-non-virtual-dtor"
  const std::unique_ptr<TQX25> driver(GetQX25(0, 0, &lines));
#pragma GCC diagnostic pop
  try {
    if (driver->SetupPort(kPort) != 0) return Fail("port not set up");
    driver->PresetVolume(kPort, kNozzle, kSide, 0, kVolume);
    if (driver->GetPortStatus(kPort) != kAccepted) return Fail("preset refused");
    driver->StartPump(kPort, kNozzle, kSide);
    if (driver->GetPortStatus(kPort) != kAccepted) return Fail("start refused");
    // A poll closes the delivery once it has ended.
    // Each poll waits for its reply, which paces the loop.
    const auto deadline = std::chrono::steady_clock::now() + kDeliveryLimit;
    uint8_t state = 0;
    while (state != kDeliveryClosed && std::chrono::steady_clock::now() < deadline)
      state = driver->PollNozzle(kPort, kNozzle, 1).State;
    if (state != kDeliveryClosed) return Fail("the delivery did not end");
    double volume = 0, money = 0;
    driver->GetDeliveryResult(kPort, kNozzle, volume, money);
    std::printf("delivered: %.0f L\n", volume);
    if (volume != kVolume) return Fail("wrong volume delivered");
  } catch (const std::exception& e) {
    return Fail(e.what());
  }

  CTRKParameters catalog;
  catalog.Fill();
  std::printf("catalog: %d entries, the last \"%s\"\n", catalog.Count(),
              catalog.Items(catalog.Count() - 1).Caption.c_str());
  return catalog.Count() == kCatalogSize ? 0 : Fail("catalog size");
}
