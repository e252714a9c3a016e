// The decision log: what a host's callback is told, and that it is told
// nothing while the log is off.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "ScriptedDispatcher.h"
#include "driver/DriverPtr.h"
#include "driver/HostContract.h"
#include "driver/QX25.h"

namespace {

using namespace qx25;

Bytes Status(uint8_t State, uint8_t Sub = '0') { return {State, Sub, 0, '0', '0', '0', '0', '0'}; }

struct Captured {
  std::vector<std::pair<int32_t, std::string>> Lines;
  std::string All() const {
    std::string all;
    for (const auto& [level, line] : Lines) all += std::to_string(level) + " " + line + "\n";
    return all;
  }
};

void Capture(void* Context, int32_t Level, const char* Line) {
  static_cast<Captured*>(Context)->Lines.emplace_back(Level, Line);
}

class LogTest : public ::testing::Test {
 protected:
  void TearDown() override { SetQX25Log(llOff, nullptr, nullptr); }
  void LogTo(int32_t Level) { ASSERT_EQ(SetQX25Log(Level, &Capture, &Seen), 0); }

  Captured Seen;
  ScriptedDispatcher line;
  DriverPtr driver{GetQX25(0, 0, &line)};
};

TEST_F(LogTest, APollThatClosesADeliverySaysWhyWithTheResultAndTheReset) {
  LogTo(llInfo);
  driver->NozzleSides[3][2] = 1;
  driver->PresetVolumes[3][2] = 25;
  driver->DeliveredVolumes[3][2] = 24.5;
  line.AnswerData(Status('6'));
  Bytes result(21, '0');
  result[4] = '5';  // 5 litres
  line.AnswerData(result);
  line.Ack();
  EXPECT_EQ(driver->PollNozzle(3, 2, 1).State, kCodeFinished);
  ASSERT_EQ(Seen.Lines.size(), 2u) << Seen.All();
  EXPECT_EQ(Seen.Lines[0],
            std::make_pair(int32_t{llInfo}, std::string("COM3 nozzle 2 side 1: delivery closed by "
                                                         "poll: state 6, dose delivered; result "
                                                         "5.000 l")));
  EXPECT_EQ(Seen.Lines[1].second, "COM3 nozzle 2 side 1: nozzle reset");
}

TEST_F(LogTest, ARefusalNamesTheRequestAndItsCodeAtWarning) {
  LogTo(llWarning);
  line.Can();
  driver->StartPump(3, 2, 1);
  line.Can();
  driver->PresetVolume(3, 2, 1, 0, 10);
  ASSERT_EQ(Seen.Lines.size(), 2u) << Seen.All();
  EXPECT_EQ(Seen.Lines[0].first, llWarning);
  EXPECT_EQ(Seen.Lines[0].second, "COM3 nozzle 2 side 1: пуск refused (code 16)");
  EXPECT_EQ(Seen.Lines[1].second, "COM3 nozzle 2 side 1: предустановка refused (code 18)");
}

TEST_F(LogTest, AFailedExchangeAndAReplyWithoutDataSayWhy) {
  LogTo(llDebug);
  line.Answer({0x02, 0x31, 0xCE, 0x03, 0x03, 0x00});  // a checksum that does not match
  EXPECT_THROW(driver->PollNozzle(3, 1, 1), ESerialIO);
  line.Ack();
  double money = 0;
  driver->GetCurrentDelivery(3, 1, money);
  const std::string all = Seen.All();
  EXPECT_NE(all.find("0 COM3 nozzle 1 side 1: состояние failed (dispatcher code "), std::string::npos)
      << all;
  EXPECT_NE(all.find("last reply turned down: "), std::string::npos) << all;
  EXPECT_NE(all.find("1 COM3 nozzle 1: текущий налив answered without data (code 26)"),
            std::string::npos)
      << all;
}

TEST_F(LogTest, OffMeansTheCallbackIsNeverCalled) {
  // Installed and switched off again, then never installed: the same silence.
  LogTo(llDebug);
  ASSERT_EQ(SetQX25Log(llOff, &Capture, &Seen), 0);
  line.Can();
  driver->StartPump(3, 1, 1);
  line.Fail();
  EXPECT_THROW(driver->StopPump(3, 1, 1, 1), ESerialIO);
  ASSERT_EQ(SetQX25Log(llDebug, nullptr, &Seen), 0);
  line.Can();
  driver->StartPump(3, 1, 1);
  EXPECT_TRUE(Seen.Lines.empty()) << Seen.All();
}

TEST_F(LogTest, ALevelOutsideTheRangeIsRefusedAndChangesNothing) {
  LogTo(llWarning);
  EXPECT_EQ(SetQX25Log(llDebug + 1, &Capture, &Seen), -1);
  EXPECT_EQ(SetQX25Log(llOff - 1, nullptr, nullptr), -1);
  line.Ack();  // a debug line, were the level raised
  line.Can();
  driver->StartPump(3, 1, 1);
  driver->StartPump(3, 1, 1);
  ASSERT_EQ(Seen.Lines.size(), 1u) << Seen.All();
  EXPECT_EQ(Seen.Lines[0].second, "COM3 nozzle 1 side 1: пуск refused (code 16)");
}

}  // namespace
