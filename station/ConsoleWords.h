// The forecourt console's words for what the driver reports: a nozzle's
// summary state (slot 21), the port status after a command (slot 3), and the
// request a trace frame carries. The codes, letters and the words for requests
// and port statuses come from the protocol layer; the nozzle states' words are
// the console's own.
#pragma once

#include <QString>
#include <cstdint>
#include <span>

namespace qx25::station {

// How the last command on a port ended, as a panel colours it.
enum class StatusKind { None, Accepted, Refused, LineFailure };

struct StatusMeaning {
  StatusKind Kind;
  QString Text;  // "принято", "отказ: предустановка не принята (код 18)"...
};

// PortStatus after a command: 0 before any exchange, 1 accepted, a refusal
// code (16-26), or the dispatcher's verdict on a failed line.
StatusMeaning PortStatusMeaning(int Status);

// A summary or per-side code of PollNozzle in words ("налив, сторона 2");
// EventLetter, when not 0, adds the event ("свободна, событие R").
QString NozzleStateText(uint16_t Code, uint8_t EventLetter = 0);
// The same without side or event ("идёт налив"): where room is short.
QString NozzleStateWord(uint16_t Code);
// The state's class, which decides what the poller reads next.
bool IsDelivering(uint16_t Code);  // fuel flows on a side (208 + side)
bool IsFinished(uint16_t Code);    // the poll closed a delivery (216)
bool IsIdle(uint16_t Code);        // nozzle hung up, nothing set (192)
bool IsAuthorised(uint16_t Code);  // a dose is set and may be started
bool IsHalted(uint16_t Code);      // a delivery stopped on a side, not closed (216 + side)

// The request a frame carries, in words: "1 состояние", "T предустановка".
// Empty when the bytes are no request frame.
QString RequestText(std::span<const uint8_t> Frame);
// The request is one the poller repeats all the time (a nozzle's state, or
// its running volume), not a command.
bool IsRoutinePoll(std::span<const uint8_t> Frame);

}  // namespace qx25::station
