// Writes the seed corpora of the fuzz targets: valid inputs built from the
// protocol's reply layouts (and request frames, and parameter files), in
// each target's input layout, so the fuzzers start from the shapes the line
// really carries.
//
//   make_corpus DIR     writes DIR/<target>/<seed>, replacing what is there
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>

#include "CommandOps.h"
#include "FuzzSupport.h"
#include "record/RecordingFormat.h"

using namespace qx25;
using namespace qx25::fuzz;

namespace {

std::filesystem::path Root;
int Written = 0;

void Seed(const std::string& Target, const std::string& Name, const Bytes& Data) {
  const std::filesystem::path dir = Root / Target;
  std::filesystem::create_directories(dir);
  std::ofstream out(dir / Name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(Data.data()), static_cast<std::streamsize>(Data.size()));
  if (!out) throw std::runtime_error("cannot write " + (dir / Name).string());
  ++Written;
}

Bytes Text(const std::string& S) { return Bytes(S.begin(), S.end()); }
Bytes Join(std::initializer_list<Bytes> Parts) {
  Bytes out;
  for (const Bytes& p : Parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// The data replies, as a controller fills them.
Bytes StatusData(uint8_t State, uint8_t Sub, uint8_t Flags, int Event) {
  Bytes e(TStatusReply::DataBytes, '0');
  e[TStatusReply::State] = State;
  e[TStatusReply::Sub] = Sub;
  e[TStatusReply::Flags] = Flags;
  PutField(e, TStatusReply::Event, static_cast<uint64_t>(Event));
  return e;
}
Bytes CurrentData() {  // delivering, 25 of a dose of 100
  Bytes e(TCurrentReply::DataBytes);
  e[TCurrentReply::State] = '4';
  PutField(e, TCurrentReply::Volume, 25);
  PutField(e, TCurrentReply::Dose, 100);
  return e;
}
Bytes ResultData() {  // 25 of 100 delivered, totaliser 12345, finished
  Bytes e(TResultReply::DataBytes, '0');
  PutField(e, TResultReply::Volume, 25);
  PutField(e, TResultReply::Total, 12345);
  PutField(e, TResultReply::Dose, 100);
  e[TResultReply::State] = '6';
  return e;
}
Bytes TotalData() {
  Bytes e(TTotalReply::DataBytes);
  PutField(e, TTotalReply::Total, 12345);
  PutField(e, TTotalReply::Deliveries, 7);
  return e;
}
Bytes ParamData(int Digits) {
  Bytes e(static_cast<size_t>(TParamReply::DataBytes(Digits)));
  e[TParamReply::Address] = 0x21;
  for (int i = 0; i < Digits; ++i)
    e[static_cast<size_t>(TParamReply::ValueFirst + i)] =
        static_cast<uint8_t>('0' + (i * 7 + 3) % 10);
  return e;
}
int CodeWithDigits(int Digits) {
  for (int c = 0; c < kParamCodeCount; ++c)
    if (ParamDigits[c] == Digits) return c;
  return -1;
}

void ValidateReplySeeds() {
  enum : uint8_t { Alone, DataExchange, ShortExchange };
  const auto seed = [](const std::string& Name, uint8_t Context, const Bytes& Reply,
                       uint8_t Expected) {
    Seed("fuzz_validate_reply", Name, Join({{Context, Expected}, Reply}));
  };
  for (const auto& [name, b] : {std::pair{"ack", kAck}, {"nak", kNak}, {"can", kCan}}) {
    seed(std::string(name) + "-alone", Alone, {b}, 2);
    seed(std::string(name) + "-short", ShortExchange, {b}, 2);
    seed(std::string(name) + "-data", DataExchange, {b}, 20);
  }
  const Bytes status = ReplyFrame(StatusData('0', '0', 0x08, 12));
  seed("status", DataExchange, status, kStatusRequest.ReplyLength);
  seed("status-noise", DataExchange, Join({{0x00, 0xFF, 0x41}, status}),
       kStatusRequest.ReplyLength);
  seed("status-alone", Alone, status, 0);
  seed("current", DataExchange, ReplyFrame(CurrentData()), kCurrentRequest.ReplyLength);
  seed("result", DataExchange, ReplyFrame(ResultData()), kResultRequest.ReplyLength);
  seed("total", DataExchange, ReplyFrame(TotalData()), kTotalRequest.ReplyLength);
  for (int d = 0; d <= kMaxParamDigits; ++d)
    seed("param-" + std::to_string(d), DataExchange, ReplyFrame(ParamData(d)), ParamReplyLength(d));
}

// Command seeds: the options word, then operations with their arguments and
// the line's answers.
class CommandSeed {
 public:
  CommandSeed() { In.Byte(0); }
  CommandSeed& Call(Op Operation, std::initializer_list<double> Values) {
    In.Byte(Operation);
    ArgWriter w(In);
    const OpShape& shape = kOps[Operation];
    int i = 0;
    for (double v : Values) {
      const ArgShape& s = shape.Args[i++];
      if (s.Kind == ArgKind::Real)
        w.Real(s.Min, s.Max, v);
      else
        w.Int(static_cast<int64_t>(s.Min), static_cast<int64_t>(s.Max), static_cast<int64_t>(v));
    }
    return *this;
  }
  // The line answers Reply; handed over whole, or a byte at a time.
  CommandSeed& Answer(const Bytes& Reply, bool Bytewise = false) {
    In.Byte(Bytewise ? (1 << 5) | 3 : 3);
    In.Byte(static_cast<uint8_t>(Reply.size()));
    In.Put(Reply);
    return *this;
  }
  CommandSeed& Ack() { return Answer({kAck}); }
  CommandSeed& SendOnly() {
    In.Byte(3);
    return *this;
  }
  CommandSeed& Raw(uint8_t B) {
    In.Byte(B);
    return *this;
  }
  void Write(const std::string& Name) { Seed("fuzz_commands", Name, In.Data); }

 private:
  InputWriter In;
};

void CommandSeeds() {
  CommandSeed().Call(OpStartPump, {3, 1, 1}).Ack().Write("start");
  CommandSeed().Call(OpStartPump, {3, 1, 1}).Answer({kCan}).Write("start-refused");
  CommandSeed().Call(OpStartPumpWithReset, {3, 1, 2, 0}).Ack().Ack().Ack().Write("start-reset");
  CommandSeed().Call(OpPresetVolume, {3, 1, 1, 25}).Ack().Write("preset");
  CommandSeed()
      .Call(OpSetPrice, {3, 1, 1, 2.5})
      .Call(OpPresetMoney, {3, 1, 1, 50})
      .Ack()
      .Write("preset-money");
  CommandSeed().Call(OpStopPump, {3, 1, 1, 1}).Ack().Write("stop");
  CommandSeed().Call(OpStopNozzle, {3, 1, 1}).Answer({kCan}).Write("stop-nozzle");
  CommandSeed().Call(OpStopPumpAndReset, {3, 1, 1, 1}).Ack().Ack().Write("stop-reset");
  CommandSeed().Call(OpResetNozzle, {3, 1, 1}).Answer({kNak}).Write("reset");
  CommandSeed()
      .Call(OpPollNozzle, {3, 1, 2})
      .Answer(ReplyFrame(StatusData('0', '0', 0x08, 12)))
      .Answer(ReplyFrame(StatusData('1', '0', 0, 0)), true)
      .Call(OpPollNozzle, {3, 1, 1})
      .Answer(ReplyFrame(StatusData('4', '0', 0, 0)))
      .Write("poll");
  CommandSeed()
      .Call(OpPollNozzle, {3, 1, 1})
      .Answer(ReplyFrame(StatusData('6', '1', 0, 0)))
      .Answer(ReplyFrame(ResultData()))
      .Ack()
      .Write("poll-closing");
  CommandSeed().Call(OpGetNozzleState, {3, 1}).Write("nozzle-state");
  CommandSeed()
      .Call(OpGetCurrentDelivery, {3, 1})
      .Answer(ReplyFrame(CurrentData()))
      .Write("current");
  CommandSeed().Call(OpGetCurrentDelivery, {3, 1}).Answer({kCan}).Write("current-refused");
  CommandSeed()
      .Call(OpGetDeliveryResult, {3, 1})
      .Answer(ReplyFrame(ResultData()), true)
      .Write("result");
  CommandSeed().Call(OpGetTotalCounter, {3, 1, 1}).Answer(ReplyFrame(TotalData())).Write("total");
  CommandSeed()
      .Call(OpSetTotalCounter, {3, 1, 1, 2581.07})
      .Ack()
      .Ack()
      .Answer(ReplyFrame(ParamData(4)))
      .Write("set-total");
  CommandSeed().Call(OpGetParam, {3, 1, 15}).Answer(ReplyFrame(ParamData(3))).Write("get-param");
  CommandSeed().Call(OpSetParCommon, {3, 1, 3, 1}).SendOnly().Write("set-par-common");
  CommandSeed().Call(OpSetParAddress, {3, 1, 765432105}).Ack().Write("set-par-address");
  CommandSeed().Call(OpSetParWrite, {3, 1, 15, 250}).Ack().Write("set-par-write");
  CommandSeed().Call(OpWriteCtrlParam, {3, 1, 5, 250}).Answer({kCan}).Write("write-ctrl-param");
  CommandSeed().Call(OpSetNetAddress, {3, 1, 7654321, 5}).Ack().Write("net-address");
  CommandSeed()
      .Call(OpWriteCalibration, {3, 1, 1, 12345678})
      .Ack()
      .Ack()
      .Answer(ReplyFrame(ParamData(4)))
      .Write("calibration");
  for (int d = 0; d <= kMaxParamDigits; ++d) {
    const int code = CodeWithDigits(d);
    if (code < 0) continue;  // no parameter has that many digits
    CommandSeed()
        .Call(OpReadParam, {0, 3, 1, static_cast<double>(code), 0})
        .Answer(ReplyFrame(ParamData(d)), d % 2 == 1)
        .Write("read-param-" + std::to_string(d));
  }
  CommandSeed().Call(OpWriteParamParameter, {3, 1, 5, 3, 250}).Ack().Write("write-param");
  CommandSeed().Call(OpWriteParamCommon, {3, 1, 4, 0}).SendOnly().Write("write-param-common");
  CommandSeed().Call(OpWriteParamAddress, {3, 1, 7654321, 5}).Ack().Write("write-param-address");
  CommandSeed().Call(OpWriteParamOther, {3, 3}).Write("write-param-other");
  CommandSeed().Call(OpSetupPort, {3}).Raw(0).Write("setup-port");
  CommandSeed()
      .Call(OpExchange, {3, 3, 20, 2})
      .Answer(ReplyFrame(StatusData('2', '0', 0, 0)))
      .Write("exchange");
  CommandSeed()
      .Call(OpSmallSlots, {2, 3, 7})
      .Call(OpSmallSlots, {3, 5, 2})
      .Call(OpSmallSlots, {4, 3, 0})
      .Write("small-slots");
}

// Request frames as the driver sends them, alone and back to back, and
// request data framed by the target itself.
void RequestSeeds() {
  Bytes stream{0};
  for (size_t i = 0; i < fuzz::RequestSamples.size(); ++i) {
    const Bytes& r = fuzz::RequestSamples[i];
    Seed("fuzz_request_decoder", "frame-" + std::to_string(i), Join({{0}, RequestFrame(r)}));
    Seed("fuzz_request_decoder", "data-" + std::to_string(i), Join({{1}, r}));
    if (i < kStreamSeeds) stream = Join({stream, {0x55}, RequestFrame(r)});
  }
  Seed("fuzz_request_decoder", "stream", stream);
}

void IniSeeds() {
  std::string saved = "[Other]\r\nName=ТРК 1\r\n\r\n[Parametr]\r\n";
  for (int code : {2, 3, 5, 6, 16, 44, 45})
    saved += std::to_string(code) + "=" + std::to_string(code * 1000 + 7) + "\r\n";
  Seed("fuzz_ini", "saved", Text(saved));
  Seed("fuzz_ini", "hand-edited",
       Text("; edited by hand\n[parametr]\n 16 = 80000 \n5=abc\n6=+12\n7=-3\n8=99999999999\n"
            "9=\n[Parametr]\n16=1\n[Tail]\nx=1\n"));
  Seed("fuzz_ini", "empty", {});
  // What fuzzing found: two signs, a line ending in CR CR LF, and a doubled
  // byte-order mark; each sized to a multiple of 16 bytes, which the target
  // also saves and reads back.
  const auto saved16 = [](std::string Text) {
    while (Text.size() % 16 != 0) Text += "\n";
    return Bytes(Text.begin(), Text.end());
  };
  Seed("fuzz_ini", "two-signs", saved16("[Parametr]\r\n16=+-5\r\n"));
  Seed("fuzz_ini", "stray-cr", saved16("[Other]\nx=50\r\r\n[Parametr]\n2=1\n"));
  Seed("fuzz_ini", "double-bom", saved16("\xEF\xBB\xBF\xEF\xBB\xBF[Parametr]\r\n2=1\r\n"));
}

// A recording as the recorder writes it, and one edited by hand.
void RecordingSeeds() {
  const std::string head = std::string(record::kMagic) +
                           "\n# program: qx25-host 2.41\n# lines: COM1=/dev/ttyUSB0 COM2=x\n";
  Seed("fuzz_recording", "recorded",
       Text(head +
            "2026-12-08T12:00:00.000Z COM1 ok answered code=0 -> 7F 02 21 5E 31 4E 03 03 41 <- "
            "@10.2 02 @14.4 30 4F 30 4F 03 03 41 # состояние\n"
            "2026-12-08T12:00:00.100Z COM2 time-out failed code=-1 -> 7F 02 21 5E 31 4E 03 03 41 "
            "<-\n"
            "2026-12-08T12:00:00.700Z COM1 ok refused code=0 -> 7F 02 21 5E 32 4D 03 03 42 <- "
            "@8.0 18\n"));
  Seed("fuzz_recording", "hand-edited",
       Text(head + "\n# edited\nt COM1 ok answered code=0 -> 7f 02 <- @1 06 @1.5 02\r\n"
                   "t COM1 ok answered code=0 -> 7F 02"));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
    return 2;
  }
  Root = argv[1];
  for (const char* t : {"fuzz_validate_reply", "fuzz_commands", "fuzz_request_decoder", "fuzz_ini",
                        "fuzz_recording"})
    std::filesystem::remove_all(Root / t);
  ValidateReplySeeds();
  CommandSeeds();
  RequestSeeds();
  IniSeeds();
  RecordingSeeds();
  std::printf("%d seeds written to %s\n", Written, Root.c_str());
  return 0;
}
