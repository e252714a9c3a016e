// Recordings as a technician may hand-edit them: arbitrary file contents read
// as a recording. Reading either refuses the file with RecordingError or
// gives exchanges that write back to lines that read as the same exchanges,
// and a replay of them answers each recorded request with its recorded
// bytes.
#include <cstdint>
#include <sstream>
#include <string>

#include "FuzzSupport.h"
#include "record/RecordingFormat.h"
#include "sim/Replay.h"

using namespace qx25;
using qx25::fuzz::Expect;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(Data), Size));
  record::Recording recording;
  try {
    recording = record::ReadRecording(in, "fuzz.rec");
  } catch (const record::RecordingError&) {
    return 0;
  }
  for (const record::RecordedExchange& x : recording.Exchanges) {
    std::string why;
    const auto again = record::ParseExchange(record::FormatExchange(x), why);
    Expect(again.has_value(), "an exchange read does not read back once written");
    Expect(again->Request == x.Request && again->ReplyBytes() == x.ReplyBytes() &&
               again->Verdict == x.Verdict && again->Outcome == x.Outcome &&
               again->Code == x.Code && again->Port == x.Port,
           "an exchange changed on its way through the file");
  }
  for (const int port : recording.Ports()) {
    sim::ReplayScript script(sim::ExchangesOf(recording, port), qx25::kWireBaud);
    for (const record::RecordedExchange& x : sim::ExchangesOf(recording, port)) {
      sim::Bytes sent;
      for (const sim::TimedBurst& burst : script.Answer(x.Request)) {
        Expect(burst.At.count() >= 0, "a replayed burst before its request");
        sent.insert(sent.end(), burst.Data.begin(), burst.Data.end());
      }
      Expect(sent == x.ReplyBytes(), "a replayed reply differs from the recorded one");
    }
    Expect(script.Unmatched() == 0, "a recorded request went unanswered in its own replay");
  }
  return 0;
}
