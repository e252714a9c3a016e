// qx25ctl: the dispenser driver from the command line, on a serial device or
// on the built-in simulator, for station integrators and technicians.
#include <clocale>

#include "Commands.h"
#include "params/ParameterUnit.h"

using namespace qx25::tools;

namespace {

void AddLineOptions(CLI::App& App, LineChoice& Line) {
  const std::string lineGroup = "Line";
  auto* device =
      App.add_option("--device", Line.Device, "Serial device of the line, e.g. /dev/ttyUSB0")
          ->group(lineGroup);
  auto* port = App.add_option("--port", Line.Port,
                              "COM port number 1..30; without --device it opens /dev/ttyS(N-1)")
                   ->check(CLI::Range(1, 30))
                   ->group(lineGroup);
  auto* simulate = App.add_flag("--simulate", Line.Simulate,
                                "Run against the built-in simulator on a pseudo-terminal "
                                "(controllers at addresses 1 to 4)")
                       ->group(lineGroup);
  simulate->excludes(device)->excludes(port);
  App.add_option("--timeout", Line.TimeoutMs, "Reply time-out in milliseconds (first byte)")
      ->check(CLI::Range(1, 60000))
      ->group(lineGroup);
  App.add_flag("--trace", Line.Trace, "Print the protocol trace (frames in hex) on stderr")
      ->group(lineGroup);

  const std::string outputGroup = "Output";
  App.add_flag("--json", Line.Json, "Print the result as JSON")->group(outputGroup);

  // Only with --simulate (or for demo); checked once the command is known.
  const std::string simGroup = "Built-in simulator";
  App.add_option("--sim-flow", Line.SimFlow, "Litres a second while delivering (default 6)")
      ->check(CLI::Range(0.1, 1000.0))
      ->group(simGroup);
  App.add_option("--sim-fault", Line.SimFault, "Damage every reply with this fault")
      ->check(CLI::IsMember({"noise", "flip-bit", "drop-byte", "silence", "refuse", "cut-short"}))
      ->group(simGroup);
  App.add_flag("--sim-unpaced", Line.SimUnpaced, "Answer at once rather than at 4800 baud")
      ->group(simGroup);
}

}  // namespace

int main(int argc, char** argv) {
  // Parameter texts use the user's separators, read once from the C locale;
  // numbers on the command line and in JSON keep the C locale's point.
  std::setlocale(LC_ALL, "");
  (void)NumberFormat();
  std::setlocale(LC_NUMERIC, "C");

  CLI::App app{
      "qx25ctl: run fuel dispensers through the qx25 driver on a serial line or on the built-in "
      "simulator.\nExit status: 0 done, 1 refused by the controller, 2 bad arguments (nothing "
      "sent), 3 line error or time-out, 4 file not written."};
  app.require_subcommand(1);
  Context ctx;
  AddLineOptions(app, ctx.Line);
  AddPumpCommands(app, ctx);
  AddParamCommands(app, ctx);
  AddDemoCommand(app, ctx);

  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return app.exit(e);  // --help
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kExitBadArguments;
  }
  ctx.Line.SimTuned =
      app.count("--sim-flow") + app.count("--sim-fault") + app.count("--sim-unpaced") > 0;
  return ctx.Action ? ctx.Action() : kExitBadArguments;
}
