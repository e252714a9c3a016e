// Every driver operation that exchanges frames, run against a line that
// answers with fuzzed bytes: handed over whole or in pieces, thrown instead,
// or followed by a line status of its own. The arguments are fuzzed too, in
// range or wild. An operation may raise only what its contract names:
// ESerialIO with one of its own messages; the nozzle-range error and
// std::out_of_range or std::invalid_argument only for a wild argument (or,
// for a preset by money, a price that was never set within range). Anything
// else aborts, as does any access outside the driver's tables (the
// sanitizers' part). The line also checks every reply the driver accepted:
// a lone ACK, NAK or CAN, or a frame exactly as the encoder makes it, of the
// expected length where a data frame is due.
#include <algorithm>
#include <memory>
#include <vector>

#include "CommandOps.h"
#include "FuzzSupport.h"
#include "driver/Driver.h"
#include "driver/DriverPtr.h"
#include "testsupport/MemoryDispatcher.h"

using namespace qx25;
using namespace qx25::fuzz;

namespace {

// What the fuzzed line throws. Not a std::exception: no operation may let it
// through, since Exchange guards every call that reaches the line.
struct LineFault {};

// How the line ends one exchange, from the low four bits of its first byte.
enum Ending : uint8_t { Throws = 0, VerdictThrows = 1, StatusThrows = 2 };
inline constexpr uint8_t kOwnStatus = 0x10;  // after an accepted reply, a status byte follows

class FuzzLine final : public PortDispatcher {
 public:
  explicit FuzzLine(InputReader& Input) : In(Input) {}

  int32_t GetErrorCode(uint8_t) override {
    const uint8_t b = In.Byte();
    if (b == 0xFF) throw LineFault{};
    if (b == 0xFE) return 0;  // a dispatcher that calls its failure success
    return 1 + b % 5;
  }
  void SetReplyResult(uint8_t Port, uint8_t Code) override {
    Expect(InHandler && Port == HandlerPort, "a verdict outside the reply handler");
    ++Verdicts;
    if (VerdictFails) throw LineFault{};
    (void)Code;
  }
  void SetReplyState(uint8_t Port, uint8_t) override {
    Expect(InHandler && Port == HandlerPort, "a state outside the reply handler");
    Expect(Verdicts == 0, "a state after the verdict");
    if (VerdictFails) throw LineFault{};
  }
  uint8_t GetLineStatus(uint8_t) override {
    if (StatusFails) throw LineFault{};
    return Status;
  }
  int32_t Transact(uint8_t Port, const uint8_t* Frame, uint8_t FrameLength, uint8_t* Reply,
                   uint8_t ReplyLength, uint8_t ReplyMode) override;
  int32_t SetLineParams(uint8_t, int32_t Format, int32_t Baud) override {
    Expect(Format == kLineFormat && Baud == kLineBaud, "line settings other than 42, 4800");
    return static_cast<int8_t>(In.Byte());
  }
  void SetReplyHandler(uint8_t Port, TReplyHandler H) override {
    Handler = H;
    HandlerPort = Port;
  }
  void SetPortSetupHandler(uint8_t, TPortSetupHandler H) override {
    Expect(H.Code != nullptr, "no port-settings handler");
  }

 private:
  InputReader& In;
  TReplyHandler Handler{};
  uint8_t HandlerPort = 0;
  uint8_t Status = 0;
  bool InHandler = false, VerdictFails = false, StatusFails = false;
  int Verdicts = 0;
};

int32_t FuzzLine::Transact(uint8_t Port, const uint8_t* Frame, uint8_t FrameLength, uint8_t* Reply,
                           uint8_t ReplyLength, uint8_t ReplyMode) {
  Expect(Handler.Code != nullptr && HandlerPort == Port, "an exchange without its reply handler");
  Expect(IsRequestFrame(Frame, FrameLength), "a request frame the encoder would not make");
  const uint8_t action = In.Byte();
  VerdictFails = (action & 0x0F) == VerdictThrows;
  StatusFails = (action & 0x0F) == StatusThrows;
  if ((action & 0x0F) == Throws) throw LineFault{};
  if (ReplyLength == 0) {  // send only
    Status = kLineOk;
    return 0;
  }
  const size_t chunk = (action >> 5) == 0 ? 255 : action >> 5;
  const Bytes line = In.Take(In.Byte());

  Bytes held;
  size_t next = 0;
  bool accepted = false;
  while (next < line.size() && held.size() < ReplyLength) {
    const size_t n = std::min({chunk, line.size() - next, ReplyLength - held.size()});
    held.insert(held.end(), line.begin() + static_cast<std::ptrdiff_t>(next),
                line.begin() + static_cast<std::ptrdiff_t>(next + n));
    next += n;
    // The handler sees exactly the bytes held, in memory of their size.
    std::unique_ptr<uint8_t[]> view(new uint8_t[held.size()]);
    std::memcpy(view.get(), held.data(), held.size());
    uint8_t length = static_cast<uint8_t>(held.size());
    InHandler = true;
    Verdicts = 0;
    accepted = Handler.Code(Handler.Self, Port, view.get(), nullptr, &length, nullptr);
    InHandler = false;
    Expect(VerdictFails || Verdicts == 1, "not exactly one verdict per call");
    Expect(length <= held.size(), "the handler grew the length");
    const size_t dropped = held.size() - length;
    for (size_t i = 0; i < dropped; ++i) Expect(!IsLeadByte(held[i]), "a lead byte was dropped");
    Expect(std::memcmp(view.get(), held.data() + dropped, length) == 0, "kept bytes changed");
    held.erase(held.begin(), held.begin() + static_cast<std::ptrdiff_t>(dropped));
    if (accepted) break;
  }
  accepted =
      accepted && MemoryDispatcher::Stands(ReplyMode, ReplyLength, held.size(), next < line.size());
  if (!held.empty()) std::memcpy(Reply, held.data(), held.size());

  if (accepted) {
    Expect(!held.empty() && IsLeadByte(held[0]), "accepted without a lead byte");
    if (held[0] != kStx) {
      Expect(ReplyMode != kModeData || held.size() == 1,
             "a lead byte with bytes behind it taken for a data reply");
    } else if (ReplyMode == kModeData) {
      Expect(held.size() == ReplyLength && IsReplyFrame(held.data(), held.size()),
             "a data reply accepted that is no whole frame of the expected length");
    } else if (held.size() % 2 == 0) {
      Expect(IsReplyFrame(held.data(), held.size()),
             "a frame accepted that the encoder would not make");
    }
  }
  Status = accepted ? kLineOk : static_cast<uint8_t>(2 + action % 3);
  if (accepted && (action & kOwnStatus)) Status = In.Byte();
  return accepted ? 0 : 4;
}

bool IsOneOf(const char* Text, const std::vector<const char*>& Messages) {
  for (const char* m : Messages)
    if (std::strcmp(Text, m) == 0) return true;
  return false;
}

// SetPar chooses its request by the parameter number, so a wild number may
// take any of its three ways.
const std::vector<const char*> kSetParMessages{kMsgCommon, kMsgParam, kMsgNetAddressLink,
                                               kMsgNetAddressReply};

void RunOne(TQX25& D, InputReader& In) {
  const Op op = static_cast<Op>(In.Byte() % kOpCount);
  const OpShape& shape = kOps[op];
  ArgReader args(In);
  int64_t a[kMaxArgs] = {};
  double r[kMaxArgs] = {};
  for (int i = 0; i < shape.Count; ++i) {
    const ArgShape& s = shape.Args[i];
    if (s.Kind == ArgKind::Real)
      r[i] = args.Real(s.Min, s.Max);
    else if (s.Kind == ArgKind::Wide)
      a[i] = args.Wide(static_cast<int64_t>(s.Min), static_cast<int64_t>(s.Max));
    else
      a[i] = args.Int(static_cast<int64_t>(s.Min), static_cast<int64_t>(s.Max));
  }
  const auto i32 = [&](int k) { return static_cast<int32_t>(a[k]); };
  bool wild = args.Wild;
  std::vector<const char*> messages;  // the ESerialIO messages this operation may raise

  try {
    switch (op) {
      case OpStartPump:
        messages = {kMsgStart};
        D.StartPump(i32(0), i32(1), i32(2));
        break;
      case OpStartPumpWithReset:
        messages = {kMsgStart};
        D.StartPumpWithReset(i32(0), i32(1), i32(2), i32(3));
        break;
      case OpPresetVolume:
        messages = {kMsgPreset};
        D.PresetVolume(i32(0), i32(1), i32(2), 0, r[3]);
        break;
      case OpPresetMoney: {
        messages = {kMsgPreset};
        // The price comes from an earlier SetPrice, which may have been wild.
        const double price = wild ? 0 : D.Prices[i32(0)][i32(1)][i32(2)];
        if (!(price >= 0.05 && price <= 100)) wild = true;
        D.PresetMoney(i32(0), i32(1), i32(2), 0, r[3]);
        break;
      }
      case OpStopPump:
        messages = {kMsgStop};
        D.StopPump(i32(0), i32(1), i32(2), i32(3));
        break;
      case OpStopNozzle:
        messages = {kMsgStop};
        D.StopNozzle(i32(0), i32(1), i32(2));
        break;
      case OpStopPumpAndReset:
        messages = {kMsgStop};
        D.StopPumpAndReset(i32(0), i32(1), i32(2), i32(3));
        break;
      case OpResetNozzle:
        D.ResetNozzle(i32(0), i32(1), i32(2));
        break;
      case OpPollNozzle: {
        messages = {kMsgStatus, kMsgDelivery};  // the closing poll reads the result
        const TNozzlePoll p = D.PollNozzle(i32(0), i32(1), i32(2));
        Expect(p.Zero == 0 && p.StateSide <= kMaxSide, "a poll record out of shape");
        break;
      }
      case OpGetNozzleState:
        D.GetNozzleState(i32(0), i32(1));
        break;
      case OpGetCurrentDelivery: {
        messages = {kMsgDelivery};
        double money = 0;
        D.GetCurrentDelivery(i32(0), i32(1), money);
        break;
      }
      case OpGetDeliveryResult: {
        messages = {kMsgDelivery};
        double volume = 0, money = 0;
        D.GetDeliveryResult(i32(0), i32(1), volume, money);
        break;
      }
      case OpGetTotalCounter: {
        messages = {kMsgDelivery};
        double total = 0;
        uint64_t second = 1;
        D.GetTotalCounter(i32(0), i32(1), i32(2), total, second, 0, 0);
        Expect(second == 0, "the second counter was filled");
        break;
      }
      case OpSetTotalCounter: {
        messages = {kMsgParam, kMsgDelivery};  // the password write, then the counter
        double value = r[3];
        D.SetTotalCounter(i32(0), i32(1), i32(2), value, 0, 0, 0);
        break;
      }
      case OpSetPrice:
        D.SetPrice(i32(0), i32(1), i32(2), 0, 0, r[3]);
        break;
      case OpGetParam:
        messages = {kMsgParam};
        D.GetParam(i32(0), i32(1), i32(2));
        break;
      case OpSetParCommon:
        messages = kSetParMessages;
        D.SetPar(i32(0), i32(1), i32(2), i32(3));
        break;
      case OpSetParAddress:
        messages = kSetParMessages;
        D.SetPar(i32(0), i32(1), kParamNoNetAddress, i32(2));
        break;
      case OpSetParWrite:
        messages = kSetParMessages;
        D.SetPar(i32(0), i32(1), i32(2), i32(3));
        break;
      case OpWriteCtrlParam:
        messages = {kMsgParam};
        D.WriteCtrlParam(i32(0), i32(1), i32(2), i32(3));
        break;
      case OpSetNetAddress:
        messages = {kMsgNetAddressLink, kMsgNetAddressReply};
        D.SetNetAddress(static_cast<uint8_t>(a[0]), static_cast<uint8_t>(a[1]), i32(2), i32(3));
        break;
      case OpWriteCalibration:
        messages = {kMsgParam};
        D.WriteCalibration(i32(0), i32(1), i32(2), i32(3));
        break;
      case OpReadParam: {
        messages = {kMsgReadLink, kMsgReadReply};
        const int64_t v = D.ReadParam(static_cast<uint8_t>(a[0]), i32(1), i32(2), i32(3), i32(4));
        Expect(v >= -1, "a parameter value below -1");
        break;
      }
      case OpWriteParamParameter:
        messages = {kMsgParam};  // code 27 goes through the calibration
        D.WriteParam(kLinkParameter, a[0], a[1], a[2], a[3], a[4]);
        break;
      case OpWriteParamCommon:
        D.WriteParam(kLinkCommon, a[0], a[1], a[2], 0, a[3]);
        break;
      case OpWriteParamAddress:
        messages = {kMsgNetAddressLink, kMsgNetAddressReply};
        D.WriteParam(kLinkAddress, a[0], a[1], a[2], 0, a[3]);
        break;
      case OpWriteParamOther: {
        const uint8_t mode = static_cast<uint8_t>(a[0]);
        Expect(!D.WriteParam(mode < 3 ? 3 : mode, a[1], 1, 0, 0, 0), "an unknown link mode wrote");
        break;
      }
      case OpSetupPort:
        D.SetupPort(i32(0));
        break;
      case OpExchange: {
        uint8_t buffer[kBufferSize];
        for (int k = 0; k < kBufferSize; ++k) buffer[k] = static_cast<uint8_t>(k * 37);
        D.Exchange(static_cast<uint8_t>(a[0]), buffer, static_cast<uint8_t>(a[1]),
                   static_cast<uint8_t>(a[2]), static_cast<uint8_t>(a[3]));
        break;
      }
      case OpSmallSlots: {
        int32_t value = 0;
        switch (a[0]) {
          case 0:
            D.SetPortStatus(i32(1), i32(2));
            break;
          case 1:
            D.GetPortStatus(i32(1));
            break;
          case 2:
            D.GetDriverProperty(i32(2), value);
            break;
          case 3:
            D.CalcNozzleAddress(i32(1), i32(2));
            break;
          case 4:
            Expect(D.GetDriverInfo().Length == 27, "driver info of another length");
            break;
          default:
            D.SpareQuery(i32(1));
            D.SpareCommand(i32(1), i32(2), 0);
            break;
        }
        break;
      }
      case kOpCount:
        break;
    }
  } catch (const ESerialIO& e) {
    if (!IsOneOf(e.what(), messages)) {
      std::fprintf(stderr, "operation %d: %s\n", op, e.what());
      Finding("ESerialIO with a message not of this operation");
    }
  } catch (const std::out_of_range&) {
    Expect(wild, "std::out_of_range for arguments within range");
  } catch (const std::invalid_argument&) {
    Expect(wild, "std::invalid_argument for arguments within range");
  } catch (const std::runtime_error& e) {
    Expect(wild && std::strcmp(e.what(), kMsgNozzleRange) == 0,
           "a general error other than the nozzle range, or for a nozzle within range");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    Finding("an undocumented exception");
  } catch (...) {
    Finding("something not an exception escaped (the line's own fault?)");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  InputReader in(Data, Size);
  FuzzLine line(in);
  const DriverPtr driver(GetQX25(in.Byte(), 0, &line));  // the options word
  for (int count = 0; count < 16 && !in.Empty(); ++count) RunOne(*driver, in);
  return 0;
}
