// The status poll: per-side requests, decoding, merging, events, the closing
// of a finished delivery, and a whole delivery on a scripted line.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ScriptedDispatcher.h"
#include "driver/DriverPtr.h"
#include "driver/QX25.h"
#include "driver/HostContract.h"

namespace {

using namespace qx25;

Bytes Status(uint8_t State, uint8_t Sub = '0', uint8_t Flags = 0, uint8_t Tens = '0',
             uint8_t Units = '0') {
  return {State, Sub, Flags, Tens, Units, '0', '0', '0'};
}
Bytes Padded(const std::string& Text, size_t Count) {
  Bytes b(Text.begin(), Text.end());
  b.resize(Count, '0');
  return b;
}

// A host that derives from the driver, as the table allows, and overrides
// the slots the poll and the state query reach through it.
struct Host : TQX25 {
  explicit Host(PortDispatcher* d) : TQX25() {
    Dispatcher = d;
    AddressStride = 1;
  }
  void QX25_CALL GetDeliveryResult(int32_t Port, int32_t Nozzle, double& Volume,
                                   double& Money) override {
    sideDuringResult = NozzleSides[Port][Nozzle];
    if (failResult) throw ESerialIO("result lost");
    TQX25::GetDeliveryResult(Port, Nozzle, Volume, Money);
  }
  TNozzlePoll QX25_CALL PollNozzle(int32_t Port, int32_t Nozzle, int32_t SideCount) override {
    if (!fakePoll) return TQX25::PollNozzle(Port, Nozzle, SideCount);
    pollArgs = {Port, Nozzle, SideCount};
    TNozzlePoll p{};
    p.State = 0xD3;
    return p;
  }
  bool failResult = false, fakePoll = false;
  int sideDuringResult = -1;
  std::vector<int32_t> pollArgs;
};

class PollTest : public ::testing::Test {
 protected:
  ScriptedDispatcher line;
  DriverPtr driver{GetQX25(0, 0, &line)};
};

TEST_F(PollTest, NoSidesSendsNothingAndReportsZero) {
  const TNozzlePoll p = driver->PollNozzle(3, 1, 0);
  const TNozzlePoll zero{};
  EXPECT_EQ(std::memcmp(&p, &zero, sizeof p), 0);
  EXPECT_EQ(driver->GetNozzleState(3, 1), 0);
  EXPECT_TRUE(line.Calls.empty());
}

TEST_F(PollTest, MergesTheSidesIntoOneSummary) {
  struct Case {
    Bytes side1, side2;
    uint16_t code1, code2;
    uint8_t state, stateSide;
  };
  const Case cases[] = {
      {Status('0'), Status('1'), 192, 226, 226, 2},
      {Status('1'), Status('2'), 225, 200, 200, 2},
      {Status('3'), Status('1'), 217, 226, 217, 1},
      {Status('0'), Status('0'), 192, 192, 192, 1},
      {Status('5', 0x03), Status('0'), 200, 192, 200, 1},
      {Status('1'), Status('3'), 225, 218, 218, 2},
      {Status('9'), Status('1'), '9', 226, '9', 1},  // a raw byte holds its place
  };
  for (const Case& c : cases) {
    line.Frames.clear();
    line.ReplyLengths.clear();
    line.AnswerData(c.side1);
    line.AnswerData(c.side2);
    const TNozzlePoll p = driver->PollNozzle(3, 1, 2);
    EXPECT_EQ(p.Codes[0], c.code1);
    EXPECT_EQ(p.Codes[1], c.code2);
    EXPECT_EQ(p.Codes[2], 0);
    EXPECT_EQ(p.State, c.state);
    EXPECT_EQ(p.StateSide, c.stateSide);
    EXPECT_EQ(p.EventLetter, 0);
    EXPECT_EQ(line.Request(0), (Bytes{0x02, 0x21, '1'}));
    EXPECT_EQ(line.Request(1), (Bytes{0x02, 0x22, '1'}));
    EXPECT_EQ(line.ReplyLengths, (std::vector<uint8_t>{20, 20}));
  }
}

TEST_F(PollTest, EventIsReportedThenAcknowledgedByTheNextRequest) {
  line.AnswerData(Status('0', '0', 0x08, '1', '2'));
  EXPECT_EQ(driver->PollNozzle(3, 1, 1).EventLetter, 'R');
  EXPECT_EQ(driver->EventAckPending[3][1], 1);

  line.AnswerData(Status('0'));
  const TNozzlePoll p = driver->PollNozzle(3, 1, 1);
  EXPECT_EQ(line.Request(1), (Bytes{0x02, 0x21, '1', '1'}));
  EXPECT_EQ(p.EventLetter, 0);
  EXPECT_EQ(p.State, 192);
  EXPECT_EQ(driver->EventAckPending[3][1], 0);

  line.AnswerData(Status('0', '0', 0x07, '1', '2'));  // flag bit clear: no event
  EXPECT_EQ(driver->PollNozzle(3, 1, 1).EventLetter, 0);
  EXPECT_EQ(line.Request(2).size(), 3u);

  const std::pair<Bytes, uint8_t> letters[] = {{{'0', '1'}, 'Q'},
                                               {{'1', '6'}, 'S'},
                                               {{'1', '7'}, 'T'},
                                               {{'0', '5'}, '_'},
                                               {{'9', '9'}, '_'}};
  for (const auto& [digits, letter] : letters) {
    driver->EventAckPending[3][1] = 0;
    line.AnswerData(Status('0', '0', 0xFF, digits[0], digits[1]));
    EXPECT_EQ(driver->PollNozzle(3, 1, 1).EventLetter, letter);
  }
}

TEST_F(PollTest, FlowingSideInsideThePresetWindowIsDelivering) {
  driver->PresetVolumes[3][1] = 25;
  driver->DeliveredVolumes[3][1] = 10;
  line.AnswerData(Status('1'));
  line.AnswerData(Status('5', 0x03));
  line.AnswerData(Status('4'));
  const TNozzlePoll p = driver->PollNozzle(3, 1, 3);
  EXPECT_EQ(p.Codes[0], 225);
  EXPECT_EQ(p.Codes[1], 200);
  EXPECT_EQ(p.Codes[2], 211);
  EXPECT_EQ(p.State, 211);
  EXPECT_EQ(p.StateSide, 3);
  EXPECT_EQ(line.Letters(), "111");
}

TEST_F(PollTest, SideThatCannotBeReadIsMarkedAndNotMerged) {
  driver->EventAckPending[3][1] = 1;
  line.Ack();
  line.AnswerData(Status('1'));
  TNozzlePoll p = driver->PollNozzle(3, 1, 2);
  EXPECT_EQ(p.Codes[0], kCodeNoState);
  EXPECT_EQ(p.Codes[1], 226);
  EXPECT_EQ(p.State, 226);
  EXPECT_EQ(p.StateSide, 2);
  // The bare ACK confirmed nothing: the second request still acknowledges,
  // and the port status says that a side went unread.
  EXPECT_EQ(line.Request(1), (Bytes{0x02, 0x22, '1', '1'}));
  EXPECT_EQ(driver->GetPortStatus(3), kAnsweredWithoutData);

  // A line status other than 1 stops the poll at that side.
  uint8_t frame[32];
  const Bytes data = Status('1');
  line.AnswerWithStatus(Bytes(frame, frame + EncodeReply(data.data(), 8, frame)), 4);
  driver->EventAckPending[3][1] = 1;
  p = driver->PollNozzle(3, 1, 4);
  EXPECT_EQ(p.Codes[0], kCodeNoState);
  EXPECT_EQ(p.Codes[1], 0);
  EXPECT_EQ(p.State, 0);
  EXPECT_EQ(p.StateSide, 0);
  EXPECT_EQ(line.Frames.size(), 3u);
  EXPECT_EQ(driver->GetPortStatus(3), 4);
  EXPECT_EQ(driver->EventAckPending[3][1], 1);
}

TEST_F(PollTest, ArgumentsAreBytesAndChecked) {
  line.AnswerData(Status('2'));
  EXPECT_EQ(driver->PollNozzle(0x103, 0x101, 0x101).State, 200);  // port 3, nozzle 1, one side
  EXPECT_EQ(line.Calls.at(1), "Transact 3");
  EXPECT_EQ(line.LastRequest(), (Bytes{0x02, 0x21, '1'}));
  line.Calls.clear();

  try {
    driver->PollNozzle(3, 0x121, 1);  // low byte 33
    ADD_FAILURE() << "nozzle 33 accepted";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), kMsgNozzleRange);
  }
  EXPECT_THROW(driver->GetNozzleState(3, 0x100), std::out_of_range);  // low byte 0
  EXPECT_THROW(driver->PollNozzle(0, 1, 1), std::out_of_range);
  EXPECT_THROW(driver->PollNozzle(31, 1, 1), std::out_of_range);
  EXPECT_THROW(driver->PollNozzle(3, 1, 5), std::out_of_range);
  EXPECT_TRUE(line.Calls.empty());

  line.Fail();
  try {
    driver->PollNozzle(3, 1, 1);
    ADD_FAILURE() << "no exception";
  } catch (const ESerialIO& e) {
    EXPECT_STREQ(e.what(), kMsgStatus);
  }
}

TEST_F(PollTest, StateQueryGoesThroughThePollSlot) {
  Host host(&line);
  host.fakePoll = true;
  EXPECT_EQ(host.GetNozzleState(0x103, 0x101), 0xD3);
  EXPECT_EQ(host.pollArgs, (std::vector<int32_t>{3, 1, 0}));
  EXPECT_TRUE(line.Calls.empty());
}

TEST_F(PollTest, ResultLostWhileClosingSendsNoResetAndKeepsTheClosingSide) {
  Host host(&line);
  host.failResult = true;
  host.NozzleSides[3][1] = 2;
  line.AnswerData(Status('6'));
  EXPECT_THROW(host.PollNozzle(3, 1, 2), ESerialIO);
  EXPECT_EQ(host.sideDuringResult, 1);
  EXPECT_EQ(host.NozzleSides[3][1], 1);  // a retried result query asks the side that ended
  EXPECT_EQ(line.Letters(), "1");
}

// The closing poll reads the result on the side that finished and resets it.
TEST_F(PollTest, FinishedSideIsClosedByThePoll) {
  Host host(&line);
  host.NozzleSides[3][1] = 1;
  host.SetPrice(3, 1, 2, 0, 0, 2);
  host.PresetVolumes[3][1] = 25;
  host.DeliveredVolumes[3][1] = 24.5;  // within a litre of the preset
  line.AnswerData(Status('0'));
  line.AnswerData(Status('6'));
  line.AnswerData(Padded("00025", 21));
  line.Ack();
  const TNozzlePoll p = host.PollNozzle(3, 1, 2);
  EXPECT_EQ(line.Letters(), "1158");
  EXPECT_EQ(line.Request(2), (Bytes{0x02, 0x22, '5'}));
  EXPECT_EQ(line.Request(3), (Bytes{0x02, 0x22, '8'}));
  EXPECT_EQ(host.sideDuringResult, 2);
  EXPECT_EQ(host.NozzleSides[3][1], 1);
  EXPECT_EQ(host.DeliveredVolumes[3][1], 25);
  EXPECT_EQ(p.Codes[1], 216);
  EXPECT_EQ(p.State, 216);
  EXPECT_EQ(p.StateSide, 2);
}

// Nozzle 1 on port 3, preset 25 litres, in the order a host runs a delivery.
TEST_F(PollTest, WholeDeliveryOnAScriptedLine) {
  driver->SetPrice(3, 1, 1, 0, 0, 45.3);
  line.Ack();
  driver->PresetVolume(3, 1, 1, 0, 25.0);
  EXPECT_EQ(line.LastRequest(), (Bytes{0x02, 0x21, 'T', '0', '0', '0', '2', '5'}));
  EXPECT_EQ(driver->PresetVolumes[3][1], 25);
  line.Ack();
  driver->StartPump(3, 1, 1);
  EXPECT_EQ(driver->NozzleSides[3][1], 1);

  line.AnswerData(Status('2'));
  EXPECT_EQ(driver->PollNozzle(3, 1, 1).State, 200);

  double money = 0;
  line.AnswerData(Padded("000010", 11));
  EXPECT_EQ(driver->GetCurrentDelivery(3, 1, money), 10);
  EXPECT_DOUBLE_EQ(money, 453);
  line.AnswerData(Status('4'));
  TNozzlePoll p = driver->PollNozzle(3, 1, 1);
  EXPECT_EQ(p.State, 209);
  EXPECT_EQ(p.StateSide, 1);

  line.AnswerData(Padded("000024", 11));
  EXPECT_EQ(driver->GetCurrentDelivery(3, 1, money), 24);
  EXPECT_DOUBLE_EQ(money, 1087.2);

  line.AnswerData(Status('6'));
  line.AnswerData(Padded("00025", 21));
  line.Ack();
  p = driver->PollNozzle(3, 1, 1);
  EXPECT_EQ(p.State, 216);
  EXPECT_EQ(driver->DeliveredVolumes[3][1], 25);

  double volume = 0;
  line.AnswerData(Padded("00025", 21));
  driver->GetDeliveryResult(3, 1, volume, money);
  EXPECT_EQ(volume, 25);
  EXPECT_DOUBLE_EQ(money, 1132.5);
  EXPECT_EQ(line.Letters(), "T214141585");
  EXPECT_EQ(driver->GetPortStatus(3), 1);
}

}  // namespace
