#include "Driver.h"

#include <cmath>
#include <condition_variable>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

namespace qx25 {

uintptr_t ApplicationHandle = 0;

// A re-entrant lock that serves its callers first come, first served: a
// plain mutex lets the thread that just released it take it straight back,
// which a worker looping over a bulk range does every time.
class TPortMutex {
 public:
  void Lock() {
    const std::thread::id self = std::this_thread::get_id();
    std::unique_lock<std::mutex> hold(Guard);
    if (Depth > 0 && Owner == self) {
      ++Depth;
      return;
    }
    const uint64_t ticket = NextTicket++;
    Turn.wait(hold, [&] { return Serving == ticket; });
    Owner = self;
    Depth = 1;
  }
  void Unlock() {
    const std::lock_guard<std::mutex> hold(Guard);
    if (--Depth > 0) return;
    Owner = {};
    ++Serving;
    Turn.notify_all();
  }

 private:
  std::mutex Guard;
  std::condition_variable Turn;
  uint64_t NextTicket = 0, Serving = 0;
  std::thread::id Owner;
  int Depth = 0;
};

namespace {
// Index 0 unused, as in the driver's tables.
TPortMutex PortLocks[kMaxPort + 1];
}  // namespace

TPortLock::TPortLock(int64_t Port) : Held(nullptr) {
  const uint8_t port = static_cast<uint8_t>(Port);
  if (port < 1 || port > kMaxPort) return;
  Held = &PortLocks[port];
  Held->Lock();
}

TPortLock::~TPortLock() {
  if (Held) Held->Unlock();
}

uint8_t PortIndex(int32_t Port) {
  const uint8_t port = static_cast<uint8_t>(Port);
  if (port < 1 || port > kMaxPort)
    throw std::out_of_range("Port " + std::to_string(port) + " is outside 1..30");
  return port;
}

int NozzleIndex(int32_t Nozzle) {
  if (Nozzle > kMaxNozzle) throw std::runtime_error(kMsgNozzleRange);
  if (Nozzle < 1) throw std::out_of_range("Nozzle " + std::to_string(Nozzle) + " is outside 1..32");
  return Nozzle;
}

void CheckNozzle(int32_t Nozzle) {
  if (Nozzle > kMaxNozzle) throw std::runtime_error(kMsgNozzleRange);
}

int SideIndex(int32_t Side) {
  if (Side < 1 || Side > kMaxSide)
    throw std::out_of_range("Side " + std::to_string(Side) + " is outside 1..4");
  return Side;
}

int SideOrNone(int32_t Side) {
  if (Side < 0 || Side > kMaxSide)
    throw std::out_of_range("Side " + std::to_string(Side) + " is outside 0..4");
  return Side;
}

TRequest NozzleRequest(const TQX25& Driver, int32_t Nozzle, int32_t Side, uint8_t Letter) {
  TRequest request(MapNozzleAddress(Nozzle, Side, Driver.AddressStride), Letter);
  request.Nozzle = Nozzle;
  request.Side = Side;
  return request;
}

TReply Send(TQX25& Driver, uint8_t Port, TRequest& Request, const TRequestKind& Kind) {
  const int32_t code =
      Driver.Exchange(Port, Request.Buffer, Request.Length, Kind.ReplyLength, Kind.ReplyMode);
  TReplyOutcome outcome = TReplyOutcome::Answered;
  if (code != 0)
    outcome = TReplyOutcome::Failed;
  else if (Driver.PortStatus[Port] != kLineOk)
    outcome = TReplyOutcome::InDoubt;
  else if (Request.Buffer[0] == kCan)
    outcome = TReplyOutcome::Refused;
  if (outcome == TReplyOutcome::Failed) {
    const char* why = LastRejection();
    Log(llError, At(Port, Request), ": ", Kind.Name, " failed (dispatcher code ", code,
        why != nullptr ? "; last reply turned down: " : "", why != nullptr ? why : "", ")");
  } else if (outcome == TReplyOutcome::InDoubt) {
    Log(llWarning, At(Port, Request), ": ", Kind.Name, " answered, but the line status is ",
        Driver.PortStatus[Port], ": the reply is not acted on");
  } else if (LogOn(llDebug)) {
    const uint8_t lead = Request.Buffer[0];
    Log(llDebug, At(Port, Request), ": ", Kind.Name, " answered ",
        lead == kCan ? "CAN" : lead == kAck ? "ACK" : lead == kNak ? "NAK" : "a data frame");
  }
  return {outcome, code, Request.Buffer};
}

void SetRefusal(TQX25& Driver, uint8_t Port, const TRequest& Request, const TRequestKind& Kind,
                uint8_t Code) {
  Driver.PortStatus[Port] = Code;
  Log(llWarning, At(Port, Request), ": ", Kind.Name,
      Code == kAnsweredWithoutData ? " answered without data (code " : " refused (code ", Code,
      ")");
}

TReply SendOrThrow(TQX25& Driver, uint8_t Port, TRequest& Request, const TRequestKind& Kind,
                   const char* Message) {
  const TReply reply = Send(Driver, Port, Request, Kind);
  if (reply.Outcome == TReplyOutcome::Failed) throw ESerialIO(Message);
  return reply;
}

std::string Text(long double Value) {
  std::ostringstream out;
  out << Value;
  return out.str();
}

double RoundHalfEven(double Value) {
  const double floor = std::floor(Value);
  const double fraction = Value - floor;  // exact for any finite double
  if (fraction < 0.5) return floor;
  if (fraction > 0.5) return floor + 1;
  return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

}  // namespace qx25
