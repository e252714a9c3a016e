#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "record/Recorder.h"
#include "record/RecordingFormat.h"

namespace {

using namespace qx25::record;
using qx25::serial::TraceDirection;
using qx25::serial::TraceRecord;

std::string Header() {
  return FormatHeader({"qx25ctl 2.41", "v2.41#test", {{3, "/dev/pts/9"}}, "2026-12-08T00:00:00Z"});
}

Recording Read(const std::string& Text) {
  std::istringstream in(Text);
  return ReadRecording(in, "test.rec");
}

// The message of the RecordingError that reading Text raises; "" for none.
std::string ReadError(const std::string& Text) {
  try {
    Read(Text);
  } catch (const RecordingError& e) {
    return e.what();
  }
  return "";
}

std::string FileText(const std::filesystem::path& Path) {
  std::ifstream in(Path);
  return {std::istreambuf_iterator<char>(in), {}};
}

class TempDir : public testing::Test {
 protected:
  void SetUp() override {
    Dir = std::filesystem::temp_directory_path() /
          ("qx25-record-" + std::to_string(getpid()) + "-" +
           testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(Dir);
    std::filesystem::create_directories(Dir);
  }
  void TearDown() override { std::filesystem::remove_all(Dir); }
  std::filesystem::path Dir;
};

TEST(RecordingFormat, ExchangesReadBackAsWritten) {
  RecordedExchange answered{"2026-12-08T12:00:00.001Z",
                            3,
                            "ok",
                            "answered",
                            0,
                            {0x7F, 0x02, 0x21, 0x5E, 0x31, 0x4E, 0x03, 0x03, 0x53},
                            {{4.5, {0x02, 0x31}}, {9.0, {0x4E, 0x03, 0x03, 0x41}}},
                            "состояние"};
  RecordedExchange silent = answered;
  silent.Verdict = "time-out";
  silent.Outcome = "failed";
  silent.Code = -1;
  silent.Reply.clear();
  silent.Remark.clear();
  const Recording r = Read(Header() + FormatExchange(answered) + "\n\n# a technician's note\n" +
                           FormatExchange(silent) + "\n");
  ASSERT_EQ(r.Exchanges.size(), 2u);
  EXPECT_EQ(r.Header.Program, "qx25ctl 2.41");
  ASSERT_EQ(r.Header.Lines.size(), 1u);
  EXPECT_EQ(r.Header.Lines[0], (std::pair<int, std::string>{3, "/dev/pts/9"}));
  const RecordedExchange& a = r.Exchanges[0];
  EXPECT_EQ(a.Request, answered.Request);
  EXPECT_EQ(a.Reply, answered.Reply);
  EXPECT_EQ(a.Remark, "состояние");
  EXPECT_EQ(a.LineNumber, 7u);
  EXPECT_EQ(r.Exchanges[1].Verdict, "time-out");
  EXPECT_TRUE(r.Exchanges[1].Reply.empty());
  EXPECT_EQ(r.Exchanges[1].Code, -1);
  EXPECT_EQ(r.Ports(), std::vector<int>{3});
}

TEST(RecordingFormat, HandEditedMistakesAreNamedWithTheirLine) {
  const std::string good = "t COM1 ok answered code=0 -> 7F 02 <- @1.0 06";
  EXPECT_EQ(ReadError(Header() + good + "\n"), "");
  for (const char* bad : {
           "t COM1 ok answered code=0 -> 7F 02 <- 06",       // a byte without its time
           "t COM1 ok answered code=0 -> 7F 0G <- @1.0 06",  // not hex
           "t COM1 ok answered code=0 -> <- @1.0 06",        // no request
           "t COM1 ok answered code=0 -> 7F 02",             // no reply mark
           "t COM256 ok answered code=0 -> 7F <-",           // port past the byte
           "t COM1 ok answered code=999 -> 7F <-",           // code past the byte
           "t COM1 ok answered code=0 -> 7F <- @-1 06",      // time before the request
           "t COM1 ok answered code=0 -> 7F <- @1e9 06",     // not a plain number
           "t COM1 ok answered code=0 -> 7F <- @1.0",        // a time without bytes
           "t COM1 OK answered code=0 -> 7F <-",             // not a word of the format
       }) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(ReadError(Header() + good + "\n" + bad + "\n" + good + "\n").rfind("test.rec:8: ", 0),
              0u);
  }
  EXPECT_NE(ReadError("2026 COM1 ok answered code=0 -> 7F <-\n").find("not a qx25 recording"),
            std::string::npos);
  EXPECT_NE(ReadError("").find("empty"), std::string::npos);
}

TEST(RecordingFormat, LastLineCutShortIsLeftOutWithAWarning) {
  const std::string good = "t COM1 ok answered code=0 -> 7F 02 <- @1.0 06\n";
  const Recording r = Read(Header() + good + "t COM1 ok answered code=0 -> 7F 0");
  EXPECT_EQ(r.Exchanges.size(), 1u);
  ASSERT_EQ(r.Warnings.size(), 1u);
  EXPECT_NE(r.Warnings[0].find("cut short"), std::string::npos);
  // A whole last line without its newline is read as any other.
  EXPECT_EQ(Read(Header() + good + good.substr(0, good.size() - 1)).Exchanges.size(), 2u);
}

// Arrival times are rounded by hand, not by printf: they must come out as
// "%.1f" writes them, ties and the doubles either side of one included.
TEST(RecordingFormat, ArrivalTimesAreRoundedAsPrintfRoundsThem) {
  std::vector<double> times{0, 0.05, 0.15, 0.25, 0.35, 2.45, 12.5, 99.95, 3599999.95, 1e20};
  for (int k = 0; k < 20000; ++k) {
    const double tie = k * 0.05;
    times.insert(times.end(), {tie, std::nextafter(tie, 0.0), std::nextafter(tie, 1e9)});
  }
  for (const double at : times) {
    std::string line;
    AppendReplyBurst(line, at, {});
    char expected[400];
    std::snprintf(expected, sizeof expected, " @%.1f", at);
    ASSERT_EQ(line, expected) << std::hexfloat << at;
  }
}

TraceRecord Request(uint8_t Port, const std::vector<uint8_t>& Frame, double Seconds) {
  return {TraceDirection::Request, Seconds, Port, Frame, 0, -1};
}

TEST_F(TempDir, RecorderWritesEachExchangeWithArrivalsAndVerdict) {
  const std::string path = (Dir / "line.rec").string();
  auto recorder = Recorder::Open(path, {"test", "driver", {{1, "/dev/null"}}, ""});
  const std::vector<uint8_t> status{0x7F, 0x02, 0x21, 0x5E, 0x31, 0x4E, 0x03, 0x03, 0x53};
  const std::vector<uint8_t> common{0x7F, 0x02, 0x57, 0x28, 0x03, 0x03, 0x54};
  const std::vector<uint8_t> reply{0x55, 0x18};  // noise, then CAN
  const std::vector<double> arrivals{1.010, 1.0125};
  recorder->Take(Request(1, status, 1.0));
  recorder->Take({TraceDirection::Reply, 1.02, 1, reply, 0, 0, arrivals});
  recorder->Take(Request(2, status, 2.0));
  recorder->Take({TraceDirection::Reply, 2.5, 2, {}, qx25::serial::kSerialTimeout, -1});
  // A frame that wants no reply has no reply record: it is written when the
  // port's next exchange begins, or when the recording ends.
  recorder->Take(Request(1, common, 3.0));
  recorder->Take(Request(1, common, 4.0));
  // An exchange still waiting for its reply when the recording ends is not
  // a frame that wanted none.
  recorder->Take(Request(2, status, 5.0));
  EXPECT_EQ(recorder->Exchanges(), 3u);
  recorder.reset();

  const Recording r = ReadRecordingFile(path);
  ASSERT_EQ(r.Exchanges.size(), 4u);
  EXPECT_EQ(r.Exchanges[0].Outcome, "refused");
  EXPECT_EQ(r.Exchanges[0].Reply, (std::vector<ReplyBurst>{{10.0, {0x55}}, {12.5, {0x18}}}));
  EXPECT_EQ(r.Exchanges[1].Verdict, "time-out");
  EXPECT_EQ(r.Exchanges[1].Outcome, "failed");
  EXPECT_EQ(r.Exchanges[2].Outcome, "sent");
  EXPECT_EQ(r.Exchanges[3].Outcome, "sent");
  EXPECT_EQ(r.Exchanges[0].Remark, "состояние");
  EXPECT_EQ(r.Header.Program, "test");
}

TEST_F(TempDir, RecorderMovesFullFilesAsideAndNeverOverwritesARecording) {
  const std::filesystem::path path = Dir / "line.rec";
  { std::ofstream(path) << "an earlier recording\n"; }
  RecordLimits limits;
  limits.MaxBytes = 2048;
  limits.Keep = 2;
  auto recorder = Recorder::Open(path.string(), {"test", "driver", {}, ""}, limits);
  EXPECT_EQ(FileText(Dir / "line.rec.1"), "an earlier recording\n");
  const std::vector<uint8_t> frame(40, 0x31);
  for (int k = 0; k < 200; ++k) {
    recorder->Take(Request(1, frame, k));
    recorder->Take({TraceDirection::Reply, k + 0.01, 1, {}, qx25::serial::kSerialTimeout, -1});
  }
  EXPECT_EQ(recorder->Failure(), "");
  recorder.reset();
  // Two files kept beside the one written, each within the cap and a
  // recording of its own; the earlier recording has gone with the oldest.
  for (const char* name : {"line.rec", "line.rec.1", "line.rec.2"}) {
    SCOPED_TRACE(name);
    EXPECT_LE(std::filesystem::file_size(Dir / name), limits.MaxBytes);
    EXPECT_FALSE(ReadRecordingFile((Dir / name).string()).Exchanges.empty());
  }
  EXPECT_FALSE(std::filesystem::exists(Dir / "line.rec.3"));
}

TEST_F(TempDir, RecorderThatCannotWriteSaysSo) {
  EXPECT_THROW(Recorder::Open((Dir / "no" / "such" / "dir.rec").string(), {}), RecordingError);
  RecordLimits tiny;
  tiny.MaxBytes = 10;
  EXPECT_THROW(Recorder::Open((Dir / "a.rec").string(), {}, tiny), RecordingError);
  // A full disk: the header does not go in.
  if (std::filesystem::exists("/dev/full")) {
    EXPECT_THROW(Recorder::Open("/dev/full", {}), RecordingError);
  }
}

// A station's lines record at once while the file is moved aside again and
// again: every line reaches a file whole, none is lost, and each port's
// exchanges keep their order across the files.
TEST_F(TempDir, RecorderKeepsEveryLineWholeWhenManyLinesRecordAcrossRotation) {
  constexpr int kLines = 30, kExchanges = 150;
  const std::filesystem::path path = Dir / "station.rec";
  RecordLimits limits;
  limits.MaxBytes = 16 * 1024;
  limits.Keep = 99;
  RecordSwitch recording;
  const qx25::serial::TraceCallback trace = recording.Tap({});
  recording.Start(Recorder::Open(path.string(), {"test", "driver", {}, ""}, limits));
  std::vector<std::thread> lines;
  for (int port = 1; port <= kLines; ++port)
    lines.emplace_back([&trace, port] {
      const std::vector<uint8_t> reply(24, 0x30);
      const std::vector<double> arrivals(reply.size(), 0.5);
      for (int k = 0; k < kExchanges; ++k) {
        // The exchange's number in its request, to check the order by.
        const std::vector<uint8_t> frame{0x7F, static_cast<uint8_t>(k >> 8),
                                         static_cast<uint8_t>(k & 0xFF)};
        trace(Request(static_cast<uint8_t>(port), frame, k));
        trace({TraceDirection::Reply, k + 0.2, static_cast<uint8_t>(port), reply, 0, 0, arrivals});
      }
    });
  for (std::thread& t : lines) t.join();
  const std::shared_ptr<Recorder> recorder = recording.Current();
  recording.Stop();
  EXPECT_EQ(recorder->Failure(), "");
  EXPECT_EQ(recorder->Exchanges(), uint64_t{kLines * kExchanges});

  std::vector<std::filesystem::path> files;  // oldest first
  for (int n = limits.Keep; n >= 1; --n)
    if (std::filesystem::exists(path.string() + "." + std::to_string(n)))
      files.push_back(path.string() + "." + std::to_string(n));
  files.push_back(path);
  ASSERT_GT(files.size(), 10u);
  std::vector<int> next(kLines + 1, 0);
  for (const std::filesystem::path& file : files) {
    SCOPED_TRACE(file.string());
    EXPECT_LE(std::filesystem::file_size(file), limits.MaxBytes);
    const Recording r = ReadRecordingFile(file.string());  // throws on a mixed line
    EXPECT_TRUE(r.Warnings.empty());
    for (const RecordedExchange& x : r.Exchanges) {
      ASSERT_EQ(x.Request.size(), 3u);
      EXPECT_EQ(x.Request[1] * 256 + x.Request[2], next[static_cast<size_t>(x.Port)]++);
      EXPECT_EQ(x.ReplyBytes().size(), 24u);
    }
  }
  for (int port = 1; port <= kLines; ++port) EXPECT_EQ(next[static_cast<size_t>(port)], kExchanges);
}

// A disk that fills (here a file size limit) or a file removed under the
// recording: the recording stops and says why; what was written stays readable.
TEST_F(TempDir, RecorderStopsAndSaysWhyWhenItsFileCannotTakeMore) {
  const std::vector<uint8_t> frame{0x7F, 0x02, 0x21, 0x5E, 0x31, 0x4E, 0x03, 0x03, 0x53};
  const std::vector<uint8_t> reply(40, 0x30);
  const auto exchange = [&](Recorder& R, int K) {
    R.Take(Request(1, frame, K));
    R.Take({TraceDirection::Reply, K + 0.1, 1, reply, 0, 0});
  };
  {
    const std::string path = (Dir / "full.rec").string();
    auto recorder = Recorder::Open(path, {"test", "driver", {}, ""});
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = before;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    int k = 0;
    while (recorder->Failure().empty() && k < 1000) exchange(*recorder, k++);
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_NE(recorder->Failure().find("cannot write " + path), std::string::npos);
    const uint64_t written = recorder->Exchanges();
    EXPECT_GT(written, 0u);
    exchange(*recorder, k);  // stopped: nothing more, and no harm
    EXPECT_EQ(recorder->Exchanges(), written);
    recorder.reset();
    // Every counted exchange is there; a line the limit cut is only a warning.
    EXPECT_EQ(ReadRecordingFile(path).Exchanges.size(), written);
  }
  {
    const std::filesystem::path path = Dir / "removed.rec";
    auto recorder = Recorder::Open(path.string(), {"test", "driver", {}, ""});
    exchange(*recorder, 0);
    std::filesystem::remove(path);
    recorder->Flush();
    EXPECT_EQ(recorder->Failure(), path.string() + " was removed while being written");
  }
}

}  // namespace