// Line statistics: counted from trace records written out by hand (known
// reply times, every way an exchange ends), and from the dispatcher's own
// trace against a scripted controller on a pseudo-terminal, two lines at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "LineStatistics.h"
#include "PtyPeer.h"
#include "driver/protocol/Protocol.h"

using namespace qx25::serial;
using namespace std::chrono_literals;

namespace {

// Half a histogram bucket either way, and a little for rounding.
constexpr double kMedianTolerance = 0.006;

const Bytes kStatusData{'0', '1', 0x00, '0', '0', '0', '0', '0'};

TraceRecord Sent(uint8_t Port, double Seconds) {
  return {TraceDirection::Request, Seconds, Port, {}, 0, -1};
}
TraceRecord Ended(uint8_t Port, double Seconds, const Bytes& Received, int32_t Result) {
  return {TraceDirection::Reply, Seconds, Port, Received, Result, Result == 0 ? 0 : -1};
}

// One exchange on Port that the controller answered after Ms milliseconds.
void Answered(LineStatistics& S, uint8_t Port, double Start, double Ms, const Bytes& Reply) {
  S.Record(Sent(Port, Start));
  S.Record(Ended(Port, Start + Ms / 1e3, Reply, kSerialOk));
}

PortStatistics Only(const LineStatistics& S) {
  const std::vector<PortStatistics> all = S.Snapshot();
  EXPECT_EQ(all.size(), 1u);
  return all.empty() ? PortStatistics{} : all.front();
}

TEST(LineStatistics, MedianAndWorstOfKnownReplyTimes) {
  LineStatistics s;
  const Bytes ack{qx25::kAck};
  // Out of order, and a time-out that must not count as a reply time.
  double t = 0;
  for (const double ms : {40.0, 10.0, 500.0, 20.0, 30.0}) {
    Answered(s, 3, t, ms, ack);
    t += 1;
  }
  s.Record(Sent(3, t));
  s.Record(Ended(3, t + 5, {}, kSerialTimeout));
  PortStatistics p = Only(s);
  EXPECT_EQ(p.Port, 3);
  EXPECT_EQ(p.Exchanges, 6u);
  EXPECT_EQ(p.Accepted, 5u);
  EXPECT_EQ(p.Timeouts, 1u);
  EXPECT_NEAR(p.MedianReplyMs, 30.0, 30.0 * kMedianTolerance);
  EXPECT_DOUBLE_EQ(p.WorstReplyMs, 500.0);

  // An even count takes the middle two.
  Answered(s, 3, t + 10, 50.0, ack);
  p = Only(s);
  EXPECT_NEAR(p.MedianReplyMs, 35.0, 35.0 * kMedianTolerance);

  // A long run keeps its median where most replies are.
  for (int i = 0; i < 100000; ++i) Answered(s, 3, 100.0 + i, 25.0 + (i % 3), ack);
  p = Only(s);
  EXPECT_NEAR(p.MedianReplyMs, 26.0, 26.0 * kMedianTolerance);
  EXPECT_DOUBLE_EQ(p.WorstReplyMs, 500.0);
}

TEST(LineStatistics, ReplyTimesFallIntoTheBinsAsked) {
  LineStatistics s;
  const Bytes ack{qx25::kAck};
  const double edges[] = {10.0, 100.0};
  // Nothing yet: a bin each and one above, all empty; another port too.
  EXPECT_EQ(s.ReplyTimeCounts(3, edges), (std::vector<uint64_t>{0, 0, 0}));
  double t = 0;
  for (const double ms : {2.0, 9.5, 10.5, 50.0, 99.0, 101.0, 4000.0, 2e7})
    Answered(s, 3, t++, ms, ack);
  Answered(s, 4, t++, 50.0, ack);
  s.Record(Sent(3, t));
  s.Record(Ended(3, t + 1, {}, kSerialTimeout));  // no reply time
  EXPECT_EQ(s.ReplyTimeCounts(3, edges), (std::vector<uint64_t>{2, 3, 3}));
  EXPECT_EQ(s.ReplyTimeCounts(4, edges), (std::vector<uint64_t>{0, 1, 0}));
  // No edges: one bin that holds every accepted reply.
  EXPECT_EQ(s.ReplyTimeCounts(3, {}), (std::vector<uint64_t>{s.Snapshot().front().Accepted}));
}

TEST(LineStatistics, RepliesAreSortedByHowTheyEnded) {
  LineStatistics s;
  const Bytes can{qx25::kCan};
  Answered(s, 5, 0, 5, can);
  // Noise ahead of a CAN: the handler drops it and still takes the refusal.
  Answered(s, 5, 1, 5, {0x00, 0x41, qx25::kCan});
  Answered(s, 5, 2, 5, {qx25::kAck});
  Answered(s, 5, 3, 5, {qx25::kNak});
  Answered(s, 5, 4, 5, ReplyFrame(kStatusData));
  // A CAN that the handler did not accept (bytes behind it) is no refusal.
  s.Record(Sent(5, 5));
  s.Record(Ended(5, 5.1, {qx25::kCan, 0x31}, kSerialRejected));
  s.Record(Sent(5, 6));
  s.Record(Ended(5, 6.1, {}, kSerialLineError));
  s.Record(Sent(5, 7));
  s.Record(Ended(5, 7.0, {}, kSerialNoDevice));
  s.Record(Sent(5, 8));
  s.Record(Ended(5, 8.5, {0x02, 0x31}, kSerialTimeout));
  // A send-only frame that went out well has no reply record.
  s.Record(Sent(5, 9));

  const PortStatistics p = Only(s);
  EXPECT_EQ(p.Exchanges, 10u);
  EXPECT_EQ(p.Accepted, 5u);
  EXPECT_EQ(p.Refusals, 2u);
  EXPECT_EQ(p.Rejected, 1u);
  EXPECT_EQ(p.LineErrors, 2u);
  EXPECT_EQ(p.Timeouts, 1u);
  EXPECT_NEAR(p.MedianReplyMs, 5.0, 5.0 * kMedianTolerance);
}

TEST(LineStatistics, PortsAreKeptApartListedInOrderAndReset) {
  LineStatistics s;
  EXPECT_TRUE(s.Snapshot().empty());
  EXPECT_EQ(FormatStatistics(s.Snapshot()), "no traffic\n");
  // A reply without its request (the trace switched on mid-exchange) counts,
  // but has no reply time.
  s.Record(Ended(30, 1.0, {qx25::kAck}, kSerialOk));
  Answered(s, 2, 0, 100, {qx25::kAck});
  Answered(s, 17, 0, 7, {qx25::kCan});

  const std::vector<PortStatistics> all = s.Snapshot();
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0].Port, 2);
  EXPECT_EQ(all[1].Port, 17);
  EXPECT_EQ(all[2].Port, 30);
  EXPECT_EQ(all[1].Refusals, 1u);
  EXPECT_EQ(all[0].Refusals, 0u);
  EXPECT_NEAR(all[0].MedianReplyMs, 100.0, 100.0 * kMedianTolerance);
  EXPECT_EQ(all[2].Accepted, 1u);
  EXPECT_EQ(all[2].Exchanges, 0u);
  EXPECT_EQ(all[2].WorstReplyMs, 0.0);
  EXPECT_EQ(all[2].MedianReplyMs, 0.0);

  const std::string table = FormatStatistics(all);
  EXPECT_NE(table.find("COM2 "), std::string::npos);
  EXPECT_NE(table.find("COM17"), std::string::npos);
  EXPECT_NE(table.find("100.0"), std::string::npos);
  EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 4);

  // A request under way is forgotten too: its reply gets no reply time.
  s.Record(Sent(2, 50));
  s.Reset();
  EXPECT_TRUE(s.Snapshot().empty());
  s.Record(Ended(2, 50.2, {qx25::kAck}, kSerialOk));
  EXPECT_EQ(Only(s).WorstReplyMs, 0.0);
}

TEST(LineStatistics, ReplyTimesOutsideTheHistogramStayBounded) {
  LineStatistics s;
  Answered(s, 1, 0, 0.0, {qx25::kAck});
  Answered(s, 1, 1, 5e6, {qx25::kAck});  // longer than any exchange can wait
  s.Record(Sent(1, 10));
  s.Record(Ended(1, 9, {qx25::kAck}, kSerialOk));  // a clock that went back
  const PortStatistics p = Only(s);
  EXPECT_EQ(p.Accepted, 3u);
  EXPECT_DOUBLE_EQ(p.WorstReplyMs, 5e6);
  EXPECT_GE(p.MedianReplyMs, 0.0);
  EXPECT_LE(p.MedianReplyMs, LineStatistics::kLowestMs * LineStatistics::kBucketGrowth);
}

// The dispatcher's own trace: what a silent, a refusing and a garbling
// controller do to the counts, and the trace passed on behind them.
TEST(LineStatisticsOnALine, CountsWhatTheLineDid) {
  constexpr uint8_t kPort = 4;
  const Bytes request = RequestFrame({0x02, 0x21, '1'});
  const Bytes status = ReplyFrame(kStatusData);
  Bytes garbled = status;
  garbled.back() ^= 0x01;
  constexpr auto kDelay = 30ms;

  PtyPeer peer;
  SerialDispatcher d;
  d.SetDevicePath(kPort, peer.Path());
  d.SetTimeouts({300ms, 50ms});
  CheckingHandler checker(d);
  d.SetReplyHandler(kPort, checker.Handler());
  LineStatistics stats;
  std::atomic<int> passedOn{0};
  d.SetTrace(stats.Recorder([&](const TraceRecord&) { ++passedOn; }));

  peer.Run([&](PtyPeer& p) {
    for (const Bytes& answer : {status, Bytes{}, Bytes{qx25::kCan}, garbled}) {
      if (p.Read(request.size()).size() != request.size()) return;
      std::this_thread::sleep_for(kDelay);
      if (!answer.empty()) p.Write(answer);
    }
  });
  uint8_t reply[20];
  EXPECT_EQ(d.Transact(kPort, request.data(), 9, reply, 20, 2), kSerialOk);
  EXPECT_EQ(d.Transact(kPort, request.data(), 9, reply, 20, 2), kSerialTimeout);
  EXPECT_EQ(d.Transact(kPort, request.data(), 9, reply, 2, 0), kSerialOk);
  EXPECT_EQ(d.Transact(kPort, request.data(), 9, reply, 20, 2), kSerialRejected);
  peer.Join();

  const PortStatistics p = Only(stats);
  EXPECT_EQ(p.Port, kPort);
  EXPECT_EQ(p.Exchanges, 4u);
  EXPECT_EQ(p.Accepted, 2u);
  EXPECT_EQ(p.Timeouts, 1u);
  EXPECT_EQ(p.Refusals, 1u);
  EXPECT_EQ(p.Rejected, 1u);
  EXPECT_EQ(p.LineErrors, 0u);
  // The controller waited before each answer; the line can only add to it.
  EXPECT_GE(p.MedianReplyMs, 30.0 * (1 - kMedianTolerance));
  EXPECT_GE(p.WorstReplyMs, 30.0);
  EXPECT_EQ(passedOn.load(), 8);
}

// Two lines, each with its own thread and controller, record into one set of
// statistics at once (ThreadSanitizer runs this too).
TEST(LineStatisticsOnALine, TwoPortsAtOnce) {
  constexpr int kRounds = 60;
  constexpr uint8_t kPorts[] = {6, 9};
  const Bytes request = RequestFrame({0x02, 0x21, '1'});
  const Bytes ack{qx25::kAck};
  const Bytes can{qx25::kCan};

  SerialDispatcher d;
  d.SetTimeouts({2s, 500ms});
  CheckingHandler checker(d);
  LineStatistics stats;
  d.SetTrace(stats.Recorder());
  PtyPeer peers[2];
  for (int i = 0; i < 2; ++i) {
    d.SetDevicePath(kPorts[i], peers[i].Path());
    d.SetReplyHandler(kPorts[i], checker.Handler());
    // The second controller refuses every other request.
    peers[i].Run([&, i](PtyPeer& p) {
      for (int r = 0; r < kRounds; ++r) {
        if (p.Read(request.size()).size() != request.size()) return;
        p.Write(i == 1 && r % 2 == 1 ? can : ack);
      }
    });
  }
  std::atomic<int> failed{0};
  std::vector<std::thread> hosts;
  for (const uint8_t port : kPorts) {
    hosts.emplace_back([&, port] {
      uint8_t reply[2];
      for (int r = 0; r < kRounds; ++r)
        if (d.Transact(port, request.data(), 9, reply, 2, 0) != kSerialOk) ++failed;
    });
  }
  // Snapshots taken meanwhile see consistent counts.
  for (int i = 0; i < 20; ++i)
    for (const PortStatistics& p : stats.Snapshot()) EXPECT_LE(p.Accepted, p.Exchanges);
  for (std::thread& t : hosts) t.join();
  for (PtyPeer& p : peers) p.Join();
  EXPECT_EQ(failed.load(), 0);

  const std::vector<PortStatistics> all = stats.Snapshot();
  ASSERT_EQ(all.size(), 2u);
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(all[i].Port, kPorts[i]);
    EXPECT_EQ(all[i].Exchanges, uint64_t{kRounds});
    EXPECT_EQ(all[i].Accepted, uint64_t{kRounds});
    EXPECT_EQ(all[i].Timeouts + all[i].Rejected + all[i].LineErrors, 0u);
    EXPECT_GT(all[i].WorstReplyMs, 0.0);
  }
  EXPECT_EQ(all[0].Refusals, 0u);
  EXPECT_EQ(all[1].Refusals, uint64_t{kRounds / 2});
}

}  // namespace
