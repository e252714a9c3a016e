// The frame codec and Exchange, checked against frames written out by hand.
#include <gtest/gtest.h>

#include <cstring>

#include "ScriptedDispatcher.h"
#include "driver/Driver.h"
#include "driver/DriverPtr.h"

using namespace qx25;

namespace {

TEST(FrameCodec, EncodesRequestsByteExactly) {
  EXPECT_EQ(RequestFrame({0x02, 0x21, 0x32}),
            (Bytes{0x7F, 0x02, 0x21, 0x5E, 0x32, 0x4D, 0x03, 0x03, 0x50}));
  EXPECT_EQ(RequestFrame({0x02}), (Bytes{0x7F, 0x02, 0x03, 0x03, 0x43}));
  // The preset of 25 litres for nozzle 1.
  const Bytes preset = RequestFrame({0x02, 0x21, 'T', '0', '0', '0', '2', '5'});
  ASSERT_EQ(preset.size(), 19u);
  EXPECT_EQ(preset[1], 0x02);
  EXPECT_EQ(preset[4], 'T');
  EXPECT_EQ(preset[5], 'T' ^ 0x7F);
  EXPECT_EQ(preset.back(), (0x03 ^ 0x21 ^ 'T' ^ '0' ^ '0' ^ '0' ^ '2' ^ '5') | 0x40);
  // The longest request fills the 255-byte frame exactly.
  EXPECT_EQ(RequestFrame(Bytes(126, '1')).size(), 255u);
  // No request data has no frame, rather than a frame of a byte never given.
  EXPECT_TRUE(RequestFrame({}).empty());
}

TEST(FrameCodec, MapsNozzlesToAddressBytes) {
  struct Case {
    int nozzle, side;
    uint8_t group, address;
  };
  for (const Case c : {Case{1, 1, 0x02, 0x21}, Case{15, 1, 0x02, 0x2F}, Case{16, 1, 0x07, 0x21},
                       Case{29, 1, 0x07, 0x2E}, Case{30, 1, 0x07, 0x20}, Case{31, 1, 0x08, 0x21},
                       Case{1, 0, 0x02, 0x21}, Case{1, 2, 0x02, 0x22}, Case{32, 4, 0x08, 0x25}}) {
    const TAddressBytes a = MapNozzleAddress(c.nozzle, c.side, 1);
    EXPECT_EQ(a.Group, c.group) << c.nozzle << "/" << c.side;
    EXPECT_EQ(a.Address, c.address) << c.nozzle << "/" << c.side;
  }
  // Any side is mapped without overflow, even where no table is indexed.
  const TAddressBytes far = MapNozzleAddress(1, INT32_MIN, 1);
  (void)far;
}

struct VerdictCase {
  const char* name;
  Bytes in;
  bool accepted;
  bool hasState;
  uint8_t state, code;
  Bytes out;  // the buffer after the lead-byte scan
};

Bytes StatusReply() {
  uint8_t out[64];
  const uint8_t data[8] = {'0', '0', 0, '0', '0', '0', '0', '0'};
  const uint8_t n = EncodeReply(data, 8, out);
  return Bytes(out, out + n);
}

TEST(FrameCodec, ChecksRepliesInOrder) {
  Bytes badComplement = StatusReply();
  badComplement[4] ^= 0x01;
  Bytes badChecksum = StatusReply();
  badChecksum.back() ^= 0x01;
  const uint8_t e = 0x35;
  const Bytes one{0x02, e,    static_cast<uint8_t>(e ^ 0x7F),
                  0x03, 0x03, static_cast<uint8_t>((e ^ 0x03) | 0x40)};
  const std::vector<VerdictCase> cases = {
      {"noise then ACK", {0x00, 0xFF, 0x06}, true, true, 1, 0, {0x06}},
      {"NAK", {0x15}, true, true, 1, 0, {0x15}},
      {"CAN", {0x18}, true, true, 1, 0, {0x18}},
      {"noise only", {0x00, 0x7F, 0x41}, false, false, 0, 223, {}},
      {"empty", {}, false, false, 0, 223, {}},
      {"status reply", StatusReply(), true, true, 1, 0, StatusReply()},
      {"complement off by a bit", badComplement, false, true, 3, 246, badComplement},
      {"checksum altered", badChecksum, false, false, 0, 222, badChecksum},
      {"one data byte", one, true, true, 1, 0, one},
      {"STX too short", {0x02, 0x03, 0x03}, false, true, 3, 246, {0x02, 0x03, 0x03}},
      {"STX alone", {0x02}, false, true, 3, 246, {0x02}},
      {"no trailer",
       {0x02, 0x31, 0x4E, 0x03, 0x71},
       false,
       true,
       3,
       246,
       {0x02, 0x31, 0x4E, 0x03, 0x71}},
  };
  for (const VerdictCase& c : cases) {
    Bytes buffer = c.in;
    buffer.resize(buffer.size() + 8, 0xEE);  // bytes beyond Length must stay untouched
    uint8_t length = static_cast<uint8_t>(c.in.size());
    const TReplyVerdict v = CheckReply(buffer.data(), length);
    EXPECT_EQ(v.Accepted, c.accepted) << c.name;
    EXPECT_EQ(v.HasState, c.hasState) << c.name;
    if (c.hasState) {
      EXPECT_EQ(v.State, c.state) << c.name;
    }
    EXPECT_EQ(v.Code, c.code) << c.name;
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + length), c.out) << c.name;
    for (size_t i = c.in.size(); i < buffer.size(); ++i) EXPECT_EQ(buffer[i], 0xEE) << c.name;
  }
}

TEST(FrameCodec, NeverTouchesBytesBeyondLength) {
  // Every length of every prefix of a few replies, in a buffer of exactly that
  // length: the sanitizer build catches any read or write outside it.
  const Bytes sources[] = {StatusReply(), Bytes(255, 0x02), Bytes(255, 0x03), Bytes(255, 0x00)};
  for (const Bytes& src : sources)
    for (size_t n = 0; n <= src.size(); ++n) {
      std::vector<uint8_t> exact(src.begin(), src.begin() + n);
      uint8_t length = static_cast<uint8_t>(n);
      CheckReply(exact.data(), length);
      EXPECT_LE(length, n);
    }
}

class ExchangeTest : public ::testing::Test {
 protected:
  ScriptedDispatcher line;
  DriverPtr driver{GetQX25(0, 0, &line)};
};

TEST_F(ExchangeTest, RegistersHandlerThenTransactsThenReadsStatus) {
  line.Ack();
  uint8_t buffer[kBufferSize] = {0x02, 0x21, 0x32};
  EXPECT_EQ(driver->Exchange(3, buffer, 3, 2, 0), 0);
  EXPECT_EQ(line.Calls,
            (std::vector<std::string>{"SetReplyHandler 3", "Transact 3", "SetReplyState 3 1",
                                      "SetReplyResult 3 0", "GetLineStatus 3"}));
  EXPECT_EQ(line.Frames.at(0), (Bytes{0x7F, 0x02, 0x21, 0x5E, 0x32, 0x4D, 0x03, 0x03, 0x50}));
  EXPECT_EQ(line.ReplyLengths.at(0), 2);
  EXPECT_EQ(line.ReplyModes.at(0), 0);
  EXPECT_EQ(buffer[0], kAck);
  EXPECT_EQ(buffer[1], 0x21);  // a one-byte reply leaves the request behind it
  EXPECT_EQ(driver->GetPortStatus(3), 1);
}

TEST_F(ExchangeTest, LeavesDataReplyInBuffer) {
  line.AnswerData({'0', '1', 0x08, '1', '2', '0', '0', '0'});
  uint8_t buffer[kBufferSize] = {0x02, 0x21, '1'};
  EXPECT_EQ(driver->Exchange(1, buffer, 3, 20, 2), 0);
  EXPECT_EQ(buffer[0], kStx);
  EXPECT_EQ(buffer[1], '0');
  EXPECT_EQ(buffer[3], '1');
  EXPECT_EQ(buffer[5], 0x08);
}

TEST_F(ExchangeTest, DispatcherExceptionBecomesItsErrorCode) {
  driver->SetPortStatus(4, 77);
  line.Fail();
  uint8_t buffer[kBufferSize] = {0x02, 0x21, 0x32};
  EXPECT_EQ(driver->Exchange(4, buffer, 3, 2, 0), 99);
  EXPECT_EQ(driver->GetPortStatus(4), 77);  // kept: the exchange never finished
  EXPECT_EQ(line.Calls.back(), "GetErrorCode 4");

  // A dispatcher that calls its failure 0 must not make it a success.
  line.ErrorCode = 0;
  line.Fail();
  EXPECT_NE(driver->Exchange(4, buffer, 3, 2, 0), 0);
}

TEST_F(ExchangeTest, RejectedReplyIsAFailure) {
  line.Answer({0x02, 0x31, 0x4E, 0x03, 0x03, 0x00});
  uint8_t buffer[kBufferSize] = {0x02, 0x21, '1'};
  EXPECT_NE(driver->Exchange(2, buffer, 3, 20, 2), 0);
  EXPECT_EQ(driver->GetPortStatus(2), ScriptedDispatcher::kNoReply);
}

TEST_F(ExchangeTest, RefusesRequestsThatCannotBeFramed) {
  uint8_t buffer[kBufferSize] = {};
  EXPECT_NE(driver->Exchange(1, buffer, 0, 2, 0), 0);
  EXPECT_NE(driver->Exchange(1, buffer, 127, 2, 0), 0);
  EXPECT_TRUE(line.Frames.empty());
  EXPECT_THROW(driver->Exchange(0, buffer, 3, 2, 0), std::out_of_range);
  EXPECT_THROW(driver->Exchange(31, buffer, 3, 2, 0), std::out_of_range);
}

}  // namespace
