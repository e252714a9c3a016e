// The serial dispatcher against a scripted controller on a pseudo-terminal:
// opening and line settings, exchanges clean and faulty, and how each ends.
#include <gtest/gtest.h>
#include <termios.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "PtyPeer.h"
#include "SerialDispatcher.h"

using namespace qx25::serial;
using namespace std::chrono_literals;

namespace {

constexpr uint8_t kPort = 7;
const Bytes kStatusData{'0', '1', 0x00, '0', '0', '0', '0', '0'};

class SerialExchange : public ::testing::Test {
 protected:
  void SetUp() override {
    Dispatcher.SetDevicePath(kPort, Peer.Path());
    // Generous: only the failure cases ever wait a time-out out.
    Dispatcher.SetTimeouts({5s, 2s});
    Dispatcher.SetReplyHandler(kPort, Checker.Handler());
    std::memset(Reply, 0xAA, sizeof Reply);
  }
  // The peer's script writes into the fixture: it must end first.
  void TearDown() override { Peer.Join(); }

  int32_t Exchange(uint8_t ReplyLength) {
    return Dispatcher.Transact(kPort, Request.data(), static_cast<uint8_t>(Request.size()), Reply,
                               ReplyLength, 2);
  }
  // The peer answers the next request with Answer, in one write.
  void AnswerWith(Bytes Answer) {
    Peer.Run([this, a = std::move(Answer)](PtyPeer& p) {
      Received = p.Read(Request.size());
      if (!a.empty()) p.Write(a);
    });
  }
  Bytes ReplyBytes(size_t Count) const { return Bytes(Reply, Reply + Count); }
  termios LineSettings() const {
    termios t{};
    tcgetattr(Peer.HoldFd(), &t);
    return t;
  }
  speed_t Speed() const {
    const termios t = LineSettings();
    return cfgetospeed(&t);
  }

  PtyPeer Peer;
  SerialDispatcher Dispatcher;
  CheckingHandler Checker{Dispatcher};
  const Bytes Request = RequestFrame({0x02, 0x21, '1'});
  const Bytes Status = ReplyFrame(kStatusData);
  Bytes Received;  // what the peer read, once joined
  uint8_t Reply[64];
};

TEST(SerialDevices, MapsPortNumbersToDevices) {
  SerialDispatcher d;
  EXPECT_EQ(d.DevicePath(1), "/dev/ttyS0");
  EXPECT_EQ(d.DevicePath(3), "/dev/ttyS2");
  EXPECT_EQ(d.DevicePath(255), "/dev/ttyS254");
  EXPECT_EQ(d.DevicePath(0), "");
  d.SetDevicePath(3, "/dev/ttyUSB0");
  EXPECT_EQ(d.DevicePath(3), "/dev/ttyUSB0");
  d.SetDevicePath(3, "");
  EXPECT_EQ(d.DevicePath(3), "/dev/ttyS2");
}

TEST(SerialDevices, MissingDeviceFailsEveryWay) {
  SerialDispatcher d;
  d.SetDevicePath(4, "/nonexistent/ttyQX");
  d.SetDevicePath(5, "/dev/null");  // exists, but is no terminal
  const Bytes request = RequestFrame({0x02, 0x21, '1'});
  uint8_t reply[20];
  for (const uint8_t port : {uint8_t{0}, uint8_t{4}, uint8_t{5}}) {
    SCOPED_TRACE(int{port});
    EXPECT_EQ(d.SetLineParams(port, PortDispatcher::kFormat8N1, 4800), kSerialNoDevice);
    EXPECT_EQ(d.Transact(port, request.data(), 9, reply, 20, 2), kSerialNoDevice);
    EXPECT_EQ(d.GetLineStatus(port), kLineNoDevice);
    EXPECT_EQ(d.GetErrorCode(port), kSerialNoDevice);
    EXPECT_FALSE(d.IsOpen(port));
  }
  // Before any exchange on a port the thread has nothing to report but never
  // a code that reads as success.
  EXPECT_EQ(d.GetLineStatus(9), kLineIdle);
  EXPECT_NE(d.GetErrorCode(9), 0);
}

TEST_F(SerialExchange, ConfiguresTheLineRaw8N1AtTheGivenRate) {
  ASSERT_EQ(Dispatcher.SetLineParams(kPort, PortDispatcher::kFormat8N1, 4800), kSerialOk);
  EXPECT_TRUE(Dispatcher.IsOpen(kPort));
  const termios t = LineSettings();
  EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t{CS8});
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(Speed(), speed_t{B4800});

  ASSERT_EQ(Dispatcher.SetLineParams(kPort, PortDispatcher::kFormat8N1, 9600), kSerialOk);
  EXPECT_EQ(Speed(), speed_t{B9600});
  // Unknown settings are refused and change nothing.
  EXPECT_EQ(Dispatcher.SetLineParams(kPort, 41, 4800), kSerialBadSettings);
  EXPECT_EQ(Dispatcher.SetLineParams(kPort, PortDispatcher::kFormat8N1, 4801), kSerialBadSettings);
  EXPECT_TRUE(Dispatcher.IsOpen(kPort));
  EXPECT_EQ(Speed(), speed_t{B9600});
  Dispatcher.Close(kPort);
  EXPECT_FALSE(Dispatcher.IsOpen(kPort));
}

TEST_F(SerialExchange, CleanExchangeIsAccepted) {
  AnswerWith(Status);
  EXPECT_EQ(Exchange(20), kSerialOk);
  Peer.Join();
  EXPECT_EQ(Received, Request);
  EXPECT_EQ(ReplyBytes(20), Status);
  EXPECT_EQ(Reply[20], 0xAA);
  EXPECT_EQ(Dispatcher.GetLineStatus(kPort), kLineAccepted);
  EXPECT_EQ(Dispatcher.LastReplyState(kPort), 1);
  EXPECT_EQ(Dispatcher.LastReplyResult(kPort), 0);
  EXPECT_TRUE(Dispatcher.IsOpen(kPort));  // opened with the default settings
  EXPECT_EQ(Speed(), speed_t{B4800});
}

TEST_F(SerialExchange, StaleInputIsDiscardedBeforeSending) {
  ASSERT_EQ(Dispatcher.SetLineParams(kPort, PortDispatcher::kFormat8N1, 4800), kSerialOk);
  // An ACK left over from an earlier exchange would be accepted at once.
  Peer.Write({qx25::kAck});
  pollfd p{Peer.HoldFd(), POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 10000), 1);
  AnswerWith(Status);
  EXPECT_EQ(Exchange(20), kSerialOk);
  EXPECT_EQ(ReplyBytes(20), Status);
}

TEST_F(SerialExchange, NoiseBeforeTheReplyIsDropped) {
  Bytes noisy{0x00, 0xFF, 0x41, 0x7F};
  noisy.insert(noisy.end(), Status.begin(), Status.end());
  AnswerWith(noisy);
  EXPECT_EQ(Exchange(20), kSerialOk);
  EXPECT_EQ(ReplyBytes(20), Status);
  EXPECT_EQ(Reply[20], 0xAA);
}

TEST_F(SerialExchange, ReplyInPiecesIsCollected) {
  Peer.Run([this](PtyPeer& p) {
    Received = p.Read(Request.size());
    size_t start = 0;
    for (const size_t end : {5, 13, 20}) {
      p.Write(Bytes(Status.begin() + start, Status.begin() + end));
      Checker.WaitFor(static_cast<uint8_t>(end));  // the dispatcher has it all
      start = end;
    }
  });
  EXPECT_EQ(Exchange(20), kSerialOk);
  Peer.Join();
  EXPECT_EQ(ReplyBytes(20), Status);
  const std::vector<uint8_t> lengths = Checker.Lengths();
  ASSERT_GE(lengths.size(), 3u);
  EXPECT_TRUE(std::is_sorted(lengths.begin(), lengths.end()));
  EXPECT_EQ(lengths.back(), 20);
}

TEST_F(SerialExchange, RejectedRepliesEndAtTheirLength) {
  Bytes badChecksum = Status;
  badChecksum.back() ^= 0x01;
  AnswerWith(badChecksum);
  EXPECT_EQ(Exchange(20), kSerialRejected);
  Peer.Join();
  EXPECT_EQ(Dispatcher.GetLineStatus(kPort), kLineRejected);
  EXPECT_EQ(Dispatcher.GetErrorCode(kPort), kSerialRejected);
  EXPECT_EQ(Dispatcher.LastReplyResult(kPort), 222);
  EXPECT_EQ(Dispatcher.LastReplyState(kPort), -1);

  Bytes badComplement = Status;
  badComplement[4] ^= 0x01;
  AnswerWith(badComplement);
  EXPECT_EQ(Exchange(20), kSerialRejected);
  Peer.Join();
  EXPECT_EQ(Dispatcher.LastReplyResult(kPort), 246);
  EXPECT_EQ(Dispatcher.LastReplyState(kPort), 3);
  EXPECT_EQ(Reply[20], 0xAA);
}

// A line at 4800 baud hands over a reply a byte at a time; the dispatcher
// sleeps through most of it rather than wake for every byte, and must still
// take every byte, in order, whatever the pace: a controller slower than the
// line's rate, and one that pauses mid-reply within the inter-byte time.
TEST_F(SerialExchange, AReplyPacedAByteAtATimeIsTakenWhole) {
  ASSERT_EQ(Dispatcher.SetLineParams(kPort, PortDispatcher::kFormat8N1, 4800), kSerialOk);
  for (const auto gap : {0ms, 3ms}) {
    SCOPED_TRACE(gap.count());
    Peer.Run([this, gap](PtyPeer& p) {
      Received = p.Read(Request.size());
      for (size_t i = 0; i < Status.size(); ++i) {
        p.Write({Status[i]});
        std::this_thread::sleep_for(i == 10 ? 100ms : gap);
      }
    });
    EXPECT_EQ(Exchange(20), kSerialOk);
    Peer.Join();
    EXPECT_EQ(ReplyBytes(20), Status);
    EXPECT_EQ(Reply[20], 0xAA);
  }
}

TEST_F(SerialExchange, SilenceAndAnUnfinishedReplyTimeOut) {
  Dispatcher.SetTimeouts({100ms, 50ms});
  AnswerWith({});
  EXPECT_EQ(Exchange(20), kSerialTimeout);
  Peer.Join();
  EXPECT_EQ(Dispatcher.GetLineStatus(kPort), kLineTimeout);
  EXPECT_EQ(Dispatcher.GetErrorCode(kPort), kSerialTimeout);
  EXPECT_EQ(Dispatcher.LastReplyResult(kPort), -1);

  AnswerWith(Bytes(Status.begin(), Status.begin() + 12));
  EXPECT_EQ(Exchange(20), kSerialTimeout);
  Peer.Join();
  EXPECT_EQ(Dispatcher.LastReplyResult(kPort), 246);

  // Noise that never stops being noise fills nothing and ends in a time-out.
  AnswerWith(Bytes(40, 0x55));
  EXPECT_EQ(Exchange(20), kSerialTimeout);
  Peer.Join();
  EXPECT_EQ(Dispatcher.LastReplyResult(kPort), 223);
  EXPECT_EQ(Reply[20], 0xAA);

  // The next good exchange reads as such; the last failure is still known.
  AnswerWith(Status);
  EXPECT_EQ(Exchange(20), kSerialOk);
  EXPECT_EQ(Dispatcher.GetLineStatus(kPort), kLineAccepted);
  EXPECT_EQ(Dispatcher.GetErrorCode(kPort), kSerialTimeout);
}

// A set cancel flag cuts a long wait for a reply short, after the frame has
// gone out whole; a reply that comes soon is still taken.
TEST_F(SerialExchange, ACancelFlagEndsTheReplyWait) {
  std::atomic<bool> cancel{false};
  Dispatcher.SetCancelFlag(&cancel);
  Dispatcher.SetTimeouts({60s, 2s});
  AnswerWith({});
  std::thread flag([&] {
    std::this_thread::sleep_for(200ms);
    cancel = true;
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Exchange(20), kSerialCancelled);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  flag.join();
  Peer.Join();
  EXPECT_EQ(Received, Request);
  EXPECT_EQ(Dispatcher.GetErrorCode(kPort), kSerialCancelled);
  EXPECT_EQ(Dispatcher.GetLineStatus(kPort), kLineError);

  AnswerWith(Status);
  EXPECT_EQ(Exchange(20), kSerialOk);
}

TEST_F(SerialExchange, WithoutAHandlerTheReplyLengthCompletesTheReply) {
  Dispatcher.SetReplyHandler(kPort, TReplyHandler{});
  AnswerWith({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  EXPECT_EQ(Exchange(4), kSerialOk);
  EXPECT_EQ(ReplyBytes(5), (Bytes{1, 2, 3, 4, 0xAA}));
  EXPECT_TRUE(Checker.Lengths().empty());
}

TEST_F(SerialExchange, SendOnlySucceedsOnceWritten) {
  AnswerWith({});
  EXPECT_EQ(Exchange(0), kSerialOk);
  Peer.Join();
  EXPECT_EQ(Received, Request);
  EXPECT_EQ(Dispatcher.GetLineStatus(kPort), kLineAccepted);
  EXPECT_TRUE(Checker.Lengths().empty());
  EXPECT_EQ(Reply[0], 0xAA);
}

TEST_F(SerialExchange, HangUpLosesTheDeviceAndClosesThePort) {
  Peer.Run([this](PtyPeer& p) {
    Received = p.Read(Request.size());
    p.HangUp();
  });
  EXPECT_EQ(Exchange(20), kSerialDeviceLost);
  EXPECT_EQ(Dispatcher.GetLineStatus(kPort), kLineNoDevice);
  EXPECT_EQ(Dispatcher.GetErrorCode(kPort), kSerialDeviceLost);
  EXPECT_FALSE(Dispatcher.IsOpen(kPort));  // opened again, by its path, at the next exchange
}

// Mid-reply, the dispatcher sleeps for the bytes still due: a line that hung
// up meanwhile must still read as lost, with what came before kept.
TEST_F(SerialExchange, HangUpMidReplyLosesTheDevice) {
  Peer.Run([this](PtyPeer& p) {
    Received = p.Read(Request.size());
    p.Write(Bytes(Status.begin(), Status.begin() + 5));
    Checker.WaitFor(5);
    p.HangUp();
  });
  EXPECT_EQ(Exchange(20), kSerialDeviceLost);
  EXPECT_FALSE(Dispatcher.IsOpen(kPort));
  EXPECT_EQ(ReplyBytes(5), Bytes(Status.begin(), Status.begin() + 5));
}

// A port-settings handler as the driver's: it applies the line settings
// through the dispatcher and answers with their result.
struct SetupProbe {
  SerialDispatcher* Dispatcher;
  int32_t Baud = 9600;
  int32_t Answer = -1;  // when >= 0: answer this without opening anything
  int Calls = 0;

  static int32_t Call(void* Self, uint8_t Port) {
    auto* s = static_cast<SetupProbe*>(Self);
    ++s->Calls;
    if (s->Answer >= 0) return s->Answer;
    return s->Dispatcher->SetLineParams(Port, PortDispatcher::kFormat8N1, s->Baud);
  }
};

TEST_F(SerialExchange, ClosedPortIsOpenedThroughThePortSettingsHandler) {
  SetupProbe probe{&Dispatcher};
  Dispatcher.SetPortSetupHandler(kPort, {&SetupProbe::Call, &probe});
  for (int round = 0; round < 2; ++round) {
    AnswerWith(Status);
    EXPECT_EQ(Exchange(20), kSerialOk);
    Peer.Join();
  }
  EXPECT_EQ(probe.Calls, 1);
  EXPECT_EQ(Speed(), speed_t{B9600});

  // A failing handler fails the exchange before anything is sent.
  Dispatcher.Close(kPort);
  probe.Answer = 77;
  EXPECT_EQ(Exchange(20), kSerialBadSettings);
  EXPECT_EQ(Dispatcher.GetLineStatus(kPort), kLineBadSettings);
  probe.Answer = kSerialNoDevice;
  EXPECT_EQ(Exchange(20), kSerialNoDevice);
  EXPECT_FALSE(Dispatcher.IsOpen(kPort));
  EXPECT_FALSE(Peer.Pending());
  EXPECT_EQ(probe.Calls, 3);

  // A handler that succeeds without opening leaves it to the defaults.
  probe.Answer = 0;
  AnswerWith(Status);
  EXPECT_EQ(Exchange(20), kSerialOk);
  EXPECT_EQ(Speed(), speed_t{B4800});
}

// Where a data frame is due (reply mode 2), a lone ACK, NAK or CAN that the
// handler accepts stands only if the line then stays quiet: bytes right
// behind it mean it was a damaged frame start (here STX turned into ACK).
TEST_F(SerialExchange, LoneByteWhereDataIsDueIsRejectedWhenMoreFollows) {
  Bytes damaged = Status;
  damaged[0] = qx25::kAck;
  Peer.Run([&](PtyPeer& p) {
    Received = p.Read(Request.size());
    p.Write({damaged[0]});
    Checker.WaitFor(1);  // the handler has accepted the lone byte
    p.Write(Bytes(damaged.begin() + 1, damaged.end()));
  });
  EXPECT_EQ(Exchange(20), kSerialRejected);
  Peer.Join();
  EXPECT_EQ(Dispatcher.GetLineStatus(kPort), kLineRejected);
  EXPECT_EQ(Dispatcher.GetErrorCode(kPort), kSerialRejected);
  EXPECT_EQ(Reply[1], 0xAA);  // what followed is not taken as reply bytes
}

TEST_F(SerialExchange, LoneByteWhereDataIsDueStandsWhenTheLineStaysQuiet) {
  Dispatcher.SetTimeouts({5s, 100ms});
  AnswerWith({qx25::kCan});
  EXPECT_EQ(Exchange(20), kSerialOk);
  Peer.Join();
  EXPECT_EQ(Dispatcher.GetLineStatus(kPort), kLineAccepted);
  EXPECT_EQ(ReplyBytes(2), (Bytes{qx25::kCan, 0xAA}));
}

// Where only a one-byte reply is due, the accepted byte is final at once: an
// acknowledge-only command never waits for quiet.
TEST_F(SerialExchange, LoneByteWhereItIsDueIsFinalAtOnce) {
  Peer.Run([&](PtyPeer& p) {
    Received = p.Read(Request.size());
    p.Write({qx25::kAck});
    Checker.WaitFor(1);
    p.Write({qx25::kCan});
  });
  EXPECT_EQ(
      Dispatcher.Transact(kPort, Request.data(), static_cast<uint8_t>(Request.size()), Reply, 2, 0),
      kSerialOk);
  Peer.Join();
  EXPECT_EQ(Reply[0], qx25::kAck);
}

}  // namespace
