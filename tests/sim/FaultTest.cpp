// Injected faults: each kind does to the reply what it says, a damaged reply
// is never one a host would accept, and a seed repeats the same faults.
#include <gtest/gtest.h>

#include "SimTestSupport.h"

using namespace qx25;
using namespace qx25::sim;
using namespace simtest;

namespace {

class Faults : public ::testing::Test {
 protected:
  Faults() { Sim.AddController(1); }
  Exchange Send(const Bytes& Data) {
    const Bytes f = RequestFrame(Data);
    return Sim.Answer(f.data(), f.size());
  }
  Simulator Sim;
};

TEST_F(Faults, NoiseComesBeforeAReplyThatIsStillAccepted) {
  Sim.InjectFault(Fault::Noise);
  const Exchange x = Send(RequestData(1, '1'));
  EXPECT_EQ(x.Applied, Fault::Noise);
  ASSERT_TRUE(x.Intended);
  ASSERT_GT(x.Sent.size(), x.Intended->size());
  EXPECT_LE(x.Sent.size(), x.Intended->size() + 4);
  Bytes buffer = x.Sent;
  uint8_t length = static_cast<uint8_t>(buffer.size());
  EXPECT_TRUE(CheckReply(buffer.data(), length).Accepted);
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + length), *x.Intended);
}

TEST_F(Faults, DamagedRepliesAreNeverAccepted) {
  // Over many seeds and both kinds of reply, every damage is one a host must
  // reject at every point of its arrival.
  for (const Fault kind : {Fault::FlipBit, Fault::DropByte, Fault::CutShort}) {
    for (uint64_t seed = 0; seed < 1000; ++seed) {
      Sim.SetFaultRate(1, seed, {kind});
      for (const Bytes& data :
           {RequestData(1, '1'), RequestData(1, 'U'), RequestData(1, 'N', "1")}) {
        const Exchange x = Send(data);
        ASSERT_EQ(x.Applied, kind);
        EXPECT_NE(x.Sent, *x.Intended);
        EXPECT_FALSE(AnyPrefixAccepted(x.Sent)) << FaultName(kind) << " seed " << seed;
      }
    }
  }
}

TEST_F(Faults, EachKindChangesTheReplyAsNamed) {
  const Bytes status = *Send(RequestData(1, '1')).Intended;

  Sim.InjectFault(Fault::FlipBit);
  Exchange x = Send(RequestData(1, '1'));
  ASSERT_EQ(x.Sent.size(), status.size());
  int bits = 0;
  for (size_t i = 0; i < status.size(); ++i) bits += __builtin_popcount(x.Sent[i] ^ status[i]);
  EXPECT_EQ(bits, 1);

  Sim.InjectFault(Fault::DropByte);
  EXPECT_EQ(Send(RequestData(1, '1')).Sent.size(), status.size() - 1);

  Sim.InjectFault(Fault::CutShort);
  x = Send(RequestData(1, '1'));
  ASSERT_LT(x.Sent.size(), status.size());
  ASSERT_GE(x.Sent.size(), 1u);
  EXPECT_EQ(x.Sent, Bytes(status.begin(), status.begin() + x.Sent.size()));

  Sim.InjectFault(Fault::Silence);
  EXPECT_TRUE(Send(RequestData(1, '1')).Sent.empty());
  // A one-byte reply cut short is silence too.
  Sim.InjectFault(Fault::CutShort);
  EXPECT_TRUE(Send(RequestData(1, 'U')).Sent.empty());

  // Queued faults go one a reply, in order; then replies are whole again.
  Sim.InjectFault(Fault::Silence);
  Sim.InjectFault(Fault::Refuse);
  EXPECT_EQ(Send(RequestData(1, '1')).Applied, Fault::Silence);
  EXPECT_EQ(Send(RequestData(1, '1')).Sent, kCanReply);
  EXPECT_EQ(Send(RequestData(1, '1')).Sent, status);
}

TEST_F(Faults, ARefusingControllerCarriesNothingOut) {
  Sim.InjectFault(Fault::Refuse);
  const Exchange x = Send(RequestData(1, 'T', "00025"));
  EXPECT_EQ(x.Sent, kCanReply);
  EXPECT_EQ(x.Intended, kAckReply);  // what it would have said
  EXPECT_EQ(Sim.State(1).State, DeliveryState::Idle);
  EXPECT_EQ(Ask(Sim, RequestData(1, 'T', "00025")), kAckReply);
  EXPECT_EQ(Sim.State(1).State, DeliveryState::Authorised);
  // A damaged or lost reply is still carried out.
  Sim.InjectFault(Fault::Silence);
  EXPECT_TRUE(Ask(Sim, RequestData(1, '2')).empty());
  EXPECT_EQ(Sim.State(1).State, DeliveryState::Delivering);
}

TEST_F(Faults, ASeedRepeatsTheSameFaults) {
  const auto run = [](uint64_t seed) {
    Simulator sim;
    sim.AddController(1);
    sim.SetFaultRate(0.5, seed);
    std::vector<Bytes> sent;
    for (int i = 0; i < 50; ++i) {
      const Bytes f = RequestFrame(RequestData(1, i % 2 ? '1' : '6'));
      sent.push_back(sim.Answer(f.data(), f.size()).Sent);
    }
    return sent;
  };
  const std::vector<Bytes> a = run(42);
  EXPECT_EQ(a, run(42));
  EXPECT_NE(a, run(43));
  // About half of the replies differ from the fault-free ones.
  Simulator clean;
  clean.AddController(1);
  int damaged = 0;
  for (int i = 0; i < 50; ++i) {
    const Bytes f = RequestFrame(RequestData(1, i % 2 ? '1' : '6'));
    damaged += clean.Answer(f.data(), f.size()).Sent != a[static_cast<size_t>(i)];
  }
  EXPECT_GT(damaged, 10);
  EXPECT_LT(damaged, 40);
}

TEST_F(Faults, ClearStopsQueuedAndDrawnFaults) {
  Sim.InjectFault(Fault::Silence);
  Sim.SetFaultRate(1, 7);
  Sim.ClearFaults();
  const Exchange x = Send(RequestData(1, '1'));
  EXPECT_EQ(x.Applied, Fault::None);
  EXPECT_EQ(x.Sent, *x.Intended);
}

}  // namespace
