// The benchmark's comparison framing, through the dispatcher's one seam for
// reading a reply: a reply ends when the line has been silent for a set time,
// not when the handler accepts it.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <thread>

#include "PtyPeer.h"
#include "SerialDispatcher.h"
#include "testsupport/SilenceFramedDispatcher.h"

using namespace qx25::serial;
using namespace std::chrono_literals;

namespace {

constexpr uint8_t kPort = 9;
constexpr auto kSilence = 300ms;

class SilenceFraming : public ::testing::Test {
 protected:
  void SetUp() override {
    Dispatcher.SetDevicePath(kPort, Peer.Path());
    Dispatcher.SetTimeouts({2s, 50ms});
    Dispatcher.SetReplyHandler(kPort, Checker.Handler());
    Dispatcher.SetSilenceFraming(kPort, kSilence);
    std::memset(Reply, 0xAA, sizeof Reply);
  }
  void TearDown() override { Peer.Join(); }

  int32_t Exchange() {
    const int32_t r = Dispatcher.Transact(kPort, Request.data(),
                                          static_cast<uint8_t>(Request.size()), Reply, 20, 2);
    Peer.Join();
    return r;
  }
  // The peer answers with Parts, each after the one before has reached the
  // handler, or after Gap when one is given.
  void Answer(std::vector<Bytes> Parts, std::chrono::milliseconds Gap = 0ms) {
    Checker.Forget();
    Peer.Run([this, Parts = std::move(Parts), Gap](PtyPeer& p) {
      p.Read(Request.size());
      size_t sent = 0;
      for (const Bytes& part : Parts) {
        if (sent > 0 && Gap > 0ms) std::this_thread::sleep_for(Gap);
        if (sent > 0 && Gap == 0ms) Checker.WaitFor(static_cast<uint8_t>(sent));
        p.Write(part);
        sent += part.size();
      }
    });
  }

  PtyPeer Peer;
  qx25::testsupport::SilenceFramedDispatcher Dispatcher;
  CheckingHandler Checker{Dispatcher};
  const Bytes Request = RequestFrame({0x02, 0x21, '1'});
  const Bytes Status = ReplyFrame({'0', '1', 0x00, '0', '0', '0', '0', '0'});
  uint8_t Reply[32];
};

TEST(SilenceFramingOption, IsOffUnlessSetAndRefusesSilencesOutOfRange) {
  qx25::testsupport::SilenceFramedDispatcher d;
  EXPECT_EQ(d.SilenceFraming(3), 0ms);
  d.SetSilenceFraming(3, 100ms);
  EXPECT_EQ(d.SilenceFraming(3), 100ms);
  EXPECT_EQ(d.SilenceFraming(4), 0ms);  // one port's framing only
  EXPECT_THROW(d.SetSilenceFraming(3, -1ms), std::invalid_argument);
  EXPECT_THROW(d.SetSilenceFraming(3, qx25::testsupport::SilenceFramedDispatcher::kMaxSilence + 1ms), std::invalid_argument);
  EXPECT_EQ(d.SilenceFraming(3), 100ms);
}

// A pause longer than the inter-byte gap but shorter than the silence is
// inside one reply; a byte behind a complete reply is part of it, so the
// reply ends only once the line is quiet.
TEST_F(SilenceFraming, AReplyEndsOnlyWhenTheLineFallsSilent) {
  const Bytes head(Status.begin(), Status.begin() + 9), tail(Status.begin() + 9, Status.end());
  Answer({head, tail}, 100ms);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Exchange(), kSerialOk);
  EXPECT_GE(std::chrono::steady_clock::now() - start, kSilence);
  EXPECT_EQ(Bytes(Reply, Reply + 20), Status);
  EXPECT_EQ(Reply[20], 0xAA);

  // The handler has accepted the whole frame when the extra byte comes.
  Answer({Status, {0x00}});
  EXPECT_EQ(Exchange(), kSerialRejected);
  EXPECT_EQ(Dispatcher.GetLineStatus(kPort), kLineRejected);

  // The dispatcher's own framing takes the same reply at its 20th byte.
  Dispatcher.SetSilenceFraming(kPort, 0ms);
  Answer({Status, {0x00}});
  EXPECT_EQ(Exchange(), kSerialOk);
}

TEST_F(SilenceFraming, ALoneByteStandsOnlyWithNothingBehindIt) {
  Answer({{qx25::kCan}});
  EXPECT_EQ(Exchange(), kSerialOk);
  EXPECT_EQ(Reply[0], qx25::kCan);

  Bytes damaged = Status;
  damaged[0] = qx25::kAck;  // STX turned into ACK: the handler accepts the lone byte
  Answer({{damaged[0]}, Bytes(damaged.begin() + 1, damaged.end())});
  EXPECT_EQ(Exchange(), kSerialRejected);
}

TEST_F(SilenceFraming, FailuresKeepTheirClasses) {
  Dispatcher.SetTimeouts({200ms, 50ms});
  Answer({});
  EXPECT_EQ(Exchange(), kSerialTimeout);
  EXPECT_EQ(Dispatcher.GetLineStatus(kPort), kLineTimeout);

  Answer({Bytes(Status.begin(), Status.begin() + 12)});
  EXPECT_EQ(Exchange(), kSerialTimeout);
  EXPECT_EQ(Dispatcher.LastReplyResult(kPort), 246);

  Answer({Bytes(30, 0x55)});  // noise only
  EXPECT_EQ(Exchange(), kSerialTimeout);

  Bytes badChecksum = Status;
  badChecksum.back() ^= 0x01;
  Answer({badChecksum});
  EXPECT_EQ(Exchange(), kSerialRejected);
  EXPECT_EQ(Dispatcher.LastReplyResult(kPort), 222);

  // Longer than the handler can be given: rejected, and Reply not overrun.
  Answer({Bytes(300, qx25::kStx)});
  EXPECT_EQ(Exchange(), kSerialRejected);
  EXPECT_EQ(Reply[20], 0xAA);

  Answer({Status});
  EXPECT_EQ(Exchange(), kSerialOk);
  EXPECT_EQ(Dispatcher.GetLineStatus(kPort), kLineAccepted);
}

}  // namespace
