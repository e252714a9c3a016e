// Deliveries run by the host's operations, over the line, against simulated
// controllers: preset, start, the polls while fuel flows, the closing poll,
// stops, resets, events, refusals and the totaliser.
#include "Rig.h"

namespace e2e {
namespace {

using qx25::sim::Bytes;
using qx25::sim::DeliveryState;

class Delivery : public Rig {};

TEST_P(Delivery, TypicalDeliveryOfTwentyFiveLitres) {
  Sim.SetTotaliser(1, 1000);
  D().SetPrice(kPort, 1, 1, 0, 0, 45.30);

  D().PresetVolume(kPort, 1, 1, 0, 25.0);
  EXPECT_EQ(Status(), 1);
  EXPECT_EQ(D().PresetVolumes[kPort][1], 25.0);
  // The frame of the preset as it reached the controller.
  EXPECT_EQ(Sim.History().back().Frame,
            (Bytes{0x7F, 0x02, 0x21, 0x5E, 'T', 'T' ^ 0x7F, '0', 0x4F, '0', 0x4F, '0', 0x4F, '2',
                   0x4D, '5', 0x4A, 0x03, 0x03, 0x41}));
  EXPECT_EQ(Sim.State(1).State, DeliveryState::Authorised);
  EXPECT_EQ(Sim.State(1).Dose, 25);

  D().StartPump(kPort, 1, 1);
  EXPECT_EQ(Status(), 1);
  EXPECT_EQ(D().NozzleSides[kPort][1], 1);
  EXPECT_EQ(Sim.State(1).State, DeliveryState::Delivering);

  for (double litres : {5.0, 15.0}) {
    Sim.AdvanceTime(litres - Sim.State(1).Volume);
    double money = -1;
    EXPECT_EQ(D().GetCurrentDelivery(kPort, 1, money), litres);
    EXPECT_DOUBLE_EQ(money, litres * 45.30);
    EXPECT_EQ(D().DeliveredVolumes[kPort][1], litres);
    const TNozzlePoll poll = D().PollNozzle(kPort, 1, 1);
    EXPECT_EQ(Status(), 1);
    EXPECT_EQ(poll.State, 208 + 1) << "at " << litres << " litres";
    EXPECT_EQ(poll.Codes[0], 208 + 1);
    EXPECT_EQ(poll.StateSide, 1);
  }

  // The dose is reached: the poll reads the result and resets the nozzle.
  Sim.AdvanceTime(10);
  EXPECT_EQ(Sim.State(1).State, DeliveryState::Finished);
  const TNozzlePoll closing = D().PollNozzle(kPort, 1, 1);
  EXPECT_EQ(closing.State, 216);
  EXPECT_EQ(closing.StateSide, 1);
  EXPECT_EQ(Status(), 1);
  EXPECT_EQ(D().DeliveredVolumes[kPort][1], 25.0);
  EXPECT_EQ(Sim.State(1).State, DeliveryState::Idle);
  const auto history = Sim.History();
  ASSERT_GE(history.size(), 3u);
  EXPECT_EQ(history[history.size() - 2].Data->at(2), '5');
  EXPECT_EQ(history.back().Data->at(2), '8');

  double volume = -1, money = -1;
  D().GetDeliveryResult(kPort, 1, volume, money);
  EXPECT_EQ(volume, 25.0);
  EXPECT_DOUBLE_EQ(money, 1132.50);

  double total = -1;
  uint64_t second = 99;
  D().GetTotalCounter(kPort, 1, 1, total, second, 0, 0);
  EXPECT_EQ(total, 1025.0);
  EXPECT_EQ(second, 0u);

  EXPECT_EQ(D().PollNozzle(kPort, 1, 1).State, 192);
}

TEST_P(Delivery, PresetByMoneyDeliversWholeLitres) {
  D().SetPrice(kPort, 1, 1, 0, 0, 50.0);
  D().PresetMoney(kPort, 1, 1, 0, 999.99);
  EXPECT_EQ(Status(), 1);
  EXPECT_DOUBLE_EQ(D().PresetVolumes[kPort][1], 19.99);
  EXPECT_EQ(Sim.State(1).Dose, 20);

  D().StartPump(kPort, 1, 1);
  Sim.AdvanceTime(30);
  EXPECT_EQ(D().PollNozzle(kPort, 1, 1).State, 216);

  double volume = -1, money = -1;
  D().GetDeliveryResult(kPort, 1, volume, money);
  EXPECT_EQ(volume, 20.0);
  EXPECT_DOUBLE_EQ(money, 1000.0);
}

TEST_P(Delivery, StopSuspendsAndResetEndsTheDelivery) {
  D().SetPrice(kPort, 1, 1, 0, 0, 10.0);
  D().PresetVolume(kPort, 1, 1, 0, 10.0);
  D().StartPump(kPort, 1, 1);
  Sim.AdvanceTime(3);

  EXPECT_FALSE(D().StopNozzle(kPort, 1, 1));
  EXPECT_EQ(Status(), 1);
  EXPECT_EQ(Sim.State(1).State, DeliveryState::Suspended);
  EXPECT_EQ(D().PollNozzle(kPort, 1, 1).State, 216 + 1);
  Sim.AdvanceTime(5);
  EXPECT_EQ(Sim.State(1).Volume, 3.0);

  D().StartPump(kPort, 1, 1);  // resumes
  Sim.AdvanceTime(2);
  EXPECT_EQ(D().StopPumpAndReset(kPort, 1, 1, 1), 0);
  EXPECT_EQ(Sim.State(1).State, DeliveryState::Idle);
  EXPECT_EQ(Sim.State(1).Dose, 0);
  EXPECT_EQ(D().PollNozzle(kPort, 1, 1).State, 192);

  double volume = -1, money = -1;
  D().GetDeliveryResult(kPort, 1, volume, money);
  EXPECT_EQ(volume, 5.0);
  EXPECT_DOUBLE_EQ(money, 50.0);
}

TEST_P(Delivery, SecondSideIsPolledAndClosedOnItsOwnAddress) {
  // Side 2 of nozzle 1 answers at network address 2.
  D().SetPrice(kPort, 1, 2, 0, 0, 2.0);
  D().PresetVolume(kPort, 1, 2, 0, 8.0);
  D().StartPump(kPort, 1, 2);
  EXPECT_EQ(Sim.State(2).State, DeliveryState::Delivering);
  EXPECT_EQ(Sim.State(1).State, DeliveryState::Idle);

  Sim.AdvanceTime(4);
  double money = 0;
  EXPECT_EQ(D().GetCurrentDelivery(kPort, 1, money), 4.0);
  EXPECT_DOUBLE_EQ(money, 8.0);
  TNozzlePoll poll = D().PollNozzle(kPort, 1, 2);
  EXPECT_EQ(poll.Codes[0], 192);
  EXPECT_EQ(poll.Codes[1], 208 + 2);
  EXPECT_EQ(poll.State, 208 + 2);
  EXPECT_EQ(poll.StateSide, 2);

  Sim.AdvanceTime(4);
  poll = D().PollNozzle(kPort, 1, 2);
  EXPECT_EQ(poll.State, 216);
  EXPECT_EQ(poll.StateSide, 2);
  EXPECT_EQ(D().DeliveredVolumes[kPort][1], 8.0);
  EXPECT_EQ(Sim.State(2).State, DeliveryState::Idle);
  EXPECT_EQ(D().NozzleSides[kPort][1], 2);
}

TEST_P(Delivery, EventIsReportedThenAcknowledged) {
  Sim.RaiseEvent(1, 12);
  const TNozzlePoll first = D().PollNozzle(kPort, 1, 1);
  EXPECT_EQ(first.State, 192);
  EXPECT_EQ(first.EventLetter, 'R');
  EXPECT_EQ(D().EventAckPending[kPort][1], 1);

  const TNozzlePoll second = D().PollNozzle(kPort, 1, 1);
  EXPECT_EQ(second.EventLetter, 0);
  EXPECT_EQ(D().EventAckPending[kPort][1], 0);
  // The acknowledging request carried the extra '1'.
  const Bytes acknowledging = *Sim.History().back().Data;
  EXPECT_EQ(acknowledging, (Bytes{0x02, 0x21, '1', '1'}));
  EXPECT_TRUE(Sim.State(1).Events.empty());
}

TEST_P(Delivery, RefusalsAreSeenInPortStatus) {
  D().StartPump(kPort, 1, 1);  // no dose set
  EXPECT_EQ(Status(), 16);
  EXPECT_EQ(D().NozzleSides[kPort][1], 1);

  D().PresetVolume(kPort, 1, 1, 0, 25.0);
  D().StartPump(kPort, 1, 1);
  EXPECT_EQ(Status(), 1);
  D().PresetVolume(kPort, 1, 1, 0, 40.0);  // while fuel flows
  EXPECT_EQ(Status(), 18);
  EXPECT_EQ(D().PresetVolumes[kPort][1], 25.0);

  Sim.InjectFault(Fault::Refuse);
  D().StopPump(kPort, 1, 1, 1);
  EXPECT_EQ(Status(), 20);
  EXPECT_EQ(Sim.State(1).State, DeliveryState::Delivering);

  Sim.AdvanceTime(3);
  Sim.InjectFault(Fault::Refuse);
  double money = -1;
  EXPECT_EQ(D().GetCurrentDelivery(kPort, 1, money), 0.0);
  EXPECT_EQ(money, 0.0);
  EXPECT_EQ(Status(), 25);

  D().SetPar(kPort, 1, 10 + 27, 5);  // the calibration coefficient without its password
  EXPECT_EQ(Status(), 23);

  // Address 2 is taken.
  D().SetNetAddress(kPort, 1, static_cast<int32_t>(Sim.State(1).IdNumber), 2);
  EXPECT_EQ(Status(), 24);
  EXPECT_EQ(Sim.State(1).Address, 1);

  // The next accepted exchange clears the refusal.
  EXPECT_EQ(D().GetCurrentDelivery(kPort, 1, money), 3.0);
  EXPECT_EQ(Status(), 1);
}

TEST_P(Delivery, TotaliserWriteFollowsItsPassword) {
  double value = 2581.07;
  D().SetTotalCounter(kPort, 1, 1, value, 0, 0, 0);
  EXPECT_EQ(Status(), 1);
  EXPECT_EQ(Sim.State(1).Confirmation, qx25::sim::kConfirmDone);
  // Password, totaliser, read-back of the confirmation, in that order.
  const auto history = Sim.History();
  ASSERT_GE(history.size(), 3u);
  EXPECT_EQ(history[history.size() - 3].Data->at(2), 'O');
  EXPECT_EQ(history[history.size() - 2].Data,
            (Bytes{0x02, 0x21, '6', 0x01, '0', '0', '2', '5', '8', '1', '0', '7'}));
  EXPECT_EQ(history.back().Data->at(2), 'N');
}

INSTANTIATE_TEST_SUITE_P(Line, Delivery, testing::Values(LineMode::Paced, LineMode::Burst),
                         LineModeName);

}  // namespace
}  // namespace e2e
