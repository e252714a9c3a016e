// Two threads on one port of the serial dispatcher: one polls a nozzle, the
// other reads a controller parameter, each through a driver of its own, both
// at once and as fast as they can, against the simulated controllers on a
// pseudo-terminal. The dispatcher's per-port lock must keep every frame whole
// (the controllers see no broken request), and each caller must get its own
// reply: the poll always the nozzle's state, the read always the value.
// Built with ThreadSanitizer too, where it must run clean.
//
// One driver object shared by several threads on one port is
// tests/e2e/SharedDriverTest.cpp's subject: the driver's own per-port lock.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "driver/Driver.h"
#include "driver/DriverPtr.h"
#include "serial/SerialDispatcher.h"
#include "sim/Endpoint.h"
#include "sim/Simulator.h"

using namespace qx25;

namespace {

constexpr uint8_t kPort = 6;
constexpr int kRounds = 500;
constexpr int kCode = 16;
constexpr int64_t kValue = 75000;

TEST(SharedPort, TwoThreadsPollAndReadOnOnePortEachGetsItsOwnReply) {
  sim::Simulator sim;
  sim.AddController(1);
  sim.AddController(2);
  sim.LiftNozzle(1);  // nozzle 1 reports state '1': code 224 + side
  sim.SetParam(2, kCode, kValue);
  std::atomic<int> broken{0}, answered{0};
  sim.SetObserver([&](const sim::Exchange& x) {
    ++answered;
    if (!x.Data) ++broken;
  });
  sim::EndpointOptions options;
  options.Pacing = false;
  sim::Endpoint line(sim, options);
  serial::SerialDispatcher serial;
  serial.SetDevicePath(kPort, line.OpenPseudoTerminal());
  line.Start();

  DriverPtr host(GetQX25(0, 0, &serial));
  DriverPtr service(GetQX25(0, 0, &serial));
  ASSERT_EQ(host->SetupPort(kPort), 0);

  std::atomic<int> wrongPolls{0}, wrongReads{0}, failures{0};
  std::thread poller([&] {
    for (int i = 0; i < kRounds; ++i) try {
        const TNozzlePoll p = host->PollNozzle(kPort, 1, 1);
        if (p.State != kCodeNozzleLifted + 1 || host->GetPortStatus(kPort) != kLineOk) ++wrongPolls;
      } catch (const ESerialIO&) {
        ++failures;
      }
  });
  std::thread reader([&] {
    for (int i = 0; i < kRounds; ++i) try {
        if (service->ReadParam(kLinkParameter, kPort, 2, kCode, 0) != kValue) ++wrongReads;
      } catch (const ESerialIO&) {
        ++failures;
      }
  });
  poller.join();
  reader.join();
  line.Stop();

  EXPECT_EQ(failures, 0);
  EXPECT_EQ(wrongPolls, 0);
  EXPECT_EQ(wrongReads, 0);
  EXPECT_EQ(broken, 0);
  EXPECT_EQ(answered, 2 * kRounds);
}

}  // namespace
