// Every request kind of the protocol layer must be known wherever a new
// request has to be added: a name for the trace, a fuzz seed, and an answer
// from the simulator. The failure names the kind and what it lacks.
#include <gtest/gtest.h>

#include <string>

#include "driver/protocol/Link.h"
#include "driver/protocol/RequestDecoder.h"
#include "fuzz/FuzzSupport.h"
#include "sim/Simulator.h"

using namespace qx25;

namespace {

std::string Describe(const TRequestKind& Kind) {
  return std::string("request '") + static_cast<char>(Kind.Letter) + "' of " +
         std::to_string(Kind.RequestLength) + " bytes (" + (Kind.Name ? Kind.Name : "no name") +
         ")";
}

// The request data of Kind's seed sample; null when it has none.
const RequestBytes* SampleOf(const TRequestKind& Kind) {
  for (const RequestBytes& data : fuzz::RequestSamples) {
    const std::optional<DecodedRequest> asked = ParseRequest(data);
    if (asked && asked->Kind == &Kind) return &data;
  }
  return nullptr;
}

TEST(RequestKinds, EachHasANameAFuzzSeedAndASimulatorAnswer) {
  for (const TRequestKind* kind : RequestKinds) {
    SCOPED_TRACE(Describe(*kind));
    EXPECT_TRUE(kind->Name != nullptr && *kind->Name != '\0') << "no name for the trace";

    const RequestBytes* sample = SampleOf(*kind);
    if (sample == nullptr) {
      ADD_FAILURE() << "no sample in fuzz/FuzzSupport.h, so no fuzz seed";
      continue;
    }
    sim::Simulator sim;
    for (const int address : {1, 2, 16}) sim.AddController(address);
    const RequestBytes frame = RequestFrame(*sample);
    const sim::Exchange x = sim.Answer(frame.data(), frame.size());
    if (kind == &kCommonRequest) {
      // Nobody answers a line-wide command; the simulator records it.
      EXPECT_EQ(sim.CommonCommands().size(), 1u) << "the simulator ignored it";
    } else {
      if (!x.Intended) {
        ADD_FAILURE() << "the simulator did not answer";
        continue;
      }
      // NAK is what a controller says to a letter it does not know.
      EXPECT_NE(*x.Intended, RequestBytes{kNak}) << "the simulator does not know it";
    }
  }
}

}  // namespace
