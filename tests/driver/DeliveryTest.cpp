// Current and final volumes with their money, the totalizer, prices and the
// property table, byte-exact against a scripted line.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>
#include <functional>
#include <string>

#include "ScriptedDispatcher.h"
#include "driver/DriverPtr.h"
#include "driver/QX25.h"
#include "driver/HostContract.h"

namespace {

using namespace qx25;

// Data of a reply: the given characters, padded with '0' to Count bytes.
Bytes Data(const std::string& Text, size_t Count) {
  Bytes b(Text.begin(), Text.end());
  b.resize(Count, '0');
  return b;
}
Bytes Current(const std::string& Digits) { return Data("0" + Digits, 11); }
Bytes Result(const std::string& Digits) { return Data(Digits, 21); }

class DeliveryTest : public ::testing::Test {
 protected:
  ScriptedDispatcher line;
  DriverPtr driver{GetQX25(0, 0, &line)};
};

TEST_F(DeliveryTest, CurrentDeliveryReadsVolumeAndRoundsMoneyUp) {
  driver->SetPrice(3, 1, 2, 0, 0, 12.345);
  driver->NozzleSides[3][1] = 2;
  line.AnswerData(Current("00001"));
  double money = -1;
  EXPECT_EQ(driver->GetCurrentDelivery(3, 1, money), 1);
  EXPECT_DOUBLE_EQ(money, 12.35);
  EXPECT_EQ(line.LastRequest(), (Bytes{0x02, 0x22, '4'}));  // the remembered side
  EXPECT_EQ(line.ReplyLengths.back(), 26);
  EXPECT_EQ(line.ReplyModes.back(), 2);

  driver->SetPrice(3, 1, 2, 0, 0, 2.0);
  line.AnswerData(Current("02581"));
  EXPECT_EQ(driver->GetCurrentDelivery(3, 1, money), 2581);
  EXPECT_EQ(driver->DeliveredVolumes[3][1], 2581);
  EXPECT_DOUBLE_EQ(money, 5162);
}

TEST_F(DeliveryTest, NozzleNeverStartedHasNoPrice) {
  for (int side = 1; side <= 4; ++side) driver->SetPrice(3, 1, side, 0, 0, 50);
  line.AnswerData(Current("00010"));
  double money = -1;
  EXPECT_EQ(driver->GetCurrentDelivery(3, 1, money), 10);
  EXPECT_EQ(money, 0);
  EXPECT_EQ(line.LastRequest(), (Bytes{0x02, 0x21, '4'}));  // side 0 addresses as side 1
}

TEST_F(DeliveryTest, RepliesWithoutVolumeReportZeroAndKeepTheLastVolume) {
  driver->SetPrice(3, 1, 1, 0, 0, 10);
  driver->NozzleSides[3][1] = 1;
  driver->DeliveredVolumes[3][1] = 77;
  struct Case {
    ScriptedReply reply;
    uint8_t current;  // PortStatus after the current-delivery query
    uint8_t other;    // after the result and the totalizer queries
  };
  uint8_t frame[64];
  const Bytes twoBytes{'0', '0'};
  const Bytes shortFrame(frame, frame + EncodeReply(twoBytes.data(), 2, frame));
  // A lone ACK, NAK or CAN is told apart from a real 0 by the port status;
  // the last case is a reply accepted while the line reports status 5.
  for (const Case& c : {Case{{{kCan}}, kRefusedCurrent, kAnsweredWithoutData},
                        Case{{{kAck}}, kAnsweredWithoutData, kAnsweredWithoutData},
                        Case{{{kNak}}, kAnsweredWithoutData, kAnsweredWithoutData},
                        Case{{{kAck}, false, 5}, 5, 5}}) {
    line.Script.push_back(c.reply);
    double money = -1;
    EXPECT_EQ(driver->GetCurrentDelivery(3, 1, money), 0);
    EXPECT_EQ(money, 0);
    EXPECT_EQ(driver->GetPortStatus(3), c.current);

    line.Script.push_back(c.reply);
    double volume = -1;
    money = -1;
    driver->GetDeliveryResult(3, 1, volume, money);
    EXPECT_EQ(volume, 0);
    EXPECT_EQ(money, 0);
    EXPECT_EQ(driver->GetPortStatus(3), c.other);

    line.Script.push_back(c.reply);
    double total = -1;
    uint64_t second = ~0ULL;
    driver->GetTotalCounter(3, 1, 1, total, second, 0, 0);
    EXPECT_EQ(total, 0);
    EXPECT_EQ(second, 0u);
    EXPECT_EQ(driver->GetPortStatus(3), c.other);
    EXPECT_EQ(driver->DeliveredVolumes[3][1], 77);
  }

  // A frame shorter than the query's reply is no reply at all: the line
  // damaged it (a lost byte can leave a shorter frame that checks).
  line.Answer(shortFrame);
  double money = -1;
  EXPECT_THROW(driver->GetCurrentDelivery(3, 1, money), ESerialIO);
  EXPECT_EQ(money, -1);
  EXPECT_EQ(driver->DeliveredVolumes[3][1], 77);
}

TEST_F(DeliveryTest, DeliveryResultStoresTheFinalVolume) {
  driver->SetPrice(3, 1, 2, 0, 0, 1.5);
  driver->NozzleSides[3][1] = 2;
  line.AnswerData(Result("00025"));
  double volume = 0, money = 0;
  driver->GetDeliveryResult(3, 1, volume, money);
  EXPECT_EQ(volume, 25);
  EXPECT_DOUBLE_EQ(money, 37.5);
  EXPECT_EQ(driver->DeliveredVolumes[3][1], 25);
  EXPECT_EQ(line.LastRequest(), (Bytes{0x02, 0x22, '5'}));
  EXPECT_EQ(line.ReplyLengths.back(), 46);
}

TEST_F(DeliveryTest, TotalCounterIsAddressedWithItsSide) {
  line.AnswerData(Data("01234567", 16));
  double total = 0;
  uint64_t second = ~0ULL;
  driver->GetTotalCounter(3, 3, 2, total, second, 0, 0);
  EXPECT_EQ(total, 1234567);
  EXPECT_EQ(second, 0u);
  EXPECT_EQ(line.LastRequest(), (Bytes{0x02, 0x24, '6'}));  // address 3 + (2 - 1)
  EXPECT_EQ(line.ReplyLengths.back(), 36);
}

TEST_F(DeliveryTest, FailedExchangeThrowsAndLeavesTheOutputs) {
  double a = 7, b = 7;
  uint64_t second = 7;
  const auto expectDeliveryError = [](auto&& call) {
    try {
      call();
      ADD_FAILURE() << "no exception";
    } catch (const ESerialIO& e) {
      EXPECT_STREQ(e.what(), kMsgDelivery);
    }
  };
  line.Fail();
  expectDeliveryError([&] { driver->GetCurrentDelivery(3, 1, a); });
  line.Fail();
  expectDeliveryError([&] { driver->GetDeliveryResult(3, 1, a, b); });
  line.Fail();
  expectDeliveryError([&] { driver->GetTotalCounter(3, 1, 1, a, second, 0, 0); });
  EXPECT_EQ(a, 7);
  EXPECT_EQ(b, 7);
  EXPECT_EQ(second, 7u);
}

TEST_F(DeliveryTest, ArgumentsOutsideTheTablesSendNothing) {
  // Each query with (port, nozzle, side); the side is used by the counters only.
  double v = 1, m = 0;
  uint64_t second = 0;
  const std::function<void(int, int, int)> calls[] = {
      [&](int p, int n, int) { driver->GetCurrentDelivery(p, n, m); },
      [&](int p, int n, int) { driver->GetDeliveryResult(p, n, v, m); },
      [&](int p, int n, int s) { driver->GetTotalCounter(p, n, s, v, second, 0, 0); },
      [&](int p, int n, int s) { driver->SetTotalCounter(p, n, s, v = 1, 0, 0, 0); },
  };
  for (size_t i = 0; i < std::size(calls); ++i) {
    try {
      calls[i](3, 33, 1);
      ADD_FAILURE() << "nozzle 33 accepted by query " << i;
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), kMsgNozzleRange);
    }
    for (auto [port, nozzle, side] :
         {std::array{3, 0, 1}, {0, 1, 1}, {31, 1, 1}, {3, 1, 5}, {3, 1, -1}}) {
      if (side != 1 && i < 2) continue;  // the first queries take no side
      EXPECT_THROW(calls[i](port, nozzle, side), std::out_of_range) << i;
    }
  }
  EXPECT_TRUE(line.Calls.empty());
}

TEST_F(DeliveryTest, CounterValuesThatDoNotFitEightDigitsAreRefusedFirst) {
  for (double v : {-0.01, 1000000.0, 999999.996, std::nan(""), HUGE_VAL, -HUGE_VAL}) {
    EXPECT_THROW(driver->SetTotalCounter(3, 1, 1, v, 0, 0, 0), std::out_of_range) << v;
  }
  EXPECT_TRUE(line.Calls.empty());
}

// Writes the counter password, the counter and reads the confirmation back.
TEST_F(DeliveryTest, SetTotalCounterWritesHundredthsUnderThePassword) {
  line.Ack();
  line.Ack();
  line.AnswerData(Data("00000", 5));  // code 26: a four-digit confirmation
  double value = 2581.07;
  driver->SetTotalCounter(3, 1, 2, value, 0, 0, 0);
  ASSERT_EQ(line.Frames.size(), 3u);
  EXPECT_EQ(line.Request(0), (Bytes{0x02, 0x21, 'O', 'J', '5', '2', '9', '0'}));  // side 1
  EXPECT_EQ(line.Request(1),
            (Bytes{0x02, 0x22, '6', 0x01, '0', '0', '2', '5', '8', '1', '0', '7'}));
  EXPECT_EQ(line.ReplyLengths.at(1), 1);
  EXPECT_EQ(line.ReplyModes.at(1), 0);
  EXPECT_EQ(line.Request(2), (Bytes{0x02, 0x21, 'N', 'J'}));
  EXPECT_EQ(value, 2581.07);

  line.Ack();
  line.Ack();
  line.AnswerData(Data("00000", 5));
  value = 999999.99;
  driver->SetTotalCounter(3, 1, 1, value, 0, 0, 0);
  EXPECT_EQ(line.Request(4),
            (Bytes{0x02, 0x21, '6', 0x01, '9', '9', '9', '9', '9', '9', '9', '9'}));
}

TEST_F(DeliveryTest, SetTotalCounterReadsBackThroughTheTable) {
  struct Host : TQX25 {
    explicit Host(PortDispatcher* d) : TQX25() {
      Dispatcher = d;
      AddressStride = 1;
    }
    int32_t QX25_CALL GetParam(int32_t Port, int32_t Nozzle, int32_t ParamNo) override {
      read = {Port, Nozzle, ParamNo};
      return 0;
    }
    std::vector<int32_t> read;
  } host(&line);
  line.Ack();
  line.Ack();
  double value = 1;
  host.SetTotalCounter(3, 1, 1, value, 0, 0, 0);
  EXPECT_EQ(line.Letters(), "O6");
  EXPECT_EQ(host.read, (std::vector<int32_t>{3, 1, 36}));
}

TEST_F(DeliveryTest, SetPriceStoresOnlyInsideTheTable) {
  driver->SetPrice(0x103, 32, 4, 9, 9, 45.3);
  EXPECT_EQ(driver->Prices[3][32][4], 45.3);
  // Stored, not sent: a nozzle outside the table is a range error, not the
  // nozzle-number message.
  const int bad[][3] = {{3, 33, 1}, {3, 0, 1}, {3, 1, 0}, {3, 1, 5}, {0, 1, 1}};
  for (const auto& [port, nozzle, side] : bad)
    EXPECT_THROW(driver->SetPrice(port, nozzle, side, 0, 0, 1), std::out_of_range);
  EXPECT_TRUE(line.Calls.empty());
}

TEST_F(DeliveryTest, PropertyTableAndReservedSlots) {
  const std::pair<int32_t, int32_t> table[] = {{1, 1}, {2, 0}, {3, 0},   {4, 1},
                                               {5, 1}, {6, 0}, {7, 400}, {9, 999999}};
  for (auto [kind, expected] : table) {
    int32_t value = -5;
    EXPECT_TRUE(driver->GetDriverProperty(kind, value)) << kind;
    EXPECT_EQ(value, expected) << kind;
  }
  for (int32_t kind : {0, 8, 10, -1, INT_MIN, INT_MAX}) {
    int32_t value = -5;
    EXPECT_FALSE(driver->GetDriverProperty(kind, value)) << kind;
    EXPECT_EQ(value, -5);
  }
  EXPECT_EQ(driver->SpareQuery(123), 0);
  driver->SpareCommand(1, 2, 3);
  EXPECT_TRUE(line.Calls.empty());
}

}  // namespace
