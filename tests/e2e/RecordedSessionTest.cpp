// A field session recorded at the line, with the faults a station meets, and
// played back into a fresh driver: the same outcomes, the same PortStatus
// after every operation.
#include <unistd.h>

#include <filesystem>
#include <map>

#include "Rig.h"
#include "record/Recorder.h"
#include "sim/Replay.h"

namespace e2e {
namespace {

using qx25::sim::Bytes;

std::string Text(double Value) { return std::to_string(Value); }

// What an operation gave (its value, or the message it raised) and the
// PortStatus after it.
std::string Step(TQX25& D, const std::string& Name, const std::function<std::string()>& Call) {
  std::string result;
  try {
    result = Call();
  } catch (const std::exception& e) {
    result = std::string("raised ") + e.what();
  }
  return Name + ": " + result + ", status " + std::to_string(D.GetPortStatus(kPort));
}

// A delivery with a damaged reply and a silence on the way, then a refused
// preset. Live is the simulator when the session is lived, null when replayed.
std::vector<std::string> FieldSession(TQX25& D, qx25::sim::Simulator* Live) {
  const auto fault = [Live](qx25::sim::Fault Kind) {
    if (Live) Live->InjectFault(Kind);
  };
  const auto advance = [Live](double Seconds) {
    if (Live) Live->AdvanceTime(Seconds);
  };
  const auto poll = [&D](int Nozzle) {
    return std::to_string(D.PollNozzle(kPort, Nozzle, 1).State);
  };
  std::vector<std::string> steps;
  D.SetPrice(kPort, 1, 1, 0, 0, 50.0);
  steps.push_back(Step(D, "preset", [&] {
    D.PresetVolume(kPort, 1, 1, 0, 10.0);
    return std::string();
  }));
  steps.push_back(Step(D, "start", [&] {
    D.StartPump(kPort, 1, 1);
    return std::string();
  }));
  advance(4);
  double money = 0;
  steps.push_back(Step(D, "current", [&] { return Text(D.GetCurrentDelivery(kPort, 1, money)); }));
  fault(qx25::sim::Fault::FlipBit);
  steps.push_back(
      Step(D, "current, damaged", [&] { return Text(D.GetCurrentDelivery(kPort, 1, money)); }));
  fault(qx25::sim::Fault::Silence);
  steps.push_back(Step(D, "poll, silent", [&] { return poll(1); }));
  advance(10);
  steps.push_back(Step(D, "closing poll", [&] { return poll(1); }));
  steps.push_back(Step(D, "result", [&] {
    double volume = 0, paid = 0;
    D.GetDeliveryResult(kPort, 1, volume, paid);
    return Text(volume) + " L " + Text(paid);
  }));
  fault(qx25::sim::Fault::Refuse);
  steps.push_back(Step(D, "preset, refused", [&] {
    D.PresetVolume(kPort, 2, 1, 0, 5.0);
    return std::string();
  }));
  steps.push_back(Step(D, "poll", [&] { return poll(2); }));
  return steps;
}

class RecordedSession : public Rig {};

TEST_P(RecordedSession, ReplayedIntoTheDriverGivesTheSameOutcomesAndStatuses) {
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("qx25-session-" + std::to_string(getpid()) + ".rec"))
                               .string();
  auto recorder = qx25::record::Recorder::Open(path, {"e2e", "driver", {{kPort, "pty"}}, ""});
  Lines.SetTrace([recorder](const qx25::serial::TraceRecord& R) { recorder->Take(R); });
  const std::vector<std::string> lived = FieldSession(D(), &Sim);
  Lines.SetTrace({});
  recorder.reset();

  const qx25::record::Recording recording = qx25::record::ReadRecordingFile(path);
  std::filesystem::remove(path);
  std::map<std::string, int> verdicts, outcomes;
  for (const auto& x : recording.Exchanges) {
    ++verdicts[x.Verdict];
    ++outcomes[x.Outcome];
  }
  EXPECT_GE(verdicts["time-out"], 1);
  EXPECT_GE(verdicts["reply-rejected"], 1);
  EXPECT_GE(outcomes["refused"], 1);

  qx25::sim::ReplayScript script(qx25::sim::ExchangesOf(recording, kPort),
                                 LineOptionsFor(GetParam()).Baud);
  qx25::sim::Endpoint replay([&script](const Bytes& Frame) { return script.Answer(Frame); },
                         LineOptionsFor(GetParam()));
  qx25::serial::SerialDispatcher lines;
  lines.SetDevicePath(kPort, replay.OpenPseudoTerminal());
  lines.SetTimeouts(Lines.Timeouts());
  replay.Start();
  DriverPtr driver(GetQX25(0, 0, &lines));
  ASSERT_EQ(driver->SetupPort(kPort), 0);
  EXPECT_EQ(FieldSession(*driver, nullptr), lived);
  EXPECT_EQ(script.Unmatched(), 0u);
  EXPECT_EQ(script.Matched(), script.Recorded());
  driver.reset();
  replay.Stop();
  EXPECT_EQ(replay.Failure(), "");
}

INSTANTIATE_TEST_SUITE_P(Line, RecordedSession, testing::Values(LineMode::Paced, LineMode::Burst),
                         LineModeName);

}  // namespace
}  // namespace e2e
