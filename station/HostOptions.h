// What qx25-host is told on its command line: the lines it runs, whether the
// built-in simulator or a simulated station answers them, the nozzles the
// console shows, the reply time-out and where the driver library is.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qx25::station {

// COM port numbers a line may have: the driver's tables hold ports 1..30.
inline constexpr int kFirstPort = 1;
inline constexpr int kLastPort = 30;
// The port of the built-in simulator's line.
inline constexpr int kSimulatedPort = 1;
// The driver's nozzle and side numbers.
inline constexpr int kMaxNozzle = 32;
inline constexpr int kMaxSides = 4;

// Exit statuses of qx25-host.
enum HostExit : int {
  kHostExitOk = 0,
  kHostExitBadArguments = 2,
  kHostExitNoDriver = 3,  // the driver library could not be loaded, or no simulator
  kHostExitOutput = 4,    // --help or --version could not be written
};

struct LineConfig {
  int Port = 0;
  std::string Device;      // empty: the port's default device, or the simulator's terminal
  bool Simulated = false;  // a simulator answers: the built-in one, or the station's line
  int StationLine = 0;     // the simulated station's line 1..N; 0 for any other line
};

// One nozzle the console shows a panel for: its port, its number and how many
// sides it polls (slot 21's SideCount).
struct NozzleConfig {
  int Port = 0;
  int Nozzle = 0;
  int Sides = 1;
  int Dispenser = 0;  // the dispenser it belongs to, when known; 0 otherwise
  friend bool operator==(const NozzleConfig&, const NozzleConfig&) = default;
};

struct HostOptions {
  std::vector<LineConfig> Lines;  // by port number, each port once
  // In port and nozzle order. A line without --nozzle gets its default ones:
  // the simulators' controllers, or nozzle 1 with one side on a device.
  std::vector<NozzleConfig> Nozzles;
  int StationLines = 0;       // --station N; 0 without
  int TimeoutMs = 0;          // first-byte reply time-out; 0 keeps the dispatcher's
  std::string DriverPath;     // --driver: this library only; empty: search for it
  std::string RecordPath;     // --record: every exchange into this file from the start
  int RecordMaxMiB = 64;      // --record-max: a recording file's size cap
  int LogLevel = -1;          // --log-level: decisions logged on stderr up to it; -1 none
  std::string ExecutableDir;  // where the driver search starts; filled by the caller
  std::string SettingsPath;   // the console's settings (prices); empty: their usual place
};

// "3=/dev/ttyUSB0", or "3" for the port's default device /dev/ttyS2. Throws
// std::invalid_argument saying what is wrong.
LineConfig ParsePortSpec(const std::string& Text);
// "3:1:2" (port 3, nozzle 1, two sides), or "3:1" for one side. Throws
// std::invalid_argument saying what is wrong.
NozzleConfig ParseNozzleSpec(const std::string& Text);
// The nozzles a simulated line's four controllers stand for: two dispensers
// with two nozzles each, nozzles 1 to 4 on side 1 (network addresses 1 to 4).
std::vector<NozzleConfig> SimulatedNozzles(int Port);

// The command line into options. Help and errors are printed (on stdout or
// stderr); then there are no options and ExitStatus says how to end.
// ExecutableDir is left empty. --version also leaves no options: the caller
// loads the driver (from DriverPath when --driver gave one) to show its
// description too.
struct ParsedCommandLine {
  std::optional<HostOptions> Options;
  int ExitStatus = kHostExitOk;
  bool VersionAsked = false;
  std::string DriverPath;
};
ParsedCommandLine ParseCommandLine(int Argc, const char* const* Argv);

// Flushes standard output; false, and a word on standard error, when the
// text printed there could not be written (a full disk, a closed pipe).
bool TextWritten();

}  // namespace qx25::station
