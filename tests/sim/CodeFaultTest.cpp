// Faults bound to one parameter code: every read and/or write of that code
// (at one controller or at any) takes the fault until it is cleared, while
// other requests are answered as usual.
#include <gtest/gtest.h>

#include "SimTestSupport.h"

using namespace qx25;
using namespace qx25::sim;
using namespace simtest;

namespace {

class CodeFaults : public ::testing::Test {
 protected:
  CodeFaults() {
    Sim.AddController(1);
    Sim.AddController(2);
    for (int address : {1, 2}) {
      Sim.SetParam(address, 16, 75000);
      Sim.SetParam(address, 9, 750);
    }
  }
  Exchange Send(const Bytes& Data) {
    const Bytes f = RequestFrame(Data);
    return Sim.Answer(f.data(), f.size());
  }
  // The value a read of Code at Address carries, or -1 without a data reply.
  long long Read(int Address, int Code) {
    const Bytes reply = Ask(Sim, RequestData(Address, 'N', std::string(1, char('0' + Code))));
    if (reply.empty() || reply[0] != kStx) return -1;
    const Bytes e = ReplyData(reply, 1 + ParamDigits[static_cast<size_t>(Code)]);
    return Number(e, 1, e.size() - 1);
  }
  Simulator Sim;
};

TEST_F(CodeFaults, ARefusedCodeIsRefusedEveryTimeAndNeverChanges) {
  Sim.SetCodeFault(16, Fault::Refuse);
  for (int i = 0; i < 3; ++i) {
    for (int address : {1, 2}) {
      EXPECT_EQ(Ask(Sim, RequestData(address, 'N', "@")), kCanReply);
      const Exchange w = Send(RequestData(address, 'O', "@081250"));
      EXPECT_EQ(w.Sent, kCanReply);
      EXPECT_EQ(w.Intended, kAckReply);  // what the controller would have said
      EXPECT_EQ(w.Applied, Fault::Refuse);
    }
  }
  EXPECT_EQ(Sim.State(1).Params[16], 75000);
  // Other codes and other requests are untouched.
  EXPECT_EQ(Read(1, 9), 750);
  EXPECT_EQ(Ask(Sim, RequestData(1, 'O', "90751")), kAckReply);
  EXPECT_EQ(Sim.State(1).Params[9], 751);
  EXPECT_EQ(ReplyData(Ask(Sim, RequestData(1, '1')), 8).size(), 8u);

  Sim.ClearCodeFaults();
  EXPECT_EQ(Read(1, 16), 75000);
  EXPECT_EQ(Ask(Sim, RequestData(1, 'O', "@081250")), kAckReply);
  EXPECT_EQ(Sim.State(1).Params[16], 81250);
}

TEST_F(CodeFaults, BindingsSelectReadsOrWritesAndOneAddress) {
  Sim.SetCodeFault(9, Fault::Silence, ParamAccess::Read, 2);
  EXPECT_TRUE(Ask(Sim, RequestData(2, 'N', "9")).empty());
  EXPECT_EQ(Read(1, 9), 750);
  EXPECT_EQ(Ask(Sim, RequestData(2, 'O', "90751")), kAckReply);
  EXPECT_EQ(Sim.State(2).Params[9], 751);  // the silence hid no write

  // The binding set last wins where two overlap; Fault::None removes one.
  Sim.SetCodeFault(9, Fault::Refuse, ParamAccess::Write);
  EXPECT_EQ(Ask(Sim, RequestData(1, 'O', "90752")), kCanReply);
  EXPECT_TRUE(Ask(Sim, RequestData(2, 'N', "9")).empty());
  Sim.SetCodeFault(9, Fault::Refuse, ParamAccess::ReadWrite, 2);
  EXPECT_EQ(Ask(Sim, RequestData(2, 'N', "9")), kCanReply);
  Sim.SetCodeFault(9, Fault::None, ParamAccess::ReadWrite, 2);
  EXPECT_TRUE(Ask(Sim, RequestData(2, 'N', "9")).empty());
  Sim.SetCodeFault(9, Fault::None, ParamAccess::Read, 2);
  EXPECT_EQ(Read(2, 9), 751);
  EXPECT_EQ(Ask(Sim, RequestData(2, 'O', "90753")), kCanReply);

  // ClearFaults clears bindings too.
  Sim.ClearFaults();
  EXPECT_EQ(Ask(Sim, RequestData(2, 'O', "90753")), kAckReply);
}

TEST_F(CodeFaults, QueuedFaultsWaitForTheOtherReplies) {
  Sim.SetCodeFault(16, Fault::CutShort);
  Sim.InjectFault(Fault::Silence);
  const Exchange bound = Send(RequestData(1, 'N', "@"));
  EXPECT_EQ(bound.Applied, Fault::CutShort);
  EXPECT_FALSE(AnyPrefixAccepted(bound.Sent));
  EXPECT_EQ(Send(RequestData(1, 'N', "9")).Applied, Fault::Silence);
  EXPECT_EQ(Send(RequestData(1, 'N', "9")).Applied, Fault::None);
  // A request nobody answers takes no fault.
  EXPECT_EQ(Send(RequestData(5, 'N', "@")).Applied, Fault::None);
}

TEST_F(CodeFaults, BadBindingsAreRefused) {
  EXPECT_THROW(Sim.SetCodeFault(60, Fault::Refuse), std::invalid_argument);
  EXPECT_THROW(Sim.SetCodeFault(-1, Fault::Refuse), std::invalid_argument);
  EXPECT_THROW(Sim.SetCodeFault(9, Fault::Refuse, ParamAccess::Read, 100), std::invalid_argument);
  EXPECT_THROW(Sim.SetCodeFault(9, Fault::Refuse, static_cast<ParamAccess>(0)),
               std::invalid_argument);
}

}  // namespace
