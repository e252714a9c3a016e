#include "sim/Simulator.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace qx25::sim {

namespace {

constexpr int64_t kFirstDefaultId = 7654320;

void CheckSeconds(double Seconds, const char* What) {
  if (!(Seconds >= 0) || !std::isfinite(Seconds))
    throw std::invalid_argument(std::string(What) + " must be finite and not negative");
}

}  // namespace

int64_t DefaultIdNumber(int Address) { return kFirstDefaultId + Address; }

Simulator::Simulator(const SimulatorOptions& Options) : Settings(Options), LastTick(Clock::now()) {
  CheckSeconds(Options.FlowRate, "flow rate");
}

sim::Controller& Simulator::Find(int Address) {
  for (sim::Controller& c : Controllers)
    if (c.Address() == Address) return c;
  throw std::invalid_argument("no controller at address " + std::to_string(Address));
}

const sim::Controller* Simulator::Lookup(int Address) const {
  for (const sim::Controller& c : Controllers)
    if (c.Address() == Address) return &c;
  return nullptr;
}

void Simulator::AddController(int Address, int64_t IdNumber) {
  std::lock_guard guard(Lock);
  CatchUp();
  if (Lookup(Address) != nullptr)
    throw std::invalid_argument("address " + std::to_string(Address) + " is taken");
  for (const sim::Controller& c : Controllers)
    if (c.IdNumber() == IdNumber)
      throw std::invalid_argument("ID number " + std::to_string(IdNumber) + " is taken");
  sim::Controller added(Address, IdNumber, Settings.FlowRate);
  const auto at = std::find_if(Controllers.begin(), Controllers.end(),
                               [&](const sim::Controller& c) { return c.Address() > Address; });
  Controllers.insert(at, std::move(added));
}

void Simulator::RemoveController(int Address) {
  std::lock_guard guard(Lock);
  Find(Address);
  std::erase_if(Controllers, [&](const sim::Controller& c) { return c.Address() == Address; });
}

std::vector<int> Simulator::Addresses() const {
  std::lock_guard guard(Lock);
  std::vector<int> out;
  for (const sim::Controller& c : Controllers) out.push_back(c.Address());
  std::sort(out.begin(), out.end());
  return out;
}

ControllerState Simulator::State(int Address) const {
  std::lock_guard guard(Lock);
  const sim::Controller* c = Lookup(Address);
  if (c == nullptr)
    throw std::invalid_argument("no controller at address " + std::to_string(Address));
  if (!Settings.RealTime) return c->State();
  // Where the delivery stands now, without moving the line's own clock.
  sim::Controller now = *c;
  now.Advance(std::chrono::duration<double>(Clock::now() - LastTick).count());
  return now.State();
}

void Simulator::CatchUp() {
  const Clock::time_point now = Clock::now();
  if (Settings.RealTime) {
    const double seconds = std::chrono::duration<double>(now - LastTick).count();
    for (sim::Controller& c : Controllers) c.Advance(seconds);
  }
  LastTick = now;
}

bool Simulator::WillAnswer(const DecodedRequest& Asked) const {
  switch (Asked.To) {
    case RequestTarget::Controller:
      return Lookup(Asked.Address) != nullptr;
    case RequestTarget::Common:
      return false;
    case RequestTarget::NetAddress: {
      const std::optional<TNewAddress> wanted = ParseNewAddress(Asked.Args);
      if (!wanted) return false;
      return std::any_of(Controllers.begin(), Controllers.end(), [&](const sim::Controller& c) {
        return c.IdNumber() == wanted->IdNumber;
      });
    }
  }
  return false;
}

std::optional<Fault> Simulator::BoundFault(const DecodedRequest& Asked) const {
  if (Asked.To != RequestTarget::Controller || Asked.Args.empty()) return std::nullopt;
  ParamAccess access;
  if (Asked.Letter == kReadParamRequest.Letter)
    access = ParamAccess::Read;
  else if (Asked.Letter == kWriteParamRequest.Letter)
    access = ParamAccess::Write;
  else
    return std::nullopt;
  const int code = Asked.Args[0] - kCodeCharBase;
  for (auto f = CodeFaults.rbegin(); f != CodeFaults.rend(); ++f)
    if (f->Code == code && (f->Address == 0 || f->Address == Asked.Address) &&
        (static_cast<uint8_t>(f->On) & static_cast<uint8_t>(access)) != 0)
      return f->Kind;
  return std::nullopt;
}

bool Simulator::Keeps(const DecodedRequest& Asked) const {
  if (Asked.To != RequestTarget::Controller || Asked.Args.empty() ||
      Asked.Letter != kWriteParamRequest.Letter)
    return false;
  const std::pair<int, int> write{Asked.Address, Asked.Args[0] - kCodeCharBase};
  return std::find(Kept.begin(), Kept.end(), write) != Kept.end();
}

std::optional<Bytes> Simulator::Serve(std::vector<sim::Controller>& Line,
                                      std::vector<CommonCommand>& Common,
                                      const DecodedRequest& Asked) {
  switch (Asked.To) {
    case RequestTarget::Controller:
      for (sim::Controller& c : Line)
        if (c.Address() == Asked.Address)
          return c.Handle(Asked.Letter, Asked.Args.data(), Asked.Args.size());
      return std::nullopt;
    case RequestTarget::Common:
      if (Asked.Args.size() == 2)
        Common.push_back(
            CommonCommand{Asked.Args[0] - kCodeCharBase, Asked.Args[1] - kCodeCharBase});
      return std::nullopt;
    case RequestTarget::NetAddress: {
      const std::optional<TNewAddress> wanted = ParseNewAddress(Asked.Args);
      if (!wanted) return std::nullopt;
      sim::Controller* target = nullptr;
      bool taken = false;
      for (sim::Controller& c : Line) {
        if (c.IdNumber() == wanted->IdNumber)
          target = &c;
        else if (c.Address() == wanted->Address)
          taken = true;
      }
      if (target == nullptr) return std::nullopt;
      if (taken || wanted->Address < kMinNetAddress || wanted->Address > kMaxNetAddress)
        return ShortReply(kCan);
      target->SetAddress(static_cast<int>(wanted->Address));
      std::sort(Line.begin(), Line.end(), [](const sim::Controller& a, const sim::Controller& b) {
        return a.Address() < b.Address();
      });
      return ShortReply(kAck);
    }
  }
  return std::nullopt;
}

Exchange Simulator::Answer(const uint8_t* Frame, size_t Length) {
  Exchange x;
  std::function<void(const Exchange&)> watcher;
  {
    std::lock_guard guard(Lock);
    CatchUp();
    if (Frame != nullptr) x.Frame.assign(Frame, Frame + Length);
    x.Data = DecodeRequestFrame(Frame, Length);
    const std::optional<DecodedRequest> asked = x.Data ? ParseRequest(*x.Data) : std::nullopt;
    if (asked && WillAnswer(*asked)) {
      const std::optional<Fault> bound = BoundFault(*asked);
      x.Applied = bound ? *bound : Faults.Next();
      if (x.Applied == Fault::Refuse || Keeps(*asked)) {
        // A refusing controller carries nothing out, and one that keeps its
        // value only seems to: work out what it would have answered on a
        // copy of the line.
        std::vector<sim::Controller> line = Controllers;
        std::vector<CommonCommand> common = Common;
        x.Intended = Serve(line, common, *asked);
      } else {
        x.Intended = Serve(Controllers, Common, *asked);
      }
      if (x.Intended) x.Sent = Faults.Damage(x.Applied, *x.Intended);
    } else if (asked) {
      Serve(Controllers, Common, *asked);
    }
    if (Settings.HistoryLimit > 0) {
      if (Records.size() >= Settings.HistoryLimit) Records.pop_front();
      Records.push_back(x);
    }
    ++AnsweredCount;
    watcher = Watcher;
  }
  Answered.notify_all();
  if (watcher) watcher(x);
  return x;
}

std::optional<Bytes> Simulator::Respond(const uint8_t* Frame, size_t Length) {
  Exchange x = Answer(Frame, Length);
  if (x.Sent.empty()) return std::nullopt;
  return std::move(x.Sent);
}

void Simulator::AdvanceTime(double Seconds) {
  CheckSeconds(Seconds, "time step");
  std::lock_guard guard(Lock);
  CatchUp();
  for (sim::Controller& c : Controllers) c.Advance(Seconds);
}

void Simulator::SetFlowRate(double LitresPerSecond) {
  CheckSeconds(LitresPerSecond, "flow rate");
  std::lock_guard guard(Lock);
  CatchUp();
  Settings.FlowRate = LitresPerSecond;
  for (sim::Controller& c : Controllers) c.SetFlowRate(LitresPerSecond);
}

void Simulator::SetFlowRate(int Address, double LitresPerSecond) {
  CheckSeconds(LitresPerSecond, "flow rate");
  std::lock_guard guard(Lock);
  CatchUp();
  Find(Address).SetFlowRate(LitresPerSecond);
}

void Simulator::RaiseEvent(int Address, int Number) {
  std::lock_guard guard(Lock);
  Find(Address).RaiseEvent(Number);
}

void Simulator::LiftNozzle(int Address) {
  std::lock_guard guard(Lock);
  CatchUp();
  Find(Address).LiftNozzle();
}

void Simulator::HangNozzle(int Address) {
  std::lock_guard guard(Lock);
  CatchUp();
  Find(Address).HangNozzle();
}

void Simulator::SetParam(int Address, int Code, int64_t Value) {
  std::lock_guard guard(Lock);
  Find(Address).SetParam(Code, Value);
}

void Simulator::SetTotaliser(int Address, int64_t Litres) {
  std::lock_guard guard(Lock);
  Find(Address).SetTotaliser(Litres);
}

std::vector<CommonCommand> Simulator::CommonCommands() const {
  std::lock_guard guard(Lock);
  return Common;
}

void Simulator::SetCodeFault(int Code, Fault Kind, ParamAccess On, int Address) {
  if (Code < 0 || Code >= kParamCodeCount)
    throw std::invalid_argument("parameter code " + std::to_string(Code) + " is outside 0..59");
  if (Address < 0 || Address > kMaxNetAddress)
    throw std::invalid_argument("address " + std::to_string(Address) + " is outside 0..99");
  if (On != ParamAccess::Read && On != ParamAccess::Write && On != ParamAccess::ReadWrite)
    throw std::invalid_argument("no parameter request selected");
  std::lock_guard guard(Lock);
  std::erase_if(CodeFaults, [&](const CodeFault& f) {
    return f.Code == Code && f.On == On && f.Address == Address;
  });
  if (Kind != Fault::None) CodeFaults.push_back({Code, On, Address, Kind});
}

void Simulator::ClearCodeFaults() {
  std::lock_guard guard(Lock);
  CodeFaults.clear();
}

void Simulator::KeepValue(int Address, int Code) {
  if (Code < 0 || Code >= kParamCodeCount)
    throw std::invalid_argument("parameter code " + std::to_string(Code) + " is outside 0..59");
  std::lock_guard guard(Lock);
  if (Lookup(Address) == nullptr)
    throw std::invalid_argument("no controller at address " + std::to_string(Address));
  Kept.emplace_back(Address, Code);
}

void Simulator::InjectFault(Fault Kind) {
  std::lock_guard guard(Lock);
  Faults.Inject(Kind);
}

void Simulator::SetFaultRate(double Rate, uint64_t Seed, const std::vector<Fault>& Kinds) {
  std::lock_guard guard(Lock);
  Faults.SetRate(Rate, Seed, Kinds);
}

void Simulator::ClearFaults() {
  std::lock_guard guard(Lock);
  Faults.Clear();
  CodeFaults.clear();
}

std::vector<Exchange> Simulator::History() const {
  std::lock_guard guard(Lock);
  return std::vector<Exchange>(Records.begin(), Records.end());
}

void Simulator::ClearHistory() {
  std::lock_guard guard(Lock);
  Records.clear();
}

uint64_t Simulator::ExchangeCount() const {
  std::lock_guard guard(Lock);
  return AnsweredCount;
}

bool Simulator::WaitForExchanges(uint64_t Count, std::chrono::milliseconds Timeout) const {
  std::unique_lock guard(Lock);
  return Answered.wait_for(guard, Timeout, [&] { return AnsweredCount >= Count; });
}

void Simulator::SetObserver(std::function<void(const Exchange&)> Observer) {
  std::lock_guard guard(Lock);
  Watcher = std::move(Observer);
}

}  // namespace qx25::sim
