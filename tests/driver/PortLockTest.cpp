// Many callers on one port through one driver, over a dispatcher that
// serialises nothing and keeps one line status per port for every thread (as
// a simple host dispatcher may): the driver's own per-port lock must keep
// each command whole, so that no caller takes another's reply, line status
// or refusal code; and it must hold one port only, never the others.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <latch>
#include <mutex>
#include <thread>

#include "ScriptedDispatcher.h"
#include "driver/Driver.h"
#include "testsupport/MemoryDispatcher.h"

using namespace qx25;
using namespace std::chrono_literals;

namespace {

constexpr int kGoodCode = 9;  // read back as kGoodValue, writes acknowledged
constexpr int64_t kGoodValue = 750;
constexpr int kGoodDigits = ParamDigits[kGoodCode];
constexpr int kRefusedCode = 16;  // writes answered CAN
constexpr int kSilentCode = 17;   // writes answered by nothing

class LooseLine : public MemoryDispatcher {
 public:
  std::atomic<int> MostInFlight[kMaxPort + 1]{};
  int GatedPort = 0;  // Transact on this port waits for Open()

  void Open() {
    std::lock_guard<std::mutex> hold(GateLock);
    GateOpen = true;
    GateChanged.notify_all();
  }
  bool WaitUntilGated() {
    std::unique_lock<std::mutex> hold(GateLock);
    return GateChanged.wait_for(hold, 10s, [&] { return Waiting; });
  }

  int32_t Transact(uint8_t Port, const uint8_t* Frame, uint8_t, uint8_t* Reply, uint8_t ReplyLength,
                   uint8_t ReplyMode) override {
    const int now = ++InFlight[Port];
    int most = MostInFlight[Port];
    while (now > most && !MostInFlight[Port].compare_exchange_weak(most, now)) {
    }
    if (Port == GatedPort) {
      std::unique_lock<std::mutex> hold(GateLock);
      Waiting = true;
      GateChanged.notify_all();
      GateChanged.wait(hold, [&] { return GateOpen; });
    }
    // Request data: group, then every other byte (the rest are complements).
    const uint8_t letter = Frame[4], code = static_cast<uint8_t>(Frame[6] - kCodeCharBase);
    Bytes answer;
    if (letter == 'N') {
      Bytes e(TParamReply::DataBytes(kGoodDigits));
      e[TParamReply::Address] = Frame[2];
      PutField(e, TParamReply::Value(kGoodDigits), kGoodValue);
      answer = ReplyFrame(e);
    } else if (code == kRefusedCode) {
      answer = {kCan};
    } else if (code != kSilentCode) {
      answer = {kAck};
    }
    uint8_t held = 0;
    const bool accepted = Feed(Port, answer, Reply, ReplyLength, ReplyMode, 1, held);
    LineStatuses[Port] = accepted ? kLineOk : 2;
    --InFlight[Port];
    std::this_thread::yield();  // and between this exchange and its status check
    return accepted ? 0 : 3;
  }

 private:
  // Room for another caller to run into this exchange.
  void BeforeBytes() override { std::this_thread::yield(); }

  std::atomic<int> InFlight[kMaxPort + 1]{};
  std::mutex GateLock;
  std::condition_variable GateChanged;
  bool Waiting = false, GateOpen = false;
};

TEST(PortLock, CallersOnOnePortEachSeeOnlyTheirOwnExchange) {
  constexpr int kRounds = 1000;
  LooseLine line;
  DriverPtr driver(GetQX25(0, 0, &line));
  std::latch start(3);
  std::atomic<int> wrong{0};
  const auto count = [&](bool ok) {
    if (!ok) ++wrong;
  };
  std::thread reader([&] {
    start.arrive_and_wait();
    for (int i = 0; i < kRounds; ++i) try {
        count(driver->ReadParam(kLinkParameter, 3, 1, kGoodCode, 4) == kGoodValue);
      } catch (const std::exception&) {
        count(false);
      }
  });
  std::thread writer([&] {
    start.arrive_and_wait();
    for (int i = 0; i < kRounds; ++i) {
      count(!driver->WriteParam(kLinkParameter, 3, 2, kRefusedCode, 6, 1));
      count(!driver->WriteParam(kLinkParameter, 3, 2, kSilentCode, 2, 1));
      count(driver->WriteParam(kLinkParameter, 3, 2, kGoodCode, 4, 1));
    }
  });
  std::thread host([&] {  // a host's parameter slot on the same port
    start.arrive_and_wait();
    for (int i = 0; i < kRounds; ++i) try {
        count(driver->GetParam(3, 1, 10 + kGoodCode) == kGoodValue);
      } catch (const std::exception&) {
        count(false);
      }
  });
  reader.join();
  writer.join();
  host.join();
  EXPECT_EQ(line.MostInFlight[3], 1);
  EXPECT_EQ(wrong, 0);
}

TEST(PortLock, ACommandHoldsItsOwnPortOnly) {
  LooseLine line;
  line.GatedPort = 3;
  DriverPtr driver(GetQX25(0, 0, &line));
  auto held = std::async(std::launch::async,
                         [&] { return driver->ReadParam(kLinkParameter, 3, 1, kGoodCode, 4); });
  ASSERT_TRUE(line.WaitUntilGated());
  // Port 3 is inside an exchange; port 4 works meanwhile.
  auto other = std::async(std::launch::async, [&] {
    const int64_t value = driver->ReadParam(kLinkParameter, 4, 1, kGoodCode, 4);
    return value == kGoodValue && driver->GetPortStatus(4) == kLineOk;
  });
  EXPECT_EQ(other.wait_for(10s), std::future_status::ready);
  line.Open();
  EXPECT_TRUE(other.get());
  EXPECT_EQ(held.get(), kGoodValue);
}

}  // namespace
