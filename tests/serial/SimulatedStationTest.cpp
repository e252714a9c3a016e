// The simulated station: lines of their own, each answering for the four
// controllers a console's dispensers use, and nothing outside 1..30 lines.
#include <gtest/gtest.h>

#include <set>
#include <stdexcept>

#include "PtyPeer.h"
#include "SerialDispatcher.h"
#include "sim/BuiltInSimulator.h"

using namespace qx25::serial;
using namespace qx25::sim;
using namespace std::chrono_literals;

namespace {

TEST(SimulatedStation, EveryLineAnswersForItsFourControllersOnItsOwnDevice) {
  constexpr int kLines = 3;
  BuiltInSimulatorOptions unpaced;
  unpaced.Paced = false;
  SimulatedStation station(kLines, unpaced);
  ASSERT_EQ(station.LineCount(), kLines);

  SerialDispatcher d;
  d.SetTimeouts({500ms, 200ms});  // address 5 waits it out
  CheckingHandler checker(d);
  std::set<std::string> paths;
  for (int line = 1; line <= kLines; ++line) {
    paths.insert(station.DevicePath(line));
    d.SetDevicePath(static_cast<uint8_t>(line), station.DevicePath(line));
    d.SetReplyHandler(static_cast<uint8_t>(line), checker.Handler());
  }
  EXPECT_EQ(paths.size(), size_t{kLines});

  // Nozzles 1..4 on side 1 (two dispensers of two nozzles): addresses 1..4,
  // and no controller at address 5.
  for (int line = 1; line <= kLines; ++line) {
    for (uint8_t address = 1; address <= 5; ++address) {
      SCOPED_TRACE(testing::Message() << "line " << line << ", address " << int{address});
      const Bytes request = RequestFrame({0x02, static_cast<uint8_t>(0x20 + address), '1'});
      uint8_t reply[20];
      const int32_t r = d.Transact(static_cast<uint8_t>(line), request.data(),
                                   static_cast<uint8_t>(request.size()), reply, 20, 2);
      if (address <= kSimLastAddress)
        EXPECT_EQ(r, kSerialOk);
      else
        EXPECT_EQ(r, kSerialTimeout);
    }
  }
  // A line's controllers are its own: a delivery state set on one line is not
  // seen on another.
  EXPECT_NE(&station.Simulator(1).Simulator(), &station.Simulator(2).Simulator());
}

TEST(SimulatedStation, RefusesLineCountsAndLinesOutsideItsRange) {
  EXPECT_THROW(SimulatedStation(0), std::invalid_argument);
  EXPECT_THROW(SimulatedStation(kMaxStationLines + 1), std::invalid_argument);
  SimulatedStation one(1);
  EXPECT_FALSE(one.DevicePath(1).empty());
  EXPECT_THROW(one.DevicePath(0), std::out_of_range);
  EXPECT_THROW(one.DevicePath(2), std::out_of_range);
}

}  // namespace
