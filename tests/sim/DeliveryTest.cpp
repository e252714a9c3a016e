// Deliveries moved by the manual clock through their states, as a host
// polling the controller sees them, and the events of an idle controller.
#include <gtest/gtest.h>

#include "SimTestSupport.h"

using namespace qx25;
using namespace qx25::sim;
using namespace simtest;

namespace {

class Delivery : public ::testing::Test {
 protected:
  Delivery() {
    Sim.AddController(1);
    Sim.SetFlowRate(0.5);
  }
  // State character and sub byte of a status reply.
  std::pair<char, uint8_t> Status(const std::string& Ack = "") {
    const Bytes e = ReplyData(Ask(Sim, RequestData(1, '1', Ack)), 8);
    if (e.size() != 8) return {'?', 0};
    return {static_cast<char>(e[0]), e[1]};
  }
  long long Current() { return Number(ReplyData(Ask(Sim, RequestData(1, '4')), 11), 1, 5); }
  long long Final() { return Number(ReplyData(Ask(Sim, RequestData(1, '5')), 21), 0, 5); }
  long long Total() { return Number(ReplyData(Ask(Sim, RequestData(1, '6')), 16), 0, 8); }

  Simulator Sim;
};

using StatusPair = std::pair<char, uint8_t>;

TEST_F(Delivery, RunsFromPresetToFinishedAsTheClockAdvances) {
  Sim.SetTotaliser(1, 1000);
  EXPECT_EQ(Status(), StatusPair('0', '0'));
  EXPECT_EQ(Ask(Sim, RequestData(1, 'T', "00025")), kAckReply);
  EXPECT_EQ(Status(), StatusPair('2', '0'));
  EXPECT_EQ(Ask(Sim, RequestData(1, '2')), kAckReply);

  // Nothing counted yet: the delivery is not reported as counting.
  EXPECT_EQ(Status(), StatusPair('4', kSubAsAuthorised));
  Sim.AdvanceTime(10);  // 5 litres
  // Still not, until the host has read a volume.
  EXPECT_EQ(Status(), StatusPair('4', kSubAsAuthorised));
  EXPECT_EQ(Current(), 5);
  EXPECT_EQ(Status(), StatusPair('4', kSubFlowing));
  EXPECT_EQ(Total(), 1005);
  const Bytes e = ReplyData(Ask(Sim, RequestData(1, '4')), 11);
  EXPECT_EQ(e[0], '4');
  EXPECT_EQ(Number(e, 6, 5), 25);  // the dose

  // The last litre before the dose: no longer reported as counting.
  Sim.AdvanceTime(38.5);  // 24.25 litres
  EXPECT_EQ(Current(), 24);
  EXPECT_EQ(Status(), StatusPair('4', kSubAsAuthorised));

  Sim.AdvanceTime(100);
  EXPECT_EQ(Status(), StatusPair('6', kSubEnded));
  EXPECT_EQ(Final(), 25);
  EXPECT_EQ(Total(), 1025);

  // The host's closing step resets the nozzle; the result stays readable.
  EXPECT_EQ(Ask(Sim, RequestData(1, '8')), kAckReply);
  EXPECT_EQ(Status(), StatusPair('0', '0'));
  EXPECT_EQ(Final(), 25);
  EXPECT_EQ(Current(), 25);
  EXPECT_EQ(Number(ReplyData(Ask(Sim, RequestData(1, '6')), 16), 8, 8), 1);  // deliveries
  Sim.AdvanceTime(100);
  EXPECT_EQ(Total(), 1025);
}

TEST_F(Delivery, StopSuspendsAndStartResumes) {
  Ask(Sim, RequestData(1, 'T', "00010"));
  Ask(Sim, RequestData(1, '2'));
  Sim.AdvanceTime(8);  // 4 litres
  EXPECT_EQ(Ask(Sim, RequestData(1, '3')), kAckReply);
  EXPECT_EQ(Status().first, '3');
  Sim.AdvanceTime(100);
  EXPECT_EQ(Current(), 4);
  EXPECT_EQ(Ask(Sim, RequestData(1, 'T', "00020")), kCanReply);  // not while a delivery runs
  EXPECT_EQ(Ask(Sim, RequestData(1, 'U')), kCanReply);
  EXPECT_EQ(Ask(Sim, RequestData(1, '2')), kAckReply);
  Sim.AdvanceTime(100);
  EXPECT_EQ(Status().first, '6');
  EXPECT_EQ(Final(), 10);
}

TEST_F(Delivery, StopThenResetEndsTheDeliveryWhereItStood) {
  Ask(Sim, RequestData(1, 'T', "00010"));
  Ask(Sim, RequestData(1, '2'));
  Sim.AdvanceTime(7);  // 3.5 litres
  Ask(Sim, RequestData(1, '3'));
  Ask(Sim, RequestData(1, '8'));
  EXPECT_EQ(Status().first, '0');
  EXPECT_EQ(Final(), 3);
  EXPECT_EQ(Ask(Sim, RequestData(1, '2')), kCanReply);  // the dose is gone
  EXPECT_EQ(Sim.State(1).Totaliser, 3);
}

TEST_F(Delivery, ResetKeepsADoseThatWaitsForItsStart) {
  // A host's start-with-reset sends '8', 'U', '2' after its preset.
  Ask(Sim, RequestData(1, 'T', "00010"));
  EXPECT_EQ(Ask(Sim, RequestData(1, '8')), kAckReply);
  EXPECT_EQ(Ask(Sim, RequestData(1, 'U')), kAckReply);
  EXPECT_EQ(Ask(Sim, RequestData(1, '2')), kAckReply);
  EXPECT_EQ(Status().first, '4');
  // A stop before the start withdraws it.
  Sim.AdvanceTime(100);
  Ask(Sim, RequestData(1, '8'));
  Ask(Sim, RequestData(1, 'T', "00010"));
  Ask(Sim, RequestData(1, '3'));
  EXPECT_EQ(Status().first, '0');
  EXPECT_EQ(Ask(Sim, RequestData(1, '2')), kCanReply);
}

TEST_F(Delivery, CustomerHangingUpEndsItEarly) {
  Sim.LiftNozzle(1);
  EXPECT_EQ(Status().first, '1');
  Ask(Sim, RequestData(1, 'T', "00010"));
  Ask(Sim, RequestData(1, '2'));
  Sim.AdvanceTime(4);
  Sim.HangNozzle(1);
  EXPECT_EQ(Status(), StatusPair('5', kSubEnded));
  Sim.AdvanceTime(100);
  EXPECT_EQ(Final(), 2);
}

TEST_F(Delivery, RefusesAZeroPresetAndAStartWithoutOne) {
  EXPECT_EQ(Ask(Sim, RequestData(1, 'T', "00000")), kCanReply);
  EXPECT_EQ(Ask(Sim, RequestData(1, '2')), kCanReply);
  EXPECT_EQ(Status().first, '0');
}

TEST_F(Delivery, TheTotaliserWrapsAtEightDigits) {
  Sim.SetTotaliser(1, 99'999'998);
  Ask(Sim, RequestData(1, 'T', "00005"));
  Ask(Sim, RequestData(1, '2'));
  Sim.AdvanceTime(100);
  EXPECT_EQ(Total(), 3);
}

TEST_F(Delivery, EventsAreReportedWhileIdleUntilAcknowledged) {
  Sim.RaiseEvent(1, 12);
  Sim.RaiseEvent(1, 17);
  Bytes e = ReplyData(Ask(Sim, RequestData(1, '1')), 8);
  EXPECT_EQ(e[2], kEventReported);
  EXPECT_EQ(e[3], '1');
  EXPECT_EQ(e[4], '2');
  // Not acknowledged: reported again.
  e = ReplyData(Ask(Sim, RequestData(1, '1')), 8);
  EXPECT_EQ(Number(e, 3, 2), 12);
  // Acknowledged by the extra byte: the next one comes up.
  e = ReplyData(Ask(Sim, RequestData(1, '1', "1")), 8);
  EXPECT_EQ(e[2], kEventReported);
  EXPECT_EQ(Number(e, 3, 2), 17);
  e = ReplyData(Ask(Sim, RequestData(1, '1', "1")), 8);
  EXPECT_EQ(e[2], 0);
  EXPECT_EQ(Sim.State(1).Events.size(), 0u);
  // An acknowledgement with nothing reported clears nothing.
  Sim.RaiseEvent(1, 1);
  e = ReplyData(Ask(Sim, RequestData(1, '1', "1")), 8);
  EXPECT_EQ(Number(e, 3, 2), 1);
}

TEST_F(Delivery, EventsWaitWhileADeliveryRuns) {
  Ask(Sim, RequestData(1, 'T', "00002"));
  Ask(Sim, RequestData(1, '2'));
  Sim.RaiseEvent(1, 16);
  Bytes e = ReplyData(Ask(Sim, RequestData(1, '1')), 8);
  EXPECT_EQ(e[2], 0);
  Sim.AdvanceTime(100);
  Ask(Sim, RequestData(1, '8'));
  e = ReplyData(Ask(Sim, RequestData(1, '1')), 8);
  EXPECT_EQ(e[2], kEventReported);
  EXPECT_EQ(Number(e, 3, 2), 16);
}

TEST(DeliveryClock, RealTimeMovesDeliveriesWithoutAdvanceTime) {
  SimulatorOptions options;
  options.RealTime = true;
  options.FlowRate = 1e6;  // the dose is reached as soon as any time has passed
  Simulator sim(options);
  sim.AddController(1);
  Ask(sim, RequestData(1, 'T', "00003"));
  Ask(sim, RequestData(1, '2'));
  // The monotonic clock moves on between two calls; wait for the state, not a time.
  for (int i = 0; i < 1'000'000 && sim.State(1).State != DeliveryState::Finished; ++i) {
  }
  EXPECT_EQ(sim.State(1).State, DeliveryState::Finished);
  EXPECT_EQ(Number(ReplyData(Ask(sim, RequestData(1, '5')), 21), 0, 5), 3);
}

}  // namespace
