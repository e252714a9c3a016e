// Stopping a run between exchanges: on Ctrl-C, or when nobody can read the
// output any more (a closed pipe). An exchange is never cut short, so the
// controller is not left with a request half-sent; the run ends after it.
#pragma once

namespace qx25::tools {

// Ignores SIGPIPE (a closed pipe becomes a failed write, not a death) and
// catches SIGINT and SIGTERM.
void InstallStopHandlers();

// Why the run should stop: 0 while it may go on, else the exit status it
// ends with (kExitInterrupted after Ctrl-C, kExitFile when the output cannot be written).
int StopStatus();
// A write to stdout or stderr failed: the run stops at the next exchange.
void OutputLost();

}  // namespace qx25::tools
