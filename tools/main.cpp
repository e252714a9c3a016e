// qx25ctl: the dispenser driver from the command line, on a serial device or
// on the built-in simulator, for station integrators and technicians.
#include <cerrno>
#include <clocale>
#include <cstring>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "Arguments.h"
#include "Commands.h"
#include "ReplayCheck.h"
#include "Stop.h"
#include "driver/HostContract.h"
#include "params/ParameterUnit.h"
#include "programs/LogLines.h"
#include "sim/Faults.h"

using namespace qx25::tools;

namespace {

std::map<std::string, qx25::sim::Fault> FaultsByName() {
  std::map<std::string, qx25::sim::Fault> faults;
  for (const qx25::sim::Fault kind : qx25::sim::kAllFaults)
    faults.emplace(qx25::sim::FaultName(kind), kind);
  return faults;
}

void AddLineOptions(CLI::App& App, SessionOptions& Line) {
  const std::string lineGroup = "Line";
  auto* device =
      App.add_option("--device", Line.Device,
                     "Serial device of the line, e.g. /dev/ttyUSB0, or the --link path of qx25-sim")
          ->group(lineGroup);
  auto* port = App.add_option("--port", Line.Port,
                              "COM port number 1..30; without --device it opens /dev/ttyS(N-1)")
                   ->transform(WholeNumber(1, qx25::kMaxPort))
                   ->group(lineGroup);
  auto* simulate = App.add_flag("--simulate", Line.Simulate,
                                "Run against the built-in simulator on a pseudo-terminal "
                                "(controllers at addresses 1 to 4)")
                       ->group(lineGroup);
  simulate->excludes(device)->excludes(port);
  App.add_option("--timeout", Line.TimeoutMs, "Reply time-out in milliseconds (first byte)")
      ->transform(WholeNumber(1, 60000))
      ->default_str(std::to_string(qx25::serial::SerialTimeouts{}.FirstByte.count()))
      ->group(lineGroup);
  App.add_option("--retry-device", Line.RetryDeviceSeconds,
                 "Seconds to wait for a missing device (an adapter being replugged) to appear "
                 "before giving up")
      ->transform(WholeNumber(0, qx25::tools::kMaxRetryDeviceSeconds))
      ->default_str("0")
      ->group(lineGroup);
  App.add_option("--wait-line", Line.WaitLineSeconds,
                 "Seconds to wait for a line another program holds to be free before giving up")
      ->transform(WholeNumber(0, qx25::tools::kMaxWaitLineSeconds))
      ->default_str("0")
      ->group(lineGroup);
  App.add_flag("--trace", Line.Trace, "Print the protocol trace (frames in hex) on stderr")
      ->group(lineGroup);
  App.add_option("--log-level", Line.LogLevel,
                 "Print the driver's and the line's decisions on stderr, one line each, up to "
                 "LEVEL: error, warning, info or debug (default: none)")
      ->transform(CLI::CheckedTransformer(qx25::programs::LogLevelsByName()).description(""))
      ->type_name("LEVEL")
      ->group(lineGroup);
  App.add_option("--record", Line.Record,
                 "Write every exchange to this file, as qx25-sim --replay and replay-check read "
                 "it (an existing file is kept as FILE.1)")
      ->check(CLI::Validator(
          [](const std::string& Path) {
            return Path.empty() ? "a file name is needed, for example run.rec" : "";
          },
          "FILE"))
      ->group(lineGroup);

  const std::string outputGroup = "Output";
  App.add_flag("--json", Line.Json, "Print the result as JSON")->group(outputGroup);
  App.add_flag("--stats", Line.Stats,
               "At the end, print each port's line statistics: exchanges, time-outs, rejected "
               "replies, refusals, median and worst reply time (stderr; \"stats\" with --json)")
      ->group(outputGroup);

  // Only with --simulate (or for demo); checked once the command is known.
  const std::string simGroup = "Built-in simulator";
  App.add_option("--sim-flow", Line.SimFlow, "Litres a second while delivering")
      ->transform(DecimalNumber(0.1, 1000.0))
      ->capture_default_str()
      ->group(simGroup);
  const std::map<std::string, qx25::sim::Fault> faults = FaultsByName();
  App.add_option_function<std::string>(
         "--sim-fault",
         [&Line, faults](const std::string& Name) { Line.SimFault = faults.at(Name); },
         "Damage every reply with this fault")
      ->check(CLI::IsMember(faults))
      ->group(simGroup);
  App.add_flag("--sim-unpaced", Line.SimUnpaced, "Answer at once rather than at 4800 baud")
      ->group(simGroup);
}

// The options of one nozzle or controller, which a user may give before the
// subcommand as well as after it, as README's examples do.
struct SharedOptions {
  int Address = 0;
  int Nozzle = 0;
  int Side = 0;
};
const char* const kSharedOptions[] = {"--address", "--nozzle", "--side"};

void AddSharedOptions(CLI::App& App, SharedOptions& Shared) {
  const std::string group = "Controller (before or after the command)";
  App.add_option("--address", Shared.Address, "Network address of the controller, 1..99")
      ->transform(WholeNumber(qx25::kMinNetAddress, qx25::kMaxNetAddress))
      ->group(group);
  App.add_option("--nozzle", Shared.Nozzle, "Nozzle 1..32")
      ->transform(WholeNumber(1, qx25::kMaxNozzle))
      ->group(group);
  App.add_option("--side", Shared.Side, "Side 1..4")
      ->transform(WholeNumber(1, qx25::kMaxSide))
      ->group(group);
}

// Hands the shared options given before the subcommand to the subcommand's
// own, as if given after it.
void PassSharedOptions(CLI::App& App) {
  CLI::App* sub = App.get_subcommands().front();
  for (const char* name : kSharedOptions) {
    const CLI::Option* given = App.get_option(name);
    if (given->count() == 0) continue;
    CLI::Option* own = sub->get_option_no_throw(name);
    if (own == nullptr)
      throw CLI::ArgumentMismatch(std::string(name) + " does not go with " + sub->get_name());
    if (own->count() > 0) throw CLI::ArgumentMismatch(std::string(name) + " is given twice");
    own->clear();
    own->add_result(given->results().front());
    own->run_callback();
  }
}

// "qx25ctl bogus": the word that stands where a command goes, or empty.
std::string UnknownCommand(CLI::App& App) {
  if (!App.get_subcommands().empty()) return {};
  const std::vector<std::string> left = App.remaining();
  for (const std::string& word : left)
    if (!word.empty() && word[0] != '-') return word;
  return {};
}

std::string CommandList(CLI::App& App) {
  std::string list;
  for (const CLI::App* sub : App.get_subcommands([](CLI::App*) { return true; }))
    list += (list.empty() ? "" : ", ") + sub->get_name();
  return list;
}

// --help and --version: their text must reach the reader too.
int PrintInformation(CLI::App& App, const CLI::Success& E) {
  App.exit(E);
  std::cout.flush();
  if (std::cout) return kExitOk;
  const int error = errno;
  std::fprintf(stderr, "qx25ctl: the text could not be written to stdout: %s; %s\n",
               std::strerror(error), OutputFailureHint(error).c_str());
  return kExitFile;
}

// Whether the command line asks for JSON, read from the words themselves: a
// command line that does not parse must still get its error as JSON.
bool WantsJson(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0) return false;
    if (std::strcmp(argv[i], "--json") == 0) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  InstallStopHandlers();
  // Parameter texts use the user's separators, read once from the C locale;
  // numbers on the command line and in JSON keep the C locale's point.
  std::setlocale(LC_ALL, "");
  (void)NumberFormat();
  std::setlocale(LC_NUMERIC, "C");

  CLI::App app{
      "qx25ctl: run fuel dispensers through the qx25 driver on a serial line or on the built-in "
      "simulator.\nVolumes are in litres (L), money in the station's currency.\nExit status: 0 "
      "done, 1 refused by the controller (diff and drift: the values differ; replay-check: "
      "outcomes differ), 2 bad arguments "
      "(nothing sent), 3 line error or "
      "time-out, 4 file or output not written, 130 interrupted (Ctrl-C) after the exchange in "
      "flight, 143 the same for SIGTERM; a wait between exchanges (--retry-device) ends at once."};
  app.require_subcommand(1);
  app.set_version_flag("--version", VersionText, "Show the versions of qx25ctl and of the driver");
  Context ctx;
  AddLineOptions(app, ctx.Line);
  SharedOptions shared;
  AddSharedOptions(app, shared);
  AddPumpCommands(app, ctx);
  AddParamCommands(app, ctx);
  AddDemoCommand(app, ctx);
  AddReplayCheckCommand(app, ctx);

  try {
    app.parse(argc, argv);
    PassSharedOptions(app);
  } catch (const CLI::Success& e) {
    return PrintInformation(app, e);
  } catch (const CLI::ParseError& e) {
    SessionOptions choice;
    choice.Json = WantsJson(argc, argv);
    std::string message = std::string(e.what()) + "; " + kArgumentsHint;
    const std::string unknown = UnknownCommand(app);
    if (!unknown.empty())
      message = "unknown command \"" + unknown + "\"; the commands are " + CommandList(app);
    else if (app.get_subcommands().empty() && e.get_name() == "RequiredError")
      message = "no command given; the commands are " + CommandList(app);
    return ReportError(choice, kExitBadArguments, "arguments", message);
  }
  ctx.Line.DeviceGiven = app.count("--device") > 0;
  ctx.Line.SimTuned =
      app.count("--sim-flow") + app.count("--sim-fault") + app.count("--sim-unpaced") > 0;
  return EndStatus(ctx.Action ? ctx.Action() : kExitBadArguments);
}
