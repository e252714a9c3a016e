// Controller parameters, common commands, address programming and port
// settings on a scripted line.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ScriptedDispatcher.h"
#include "driver/Driver.h"
#include "driver/DriverPtr.h"

using namespace qx25;

namespace {

// A line on which every exchange fails, including those that expect no reply.
struct DeadLine : ScriptedDispatcher {
  int32_t Transact(uint8_t, const uint8_t*, uint8_t, uint8_t*, uint8_t, uint8_t) override {
    throw std::runtime_error("line down");
  }
};

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

class Parameters : public ::testing::Test {
 protected:
  ScriptedDispatcher line;
  DriverPtr driver{GetQX25(0, 0, &line)};

  template <typename E>
  void ExpectRefusedBeforeSending(const std::function<void()>& Command) {
    EXPECT_THROW(Command(), E);
    EXPECT_TRUE(line.Frames.empty());
  }
  template <typename E>
  void ExpectMessage(const std::function<void()>& Command, const char* Message) {
    try {
      Command();
      ADD_FAILURE() << "no exception, expected " << Message;
    } catch (const E& e) {
      EXPECT_STREQ(e.what(), Message);
    }
  }
};

TEST_F(Parameters, ReadsByParameterNumber) {
  line.Answer({0x02, 0x21, 0x5E, 0x32, 0x4D, 0x35, 0x4A, 0x30, 0x4F, 0x03, 0x03, 0x55});
  EXPECT_EQ(driver->GetParam(3, 1, 15), 250);
  EXPECT_EQ(line.LastRequest(), (Bytes{0x02, 0x21, 'N', '5'}));
  EXPECT_EQ(line.ReplyLengths.back(), 12);
  EXPECT_EQ(line.ReplyModes.back(), 2);

  struct Case {
    int32_t paramNo;
    Bytes request;
    uint8_t replyLength;
    Bytes data;
    int32_t value;
  };
  const Case cases[] = {
      {10, {0x02, 0x21, 'N', '0'}, 8, Text("07"), 7},
      {71, {0x02, 0x22, 'N', '1'}, 36, Text("0000000000001234"), 1234},
      {19, {0x02, 0x21, 'N', '9'}, 14, Text("00750"), 750},
      {62, {0x02, 0x21, 'N', 'd'}, 6, Text("0"), 0},        // code 52 has no digits
      {15, {0x02, 0x21, 'N', '5'}, 12, Text("01:5"), 205},  // ':' counts as ten
  };
  for (const Case& c : cases) {
    line.AnswerData(c.data);
    EXPECT_EQ(driver->GetParam(3, 1, c.paramNo), c.value) << c.paramNo;
    EXPECT_EQ(line.LastRequest(), c.request) << c.paramNo;
    EXPECT_EQ(line.ReplyLengths.back(), c.replyLength) << c.paramNo;
  }
  // Fifteen digits do not fit the slot's 32 bits: it keeps the low ones.
  line.AnswerData(Text("0123456789012345"));
  EXPECT_EQ(driver->GetParam(3, 1, 11), static_cast<int32_t>(123456789012345 & 0xFFFFFFFF));
  // A frame shorter than the code's reply is a damaged one, not a short value.
  line.AnswerData(Text("0"));
  EXPECT_THROW(driver->GetParam(3, 1, 15), ESerialIO);
}

TEST_F(Parameters, ReadByParameterNumberOutcomes) {
  ExpectMessage<std::runtime_error>([&] { driver->GetParam(3, 33, 5); }, kMsgNozzleRange);
  for (int32_t paramNo : {9, 0, -5}) EXPECT_EQ(driver->GetParam(3, 1, paramNo), -1);
  EXPECT_TRUE(line.Frames.empty());

  line.Can();
  EXPECT_EQ(driver->GetParam(3, 1, 15), -1);
  EXPECT_EQ(driver->GetPortStatus(3), kRefusedParam);
  // ACK or NAK carry no digits: the request left in the buffer is no value.
  for (uint8_t reply : {kAck, kNak}) {
    line.Answer({reply});
    EXPECT_EQ(driver->GetParam(3, 1, 15), -1);
    EXPECT_EQ(driver->GetPortStatus(3), 1);
  }
  line.AnswerWithStatus({kCan}, 5);  // a line in doubt: no refusal code either
  EXPECT_EQ(driver->GetParam(3, 1, 15), -1);
  EXPECT_EQ(driver->GetPortStatus(3), 5);
  line.Fail();
  ExpectMessage<ESerialIO>([&] { driver->GetParam(3, 1, 15); }, kMsgParam);
}

TEST_F(Parameters, ReadsByNetworkAddress) {
  line.AnswerData(Text("0123456789012345"));
  EXPECT_EQ(driver->ReadParam(kLinkParameter, 3, 16, 1, 99), 123456789012345);
  EXPECT_EQ(line.LastRequest(), (Bytes{0x07, 0x21, 'N', '1'}));
  EXPECT_EQ(line.ReplyLengths.back(), 36);  // from the digit table, not the Digits argument

  line.Can();
  EXPECT_EQ(driver->ReadParam(kLinkParameter, 3, 5, 5, 3), -1);
  EXPECT_EQ(driver->GetPortStatus(3), kRefusedParam);
  line.Ack();
  EXPECT_EQ(driver->ReadParam(kLinkParameter, 3, 5, 5, 3), -1);
  EXPECT_EQ(driver->GetPortStatus(3), 1);

  line.AnswerWithStatus({kCan}, 5);
  ExpectMessage<ESerialIO>([&] { driver->ReadParam(kLinkParameter, 3, 5, 5, 3); }, kMsgReadReply);
  line.Fail();
  ExpectMessage<ESerialIO>([&] { driver->ReadParam(kLinkParameter, 3, 5, 5, 3); }, kMsgReadLink);
}

TEST_F(Parameters, ReadByAddressSendsNothingForOtherModesOrCodes) {
  EXPECT_EQ(driver->ReadParam(kLinkCommon, 3, 5, 5, 3), -1);
  EXPECT_EQ(driver->ReadParam(kLinkAddress, 3, 5, 5, 3), -1);
  ExpectRefusedBeforeSending<std::out_of_range>([&] { driver->ReadParam(0, 3, 5, 60, 3); });
  ExpectRefusedBeforeSending<std::out_of_range>([&] { driver->ReadParam(0, 3, 5, -1, 3); });
  ExpectRefusedBeforeSending<std::out_of_range>([&] { driver->ReadParam(0, 0, 5, 5, 3); });
}

TEST_F(Parameters, WritesByParameterNumber) {
  line.Ack();
  driver->SetPar(3, 1, 15, 250);
  EXPECT_EQ(line.LastRequest(), (Bytes{0x02, 0x21, 'O', '5', '2', '5', '0'}));
  EXPECT_EQ(line.ReplyLengths.back(), 2);
  EXPECT_EQ(line.ReplyModes.back(), 0);

  line.Ack();
  driver->WriteCtrlParam(3, 1, 60 + 16, 1234);  // side 2, code 16: six digits
  EXPECT_EQ(line.LastRequest(), (Bytes{0x02, 0x22, 'O', '@', '0', '0', '1', '2', '3', '4'}));
  line.Ack();
  driver->WriteCtrlParam(3, 1, 52, 7);  // no digits at all
  EXPECT_EQ(line.LastRequest(), (Bytes{0x02, 0x21, 'O', 'd'}));

  driver->SetPortStatus(3, 0);
  driver->SetPar(3, 1, 3, 1);  // a common command: nothing answers, the status is the line's
  EXPECT_EQ(line.LastRequest(), (Bytes{0x02, 'W', '3', '1'}));
  EXPECT_EQ(line.ReplyLengths.back(), 0);
  EXPECT_EQ(driver->GetPortStatus(3), 1);

  line.Ack();
  driver->SetPar(3, 1, 9, 765432105);
  EXPECT_EQ(line.LastRequest(),
            (Bytes{0x02, ']', '0', '0', '0', '7', '6', '0', '0', '5', '5', '4', '3', '2', '1'}));
}

TEST_F(Parameters, WriteOutcomes) {
  line.Can();
  driver->WriteCtrlParam(3, 1, 5, 1);
  EXPECT_EQ(driver->GetPortStatus(3), kRefusedParam);
  line.Nak();
  driver->WriteCtrlParam(3, 1, 5, 1);
  EXPECT_EQ(driver->GetPortStatus(3), 1);
  line.AnswerWithStatus({kCan}, 5);
  driver->WriteCtrlParam(3, 1, 5, 1);
  EXPECT_EQ(driver->GetPortStatus(3), 5);
  line.Fail();
  ExpectMessage<ESerialIO>([&] { driver->SetPar(3, 1, 15, 1); }, kMsgParam);

  DeadLine dead;
  DriverPtr d(GetQX25(0, 0, &dead));
  ExpectMessage<ESerialIO>([&] { d->SetPar(3, 1, 4, 1); }, kMsgCommon);
}

TEST_F(Parameters, ValuesTheEncodingsCannotCarryAreRefused) {
  using Range = std::out_of_range;
  ExpectRefusedBeforeSending<Range>([&] { driver->SetPar(3, 1, 15, -1); });
  ExpectRefusedBeforeSending<Range>([&] { driver->WriteCtrlParam(3, 1, -1, 5); });
  ExpectRefusedBeforeSending<Range>([&] { driver->SetPar(3, 1, 4, 10); });  // common value
  ExpectRefusedBeforeSending<Range>([&] { driver->SetPar(3, 1, 4, -1); });
  ExpectRefusedBeforeSending<Range>([&] { driver->SetPar(3, 1, -1, 1); });    // command number
  ExpectRefusedBeforeSending<Range>([&] { driver->SetPar(3, 1, 9, -105); });  // ID below 0
  ExpectRefusedBeforeSending<Range>([&] { driver->SetNetAddress(3, 1, 5, 100); });
  ExpectRefusedBeforeSending<Range>([&] { driver->SetNetAddress(3, 1, 5, -1); });
  ExpectRefusedBeforeSending<Range>([&] { driver->WriteParam(0, 3, 5, 60, 2, 1); });
  ExpectRefusedBeforeSending<Range>([&] { driver->WriteParam(0, 3, 5, 5, 16, 1); });
  ExpectRefusedBeforeSending<Range>([&] { driver->WriteParam(0, 3, 5, 5, 3, -1); });
  ExpectRefusedBeforeSending<Range>([&] { driver->WriteParam(1, 3, 5, 10, 0, 0); });
  ExpectRefusedBeforeSending<Range>([&] { driver->WriteParam(1, 3, 5, 1, 0, 10); });
  ExpectRefusedBeforeSending<Range>([&] { driver->WriteParam(2, 3, 5, -1, 0, 5); });
  // The calibration password is not sent for a coefficient that cannot follow it.
  ExpectRefusedBeforeSending<Range>([&] { driver->WriteParam(0, 3, 1, 27, 8, -1); });
  ExpectRefusedBeforeSending<Range>([&] { driver->WriteCalibration(3, 1, 5, 1); });
  for (int32_t nozzle : {33, 255}) {
    ExpectMessage<std::runtime_error>([&] { driver->SetPar(3, nozzle, 4, 1); }, kMsgNozzleRange);
    ExpectMessage<std::runtime_error>([&] { driver->WriteCtrlParam(3, nozzle, 5, 1); },
                                      kMsgNozzleRange);
    ExpectMessage<std::runtime_error>([&] { driver->WriteParam(2, 3, nozzle, 7, 0, 5); },
                                      kMsgNozzleRange);
    ExpectMessage<std::runtime_error>([&] { driver->WriteParam(0, 3, nozzle, 27, 8, 5); },
                                      kMsgNozzleRange);
  }
  EXPECT_TRUE(line.Frames.empty());
}

TEST_F(Parameters, ProgramsNetworkAddresses) {
  line.Can();
  driver->SetNetAddress(3, 1, 7654321, 5);
  EXPECT_EQ(driver->GetPortStatus(3), kRefusedNetAddress);
  EXPECT_EQ(line.ReplyLengths.back(), 2);
  line.AnswerWithStatus({kAck}, 5);
  ExpectMessage<ESerialIO>([&] { driver->SetNetAddress(3, 1, 7654321, 5); }, kMsgNetAddressReply);
  line.Fail();
  ExpectMessage<ESerialIO>([&] { driver->SetNetAddress(3, 1, 7654321, 5); }, kMsgNetAddressLink);

  // From the window: the ID number comes in Code and the address is taken mod 100.
  line.Ack();
  EXPECT_TRUE(driver->WriteParam(kLinkAddress, 3, 1, 27, 0, 105));
  EXPECT_EQ(line.LastRequest(),
            (Bytes{0x02, ']', '0', '0', '0', '0', '0', '0', '0', '5', '0', '0', '0', '2', '7'}));
  EXPECT_EQ(line.Frames.size(), 4u);  // no calibration for ID 27
}

TEST_F(Parameters, WritesByNetworkAddress) {
  struct Case {
    int64_t address, digits, value;
    Bytes request;
  };
  for (const Case& c : {Case{5, 4, 37, {0x02, 0x25, 'O', '5', '0', '0', '3', '7'}},
                        Case{5, 4, 654321, {0x02, 0x25, 'O', '5', '4', '3', '2', '1'}},
                        Case{16, 0, 9, {0x07, 0x21, 'O', '5'}}}) {
    line.Ack();
    EXPECT_TRUE(driver->WriteParam(kLinkParameter, 3, c.address, 5, c.digits, c.value));
    EXPECT_EQ(line.LastRequest(), c.request);
  }
  // A refusal is no write: false, and the refusal code, as the other
  // parameter requests record it.
  line.Can();
  EXPECT_FALSE(driver->WriteParam(kLinkParameter, 3, 5, 5, 4, 1));
  EXPECT_EQ(driver->GetPortStatus(3), kRefusedParam);
  line.Nak();  // no refusal
  EXPECT_TRUE(driver->WriteParam(kLinkParameter, 3, 5, 5, 4, 1));
  EXPECT_EQ(driver->GetPortStatus(3), 1);
  line.Fail();
  EXPECT_FALSE(driver->WriteParam(kLinkParameter, 3, 5, 5, 4, 1));

  EXPECT_TRUE(driver->WriteParam(kLinkCommon, 3, 77, 4, 0, 0));
  EXPECT_EQ(line.LastRequest(), (Bytes{0x02, 'W', '4', '0'}));
  EXPECT_EQ(line.ReplyLengths.back(), 0);
  const size_t sent = line.Frames.size();
  EXPECT_FALSE(driver->WriteParam(3, 3, 5, 5, 4, 1));
  EXPECT_EQ(line.Frames.size(), sent);

  DeadLine dead;
  DriverPtr d(GetQX25(0, 0, &dead));
  EXPECT_FALSE(d->WriteParam(kLinkCommon, 3, 5, 4, 0, 0));
}

TEST_F(Parameters, CalibrationOpensWithThePasswordAndReadsItBack) {
  line.Ack();
  line.Ack();
  line.AnswerData(Text("00042"));
  EXPECT_TRUE(driver->WriteParam(kLinkParameter, 3, 1, 27, 8, 12345678));
  EXPECT_EQ(line.Request(0), (Bytes{0x02, 0x21, 'O', 'J', '8', '1', '6', '3'}));
  EXPECT_EQ(line.Request(1), (Bytes{0x02, 0x21, 'O', 'K', '1', '2', '3', '4', '5', '6', '7', '8'}));
  EXPECT_EQ(line.Request(2), (Bytes{0x02, 0x21, 'N', 'J'}));
  EXPECT_EQ(line.ReplyLengths[2], 14);

  line.Ack();
  line.Ack();
  line.AnswerData(Text("00042"));
  EXPECT_EQ(driver->WriteCalibration(3, 1, 2, 5), 42);
  EXPECT_EQ(line.Request(5), (Bytes{0x02, 0x22, 'N', 'J'}));

  line.Fail();  // the password fails: nothing more is sent
  EXPECT_THROW(driver->WriteCalibration(3, 1, 1, 5), ESerialIO);
  EXPECT_EQ(line.Frames.size(), 7u);
}

struct SpyDriver final : TQX25 {
  std::vector<int32_t> Reads;
  int32_t QX25_CALL GetParam(int32_t, int32_t, int32_t ParamNo) override {
    Reads.push_back(ParamNo);
    return 4242;
  }
};

TEST(ParameterSlots, CalibrationReadsBackThroughTheTable) {
  ScriptedDispatcher line;
  auto spy = std::make_unique<SpyDriver>();
  spy->Dispatcher = &line;
  spy->AddressStride = 1;
  for (int i = 0; i < 4; ++i) line.Ack();
  EXPECT_EQ(spy->WriteCalibration(3, 1, 1, 5), 4242);
  EXPECT_TRUE(spy->WriteParam(kLinkParameter, 3, 2, 27, 8, 5));
  EXPECT_EQ(spy->Reads, (std::vector<int32_t>{36, 36}));
  EXPECT_EQ(line.Letters(), "OOOO");
}

TEST_F(Parameters, SetupPortRegistersItsHandlerAndAppliesTheSettings) {
  line.LineParamsResult = 17;
  EXPECT_EQ(driver->SetupPort(0x103), 17);
  EXPECT_EQ(line.Calls,
            (std::vector<std::string>{"SetPortSetupHandler 3", "SetLineParams 3 42 4800"}));
  // The dispatcher applies the settings again through the handler when it needs to.
  EXPECT_EQ(line.SetupHandler.Code(line.SetupHandler.Self, 3), 17);
  EXPECT_EQ(line.Calls.back(), "SetLineParams 3 42 4800");
  EXPECT_THROW(driver->SetupPort(31), std::out_of_range);
  EXPECT_EQ(line.Calls.size(), 3u);
}

TEST_F(Parameters, NozzleAddressOfTheAddressDialog) {
  EXPECT_EQ(driver->CalcNozzleAddress(2, 3), 4);
  EXPECT_EQ(driver->CalcNozzleAddress(5, 0), 5);
  EXPECT_EQ(driver->CalcNozzleAddress(5, 1), 5);
  EXPECT_THROW(driver->CalcNozzleAddress(INT32_MAX, 2), std::out_of_range);
  EXPECT_THROW(driver->CalcNozzleAddress(INT32_MIN, -1), std::out_of_range);
  EXPECT_TRUE(line.Calls.empty());
}

}  // namespace
