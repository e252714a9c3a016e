// The end-to-end rig: the driver from libqx25.so, the serial dispatcher and
// the simulated controllers, joined by a pseudo-terminal and nothing else.
//
// The simulator runs on its manual clock, so a delivery moves only when a
// test advances it. Each test runs twice: with the line pacing bytes one at a
// time (the reply handler sees every byte arrive) and with each reply written
// in one piece (the handler sees it in a few large reads).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "driver/HostContract.h"
#include "driver/QX25.h"
#include "serial/SerialDispatcher.h"
#include "sim/Endpoint.h"
#include "sim/Simulator.h"
#include "driver/DriverPtr.h"

namespace e2e {

using qx25::sim::Fault;

inline constexpr int kPort = 3;
// A wait for the line that only a broken rig ever reaches.
inline constexpr std::chrono::seconds kEventWait{10};

enum class LineMode { Paced, Burst };

inline std::string LineModeName(const testing::TestParamInfo<LineMode>& Info) {
  return Info.param == LineMode::Paced ? "Paced" : "Burst";
}


class Rig : public testing::TestWithParam<LineMode> {
 protected:
  // Controllers at addresses 1 and 2 (nozzles 1 and 2, side 1) and 17 (a
  // group byte other than 2), with their default ID numbers.
  void SetUp() override {
    for (int address : {1, 2, 17}) Sim.AddController(address);
    Sim.SetObserver([this](const qx25::sim::Exchange&) {
      std::lock_guard<std::mutex> hold(SeenLock);
      ++Seen;
      SeenChanged.notify_all();
    });
    Wire.emplace(Sim, LineOptionsFor(GetParam()));
    const std::string path = Wire->OpenPseudoTerminal();
    Wire->Start();
    Lines.SetDevicePath(kPort, path);
    // Short enough that a silent controller ends a test quickly, long enough
    // for a busy machine to wake the simulator's thread.
    Lines.SetTimeouts({std::chrono::milliseconds(300), std::chrono::milliseconds(150)});
    // QX25_E2E_TRACE=1 shows every frame and reply of a failing test.
    if (std::getenv("QX25_E2E_TRACE") != nullptr) Lines.SetTrace(qx25::serial::TraceToFile(stderr));
    Driver.reset(GetQX25(0, 0, &Lines));
    ASSERT_NE(Driver, nullptr);
    ASSERT_EQ(Driver->SetupPort(kPort), 0);
  }

  void TearDown() override {
    Driver.reset();
    Lines.Close(kPort);
    if (Wire) {
      Wire->Stop();
      EXPECT_EQ(Wire->Failure(), "");
    }
    Sim.SetObserver({});
  }

  static qx25::sim::EndpointOptions LineOptionsFor(LineMode Mode) {
    qx25::sim::EndpointOptions options;
    options.Baud = 38400;  // byte by byte, yet quick
    options.Pacing = Mode == LineMode::Paced;
    return options;
  }

  TQX25& D() { return *Driver; }
  uint8_t Status() { return Driver->GetPortStatus(kPort); }

  // Frames the simulator has handled so far (answered or not).
  int FramesSeen() {
    std::lock_guard<std::mutex> hold(SeenLock);
    return Seen;
  }
  // Waits until the simulator has handled Count frames in all; false when
  // that does not happen within kEventWait.
  bool WaitForFrames(int Count) {
    std::unique_lock<std::mutex> hold(SeenLock);
    return SeenChanged.wait_for(hold, kEventWait, [&] { return Seen >= Count; });
  }

  // The fault the simulator applied to the last reply it was due to send.
  Fault LastFault() {
    const auto history = Sim.History();
    return history.empty() ? Fault::None : history.back().Applied;
  }

  // Declared before the simulator, whose observer uses them.
 private:
  std::mutex SeenLock;
  std::condition_variable SeenChanged;
  int Seen = 0;

 protected:
  qx25::sim::Simulator Sim;
  std::optional<qx25::sim::Endpoint> Wire;
  qx25::serial::SerialDispatcher Lines;
  DriverPtr Driver;
};

// Runs Call and returns the message of the ESerialIO it raises; fails the
// test and returns "" when it raises nothing or something else.
inline std::string SerialIOMessage(const std::function<void()>& Call) {
  try {
    Call();
  } catch (const ESerialIO& e) {
    return e.what();
  } catch (const std::exception& e) {
    ADD_FAILURE() << "not ESerialIO: " << e.what();
    return "";
  }
  ADD_FAILURE() << "no ESerialIO raised";
  return "";
}

}  // namespace e2e
