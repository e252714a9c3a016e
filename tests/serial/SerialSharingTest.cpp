// Two threads on one port, and the protocol trace that a tool switches on.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <regex>
#include <sstream>

#include "PtyPeer.h"
#include "SerialDispatcher.h"

using namespace qx25::serial;
using namespace std::chrono_literals;

namespace {

constexpr uint8_t kPort = 3;

// A reply handler that knows whose reply it should see: the first data byte
// of every reply names the requester.
struct OwnReplies {
  PortDispatcher* Dispatcher;
  uint8_t Tag;
  std::atomic<int> Foreign{0};

  static bool Call(void* Self, uint8_t Port, uint8_t* Buffer, void*, uint8_t* Length, void*) {
    auto* h = static_cast<OwnReplies*>(Self);
    const qx25::TReplyVerdict v = qx25::CheckReply(Buffer, *Length);
    if (*Length > 1 && Buffer[1] != h->Tag) ++h->Foreign;
    if (v.HasState) h->Dispatcher->SetReplyState(Port, v.State);
    h->Dispatcher->SetReplyResult(Port, v.Code);
    return v.Accepted;
  }
};

struct ThreadVerdicts {
  int Accepted = 0, Rejected = 0, Other = 0, WrongReply = 0;
  uint8_t LastStatus = 0;
  int LastResult = -1;
};

TEST(SerialSharing, ExchangesOnOnePortNeverInterleave) {
  constexpr int kRounds = 40;
  PtyPeer peer;
  SerialDispatcher d;
  d.SetDevicePath(kPort, peer.Path());
  d.SetTimeouts({5s, 2s});

  // Nozzle 1 gets good replies tagged 'A'; nozzle 2 replies tagged 'B' with a
  // broken checksum, so the two threads' verdicts differ.
  const Bytes requestA = RequestFrame({0x02, 0x21, '1'});
  const Bytes requestB = RequestFrame({0x02, 0x22, '1'});
  const Bytes replyA = ReplyFrame({'A', '1', 0, '0', '0', '0', '0', '0'});
  Bytes replyB = ReplyFrame({'B', '1', 0, '0', '0', '0', '0', '0'});
  replyB.back() ^= 0x01;

  int whole = 0, broken = 0, overlapped = 0;
  peer.Run([&](PtyPeer& p) {
    for (int i = 0; i < 2 * kRounds; ++i) {
      const Bytes f = p.Read(requestA.size());
      if (p.Pending()) ++overlapped;  // a second frame before this one's reply
      if (f == requestA) {
        ++whole;
        p.Write(replyA);
      } else if (f == requestB) {
        ++whole;
        p.Write(replyB);
      } else {
        ++broken;
        if (f.size() < requestA.size()) return;
      }
    }
  });

  const auto run = [&](const Bytes& request, const Bytes& expected, uint8_t tag, OwnReplies& h,
                       ThreadVerdicts& out) {
    for (int i = 0; i < kRounds; ++i) {
      uint8_t reply[20] = {};
      d.SetReplyHandler(kPort, {&OwnReplies::Call, &h});
      const int32_t r = d.Transact(kPort, request.data(), 9, reply, 20, 2);
      if (r == kSerialOk)
        ++out.Accepted;
      else if (r == kSerialRejected)
        ++out.Rejected;
      else
        ++out.Other;
      if (reply[1] != tag || Bytes(reply, reply + 20) != expected) ++out.WrongReply;
      out.LastStatus = d.GetLineStatus(kPort);
      out.LastResult = d.LastReplyResult(kPort);
    }
  };
  OwnReplies handlerA{&d, 'A'}, handlerB{&d, 'B'};
  ThreadVerdicts a, b;
  std::thread threadA([&] { run(requestA, replyA, 'A', handlerA, a); });
  std::thread threadB([&] { run(requestB, replyB, 'B', handlerB, b); });
  threadA.join();
  threadB.join();
  peer.Join();

  EXPECT_EQ(whole, 2 * kRounds);
  EXPECT_EQ(broken, 0);
  EXPECT_EQ(overlapped, 0);
  EXPECT_EQ(a.Accepted, kRounds);
  EXPECT_EQ(b.Rejected, kRounds);
  EXPECT_EQ(a.Other + b.Other + a.WrongReply + b.WrongReply, 0);
  EXPECT_EQ(handlerA.Foreign + handlerB.Foreign, 0);
  // Each thread reads its own verdict, whatever the other did last.
  EXPECT_EQ(a.LastStatus, kLineAccepted);
  EXPECT_EQ(a.LastResult, 0);
  EXPECT_EQ(b.LastStatus, kLineRejected);
  EXPECT_EQ(b.LastResult, 222);
}

TEST(SerialTrace, WritesOneLinePerFrameAndReply) {
  PtyPeer peer;
  SerialDispatcher d;
  d.SetDevicePath(kPort, peer.Path());
  d.SetTimeouts({100ms, 50ms});
  CheckingHandler checker(d);
  d.SetReplyHandler(kPort, checker.Handler());
  std::ostringstream trace;
  d.SetTrace(TraceToStream(trace));

  const Bytes request = RequestFrame({0x02, 0x21, '1'});
  peer.Run([&](PtyPeer& p) {
    p.Read(request.size());
    p.Write({0x00, qx25::kAck});
    p.Read(request.size());  // then silence
    p.Read(request.size());  // send only
  });
  uint8_t reply[20];
  EXPECT_EQ(d.Transact(kPort, request.data(), 9, reply, 2, 0), kSerialOk);
  EXPECT_EQ(d.Transact(kPort, request.data(), 9, reply, 20, 2), kSerialTimeout);
  EXPECT_EQ(d.Transact(kPort, request.data(), 9, reply, 0, 0), kSerialOk);
  peer.Join();
  d.SetTrace({});
  EXPECT_EQ(d.Transact(kPort, request.data(), 9, reply, 0, 0), kSerialOk);

  const std::string t = R"(\d+\.\d{3} COM3 )";
  const std::string sent = t + "-> 7F 02 21 5E 31 4E 03 03 53\n";
  const std::regex expected(sent + t + "<- 00 06\n" + sent + t + R"(<- \(time-out\)\n)" + sent);
  EXPECT_TRUE(std::regex_match(trace.str(), expected)) << trace.str();
}

TEST(SerialTrace, FormatsFailuresAndWritesToFiles) {
  const uint8_t bytes[] = {0x02, 0x31, 0x4E};
  TraceRecord r{TraceDirection::Reply, 12.3456, 30, bytes, kSerialRejected, 222};
  EXPECT_EQ(FormatTraceLine(r), "12.346 COM30 <- 02 31 4E (reply rejected, code 222)");
  r.Result = kSerialNoDevice;
  r.Bytes = {};
  EXPECT_EQ(FormatTraceLine(r), "12.346 COM30 <- (no such device)");
  r.Direction = TraceDirection::Request;
  r.Bytes = bytes;
  EXPECT_EQ(FormatTraceLine(r), "12.346 COM30 -> 02 31 4E");

  std::FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  TraceToFile(f)(r);
  std::rewind(f);
  char line[64] = {};
  ASSERT_NE(std::fgets(line, sizeof line, f), nullptr);
  EXPECT_STREQ(line, "12.346 COM30 -> 02 31 4E\n");
  std::fclose(f);
}

}  // namespace
