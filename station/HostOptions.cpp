#include "HostOptions.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <stdexcept>

#include "programs/LogLines.h"
#include "record/Recorder.h"
#include "sim/BuiltInSimulator.h"

namespace qx25::station {

namespace {

// The simulators' four controllers make two dispensers of two nozzles.
constexpr int kSimNozzlesPerDispenser = 2;

std::string PortRange() { return std::to_string(kFirstPort) + ".." + std::to_string(kLastPort); }

// A decimal number of at most three digits, or nothing.
std::optional<int> SmallNumber(const std::string& Text) {
  const bool digitsOnly =
      !Text.empty() && Text.size() <= 3 &&
      std::all_of(Text.begin(), Text.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (!digitsOnly) return std::nullopt;
  return std::stoi(Text);
}

// Every line once, in port order; the simulator's ports are not free for --port.
std::vector<LineConfig> Assemble(std::vector<LineConfig> Lines, bool Simulate, int Station) {
  if (Simulate && Station > 0)
    throw std::invalid_argument("--simulate and --station are two different simulations; give one");
  if (Simulate) {
    for (const LineConfig& line : Lines)
      if (line.Port == kSimulatedPort)
        throw std::invalid_argument("COM" + std::to_string(kSimulatedPort) +
                                    " is the simulator's line with --simulate; give --port "
                                    "another number");
    Lines.push_back(LineConfig{kSimulatedPort, {}, true, 0});
  }
  for (const LineConfig& line : Lines)
    if (line.Port <= Station)
      throw std::invalid_argument("COM" + std::to_string(line.Port) +
                                  " is a line of the simulated station with --station " +
                                  std::to_string(Station) + "; give --port a number above it");
  for (int k = 1; k <= Station; ++k) Lines.push_back(LineConfig{k, {}, true, k});
  std::sort(Lines.begin(), Lines.end(),
            [](const LineConfig& A, const LineConfig& B) { return A.Port < B.Port; });
  const auto twice =
      std::adjacent_find(Lines.begin(), Lines.end(),
                         [](const LineConfig& A, const LineConfig& B) { return A.Port == B.Port; });
  if (twice != Lines.end())
    throw std::invalid_argument("--port " + std::to_string(twice->Port) + " is given twice");
  return Lines;
}

// The nozzles given for each line, or the line's defaults; in port and nozzle order.
std::vector<NozzleConfig> NozzlesOf(const std::vector<LineConfig>& Lines,
                                    std::vector<NozzleConfig> Given) {
  for (const NozzleConfig& nozzle : Given)
    if (std::none_of(Lines.begin(), Lines.end(),
                     [&](const LineConfig& L) { return L.Port == nozzle.Port; }))
      throw std::invalid_argument("--nozzle " + std::to_string(nozzle.Port) + ":" +
                                  std::to_string(nozzle.Nozzle) + ": COM" +
                                  std::to_string(nozzle.Port) + " is not a line of this station");
  std::vector<NozzleConfig> all = Given;
  for (const LineConfig& line : Lines) {
    if (std::any_of(Given.begin(), Given.end(),
                    [&](const NozzleConfig& N) { return N.Port == line.Port; }))
      continue;
    if (line.Simulated) {
      for (const NozzleConfig& n : SimulatedNozzles(line.Port)) all.push_back(n);
    } else {
      all.push_back({line.Port, 1, 1});
    }
  }
  std::stable_sort(all.begin(), all.end(), [](const NozzleConfig& A, const NozzleConfig& B) {
    return A.Port != B.Port ? A.Port < B.Port : A.Nozzle < B.Nozzle;
  });
  const auto twice =
      std::adjacent_find(all.begin(), all.end(), [](const NozzleConfig& A, const NozzleConfig& B) {
        return A.Port == B.Port && A.Nozzle == B.Nozzle;
      });
  if (twice != all.end())
    throw std::invalid_argument("--nozzle " + std::to_string(twice->Port) + ":" +
                                std::to_string(twice->Nozzle) + " is given twice");
  return all;
}

}  // namespace

LineConfig ParsePortSpec(const std::string& Text) {
  const size_t eq = Text.find('=');
  const std::string number = Text.substr(0, eq);
  const std::optional<int> port = SmallNumber(number);
  if (!port)
    throw std::invalid_argument("--port wants N=DEVICE, for example 3=/dev/ttyUSB0, not \"" + Text +
                                "\"");
  LineConfig line;
  line.Port = *port;
  if (line.Port < kFirstPort || line.Port > kLastPort)
    throw std::invalid_argument("--port " + number + ": the port number must be " + PortRange());
  if (eq != std::string::npos) {
    line.Device = Text.substr(eq + 1);
    if (line.Device.empty())
      throw std::invalid_argument("--port " + Text + ": no device after '='");
  }
  return line;
}

NozzleConfig ParseNozzleSpec(const std::string& Text) {
  std::vector<std::optional<int>> fields;
  size_t from = 0;
  for (;;) {
    const size_t colon = Text.find(':', from);
    fields.push_back(SmallNumber(Text.substr(from, colon - from)));
    if (colon == std::string::npos) break;
    from = colon + 1;
  }
  const bool wellFormed = (fields.size() == 2 || fields.size() == 3) &&
                          std::all_of(fields.begin(), fields.end(),
                                      [](const std::optional<int>& F) { return F.has_value(); });
  if (!wellFormed)
    throw std::invalid_argument("--nozzle wants PORT:NOZZLE[:SIDES], for example 3:1:2, not \"" +
                                Text + "\"");
  NozzleConfig nozzle{*fields[0], *fields[1], fields.size() == 3 ? *fields[2] : 1};
  if (nozzle.Port < kFirstPort || nozzle.Port > kLastPort)
    throw std::invalid_argument("--nozzle " + Text + ": the port number must be " + PortRange());
  if (nozzle.Nozzle < 1 || nozzle.Nozzle > kMaxNozzle)
    throw std::invalid_argument("--nozzle " + Text + ": the nozzle must be 1.." +
                                std::to_string(kMaxNozzle));
  if (nozzle.Sides < 1 || nozzle.Sides > kMaxSides)
    throw std::invalid_argument("--nozzle " + Text + ": the sides must be 1.." +
                                std::to_string(kMaxSides));
  return nozzle;
}

std::vector<NozzleConfig> SimulatedNozzles(int Port) {
  // Nozzle n on side 1 is network address n, one controller a nozzle.
  std::vector<NozzleConfig> nozzles;
  for (int address = sim::kSimFirstAddress; address <= sim::kSimLastAddress; ++address) {
    const int dispenser = (address - sim::kSimFirstAddress) / kSimNozzlesPerDispenser + 1;
    nozzles.push_back({Port, address, 1, dispenser});
  }
  return nozzles;
}

bool TextWritten() {
  std::cout.flush();
  if (std::cout && std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
  std::fprintf(stderr, "qx25-host: the text could not be written to stdout: %s\n",
               std::strerror(errno));
  return false;
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
                   ": two dispensers with two nozzles each (controllers at network addresses 1 "
                   "to 4) on a pseudo-terminal, paced at 4800 baud");
  int station = 0;
  app.add_option("--station", station,
                 "Simulate a whole station: N lines COM1..COMN (1.." +
                     std::to_string(sim::kMaxStationLines) +
                     "), each its own pseudo-terminal with four controllers")
      ->check(CLI::Range(1, sim::kMaxStationLines))
      ->type_name("N");
  std::vector<std::string> nozzles;
  app.add_option("--nozzle", nozzles,
                 "A nozzle panel: PORT:NOZZLE[:SIDES], e.g. 3:1:2 (nozzle 1..32, sides 1..4). "
                 "Repeatable; a line without one shows its default nozzles")
      ->type_name("P:N[:S]");
  app.add_option("--timeout", options.TimeoutMs, "Reply time-out in milliseconds (first byte)")
      ->check(CLI::Range(1, 60000))
      ->type_name("MS");
  app.add_option("--driver", options.DriverPath,
                 "Load the driver from this file instead of searching for libqx25.so")
      ->type_name("PATH");
  app.add_option("--log-level", options.LogLevel,
                 "Print the driver's and the lines' decisions on stderr, one line each, up to "
                 "LEVEL: error, warning, info or debug (default: none)")
      ->transform(CLI::CheckedTransformer(programs::LogLevelsByName()).description(""))
      ->type_name("LEVEL");

  app.add_option("--record", options.RecordPath,
                 "Write every exchange of the lines to this file from the start (the console's "
                 "\"Файл\" menu starts and stops it too); an existing file is kept as FILE.1")
      ->type_name("FILE");
  app.add_option("--record-max", options.RecordMaxMiB,
                 "A recording file's size in MiB before it is moved aside as FILE.1 and a new one "
                 "begun; four are kept")
      ->check(CLI::Range(1, record::kMaxRecordMiB))
      ->capture_default_str()
      ->type_name("MIB");

  try {
    app.parse(Argc, Argv);
    if (version) return {std::nullopt, kHostExitOk, true, options.DriverPath};
    std::vector<LineConfig> lines;
    for (const std::string& text : ports) lines.push_back(ParsePortSpec(text));
    options.Lines = Assemble(std::move(lines), simulate, station);
    std::vector<NozzleConfig> given;
    for (const std::string& text : nozzles) given.push_back(ParseNozzleSpec(text));
    options.Nozzles = NozzlesOf(options.Lines, std::move(given));
    options.StationLines = station;
  } catch (const CLI::Success& e) {
    app.exit(e);
    return {std::nullopt, TextWritten() ? kHostExitOk : kHostExitOutput, false, {}};
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return {std::nullopt, kHostExitBadArguments, false, {}};
  } catch (const std::invalid_argument& e) {
    app.exit(CLI::ValidationError(e.what()));
    return {std::nullopt, kHostExitBadArguments, false, {}};
  }
  return {std::move(options), kHostExitOk, false, {}};
}

}  // namespace qx25::station
