// Replies through a USB adapter's latency timer: the same bytes in bursts
// 1 to 16 ms apart instead of one every 2 ms. The quiet-line rule and the
// time-outs must judge them exactly as at wire pace.
#include <gtest/gtest.h>

#include "PtyPeer.h"
#include "SerialDispatcher.h"
#include "sim/Endpoint.h"
#include "sim/Simulator.h"

using namespace qx25::serial;
using namespace std::chrono_literals;
using qx25::sim::Fault;

namespace {

constexpr uint8_t kPort = 1;
constexpr uint64_t kSeed = 7;

// Whether a reply was accepted, and how long it was: a damaged reply may fail
// as rejected at one pace and as timed out at another, but never be taken.
struct Outcome {
  bool Accepted;
  int Length;  // of the accepted reply: 1 for a lone refusal
};

// Every kind of reply a line gives, faults drawn from one seed: data replies
// whole and damaged, lone refusals where data is due, silence.
std::vector<Outcome> Exchanges(std::chrono::milliseconds Burst) {
  qx25::sim::Simulator sim;
  sim.AddController(1);
  sim.SetFaultRate(0.5, kSeed);
  qx25::sim::EndpointOptions options;
  options.Burst = Burst;
  qx25::sim::Endpoint line(sim, options);
  SerialDispatcher d;
  d.SetDevicePath(kPort, line.OpenPseudoTerminal());
  d.SetTimeouts({200ms, 50ms});
  CheckingHandler checker(d);
  d.SetReplyHandler(kPort, checker.Handler());
  line.Start();

  std::vector<Outcome> outcomes;
  const Bytes status = RequestFrame({0x02, 0x21, '1'});
  for (int i = 0; i < 20; ++i) {
    uint8_t reply[20];
    const int32_t r = d.Transact(kPort, status.data(), static_cast<uint8_t>(status.size()), reply,
                                 sizeof reply, PortDispatcher::kReplyData);
    const std::vector<uint8_t> seen = checker.Lengths();
    outcomes.push_back({r == kSerialOk, r == kSerialOk ? int{seen.back()} : 0});
  }
  line.Stop();
  return outcomes;
}

TEST(SerialBursts, AdapterBurstsGiveTheOutcomesOfWirePace) {
  const std::vector<Outcome> wire = Exchanges(0ms);
  // The draws cover what matters: accepted data, lone refusals and failures.
  int data = 0, refusals = 0, failed = 0;
  for (const Outcome& o : wire) (!o.Accepted ? failed : o.Length == 1 ? refusals : data)++;
  ASSERT_GT(data, 3);
  ASSERT_GT(refusals, 0);
  ASSERT_GT(failed, 3);
  for (const auto burst : {1ms, 4ms, 16ms}) {
    SCOPED_TRACE(burst.count());
    const std::vector<Outcome> bursts = Exchanges(burst);
    ASSERT_EQ(bursts.size(), wire.size());
    for (size_t i = 0; i < wire.size(); ++i) {
      EXPECT_EQ(bursts[i].Accepted, wire[i].Accepted) << "exchange " << i;
      EXPECT_EQ(bursts[i].Length, wire[i].Length) << "exchange " << i;
    }
  }
}

}  // namespace
