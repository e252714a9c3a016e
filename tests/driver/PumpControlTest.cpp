// Pump control commands on a scripted line: the exact requests, the order of
// the combined commands, refusal codes and the arguments refused before sending.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "ScriptedDispatcher.h"
#include "driver/Driver.h"
#include "driver/DriverPtr.h"

using namespace qx25;

namespace {

class PumpControl : public ::testing::Test {
 protected:
  ScriptedDispatcher line;
  DriverPtr driver{GetQX25(0, 0, &line)};

  // Runs Command and expects the given exception with exactly Message (when
  // given), and nothing on the line.
  template <typename E>
  void ExpectRefusedBeforeSending(const std::function<void()>& Command,
                                  const char* Message = nullptr) {
    try {
      Command();
      ADD_FAILURE() << "no exception";
    } catch (const E& e) {
      if (Message) {
        EXPECT_STREQ(e.what(), Message);
      }
    }
    EXPECT_TRUE(line.Frames.empty());
  }
};

TEST_F(PumpControl, SendsEachRequestByteExactly) {
  struct Case {
    const char* name;
    std::function<void(TQX25*)> call;
    Bytes request;
  };
  const Case cases[] = {
      {"start", [](TQX25* d) { d->StartPump(3, 1, 1); }, {0x02, 0x21, '2'}},
      {"start, nozzle 16 side 1", [](TQX25* d) { d->StartPump(3, 16, 1); }, {0x07, 0x21, '2'}},
      {"preset 25",
       [](TQX25* d) { d->PresetVolume(3, 1, 1, 0, 25.0); },
       {0x02, 0x21, 'T', '0', '0', '0', '2', '5'}},
      {"stop", [](TQX25* d) { d->StopPump(3, 1, 2, 1); }, {0x02, 0x22, '3'}},
      {"reset", [](TQX25* d) { EXPECT_EQ(d->ResetNozzle(3, 31, 1), 0); }, {0x08, 0x21, '8'}},
      {"start, no reset", [](TQX25* d) { d->StartPumpWithReset(3, 2, 1, 1); }, {0x02, 0x22, '2'}},
  };
  for (const Case& c : cases) {
    ScriptedDispatcher fresh;
    DriverPtr d(GetQX25(0, 0, &fresh));
    fresh.Ack();
    c.call(d.get());
    ASSERT_EQ(fresh.Frames.size(), 1u) << c.name;
    EXPECT_EQ(fresh.Request(0), c.request) << c.name;
    EXPECT_EQ(fresh.ReplyLengths[0], 2) << c.name;
    EXPECT_EQ(fresh.ReplyModes[0], 0) << c.name;
    EXPECT_EQ(d->GetPortStatus(3), 1) << c.name;
  }
}

TEST_F(PumpControl, NozzleRangeComesFirstAndSendsNothing) {
  driver->Prices[3][32][1] = 1.0;  // nozzle 32 exists; 33 is refused before its price is read
  for (int nozzle : {33, 40}) {
    const auto check = [&](std::function<void()> f) {
      ExpectRefusedBeforeSending<std::runtime_error>(f, kMsgNozzleRange);
    };
    check([&] { driver->StartPump(3, nozzle, 1); });
    check([&] { driver->StartPumpWithReset(3, nozzle, 1, 0); });
    check([&] { driver->PresetVolume(3, nozzle, 1, 0, 5); });
    check([&] { driver->PresetMoney(3, nozzle, 1, 0, 5); });  // price 0 would be the other error
    check([&] { driver->StopPump(0, nozzle, 1, 1); });        // before the port, too
    check([&] { driver->StopNozzle(3, nozzle, 1); });
  }
  // Unconfirmed stops do nothing, whatever the nozzle.
  driver->StopPump(3, 40, 1, 0x100);
  EXPECT_FALSE(driver->StopNozzle(3, 40, 0));
  EXPECT_TRUE(line.Frames.empty());

  line.Ack();
  driver->StartPump(3, 32, 1);
  EXPECT_EQ(line.Frames.size(), 1u);
}

TEST_F(PumpControl, ArgumentsOutsideTheTablesSendNothing) {
  using Range = std::out_of_range;
  ExpectRefusedBeforeSending<Range>([&] { driver->StartPump(0, 1, 1); });
  ExpectRefusedBeforeSending<Range>([&] { driver->StartPump(31, 1, 1); });
  ExpectRefusedBeforeSending<Range>([&] { driver->StartPump(3, 0, 1); });
  ExpectRefusedBeforeSending<Range>([&] { driver->StartPump(3, 1, 5); });
  ExpectRefusedBeforeSending<Range>([&] { driver->StartPumpWithReset(3, 1, 5, 0); });
  ExpectRefusedBeforeSending<Range>([&] { driver->PresetVolume(3, -1, 1, 0, 5); });
  ExpectRefusedBeforeSending<Range>([&] { driver->PresetMoney(3, 1, 5, 0, 5); });
  ExpectRefusedBeforeSending<Range>([&] { driver->PresetMoney(3, 1, 0, 0, 5); });
  ExpectRefusedBeforeSending<Range>([&] { driver->StopNozzle(3, 0, 0); });
  ExpectRefusedBeforeSending<Range>([&] { driver->StopPump(0x120, 1, 1, 1); });  // low byte 0x20
  ExpectRefusedBeforeSending<Range>([&] { driver->ResetNozzle(0, 1, 1); });
}

TEST_F(PumpControl, PresetRoundsHalfToEvenIntoFiveDigits) {
  struct Case {
    double volume;
    const char* digits;
  };
  for (const Case c : {Case{0, "00000"}, Case{7.49, "00007"}, Case{2344.5, "02344"},
                       Case{2345.5, "02346"}, Case{12.5, "00012"}, Case{13.5, "00014"},
                       Case{99999.49, "99999"}, Case{0.5, "00000"}, Case{1.5, "00002"}}) {
    line.Ack();
    driver->PresetVolume(3, 1, 1, 0, c.volume);
    const Bytes r = line.LastRequest();
    EXPECT_EQ(std::string(r.begin() + 3, r.end()), c.digits) << c.volume;
    EXPECT_EQ(driver->PresetVolumes[3][1], c.volume);  // the host's figure, unrounded
  }
}

TEST_F(PumpControl, PresetsThatFiveDigitsCannotCarryAreRefused) {
  for (double v :
       {-0.01, -1e9, 99999.5, 1e12, std::nan(""), std::numeric_limits<double>::infinity()})
    ExpectRefusedBeforeSending<std::out_of_range>([&] { driver->PresetVolume(3, 1, 1, 0, v); });
}

TEST_F(PumpControl, PresetOutcomes) {
  line.Can();
  driver->PresetVolume(3, 1, 1, 0, 7.49);
  EXPECT_EQ(driver->GetPortStatus(3), kRefusedPreset);
  EXPECT_EQ(driver->PresetVolumes[3][1], 0);

  line.Nak();  // not a refusal: the preset counts as taken
  driver->PresetVolume(3, 1, 1, 0, 7.49);
  EXPECT_EQ(driver->GetPortStatus(3), 1);
  EXPECT_EQ(driver->PresetVolumes[3][1], 7.49);

  line.AnswerWithStatus({kCan}, 5);  // the line is in doubt: nothing stored, no refusal code
  driver->PresetVolume(3, 1, 1, 0, 9);
  EXPECT_EQ(driver->GetPortStatus(3), 5);
  EXPECT_EQ(driver->PresetVolumes[3][1], 7.49);

  line.Fail();
  try {
    driver->PresetVolume(3, 1, 1, 0, 9);
    ADD_FAILURE();
  } catch (const ESerialIO& e) {
    EXPECT_STREQ(e.what(), kMsgPreset);
  }
  EXPECT_EQ(driver->PresetVolumes[3][1], 7.49);
}

TEST_F(PumpControl, PresetByMoney) {
  struct Case {
    double money, price, volume;
    const char* digits;
  };
  for (const Case c : {Case{0.29, 1.00, 0.29, "00000"}, Case{999.99, 50, 19.99, "00020"},
                       Case{500, 45.30, 11.03, "00011"}}) {
    driver->Prices[3][1][2] = c.price;
    line.Ack();
    driver->PresetMoney(3, 1, 2, 0, c.money);
    const Bytes r = line.LastRequest();
    EXPECT_EQ(r[1], 0x22) << c.money;
    EXPECT_EQ(std::string(r.begin() + 3, r.end()), c.digits) << c.money;
    EXPECT_EQ(driver->PresetVolumes[3][1], c.volume) << c.money;
  }
  line.Can();
  driver->PresetMoney(3, 1, 2, 0, 10);
  EXPECT_EQ(driver->GetPortStatus(3), kRefusedPreset);
}

TEST_F(PumpControl, MoneyWithoutAUsablePriceOrBeyondThePresetIsRefused) {
  ExpectRefusedBeforeSending<std::invalid_argument>([&] { driver->PresetMoney(3, 1, 1, 0, 10); });
  driver->Prices[3][1][1] = -2;
  ExpectRefusedBeforeSending<std::invalid_argument>([&] { driver->PresetMoney(3, 1, 1, 0, 10); });
  driver->Prices[3][1][1] = 1e-300;  // a quotient far beyond any integer
  ExpectRefusedBeforeSending<std::out_of_range>([&] { driver->PresetMoney(3, 1, 1, 0, 10); });
  driver->Prices[3][1][1] = 1;
  for (double m : {-1.0, 99999.5, 1e300, std::nan("")})
    ExpectRefusedBeforeSending<std::out_of_range>([&] { driver->PresetMoney(3, 1, 1, 0, m); });
  line.Ack();
  driver->PresetMoney(3, 1, 1, 0, 99999.49);
  EXPECT_EQ(line.LastRequest().back(), '9');
}

TEST_F(PumpControl, StartOutcomes) {
  line.Can();
  driver->StartPump(3, 1, 2);
  EXPECT_EQ(driver->GetPortStatus(3), kRefusedStart);

  line.AnswerWithStatus({kCan}, 7);
  driver->StartPump(3, 1, 2);
  EXPECT_EQ(driver->GetPortStatus(3), 7);

  // A failed start still remembers the side, so that the stop reaches it.
  line.Fail();
  EXPECT_THROW(driver->StartPump(3, 2, 4), ESerialIO);
  EXPECT_EQ(driver->NozzleSides[3][2], 4);
  line.Ack();
  EXPECT_FALSE(driver->StopNozzle(3, 2, 1));
  EXPECT_EQ(line.LastRequest(), (Bytes{0x02, 0x25, '3'}));

  // Side 0 addresses like side 1 and is remembered as given.
  line.Ack();
  driver->StartPump(3, 5, 0);
  EXPECT_EQ(line.LastRequest(), (Bytes{0x02, 0x25, '2'}));
  EXPECT_EQ(driver->NozzleSides[3][5], 0);

  DriverPtr keep(GetQX25(0x80, 0, &line));
  line.Can();
  keep->StartPump(3, 1, 1);
  EXPECT_EQ(keep->GetPortStatus(3), 1);
}

TEST_F(PumpControl, StartWithResetOrder) {
  line.Ack();
  driver->StartPump(3, 1, 2);
  line.Ack();
  line.Ack();
  line.Ack();
  driver->StartPumpWithReset(3, 1, 3, 0x100);  // only the low byte counts: reset
  EXPECT_EQ(line.Letters(), "28U2");
  EXPECT_EQ(line.Request(1)[1], 0x22);  // the reset goes to the previous side
  EXPECT_EQ(line.Request(2)[1], 0x23);
  EXPECT_EQ(line.Request(3)[1], 0x23);
  EXPECT_EQ(driver->NozzleSides[3][1], 3);

  // A failed reset does not stop the start.
  line.Fail();
  line.Ack();
  line.Ack();
  driver->StartPumpWithReset(3, 1, 1, 0);
  EXPECT_EQ(line.Letters(), "28U28U2");
}

TEST_F(PumpControl, StartWithResetUnderRefusalsAndFailures) {
  // Refused 'U': 17, and the start is still sent. Its failure leaves the 17.
  line.Ack();
  line.Can();
  line.Fail();
  EXPECT_THROW(driver->StartPumpWithReset(3, 1, 1, 0), ESerialIO);
  EXPECT_EQ(line.Letters(), "8U2");
  EXPECT_EQ(driver->GetPortStatus(3), kRefusedPrepare);

  // A line in doubt after 'U': no start.
  line.Ack();
  line.AnswerWithStatus({kAck}, 5);
  driver->StartPumpWithReset(3, 1, 1, 0);
  EXPECT_EQ(line.Letters(), "8U28U");
  EXPECT_EQ(driver->GetPortStatus(3), 5);

  // 'U' fails: the start's message, and no start.
  line.Ack();
  line.Fail();
  try {
    driver->StartPumpWithReset(3, 1, 1, 0);
    ADD_FAILURE();
  } catch (const ESerialIO& e) {
    EXPECT_STREQ(e.what(), kMsgStart);
  }
  EXPECT_EQ(line.Letters(), "8U28U8U");
}

TEST_F(PumpControl, StartWithResetKeepingStatusOnCan) {
  DriverPtr keep(GetQX25(0x80, 0, &line));
  line.Ack();
  line.AnswerWithStatus({kCan}, 5);  // neither the doubt nor the refusal stops the start
  line.Can();
  keep->StartPumpWithReset(3, 1, 1, 0);
  EXPECT_EQ(line.Letters(), "8U2");
  EXPECT_EQ(keep->GetPortStatus(3), 1);
}

TEST_F(PumpControl, StopOutcomes) {
  line.Can();
  driver->StopPump(3, 1, 1, 1);
  EXPECT_EQ(driver->GetPortStatus(3), kRefusedStop);

  line.Nak();
  line.Ack();
  EXPECT_EQ(driver->StopPumpAndReset(3, 1, 1, 1), 0);  // the reset's result
  EXPECT_EQ(line.Letters(), "338");

  // Unconfirmed: only the reset, and its result.
  line.Fail();
  EXPECT_EQ(driver->StopPumpAndReset(3, 40, 1, 0), line.ErrorCode);
  EXPECT_EQ(line.Letters(), "3388");

  // A failed stop sends no reset.
  line.Fail();
  try {
    driver->StopPumpAndReset(3, 1, 1, 1);
    ADD_FAILURE();
  } catch (const ESerialIO& e) {
    EXPECT_STREQ(e.what(), kMsgStop);
  }
  EXPECT_EQ(line.Letters(), "33883");
}

TEST_F(PumpControl, ResetRaisesNothingAndLeavesTheStatusToTheExchange) {
  line.Can();
  EXPECT_EQ(driver->ResetNozzle(3, 1, 1), 0);
  EXPECT_EQ(driver->GetPortStatus(3), 1);
  line.Fail();
  EXPECT_EQ(driver->ResetNozzle(3, 40, 9), line.ErrorCode);  // no range check on the address
}

// A host may derive from the driver; the combined commands then use its slots.
struct SpyDriver final : TQX25 {
  std::vector<std::string> Calls;
  void QX25_CALL StopPump(int32_t Port, int32_t Nozzle, int32_t Side, int32_t Confirm) override {
    Calls.push_back("stop " + std::to_string(Port) + " " + std::to_string(Nozzle) + " " +
                    std::to_string(Side) + " " + std::to_string(Confirm));
  }
  void QX25_CALL PresetVolume(int32_t Port, int32_t Nozzle, int32_t Side, int32_t Extra,
                              double Volume) override {
    Calls.push_back("preset " + std::to_string(Port) + " " + std::to_string(Nozzle) + " " +
                    std::to_string(Side) + " " + std::to_string(Extra) + " " +
                    std::to_string(Volume));
  }
};

TEST(PumpControlSlots, CombinedCommandsCallTheSlotsThroughTheTable) {
  ScriptedDispatcher line;
  auto spy = std::make_unique<SpyDriver>();
  spy->Dispatcher = &line;
  spy->AddressStride = 1;
  spy->NozzleSides[3][2] = 4;
  spy->Prices[3][2][1] = 2;

  EXPECT_FALSE(spy->StopNozzle(3, 2, 1));
  spy->PresetMoney(3, 2, 1, 77, 10);
  line.Ack();
  EXPECT_EQ(spy->StopPumpAndReset(3, 2, 3, 1), 0);
  EXPECT_EQ(spy->Calls,
            (std::vector<std::string>{"stop 3 2 4 1", "preset 3 2 1 77 5.000000", "stop 3 2 3 1"}));
  EXPECT_EQ(line.Letters(), "8");  // only the reset reached the line
}

}  // namespace
