// A bad line as the host meets it: the simulator damages a reply on demand
// and the driver, through the real dispatcher, must end each command the way
// the protocol says. Noise before a reply is dropped and the reply accepted;
// a damaged reply is never accepted and raises ESerialIO with the command's
// own message; a silent controller times out the same way. Afterwards the
// line works again.
#include "Rig.h"
#include "params/ParameterUnit.h"

namespace e2e {
namespace {

// One host command and the message it raises when its exchange fails. Each
// sends exactly one request and may be repeated.
struct Command {
  const char* Name;
  std::function<void(TQX25&)> Call;
  const char* Message;
};

std::vector<Command> SingleExchangeCommands() {
  return {
      {"status poll", [](TQX25& d) { d.PollNozzle(kPort, 1, 1); }, qx25::kMsgStatus},
      {"current delivery",
       [](TQX25& d) {
         double money;
         d.GetCurrentDelivery(kPort, 1, money);
       },
       qx25::kMsgDelivery},
      {"delivery result",
       [](TQX25& d) {
         double volume, money;
         d.GetDeliveryResult(kPort, 1, volume, money);
       },
       qx25::kMsgDelivery},
      {"totaliser",
       [](TQX25& d) {
         double total;
         uint64_t second;
         d.GetTotalCounter(kPort, 1, 1, total, second, 0, 0);
       },
       qx25::kMsgDelivery},
      {"preset", [](TQX25& d) { d.PresetVolume(kPort, 1, 1, 0, 10.0); }, qx25::kMsgPreset},
      {"start", [](TQX25& d) { d.StartPump(kPort, 1, 1); }, qx25::kMsgStart},
      {"stop", [](TQX25& d) { d.StopPump(kPort, 1, 1, 1); }, qx25::kMsgStop},
      {"parameter read (host)", [](TQX25& d) { d.GetParam(kPort, 1, 15); }, qx25::kMsgParam},
      {"parameter read (window)", [](TQX25& d) { d.ReadParam(lmParameter, kPort, 1, 9, 4); },
       qx25::kMsgReadLink},
      {"address programming",
       [](TQX25& d) { d.SetNetAddress(kPort, 1, 7654321, 1); },  // address 1 stays 1
       qx25::kMsgNetAddressLink},
  };
}

class Faults : public Rig {};

TEST_P(Faults, NoiseBeforeTheReplyIsDropped) {
  Sim.SetParam(1, 9, 750);
  Sim.InjectFault(Fault::Noise);
  EXPECT_EQ(D().ReadParam(lmParameter, kPort, 1, 9, 4), 750);
  EXPECT_EQ(LastFault(), Fault::Noise);
  EXPECT_EQ(Status(), 1);

  Sim.InjectFault(Fault::Noise);
  D().PresetVolume(kPort, 1, 1, 0, 12.0);  // answered ACK
  EXPECT_EQ(LastFault(), Fault::Noise);
  EXPECT_EQ(Status(), 1);
  EXPECT_EQ(D().PresetVolumes[kPort][1], 12.0);

  Sim.InjectFault(Fault::Noise);
  D().StartPump(kPort, 1, 1);
  Sim.AdvanceTime(4);
  double money;
  EXPECT_EQ(D().GetCurrentDelivery(kPort, 1, money), 4.0);
  Sim.InjectFault(Fault::Noise);
  EXPECT_EQ(D().PollNozzle(kPort, 1, 1).State, 208 + 1);
  EXPECT_EQ(LastFault(), Fault::Noise);
  EXPECT_EQ(Status(), 1);
}

TEST_P(Faults, DamagedReplyIsNeverAcceptedAndRaisesTheCommandsMessage) {
  for (const Fault fault : {Fault::FlipBit, Fault::DropByte, Fault::CutShort}) {
    for (const Command& command : SingleExchangeCommands()) {
      SCOPED_TRACE(std::string(command.Name) + ", " + qx25::sim::FaultName(fault));
      Sim.InjectFault(fault);
      EXPECT_EQ(SerialIOMessage([&] { command.Call(D()); }), command.Message);
      EXPECT_EQ(LastFault(), fault);
      EXPECT_NE(Status(), 1);
      EXPECT_NE(Lines.LastReplyResult(kPort), 0);
      D().PollNozzle(kPort, 1, 1);
      EXPECT_EQ(Status(), 1);
    }
  }
}

TEST_P(Faults, SilentControllerTimesOut) {
  for (const Command& command : SingleExchangeCommands()) {
    SCOPED_TRACE(command.Name);
    Sim.InjectFault(Fault::Silence);
    EXPECT_EQ(SerialIOMessage([&] { command.Call(D()); }), command.Message);
    EXPECT_EQ(LastFault(), Fault::Silence);
    EXPECT_EQ(Status(), qx25::serial::kLineTimeout);
    EXPECT_EQ(Lines.GetErrorCode(kPort), qx25::serial::kSerialTimeout);
    D().PollNozzle(kPort, 1, 1);
    EXPECT_EQ(Status(), 1);
  }
}

INSTANTIATE_TEST_SUITE_P(Line, Faults, testing::Values(LineMode::Paced, LineMode::Burst),
                         LineModeName);

}  // namespace
}  // namespace e2e
