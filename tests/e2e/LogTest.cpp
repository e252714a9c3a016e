// The decision log over the line: the driver loaded as a host loads it and the
// serial dispatcher write to one sink, as qx25ctl and qx25-host have them.
#include <vector>

#include "Rig.h"

namespace e2e {
namespace {

class DecisionLog : public Rig {
 protected:
  void TearDown() override {
    SetQX25Log(llOff, nullptr, nullptr);
    Lines.SetLog(qx25::serial::kLogOff, {});
    Rig::TearDown();
  }
  static void Take(void* Context, int32_t Level, const char* Line) {
    auto* self = static_cast<DecisionLog*>(Context);
    std::lock_guard<std::mutex> hold(self->Taking);
    self->Taken += std::to_string(Level) + " " + Line + "\n";
  }
  std::mutex Taking;
  std::string Taken;
};

TEST_P(DecisionLog, ARefusedStartAndADeliveryClosedByThePoll) {
  ASSERT_EQ(SetQX25Log(llInfo, &Take, this), 0);
  Lines.SetLog(qx25::serial::kLogInfo,
               [this](int Level, const std::string& Line) { Take(this, Level, Line.c_str()); });
  D().StartPump(kPort, 1, 1);  // nothing preset: the controller refuses
  D().PresetVolume(kPort, 1, 1, 0, 4);
  D().StartPump(kPort, 1, 1);
  Sim.AdvanceTime(10);
  EXPECT_EQ(D().PollNozzle(kPort, 1, 1).State, 216);
  EXPECT_EQ(Taken,
            "1 COM3 nozzle 1 side 1: пуск refused (code 16)\n"
            "2 COM3 nozzle 1 side 1: delivery closed by poll: state 6, dose delivered; result "
            "4.000 l\n"
            "2 COM3 nozzle 1 side 1: nozzle reset\n");
}

INSTANTIATE_TEST_SUITE_P(Line, DecisionLog, testing::Values(LineMode::Paced, LineMode::Burst),
                         LineModeName);

}  // namespace
}  // namespace e2e
