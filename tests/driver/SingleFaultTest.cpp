// Every single fault on every reply layout the driver reads: each bit flip,
// each dropped byte and each inserted byte (all 256 values at every
// position), handed to the command as a dispatcher would (a byte at a time,
// and all at once). Counts per layout, printed: the faulted replies the reply
// handler accepted at some point, those an exchange took as its reply though
// they differ from the fault-free reply, and the corruptions that reached a
// result (a volume, money, total, state code, event letter, parameter value
// or refusal code other than the fault-free reply's, reported without error).
//
// Where a data frame is due no corruption may reach a result. A one-byte
// reply to an acknowledge-only command carries no check: a lead byte that
// arrives before it (CAN before ACK, ACK before CAN) is taken as the reply,
// and only waiting after every command for a quiet line could catch it. Those
// faults, and only those, are expected to get through.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "ScriptedDispatcher.h"
#include "driver/Driver.h"
#include "driver/DriverPtr.h"

using namespace qx25;

namespace {

constexpr int kPort = 3;
constexpr int kNozzle = 1;

// A scripted line that also notes what the reply handler accepted during the
// command's first exchange, the one that carries the fault.
class FaultLine : public ScriptedDispatcher {
 public:
  bool HandlerAccepted = false;
  bool Taken = false;  // the first exchange ended with an accepted reply
  Bytes TakenReply;

  void SetReplyHandler(uint8_t Port, TReplyHandler H) override {
    Inner = H;
    ScriptedDispatcher::SetReplyHandler(Port, TReplyHandler{&Spy, this});
  }
  int32_t Transact(uint8_t Port, const uint8_t* Frame, uint8_t FrameLength, uint8_t* Reply,
                   uint8_t ReplyLength, uint8_t ReplyMode) override {
    ++Exchanges;
    const int32_t r =
        ScriptedDispatcher::Transact(Port, Frame, FrameLength, Reply, ReplyLength, ReplyMode);
    if (Exchanges == 1 && r == 0) {
      Taken = true;
      TakenReply = LastAccepted;
    }
    return r;
  }

 private:
  static bool Spy(void* Self, uint8_t Port, uint8_t* Buffer, void* U1, uint8_t* Length, void* U2) {
    auto* line = static_cast<FaultLine*>(Self);
    const bool ok = line->Inner.Code(line->Inner.Self, Port, Buffer, U1, Length, U2);
    if (ok && line->Exchanges == 1) {
      line->HandlerAccepted = true;
      line->LastAccepted.assign(Buffer, Buffer + *Length);
    }
    return ok;
  }

  TReplyHandler Inner{};
  int Exchanges = 0;
  Bytes LastAccepted;
};

struct Layout {
  std::string Name;
  Bytes Reply;  // fault-free, as the controller sends it
  // Sets the driver up, runs the command and describes its result (which
  // includes the port status and the driver state the command changes).
  std::function<std::string(TQX25&)> Run;
  bool AcknowledgeOnly;  // a one-byte reply to a command that expects no data
};

struct Counts {
  int Faults = 0, HandlerAccepted = 0, WrongTaken = 0, Corruptions = 0, Unpreventable = 0;
  std::vector<std::string> Examples;  // the first corruptions that were not expected
};

struct Outcome {
  bool Failed;  // ESerialIO
  std::string Result;
  bool HandlerAccepted, Taken;
  Bytes TakenReply;
};

Outcome RunWith(const Layout& L, const Bytes& Reply, size_t Chunk) {
  FaultLine line;
  line.Chunk = Chunk;
  line.Answer(Reply);
  DriverPtr driver(GetQX25(0, 0, &line));
  Outcome o{};
  try {
    o.Result = L.Run(*driver);
  } catch (const ESerialIO&) {
    o.Failed = true;
  }
  o.HandlerAccepted = line.HandlerAccepted;
  o.Taken = line.Taken;
  o.TakenReply = line.TakenReply;
  return o;
}

std::string Hex(const Bytes& B) {
  std::ostringstream out;
  for (uint8_t b : B) {
    char h[4];
    std::snprintf(h, sizeof h, "%02X ", b);
    out << h;
  }
  return out.str();
}

// Every fault on Reply, each with a name, handed to Check.
void ForEachFault(const Bytes& Reply,
                  const std::function<void(const Bytes&, const std::string&, bool)>& Check) {
  for (size_t i = 0; i < Reply.size(); ++i)
    for (int bit = 0; bit < 8; ++bit) {
      Bytes f = Reply;
      f[i] ^= static_cast<uint8_t>(1u << bit);
      Check(f, "bit " + std::to_string(bit) + " of byte " + std::to_string(i) + " flipped", false);
    }
  for (size_t i = 0; i < Reply.size(); ++i) {
    Bytes f = Reply;
    f.erase(f.begin() + static_cast<std::ptrdiff_t>(i));
    Check(f, "byte " + std::to_string(i) + " dropped", false);
  }
  for (size_t i = 0; i <= Reply.size(); ++i)
    for (int v = 0; v < 256; ++v) {
      Bytes f = Reply;
      f.insert(f.begin() + static_cast<std::ptrdiff_t>(i), static_cast<uint8_t>(v));
      // The one corruption no layer can catch without waiting after every
      // command: a lead byte ahead of a one-byte reply.
      const bool leadAhead = i == 0 && IsLeadByte(static_cast<uint8_t>(v)) && v != kStx;
      Check(f, Hex({static_cast<uint8_t>(v)}) + "inserted at " + std::to_string(i), leadAhead);
    }
}

Counts Exercise(const Layout& L) {
  Counts c;
  for (const size_t chunk : {size_t{1}, size_t{255}}) {
    const Outcome clean = RunWith(L, L.Reply, chunk);
    EXPECT_FALSE(clean.Failed) << L.Name;
    EXPECT_EQ(clean.TakenReply, L.Reply) << L.Name;
    ForEachFault(L.Reply, [&](const Bytes& Faulty, const std::string& What, bool LeadAhead) {
      const Outcome o = RunWith(L, Faulty, chunk);
      ++c.Faults;
      if (o.HandlerAccepted) ++c.HandlerAccepted;
      if (o.Taken && o.TakenReply != L.Reply) ++c.WrongTaken;
      if (o.Failed || o.Result == clean.Result) return;
      ++c.Corruptions;
      if (L.AcknowledgeOnly && LeadAhead) {
        ++c.Unpreventable;
      } else if (c.Examples.size() < 5) {
        c.Examples.push_back(What + " (" + (chunk == 1 ? "bytewise" : "at once") +
                             "): " + o.Result + " instead of " + clean.Result);
      }
    });
  }
  return c;
}

// Fault-free replies. Data bytes as the simulated controllers send them, and
// "hostile" ones whose bytes the commands do not read are lead bytes, bytes
// whose complement is one, and 0x03 pairs, so that a lost STX or a lost byte
// meets the worst neighbours.
Bytes Chars(const std::string& S) { return Bytes(S.begin(), S.end()); }
Bytes With(Bytes Data, size_t From, const Bytes& Unread) {
  for (size_t i = 0; i < Unread.size() && From + i < Data.size(); ++i) Data[From + i] = Unread[i];
  return Data;
}
const Bytes kHostile{kAck, 0x79, kCan, 0x7D, kEtx, kEtx, kNak, 0x67,
                     kStx, 0x6A, kEtx, 0x7C, kEtx, kEtx, 0x7C, kCan};

std::string Text(double V) {
  std::ostringstream out;
  out << V;
  return out.str();
}

std::string Status(TQX25& D) { return " status " + std::to_string(D.GetPortStatus(kPort)); }

std::vector<Layout> Layouts() {
  std::vector<Layout> all;
  const auto preset = [](TQX25& D) {
    D.PresetVolumes[kPort][kNozzle] = 7;
    D.PresetVolume(kPort, kNozzle, 1, 0, 25.0);
    return "preset " + Text(D.PresetVolumes[kPort][kNozzle]) + Status(D);
  };
  const auto current = [](TQX25& D) {
    D.SetPrice(kPort, kNozzle, 1, 0, 0, 2.5);
    D.NozzleSides[kPort][kNozzle] = 1;
    double money = -1;
    const double volume = D.GetCurrentDelivery(kPort, kNozzle, money);
    return "volume " + Text(volume) + " money " + Text(money) + " kept " +
           Text(D.DeliveredVolumes[kPort][kNozzle]) + Status(D);
  };
  for (const auto& [name, b] : {std::pair{"ACK", kAck}, {"NAK", kNak}, {"CAN", kCan}}) {
    all.push_back({std::string(name) + " to a preset", {b}, preset, true});
    all.push_back({std::string(name) + " to a volume query", {b}, current, false});
  }

  const auto poll = [](TQX25& D) {
    D.DeliveredVolumes[kPort][kNozzle] = 10;
    D.PresetVolumes[kPort][kNozzle] = 100;
    const TNozzlePoll p = D.PollNozzle(kPort, kNozzle, 1);
    return "state " + std::to_string(p.State) + " side " + std::to_string(p.StateSide) + " code " +
           std::to_string(p.Codes[0]) + " event " + std::to_string(p.EventLetter) + " ack " +
           std::to_string(D.EventAckPending[kPort][kNozzle]) + Status(D);
  };
  const Bytes idle{'0', '0', kEventReported, '1', '2', '0', '0', '0'};
  all.push_back({"status, idle with event 12", ReplyFrame(idle), poll, false});
  all.push_back({"status, nozzle lifted", ReplyFrame(Chars("10000000")), poll, false});
  all.push_back({"status, delivering", ReplyFrame(Chars("40000000")), poll, false});
  all.push_back({"status, hostile", ReplyFrame(With(idle, 5, kHostile)), poll, false});

  const Bytes fourth = Chars("40258105000");
  all.push_back({"'4' current volume", ReplyFrame(fourth), current, false});
  all.push_back(
      {"'4' hostile", ReplyFrame(With(With(fourth, 6, kHostile), 0, {kCan})), current, false});

  const auto result = [](TQX25& D) {
    D.SetPrice(kPort, kNozzle, 1, 0, 0, 2.5);
    D.NozzleSides[kPort][kNozzle] = 1;
    double volume = -1, money = -1;
    D.GetDeliveryResult(kPort, kNozzle, volume, money);
    return "volume " + Text(volume) + " money " + Text(money) + " kept " +
           Text(D.DeliveredVolumes[kPort][kNozzle]) + Status(D);
  };
  const Bytes fifth = Chars("025810012345605000600");
  all.push_back({"'5' delivery result", ReplyFrame(fifth), result, false});
  all.push_back({"'5' hostile", ReplyFrame(With(fifth, 5, kHostile)), result, false});

  const auto total = [](TQX25& D) {
    double t = -1;
    uint64_t second = 1;
    D.GetTotalCounter(kPort, kNozzle, 1, t, second, 0, 0);
    return "total " + Text(t) + " second " + std::to_string(second) + Status(D);
  };
  const Bytes sixth = Chars("0012345600000007");
  all.push_back({"'6' totalizer", ReplyFrame(sixth), total, false});
  all.push_back({"'6' hostile", ReplyFrame(With(sixth, 8, kHostile)), total, false});

  for (int digits = 0; digits <= kMaxParamDigits; ++digits) {
    int code = -1;
    for (int c = 0; c < kParamCodeCount && code < 0; ++c)
      if (ParamDigits[c] == digits) code = c;
    if (code < 0) continue;  // no parameter has that many digits, so no command reads them
    const auto read = [code](TQX25& D) {
      return "value " + std::to_string(D.ReadParam(kLinkParameter, kPort, kNozzle, code, 0)) +
             Status(D);
    };
    Bytes data{0x21};  // the controller's address character, then the value
    for (int i = 0; i < digits; ++i) data.push_back(static_cast<uint8_t>('1' + (i * 3) % 9));
    const std::string n = std::to_string(digits);
    all.push_back({"parameter of " + n + " digits", ReplyFrame(data), read, false});
    all.push_back(
        {"parameter of " + n + " digits, hostile", ReplyFrame(With(data, 0, {kAck})), read, false});
  }
  return all;
}

TEST(SingleFault, NoCorruptionReachesAResultWhereADataFrameIsDue) {
  std::printf("%-36s %7s %9s %11s %11s %13s\n", "layout", "faults", "accepted", "wrong taken",
              "corruptions", "unpreventable");
  Counts sum;
  for (const Layout& l : Layouts()) {
    const Counts c = Exercise(l);
    std::printf("%-36s %7d %9d %11d %11d %13d\n", l.Name.c_str(), c.Faults, c.HandlerAccepted,
                c.WrongTaken, c.Corruptions, c.Unpreventable);
    EXPECT_EQ(c.Corruptions, c.Unpreventable) << l.Name;
    for (const std::string& e : c.Examples) ADD_FAILURE() << l.Name << ": " << e;
    if (!l.AcknowledgeOnly) {
      EXPECT_EQ(c.WrongTaken, 0) << l.Name;
    } else {
      // Lead bytes ahead of the reply that change its meaning: CAN ahead of
      // ACK or NAK; ACK or NAK ahead of CAN. Twice: bytewise and at once.
      EXPECT_EQ(c.Unpreventable, l.Reply[0] == kCan ? 4 : 2) << l.Name;
    }
    sum.Faults += c.Faults;
    sum.HandlerAccepted += c.HandlerAccepted;
    sum.WrongTaken += c.WrongTaken;
    sum.Corruptions += c.Corruptions;
    sum.Unpreventable += c.Unpreventable;
  }
  std::printf("%-36s %7d %9d %11d %11d %13d\n", "all", sum.Faults, sum.HandlerAccepted,
              sum.WrongTaken, sum.Corruptions, sum.Unpreventable);
}

// The rule behind those counts, on its own: where a data frame is due, only a
// whole frame of the expected length, or a lone ACK, NAK or CAN on a quiet
// line, is a reply. Outside an exchange the frame check stands alone.
TEST(SingleFault, WhereDataIsDueOnlyAWholeFrameOrALoneByteIsAReply) {
  const Bytes shorter = ReplyFrame(Chars("0"));  // a valid frame, 6 bytes
  ScriptedDispatcher line;
  DriverPtr driver(GetQX25(0, 0, &line));
  uint8_t buffer[kBufferSize] = {0x02, 0x21, 'N', '5'};
  line.Answer(shorter);
  EXPECT_NE(driver->Exchange(kPort, buffer, 4, 12, kModeData), 0);
  EXPECT_EQ(line.LastCode, kReplyMalformed);

  Bytes copy = shorter;
  uint8_t length = static_cast<uint8_t>(copy.size());
  EXPECT_TRUE(driver->ValidateReply(kPort, copy.data(), nullptr, length, nullptr));

  // A lead byte with more behind it, handed over at once: no reply.
  line.Chunk = 255;
  line.Answer({kAck, 0x30, 0x4F});
  EXPECT_NE(driver->Exchange(kPort, buffer, 4, 12, kModeData), 0);
  // The same bytes where only a one-byte reply is due: the ACK.
  line.Answer({kAck, 0x30, 0x4F});
  EXPECT_EQ(driver->Exchange(kPort, buffer, 4, 2, kModeShort), 0);
  EXPECT_EQ(buffer[0], kAck);
  // A lone CAN where data is due: the refusal stands.
  line.Answer({kCan});
  EXPECT_EQ(driver->Exchange(kPort, buffer, 4, 12, kModeData), 0);
  EXPECT_EQ(buffer[0], kCan);
}

}  // namespace
