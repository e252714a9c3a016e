#include <gtest/gtest.h>

#include <sstream>

#include "record/RecordingFormat.h"
#include "sim/Replay.h"

namespace {

using namespace qx25;

constexpr int kBaud = 4800;

record::Recording Read(const std::string& Text) {
  std::istringstream in(std::string(record::kMagic) + "\n" + Text);
  return record::ReadRecording(in, "hand.rec");
}

// Two polls of one controller and one of another, as a technician might edit
// a field recording: the last request's address byte changed.
const char* const kRecording =
    "t COM1 ok answered code=0 -> 7F 02 21 5E <- @10.0 06\n"
    "t COM1 reply-rejected failed code=222 -> 7F 02 22 5D <- @10.0 02 31 @20.5 4E\n"
    "t COM1 time-out failed code=-1 -> 7F 02 21 5E <-\n"
    "t COM2 ok answered code=0 -> 7F 02 21 5E <- @1.0 18\n";

TEST(Replay, AnswersInTheRecordedOrderWithTheRecordedTiming) {
  const record::Recording r = Read(kRecording);
  sim::ReplayScript script(sim::ExchangesOf(r, 1), kBaud);
  const sim::Bytes first{0x7F, 0x02, 0x21, 0x5E}, second{0x7F, 0x02, 0x22, 0x5D};
  // Times count from the request's arrival: its 4 bytes took 8.3 ms at 4800 baud.
  const std::vector<sim::TimedBurst> a = script.Answer(first);
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0].At, std::chrono::microseconds(10'000 - 8'333));
  EXPECT_EQ(a[0].Data, sim::Bytes{0x06});
  const std::vector<sim::TimedBurst> b = script.Answer(second);
  ASSERT_EQ(b.size(), 2u);
  EXPECT_EQ(b[1].At - b[0].At, std::chrono::microseconds(10'500));
  // The same request again gets its own, later exchange: a recorded silence.
  EXPECT_TRUE(script.Answer(first).empty());
  EXPECT_EQ(script.Matched(), 3u);
  EXPECT_EQ(script.Unmatched(), 0u);
  // The recording is used up: nothing more answers.
  EXPECT_TRUE(script.Answer(first).empty());
  EXPECT_EQ(script.Unmatched(), 1u);
}

TEST(Replay, UnmatchedRequestIsReportedAnsweredWithSilenceAndKeepsThePlace) {
  const record::Recording r = Read(kRecording);
  sim::ReplayScript script(sim::ExchangesOf(r, 1), kBaud);
  std::vector<sim::Bytes> reported;
  script.OnUnmatched([&](const sim::Bytes& Frame) { reported.push_back(Frame); });
  const sim::Bytes stranger{0x7F, 0x02, 0x2A, 0x55};
  EXPECT_TRUE(script.Answer(stranger).empty());
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(reported[0], stranger);
  // The recorded exchanges are still answered, from the first on.
  EXPECT_EQ(script.Answer({0x7F, 0x02, 0x21, 0x5E}).size(), 1u);
  EXPECT_EQ(script.Matched(), 1u);
}

}  // namespace
