// The model of one nozzle controller: what it answers to each request
// addressed to it, and how its delivery moves on as time passes.
//
// A controller answers under one network address (a host's nozzle and side
// map to it) and carries an ID number, 60 parameter codes with values of the
// protocol's digit counts, an 8-digit totaliser of whole litres, a queue of
// events, and one delivery at a time. Its delivery states, with the character
// a status reply carries in its first data byte:
//
//   '0' Idle        nozzle hung up, no dose. Events are reported only here.
//   '1' Lifted      a customer has lifted the nozzle but no dose is set.
//   '2' Authorised  a dose (preset) is set and waits for the start command.
//   '3' Suspended   the host stopped a running delivery; a start resumes it.
//   '4' Delivering  fuel flows at the flow rate.
//   '5' HungUp      the customer hung the nozzle up before the dose was reached.
//   '6' Finished    the dose has been delivered.
//
// Transitions (anything not listed is answered ACK and changes nothing):
//
//   'T' preset     in '0', '1', '2', '5', '6': the new dose, to '2'. A dose of
//                  0, or a preset while a delivery runs ('3', '4'): CAN.
//   'U' prepare    ACK; CAN while a delivery runs ('3', '4').
//   '2' start      '2' to '4': a new delivery from 0 litres (the customer takes
//                  the nozzle at once); '3' to '4': resumed. Without a dose
//                  ('0', '1', '5', '6'): CAN.
//   '3' stop       '4' to '3'; '2' to '0' (the dose is withdrawn).
//   '8' reset      a delivery begun ('3', '4', '5', '6') or a lifted nozzle
//                  ('1') to '0', the dose cleared; a dose still waiting for
//                  its start ('2') is kept. Always ACK.
//   time passes    '4' delivers FlowRate litres a second; at the dose, '6'.
//   hooks          LiftNozzle: '0' to '1'. HangNozzle: '1' to '0'; '3', '4'
//                  to '5'.
//
// The volume and dose of the last delivery stay readable through '4' and '5'
// until the next delivery starts, as a dispenser's display keeps them.
//
// The sub byte (second data byte of a status reply) is '0' ("counting") in
// state '4' only while the volume this controller last reported to the host
// (through '4' or '5') is at least 1 litre and more than 1 litre short of the
// dose; otherwise in state '4' it is 0x03 ("not counted yet" at the start of
// a delivery, "slowing down" in its last litre). A host thus sees a delivery
// as running exactly when its own idea of the volume says so, and never takes
// a delivery for ended while fuel still flows. In '5' and '6' the sub byte is
// '1' (ended); elsewhere '0'.
//
// Replies (data bytes e[0], e[1], ...; digits are ASCII, most significant
// first):
//
//   '1' status     8 bytes: state character, sub byte, flags (bit 3: event),
//                  event number (two digits), three '0'.
//   '4' current    11 bytes: state character, volume (5 digits), dose (5).
//   '5' result     21 bytes: volume (5), totaliser (8), dose (5), state
//                  character, two '0'.
//   '6' totaliser  16 bytes: totaliser (8), deliveries since power-up (8).
//   'N' parameter  1 + the code's digit count: the controller's address
//                  character (not part of the value), then the value.
//   anything else  ACK; CAN when refused; NAK for a letter the controller
//                  does not know or arguments it cannot read (a wrong length,
//                  a non-digit where digits belong).
//
// Parameters: a write ('O') may carry any number of digits, up to 18, as
// long as the value fits the code's digit count; otherwise, for a code
// outside 0..59, and for a code with digits written without any, CAN.
//
// Events (numbers 1..99; the host names 1, 12, 16 and 17) wait in a queue.
// In state '0' a status reply reports the oldest one: bit 3 of the flags byte
// set, its number in the next two bytes as tens and units digits. The next
// status request acknowledges it when it ends with the extra byte '1'; without
// that byte the event is reported again.
//
// Passwords go into code 26 and open one protected operation for the next
// request addressed to this controller only: 8163 the write of the
// calibration coefficient (code 27), 5290 the write of the totaliser ('6' with
// 0x01 and 8 digits). Without it these writes are refused with CAN. Read, code
// 26 gives the confirmation code of the password operation: 1 once the
// protected write has been made, 0 from the next password write on.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <vector>

#include "driver/protocol/Protocol.h"

namespace qx25::sim {

using Bytes = std::vector<uint8_t>;

// Each state is the character a status reply carries for it.
enum class DeliveryState : uint8_t {
  Idle = kStateIdle,
  Lifted = kStateNozzleLifted,
  Authorised = kStateAuthorised,
  Suspended = kStateStopped,
  Delivering = kStateDelivering,
  HungUp = kStateHungUp,
  Finished = kStateFinished,
};
constexpr uint8_t StateCharacter(DeliveryState State) { return static_cast<uint8_t>(State); }

// Password operations.
enum class Password : uint8_t { None, Calibration, Totaliser };
inline constexpr int32_t kConfirmNone = 0;
inline constexpr int32_t kConfirmDone = 1;

inline constexpr int kMaxEvent = static_cast<int>(MaxDigitsValue(TStatusReply::Event.Digits));
inline constexpr int64_t kTotaliserModulus = PowerOfTen(kTotalDigits);
inline constexpr int kMaxDose = static_cast<int>(MaxDigitsValue(kVolumeDigits));
inline constexpr int64_t kMaxIdNumber = MaxDigitsValue(kIdDigits);

// Everything a controller holds: a plain value that tests can look at.
struct ControllerState {
  int Address = kMinNetAddress;
  int64_t IdNumber = 0;
  double FlowRate = 1.0;  // litres a second while delivering

  DeliveryState State = DeliveryState::Idle;
  int Dose = 0;            // litres set by the last preset, 0 when none is set
  int DeliveryDose = 0;    // litres the current (or last) delivery was started for
  double Volume = 0;       // litres of the current (or last) delivery
  int Reported = 0;        // the whole litres last reported to the host
  int64_t Totaliser = 0;   // whole litres, 8 digits
  int CountedLitres = 0;   // whole litres of Volume already in Totaliser
  int64_t Deliveries = 0;  // deliveries started since power-up

  std::array<int64_t, kParamCodeCount> Params{};
  std::deque<int> Events;
  bool EventReported = false;  // the last status reply carried Events.front()
  Password Armed = Password::None;
  int32_t Confirmation = kConfirmNone;
};

class Controller {
 public:
  Controller(int Address, int64_t IdNumber, double FlowRate);

  // Answers a request addressed to this controller: its letter and the
  // request data after it. Every such request is answered: a data reply, or
  // ACK, CAN (refused), or NAK (a letter it does not know, or arguments it
  // cannot read). Returns the reply bytes as they go on the line.
  Bytes Handle(uint8_t Letter, const uint8_t* Args, size_t Count);

  // Moves the delivery on by Seconds (not negative).
  void Advance(double Seconds);

  const ControllerState& State() const { return Data; }
  int Address() const { return Data.Address; }
  int64_t IdNumber() const { return Data.IdNumber; }
  void SetAddress(int Address) { Data.Address = Address; }
  void SetFlowRate(double LitresPerSecond) { Data.FlowRate = LitresPerSecond; }

  // Test hooks; each throws std::invalid_argument for a value the controller
  // cannot hold.
  void RaiseEvent(int Number);
  void LiftNozzle();
  void HangNozzle();
  void SetParam(int Code, int64_t Value);
  void SetTotaliser(int64_t Litres);

 private:
  Bytes Status(const uint8_t* Args, size_t Count);
  Bytes Start();
  Bytes Stop();
  Bytes Reset();
  Bytes Preset(const uint8_t* Args, size_t Count);
  Bytes Prepare();
  Bytes Current();
  Bytes Result();
  Bytes Totaliser(const uint8_t* Args, size_t Count, Password Armed);
  Bytes ReadParam(const uint8_t* Args, size_t Count);
  Bytes WriteParam(const uint8_t* Args, size_t Count, Password Armed);

  bool Running() const;
  uint8_t SubByte() const;
  int WholeVolume() const;
  void CountLitres();

  ControllerState Data;
};

// A one-byte reply.
Bytes ShortReply(uint8_t Byte);

}  // namespace qx25::sim
