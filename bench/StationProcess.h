// The simulated station in a child process of its own, so that the host's
// CPU time (getrusage of this process) holds none of the simulator's. The
// child is forked before the host starts any thread, serves its lines until
// the parent closes the control pipe (or dies), then ends.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "sim/BuiltInSimulator.h"

namespace qx25::bench {

class StationProcess {
 public:
  // Forks the child, which starts a SimulatedStation of Lines lines, and
  // waits for its device paths. Throws std::runtime_error when the child
  // cannot be started or its station fails (with the child's reason).
  StationProcess(int Lines, const sim::BuiltInSimulatorOptions& Options);
  // Closes the control pipe and waits for the child to end.
  ~StationProcess();
  StationProcess(const StationProcess&) = delete;
  StationProcess& operator=(const StationProcess&) = delete;

  // Line k's device is DevicePaths()[k - 1].
  const std::vector<std::string>& DevicePaths() const { return Paths; }

 private:
  pid_t Child = -1;
  int Control = -1;  // the parent's write end; the child ends at its EOF
  std::vector<std::string> Paths;
};

}  // namespace qx25::bench
