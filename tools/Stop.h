// Stopping a run between exchanges: on Ctrl-C or SIGTERM, or when nobody can
// read the output any more (a closed pipe). A frame is never cut short, so
// the controller is not left with a request half-sent; a wait for its reply
// (which a long --timeout may make long) and a wait between exchanges end at
// once.
#pragma once

#include <atomic>
#include <chrono>

namespace qx25::tools {

// Ignores SIGPIPE (a closed pipe becomes a failed write, not a death) and
// catches SIGINT and SIGTERM.
void InstallStopHandlers();

// Why the run should stop: 0 while it may go on, else the exit status it
// ends with (kExitInterrupted after Ctrl-C, kExitTerminated after SIGTERM,
// kExitFile when the output cannot be written).
int StopStatus();
// Whether SIGINT or SIGTERM asked the run to stop.
bool StopSignalled();
// Set by SIGINT or SIGTERM: the dispatcher's flag that calls off a reply wait.
const std::atomic<bool>& StopFlag();
// A reply wait was called off, so what the request in flight did is not
// known: the end says so.
void ReplyWaitCut();
// A write to stdout or stderr failed: the run stops at the next exchange.
void OutputLost();

// Sleeps for Pause unless a signal asks the run to stop first; false then.
bool PauseUnlessStopped(std::chrono::milliseconds Pause);

// The status a run that would end with Status ends with: a signal's status
// once one came, whatever the exchange in flight gave, said on stderr.
int EndStatus(int Status);

}  // namespace qx25::tools
