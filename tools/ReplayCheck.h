// replay-check: the requests of a recording sent again, through this driver,
// to a replay of the same recording, and every outcome compared with the
// recorded one; for checking a driver change against field data.
#pragma once

#include <CLI/CLI.hpp>
#include <cstddef>
#include <string>
#include <vector>

#include "Arguments.h"
#include "Commands.h"
#include "record/RecordingFormat.h"

namespace qx25::tools {

struct ReplayDifference {
  size_t Line;  // in the recording
  int Port;
  std::string Request;             // its name
  std::string Recorded, Replayed;  // "time-out failed code=-1"
};

struct ReplayCheckResult {
  size_t Checked = 0;
  std::vector<ReplayDifference> Differences;
  std::vector<std::string> Skipped;  // exchanges this driver cannot send again, and why
  size_t Unmatched = 0;              // requests the replay had no answer for
};

// Replays each port of the recording (only Port's when not 0) on a
// pseudo-terminal, runs each port's exchanges in the recording's order (the ports side
// by side, each on a thread of its own) through a
// driver on the serial dispatcher and compares verdict, outcome and code.
// Throws BadArguments for a port the recording lacks, LineFailure when no
// pseudo-terminal can be had.
ReplayCheckResult CheckReplay(const record::Recording& From, int Port, const SessionOptions& Choice);

void AddReplayCheckCommand(CLI::App& App, Context& Ctx);

}  // namespace qx25::tools
