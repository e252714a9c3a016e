// Each request the driver sends, answered in the layout the driver reads,
// checked through the host's own reply check.
#include <gtest/gtest.h>

#include <cmath>

#include "SimTestSupport.h"

using namespace qx25;
using namespace qx25::sim;
using namespace simtest;

namespace {

// The character a parameter code travels as.
std::string Code(int c) { return std::string(1, char(kCodeCharBase + c)); }

class Requests : public ::testing::Test {
 protected:
  Requests() {
    Sim.AddController(1);
    Sim.AddController(30, 1234567890);
  }
  Simulator Sim;
};

TEST_F(Requests, DataRepliesHaveTheLengthsTheDriverExpects) {
  EXPECT_EQ(Ask(Sim, RequestData(1, '1')).size(), kStatusRequest.ReplyLength);
  EXPECT_EQ(Ask(Sim, RequestData(1, '4')).size(), kCurrentRequest.ReplyLength);
  EXPECT_EQ(Ask(Sim, RequestData(1, '5')).size(), kResultRequest.ReplyLength);
  EXPECT_EQ(Ask(Sim, RequestData(1, '6')).size(), kTotalRequest.ReplyLength);
  for (int code = 0; code < kParamCodeCount; ++code) {
    const Bytes reply = Ask(Sim, RequestData(30, 'N', Code(code)));
    EXPECT_EQ(reply.size(), ParamReplyLength(ParamDigits[code])) << "code " << code;
    ReplyData(reply, ParamDigits[code] + 1u);
  }
}

TEST_F(Requests, StatusOfAnIdleController) {
  const Bytes e = ReplyData(Ask(Sim, RequestData(1, '1')), 8);
  ASSERT_EQ(e.size(), 8u);
  EXPECT_EQ(e[0], '0');
  EXPECT_EQ(e[2] & kEventReported, 0);
}

TEST_F(Requests, ControlRequestsAreAnsweredWithOneByte) {
  EXPECT_EQ(Ask(Sim, RequestData(1, 'U')), kAckReply);
  EXPECT_EQ(Ask(Sim, RequestData(1, '2')), kCanReply);  // no preset yet
  EXPECT_EQ(Ask(Sim, RequestData(1, 'T', "00025")), kAckReply);
  EXPECT_EQ(Ask(Sim, RequestData(1, '2')), kAckReply);
  EXPECT_EQ(Ask(Sim, RequestData(1, '3')), kAckReply);
  EXPECT_EQ(Ask(Sim, RequestData(1, '8')), kAckReply);
  // Arguments the controller cannot read, and letters it does not know.
  EXPECT_EQ(Ask(Sim, RequestData(1, 'T', "0025")), kNakReply);
  EXPECT_EQ(Ask(Sim, RequestData(1, 'T', "00a25")), kNakReply);
  EXPECT_EQ(Ask(Sim, RequestData(1, '2', "1")), kNakReply);
  EXPECT_EQ(Ask(Sim, RequestData(1, '1', "2")), kNakReply);
  EXPECT_EQ(Ask(Sim, RequestData(1, 'Z')), kNakReply);
}

TEST_F(Requests, NobodyAnswersForAnEmptyAddressOrABrokenFrame) {
  EXPECT_TRUE(Ask(Sim, RequestData(2, '1')).empty());
  Bytes frame = RequestFrame(RequestData(1, '1'));
  frame.back() ^= 0x01;
  EXPECT_FALSE(Sim.Respond(frame.data(), frame.size()));
  const Bytes noise{0x7F, 0x7F, 0x00};
  EXPECT_FALSE(Sim.Respond(noise.data(), noise.size()));
}

TEST_F(Requests, ParametersAreWrittenAndReadBackWithTheirDigitCounts) {
  // Code 5 has three digits: 250 goes as "250" and comes back so.
  EXPECT_EQ(Ask(Sim, RequestData(1, 'O', Code(5) + "250")), kAckReply);
  Bytes e = ReplyData(Ask(Sim, RequestData(1, 'N', Code(5))), 4);
  EXPECT_EQ(Number(e, 1, 3), 250);
  EXPECT_EQ(e[0], MapNetworkAddress(1).Address);  // the byte the host skips

  // A write may carry more or fewer digits than the code holds, as long as
  // the value fits (the catalog writes code 37 with one digit, code 12 with two).
  EXPECT_EQ(Ask(Sim, RequestData(1, 'O', Code(37) + "1")), kAckReply);  // code 37
  EXPECT_EQ(Number(ReplyData(Ask(Sim, RequestData(1, 'N', Code(37))), 4), 1, 3), 1);
  EXPECT_EQ(Ask(Sim, RequestData(1, 'O', Code(12) + "02")), kAckReply);  // code 12, one digit
  EXPECT_EQ(Number(ReplyData(Ask(Sim, RequestData(1, 'N', Code(12))), 2), 1, 1), 2);
  EXPECT_EQ(Ask(Sim, RequestData(1, 'O', Code(12) + "12")), kCanReply);  // 12 does not fit
  EXPECT_EQ(Sim.State(1).Params[12], 2);

  // Fifteen digits for code 1.
  EXPECT_EQ(Ask(Sim, RequestData(1, 'O', Code(1) + "123456789012345")), kAckReply);
  EXPECT_EQ(Number(ReplyData(Ask(Sim, RequestData(1, 'N', Code(1))), 16), 1, 15), 123456789012345);

  // Codes the controller does not have, a write without a value, non-digits.
  EXPECT_EQ(Ask(Sim, RequestData(1, 'N', Code(60))), kCanReply);  // 60
  EXPECT_EQ(Ask(Sim, RequestData(1, 'N', "/")), kCanReply);
  EXPECT_EQ(Ask(Sim, RequestData(1, 'O', Code(60) + "1")), kCanReply);
  EXPECT_EQ(Ask(Sim, RequestData(1, 'O', Code(5))), kCanReply);
  EXPECT_EQ(Ask(Sim, RequestData(1, 'O', Code(5) + "2x0")), kNakReply);
  // The codes without digits take an empty write and read back nothing.
  EXPECT_EQ(Ask(Sim, RequestData(1, 'O', Code(52))), kAckReply);
  EXPECT_EQ(Ask(Sim, RequestData(1, 'O', Code(52) + "1")), kCanReply);
  EXPECT_EQ(ReplyData(Ask(Sim, RequestData(1, 'N', Code(52))), 1).size(), 1u);
}

TEST_F(Requests, CalibrationNeedsItsPasswordJustBefore) {
  EXPECT_EQ(Ask(Sim, RequestData(1, 'O', Code(27) + "00012345")),
            kCanReply);  // code 27 without password
  EXPECT_EQ(Sim.State(1).Params[kCalibrationCode], 0);

  EXPECT_EQ(Ask(Sim, RequestData(1, 'O', Code(26) + "8163")), kAckReply);
  EXPECT_EQ(Ask(Sim, RequestData(1, 'O', Code(27) + "00012345")), kAckReply);
  EXPECT_EQ(Sim.State(1).Params[kCalibrationCode], 12345);
  // Code 26 now reads back the confirmation of the password operation.
  EXPECT_EQ(Number(ReplyData(Ask(Sim, RequestData(1, 'N', Code(26))), 5), 1, 4), kConfirmDone);

  // The password opens one write, and only for the next request.
  EXPECT_EQ(Ask(Sim, RequestData(1, 'O', Code(27) + "00000001")), kCanReply);
  EXPECT_EQ(Ask(Sim, RequestData(1, 'O', Code(26) + "8163")), kAckReply);
  EXPECT_EQ(Number(ReplyData(Ask(Sim, RequestData(1, 'N', Code(26))), 5), 1, 4), kConfirmNone);
  EXPECT_EQ(Ask(Sim, RequestData(1, 'O', Code(27) + "00000001")), kCanReply);
  // The other password does not open it either.
  EXPECT_EQ(Ask(Sim, RequestData(1, 'O', Code(26) + "5290")), kAckReply);
  EXPECT_EQ(Ask(Sim, RequestData(1, 'O', Code(27) + "00000001")), kCanReply);
  EXPECT_EQ(Sim.State(1).Params[kCalibrationCode], 12345);
}

TEST_F(Requests, TotaliserIsReadAndWrittenOnlyAfterItsPassword) {
  Sim.SetTotaliser(1, 1234);
  Bytes e = ReplyData(Ask(Sim, RequestData(1, '6')), 16);
  EXPECT_EQ(Number(e, 0, 8), 1234);

  const std::string write = std::string(1, '\x01') + "00258107";
  EXPECT_EQ(Ask(Sim, RequestData(1, '6', write)), kCanReply);
  EXPECT_EQ(Ask(Sim, RequestData(1, 'O', Code(26) + "5290")), kAckReply);
  EXPECT_EQ(Ask(Sim, RequestData(1, '6', write)), kAckReply);
  EXPECT_EQ(Number(ReplyData(Ask(Sim, RequestData(1, '6')), 16), 0, 8), 258107);
  EXPECT_EQ(Number(ReplyData(Ask(Sim, RequestData(1, 'N', Code(26))), 5), 1, 4), kConfirmDone);

  // The password lapses with any other request in between, and it is the
  // addressed controller's own.
  EXPECT_EQ(Ask(Sim, RequestData(1, 'O', Code(26) + "5290")), kAckReply);
  Ask(Sim, RequestData(1, '1'));
  EXPECT_EQ(Ask(Sim, RequestData(1, '6', write)), kCanReply);
  EXPECT_EQ(Ask(Sim, RequestData(1, 'O', Code(26) + "5290")), kAckReply);
  EXPECT_EQ(Ask(Sim, RequestData(30, '6', write)), kCanReply);
  // A malformed write is not understood.
  EXPECT_EQ(Ask(Sim, RequestData(1, '6', std::string(1, '\x02') + "00258107")), kNakReply);
}

TEST_F(Requests, AddressIsProgrammedByIdNumber) {
  // ID number 7654321 (the controller at 1) to address 5: 00076, 005, 54321.
  const Bytes program{0x02, ']', '0', '0', '0', '7', '6', '0', '0', '5', '5', '4', '3', '2', '1'};
  EXPECT_EQ(Ask(Sim, program), kAckReply);
  EXPECT_EQ(Sim.Addresses(), (std::vector<int>{5, 30}));
  EXPECT_TRUE(Ask(Sim, RequestData(1, '1')).empty());
  EXPECT_EQ(Ask(Sim, RequestData(5, '1')).size(), 20u);

  // An address another controller has, or one outside 1..99: refused.
  const Bytes to30{0x02, ']', '0', '0', '0', '7', '6', '0', '3', '0', '5', '4', '3', '2', '1'};
  EXPECT_EQ(Ask(Sim, to30), kCanReply);
  const Bytes to0{0x02, ']', '0', '0', '0', '7', '6', '0', '0', '0', '5', '4', '3', '2', '1'};
  EXPECT_EQ(Ask(Sim, to0), kCanReply);
  // An ID number nobody has: nobody answers.
  const Bytes nobody{0x02, ']', '0', '0', '0', '7', '6', '0', '0', '7', '5', '4', '3', '2', '9'};
  EXPECT_TRUE(Ask(Sim, nobody).empty());
  EXPECT_EQ(Sim.Addresses(), (std::vector<int>{5, 30}));
}

TEST_F(Requests, CommonCommandsAreRecordedAndNeverAnswered) {
  EXPECT_TRUE(Ask(Sim, {0x02, 'W', '4', '0'}).empty());
  EXPECT_TRUE(Ask(Sim, {0x02, 'W', '3', '1'}).empty());
  const std::vector<CommonCommand> seen = Sim.CommonCommands();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].Command, 4);
  EXPECT_EQ(seen[0].Value, 0);
  EXPECT_EQ(seen[1].Command, 3);
  EXPECT_EQ(seen[1].Value, 1);
  // A fault waiting for a reply is not spent on a request that gets none.
  Sim.InjectFault(Fault::Silence);
  Ask(Sim, {0x02, 'W', '1', '1'});
  EXPECT_TRUE(Ask(Sim, RequestData(1, '1')).empty());
}

TEST_F(Requests, HistoryAndObserverSeeEveryFrame) {
  std::vector<Bytes> seen;
  Sim.SetObserver([&](const Exchange& x) { seen.push_back(x.Frame); });
  Ask(Sim, RequestData(1, '1'));
  Ask(Sim, {0x02, 'W', '4', '0'});
  const std::vector<Exchange> history = Sim.History();
  ASSERT_EQ(history.size(), 2u);
  EXPECT_EQ(history[0].Data, RequestData(1, '1'));
  EXPECT_TRUE(history[0].Intended);
  EXPECT_FALSE(history[1].Intended);
  EXPECT_EQ(seen, (std::vector<Bytes>{RequestFrame(RequestData(1, '1')),
                                      RequestFrame({0x02, 'W', '4', '0'})}));
}

TEST_F(Requests, HooksRefuseWhatTheControllersCannotHold) {
  EXPECT_THROW(Sim.AddController(1), std::invalid_argument);
  EXPECT_THROW(Sim.AddController(100), std::invalid_argument);
  EXPECT_THROW(Sim.AddController(2, 1234567890), std::invalid_argument);  // ID of the one at 30
  EXPECT_THROW(Sim.AddController(2, 10'000'000'000), std::invalid_argument);
  EXPECT_THROW(Sim.State(2), std::invalid_argument);
  EXPECT_THROW(Sim.SetParam(1, 5, 1000), std::invalid_argument);
  EXPECT_THROW(Sim.SetParam(1, 60, 0), std::invalid_argument);
  EXPECT_THROW(Sim.RaiseEvent(1, 0), std::invalid_argument);
  EXPECT_THROW(Sim.SetTotaliser(1, 100'000'000), std::invalid_argument);
  EXPECT_THROW(Sim.AdvanceTime(-1), std::invalid_argument);
  EXPECT_THROW(Sim.SetFlowRate(std::nan("")), std::invalid_argument);
  EXPECT_THROW(Sim.SetFaultRate(1.5, 1), std::invalid_argument);
}

}  // namespace
