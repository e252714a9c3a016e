// The line a qx25ctl command talks through, and the one place where a
// command's outcome becomes an exit status.
//
// A command chooses its line with --device PATH, --port N or --simulate (the
// built-in simulator, started on a pseudo-terminal). It gets a driver made by
// libqx25's GetQX25 on the serial dispatcher, exactly as a host would, with
// the port's line settings applied. Arguments are checked before anything is
// opened, so nothing is sent when they are invalid.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "Output.h"
#include "driver/DriverPtr.h"
#include "driver/QX25.h"
#include "record/Recorder.h"
#include "serial/LineStatistics.h"
#include "serial/SerialDispatcher.h"
#include "sim/BuiltInSimulator.h"

namespace qx25::tools {

// Exit statuses of qx25ctl.
enum ExitStatus : int {
  kExitOk = 0,
  kExitRefused = 1,        // the controller refused, or did not take a value written
  kExitBadArguments = 2,   // bad arguments or input file; nothing was sent
  kExitLine = 3,           // no such device, line in use, time-out, unreadable reply, line failed
  kExitFile = 4,           // a file or the output could not be written
  kExitInterrupted = 130,  // Ctrl-C: stopped after the exchange in flight
  kExitTerminated = 143,   // SIGTERM: the same
};

struct SessionOptions {
  std::string Device;        // --device; empty for the port's default device
  bool DeviceGiven = false;  // --device was given (perhaps empty, which is refused)
  int Port = 0;              // --port; 0 when not given
  bool Simulate = false;
  bool Trace = false;
  int LogLevel = -1;   // --log-level: the decisions logged on stderr; -1 none
  std::string Record;  // --record: the file every exchange is written to
  bool Json = false;
  bool Stats = false;          // line statistics at the end of the run
  int TimeoutMs = 0;           // first-byte reply time-out; 0 keeps the dispatcher's
  int RetryDeviceSeconds = 0;  // how long opening waits for a missing device
  int WaitLineSeconds = 0;     // how long opening waits for a line another program holds
  // The built-in simulator.
  double SimFlow = 6.0;                    // litres a second
  sim::Fault SimFault = sim::Fault::None;  // damage every reply with it
  bool SimUnpaced = false;                 // answer at once instead of at the wire's pace
  bool SimTuned = false;                   // one of the above was given
};

// The longest --retry-device: an hour covers any replugging.
inline constexpr int kMaxRetryDeviceSeconds = 3600;
// The longest --wait-line: as long.
inline constexpr int kMaxWaitLineSeconds = 3600;

// The port number used when --port is not given.
inline constexpr int kDefaultPort = 1;

// Arguments that make no sense; raised before the line is opened.
class BadArguments : public std::runtime_error {
  using std::runtime_error::runtime_error;
};
// The line failed: no device, a time-out, a reply that could not be read.
class LineFailure : public std::runtime_error {
  using std::runtime_error::runtime_error;
};
// Another program holds the line.
class LineInUse : public LineFailure {
  using LineFailure::LineFailure;
};
// A file could not be written.
class FileFailure : public std::runtime_error {
  using std::runtime_error::runtime_error;
};
// The controller refused a request: the refusal code found in PortStatus.
class Refused : public std::runtime_error {
 public:
  explicit Refused(uint8_t Status);
  uint8_t Status;
};

// What a user can do about an error of each kind, appended to its message.
inline constexpr const char* kArgumentsHint = "see qx25ctl --help, or COMMAND --help";
inline constexpr const char* kLineHint =
    "check the device, its cable and the controller's address, or give a longer --timeout";
inline constexpr const char* kDamagedHint =
    "check the cable and its earthing, and that no other controller has this address";
inline constexpr const char* kNoDeviceHint =
    "check the --device path or the --port number, and that the adapter is plugged in";
inline constexpr const char* kInUseHint =
    "it is free again when that program ends; give --wait-line SECONDS to wait for it";
inline constexpr const char* kNoAccessHint =
    "check that you may open the device (the dialout group on Debian)";
inline constexpr const char* kOtherDeviceHint =
    "the line's device came back as another one; run again to take the device there now";
inline constexpr const char* kFileHint = "check the path, its permissions and the free space";

// What a refusal code in PortStatus means ("preset refused"); null for any
// other status.
const char* RefusalMeaning(uint8_t Status);

// What a command is doing, for the message of a failed exchange.
struct Operation {
  std::string Failing;  // "reading the totalizer"
  // For a request that changes the controller: "the start"; a time-out then
  // says it may have taken effect, since the request may have arrived.
  std::string Effect;
  std::string CheckWith = "poll";  // the command that tells whether it did
};

class Session {
 public:
  // Starts the built-in simulator if chosen, makes the driver and, when
  // OpenLine, applies the line settings (SetupPort), which opens the device.
  // Stats, when given, records every exchange; it must outlive the session.
  Session(const SessionOptions& Choice, bool OpenLine, serial::LineStatistics* Stats = nullptr);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  TQX25& Driver() { return *DispenserDriver; }
  int Port() const { return PortNumber; }
  // The built-in simulator, or null on a real line.
  sim::Simulator* Simulator() { return Sim ? &Sim->Simulator() : nullptr; }
  // "COM1 (/dev/pts/4)".
  std::string LineName() const;

  // Moves the session to another port of its dispatcher, whose device is
  // DevicePath (empty: the port's own), and opens it; the recording and the
  // trace go on across ports. Throws LineFailure when it does not open.
  void SwitchPort(int Port, const std::string& DevicePath);

  // What the exchanges that follow are for.
  void Doing(Operation What) { Current = std::move(What); }
  const Operation& Doing() const { return Current; }

  // Throws Refused or LineFailure unless the last exchange on the port was
  // accepted.
  void Check();
  // Message of a failed exchange: the line, the operation, why it failed (a
  // time-out, a damaged reply, no device), the driver's own text in
  // parentheses when given, and what to do.
  std::string Describe(const std::string& DriverText = {});
  // The same for a dispatcher's error code.
  std::string Describe(int32_t Code, const std::string& DriverText = {});

 private:
  std::unique_ptr<sim::BuiltInSimulator> Sim;
  serial::SerialDispatcher Dispatcher;
  Operation Current;
  // Bytes that came back in the last exchange that ended, set from the trace:
  // a time-out after some bytes is a damaged reply, not a silent line.
  std::shared_ptr<size_t> LastReplyBytes = std::make_shared<size_t>(0);
  int PortNumber;
  std::string Path;
  std::shared_ptr<record::Recorder> Recording;  // with --record
  DriverPtr DispenserDriver;                    // made by GetQX25
  bool Logging = false;                         // this session switched the driver's log on
};

// Fills the result and returns the exit status; a refusal or a line failure
// may also be thrown.
using CommandBody = std::function<int(Session&, Node& Result)>;

struct Command {
  // Checks the arguments before anything is opened; throws BadArguments.
  std::function<void()> Validate;
  // False for commands that need no exchange (the driver is still made).
  bool NeedsLine = true;
  Operation What;
  CommandBody Body;
};

// Validates, opens the line, runs the body, prints its result, and turns
// whatever was raised into a message on stderr (and an "error" object on
// stdout with --json) and an exit status.
int RunCommand(const SessionOptions& Choice, const Command& Run);

// The volume unit the text output shows; JSON carries bare litres.
inline constexpr const char* kLitres = "L";
// A volume in litres, with its unit in the text output.
inline Node Litres(double Value, int Decimals = 0) {
  return Node::Number(Value, Decimals, kLitres);
}
// An amount of money: two decimals in the station's currency, which the
// driver does not know, so no unit is shown.
inline Node Money(double Value) { return Node::Number(Value, 2); }
// A price: money a litre.
inline Node Price(double Value) { return Node::Number(Value, 2, std::string("per ") + kLitres); }

// Prints a command's result; a result that cannot be written (a full disk, a
// closed pipe) is a file failure, as with the other tools of the system.
int PrintResult(const SessionOptions& Choice, const Node& Result, int Status);
// What to do when the output could not be written, by its errno.
std::string OutputFailureHint(int Error);

// Reports an error as RunCommand does and returns Status. Stats, when given,
// follow the message on stderr, or go beside the error with --json.
int ReportError(const SessionOptions& Choice, int Status, const std::string& Kind,
                const std::string& Message, Node Details = Node::Object(),
                const serial::LineStatistics* Stats = nullptr);

// The statistics of every port used, as the "stats" member of --json output.
Node StatisticsNode(const std::vector<serial::PortStatistics>& Ports);

}  // namespace qx25::tools
