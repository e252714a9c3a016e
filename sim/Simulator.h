// A simulated line of nozzle controllers, usable in-process without any port:
// hand it the bytes of one request frame and it answers with the reply bytes
// a real line would carry back, or with nothing.
//
// Controllers sit at network addresses 1..99; a request's group byte and
// address character select one by the same rule the driver addresses them
// with (so a host's nozzle n, side s is address n + s - 1). What each
// controller answers and how its delivery runs is described in Controller.h.
// Two requests are for the whole line: 'W' (a common command: recorded for
// tests to see, never answered) and ']' (the controller whose ID number the
// request carries takes the new address and answers ACK; CAN when that
// address is outside 1..99 or another controller has it; no answer when no
// controller has the ID number). Frames that are not exactly well-formed, and
// requests for an address where no controller sits, are ignored silently.
//
// Time. With the manual clock (the default) deliveries move only when
// AdvanceTime is called, so tests are deterministic; with RealTime they follow
// the monotonic clock as well. Every controller delivers FlowRate litres a
// second.
//
// Faults (Faults.h) damage the replies that are due: bound with SetCodeFault
// to the parameter requests for one code, queued with InjectFault for the
// next replies, or drawn at a seeded rate. A request that gets no reply (a
// common command, a frame ignored) takes no fault. Under Refuse the
// controller does not carry out the request at all.
//
// Every method may be called from any thread; the simulator serialises them.
// The observer is called outside that lock.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "driver/protocol/RequestDecoder.h"
#include "sim/Controller.h"
#include "sim/Faults.h"

namespace qx25::sim {

struct SimulatorOptions {
  double FlowRate = 1.0;       // litres a second, for every controller
  bool RealTime = false;       // deliveries also follow the monotonic clock
  size_t HistoryLimit = 1024;  // exchanges kept for History(), the newest
};

// A common command as it arrived: the two characters after 'W', less '0'.
struct CommonCommand {
  int Command;
  int Value;
};

// One request frame and what the simulator did with it.
struct Exchange {
  Bytes Frame;                    // the frame as it was handed over
  std::optional<Bytes> Data;      // its request data, when the frame was well formed
  std::optional<Bytes> Intended;  // the fault-free reply; nothing when none is due
  Bytes Sent;                     // what goes on the line; empty when nothing does
  Fault Applied = Fault::None;    // the fault that turned Intended into Sent
};

// The parameter requests a code fault hits: reads ('N'), writes ('O'), or both.
enum class ParamAccess : uint8_t { Read = 1, Write = 2, ReadWrite = 3 };

// The ID number a controller gets when none is given: 7654320 + its address.
int64_t DefaultIdNumber(int Address);

class Simulator {
 public:
  explicit Simulator(const SimulatorOptions& Options = {});
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // --- Controllers ---

  // Places a controller at Address. Throws std::invalid_argument for an
  // address outside 1..99 or already taken, or an ID number that does not fit
  // 10 digits or that another controller has.
  void AddController(int Address, int64_t IdNumber);
  void AddController(int Address) { AddController(Address, DefaultIdNumber(Address)); }
  void RemoveController(int Address);
  // The addresses with a controller, in ascending order.
  std::vector<int> Addresses() const;
  // A copy of what the controller at Address holds; std::invalid_argument if
  // there is none. (The methods below that take an Address throw the same.)
  ControllerState State(int Address) const;

  // --- The line ---

  // The bytes that go back on the line for one request frame, or nothing.
  std::optional<Bytes> Respond(const uint8_t* Frame, size_t Length);
  // The same, with the whole record: the request, the fault-free reply and
  // the fault. The record also goes to History() and to the observer.
  Exchange Answer(const uint8_t* Frame, size_t Length);

  // --- Time ---

  // Moves every delivery on by Seconds (finite, not negative).
  void AdvanceTime(double Seconds);
  // Litres a second (finite, not negative), for every controller, and for
  // those added later; or for one.
  void SetFlowRate(double LitresPerSecond);
  void SetFlowRate(int Address, double LitresPerSecond);

  // --- What happens at a dispenser ---

  void RaiseEvent(int Address, int Number);  // Number 1..99
  void LiftNozzle(int Address);
  void HangNozzle(int Address);
  void SetParam(int Address, int Code, int64_t Value);
  void SetTotaliser(int Address, int64_t Litres);

  // The common commands received, oldest first.
  std::vector<CommonCommand> CommonCommands() const;

  // --- Faults ---

  // Binds Kind to every request On selects for parameter Code (0..59) that
  // gets a reply: at the controller at Address, or at any controller when
  // Address is 0. It stays until cleared, and such a request takes it in
  // place of a queued or drawn fault, which are kept for the other replies.
  // Binding the same Code, On and Address again replaces the kind; Kind None
  // removes that binding. Where bindings overlap, the one set last applies.
  // Throws std::invalid_argument for a code outside 0..59 or an address
  // outside 0..99.
  //   Sim.SetCodeFault(16, Fault::Refuse);  // CAN to every read and write of 16
  //   Sim.SetCodeFault(9, Fault::Silence, ParamAccess::Read, 2);  // no reply to reads of 9 at 2
  void SetCodeFault(int Code, Fault Kind, ParamAccess On = ParamAccess::ReadWrite, int Address = 0);
  // Removes every binding of SetCodeFault.
  void ClearCodeFaults();
  // The controller at Address acknowledges every write of parameter Code and
  // keeps the value it had, as one whose parameter is locked does: only a
  // read-back shows the write did not take. Stays for the simulator's life.
  // Throws std::invalid_argument for a code outside 0..59 or no controller
  // at Address.
  void KeepValue(int Address, int Code);
  void InjectFault(Fault Kind);
  void SetFaultRate(double Rate, uint64_t Seed, const std::vector<Fault>& Kinds = {});
  // Drops queued faults, stops the rate and removes every code fault.
  void ClearFaults();

  // --- Records ---

  std::vector<Exchange> History() const;
  void ClearHistory();
  // Frames handed over since construction (well formed or not), however many
  // History keeps.
  uint64_t ExchangeCount() const;
  // Waits until ExchangeCount reaches Count or Timeout passes; true when it
  // did. Lets a test that sent a frame over a line (which may take the line's
  // wire time to arrive, and gets no reply to wait for when it is a common
  // command) wait for the simulator to have seen it.
  bool WaitForExchanges(uint64_t Count, std::chrono::milliseconds Timeout) const;
  // Called with each exchange, on the thread that called Answer or Respond.
  void SetObserver(std::function<void(const Exchange&)> Observer);

 private:
  using Clock = std::chrono::steady_clock;

  struct CodeFault {
    int Code;
    ParamAccess On;
    int Address;  // 0: any
    Fault Kind;
  };

  sim::Controller& Find(int Address);
  const sim::Controller* Lookup(int Address) const;
  bool WillAnswer(const DecodedRequest& Asked) const;
  bool Keeps(const DecodedRequest& Asked) const;
  std::optional<Fault> BoundFault(const DecodedRequest& Asked) const;
  static std::optional<Bytes> Serve(std::vector<sim::Controller>& Line,
                                    std::vector<CommonCommand>& Common,
                                    const DecodedRequest& Asked);
  void CatchUp();

  mutable std::mutex Lock;
  mutable std::condition_variable Answered;
  uint64_t AnsweredCount = 0;
  SimulatorOptions Settings;
  std::vector<sim::Controller> Controllers;
  std::vector<CommonCommand> Common;
  FaultInjector Faults;
  std::vector<CodeFault> CodeFaults;  // oldest first
  std::vector<std::pair<int, int>> Kept;  // address and code, of KeepValue
  std::deque<Exchange> Records;
  std::function<void(const Exchange&)> Watcher;
  Clock::time_point LastTick;
};

}  // namespace qx25::sim
