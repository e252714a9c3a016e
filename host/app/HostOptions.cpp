#include "HostOptions.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <stdexcept>

namespace qx25::hostapp {

namespace {

std::string PortRange() {
  return std::to_string(kFirstPort) + ".." + std::to_string(kLastPort);
}

// Every line once, in port order; the simulator's port is not free for --port.
std::vector<LineConfig> Assemble(std::vector<LineConfig> Lines, bool Simulate) {
  if (Simulate) {
    for (const LineConfig& line : Lines)
      if (line.Port == kSimulatedPort)
        throw std::invalid_argument("COM" + std::to_string(kSimulatedPort) +
                                    " is the simulator's line with --simulate; give --port "
                                    "another number");
    Lines.push_back(LineConfig{kSimulatedPort, {}, true});
  }
  std::sort(Lines.begin(), Lines.end(),
            [](const LineConfig& A, const LineConfig& B) { return A.Port < B.Port; });
  const auto twice = std::adjacent_find(
      Lines.begin(), Lines.end(),
      [](const LineConfig& A, const LineConfig& B) { return A.Port == B.Port; });
  if (twice != Lines.end())
    throw std::invalid_argument("--port " + std::to_string(twice->Port) + " is given twice");
  return Lines;
}

}  // namespace

LineConfig ParsePortSpec(const std::string& Text) {
  const size_t eq = Text.find('=');
  const std::string number = Text.substr(0, eq);
  const bool digitsOnly = !number.empty() && number.size() <= 3 &&
                          std::all_of(number.begin(), number.end(),
                                      [](char c) { return c >= '0' && c <= '9'; });
  if (!digitsOnly)
    throw std::invalid_argument("--port wants N=DEVICE, for example 3=/dev/ttyUSB0, not \"" +
                                Text + "\"");
  LineConfig line;
  line.Port = std::stoi(number);
  if (line.Port < kFirstPort || line.Port > kLastPort)
    throw std::invalid_argument("--port " + number + ": the port number must be " + PortRange());
  if (eq != std::string::npos) {
    line.Device = Text.substr(eq + 1);
    if (line.Device.empty())
      throw std::invalid_argument("--port " + Text + ": no device after '='");
  }
  return line;
}

ParsedCommandLine ParseCommandLine(int Argc, const char* const* Argv) {
  CLI::App app{
      "qx25-host: a station's control program running fuel dispensers through the qx25 driver "
      "(libqx25.so, loaded at run time).\nExit status: 0 done, 2 bad arguments, 3 the driver "
      "library could not be loaded."};
  bool version = false;
  app.add_flag("--version", version, "Show the versions of qx25-host and of the driver it loads");
  std::vector<std::string> ports;
  bool simulate = false;
  HostOptions options;
  app.add_option("--port", ports,
                 "A line: COM port N (" + PortRange() +
                     ") on a device, e.g. 3=/dev/ttyUSB0; N alone uses /dev/ttyS(N-1). "
                     "Repeatable")
      ->type_name("N=DEVICE");
  app.add_flag("--simulate", simulate,
               "Add the built-in simulator as COM" + std::to_string(kSimulatedPort) +
                   ": controllers at network addresses 1 to 4 on a pseudo-terminal, paced at "
                   "4800 baud");
  app.add_option("--timeout", options.TimeoutMs, "Reply time-out in milliseconds (first byte)")
      ->check(CLI::Range(1, 60000))
      ->type_name("MS");
  app.add_option("--driver", options.DriverPath,
                 "Load the driver from this file instead of searching for libqx25.so")
      ->type_name("PATH");

  try {
    app.parse(Argc, Argv);
    if (version) return {std::nullopt, kHostExitOk, true, options.DriverPath};
    std::vector<LineConfig> lines;
    for (const std::string& spec : ports) lines.push_back(ParsePortSpec(spec));
    options.Lines = Assemble(std::move(lines), simulate);
  } catch (const CLI::Success& e) {
    return {std::nullopt, app.exit(e), false, {}};
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return {std::nullopt, kHostExitBadArguments, false, {}};
  } catch (const std::invalid_argument& e) {
    app.exit(CLI::ValidationError(e.what()));
    return {std::nullopt, kHostExitBadArguments, false, {}};
  }
  return {std::move(options), kHostExitOk, false, {}};
}

}  // namespace qx25::hostapp
