// The subcommands of qx25ctl, registered on the CLI11 command tree in groups:
// the host's pump operations, the technician's parameter work, and the demo.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <functional>
#include <string>

#include "Session.h"

namespace qx25::tools {

// What the command line chose: the line, and the action of the subcommand.
struct Context {
  SessionOptions Line;
  std::function<int()> Action;
};

struct NozzleArgs {
  int Nozzle = 1;
  int Side = 1;
};

void AddPumpCommands(CLI::App& App, Context& Ctx);
void AddParamCommands(CLI::App& App, Context& Ctx);
void AddDemoCommand(CLI::App& App, Context& Ctx);

// --nozzle N (1..32), and with the next --side S (1..4) too.
void AddNozzleOption(CLI::App& Sub, int& Nozzle);
void AddNozzleOptions(CLI::App& Sub, NozzleArgs& Args);
// --address N (1..99): the controller's network address.
void AddAddressOption(CLI::App& Sub, int& Address);
// Makes Sub's action run Run (or a command that is only Body) once the whole
// command line has been parsed; the line options may also follow the
// subcommand. The arguments the command reads are parsed by then.
void OnRun(CLI::App& Sub, Context& Ctx, Command Run);
void OnRun(CLI::App& Sub, Context& Ctx, CommandBody Body);

// qx25ctl's version and the description of the driver it runs.
std::string VersionText();

// The totalizer of a nozzle's side in litres; throws as Session::Check does.
double ReadTotal(Session& S, const NozzleArgs& A);

// What a nozzle state code of PollNozzle means ("delivering on side 1").
std::string StateMeaning(uint16_t Code);

}  // namespace qx25::tools
