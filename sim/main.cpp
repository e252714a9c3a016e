// qx25-sim: nozzle controllers on a pseudo-terminal or a serial device, for a
// host (or the driver's tests and demo) to talk to as to a real line.
//
// With no --device it opens a pseudo-terminal, prints the path of its slave
// side on stdout (the only thing it prints there) and answers until SIGINT or
// SIGTERM. Deliveries run in real time. With --link PATH the pseudo-terminal
// is also reachable at a fixed path, a symbolic link removed again on exit,
// so that a station outlives one host run and scripts need not read the
// path. A link is one simulator's: a second run on the same PATH is refused
// while the first lives (PATH.lock holds its lock and pid).
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "sim/CatalogValues.h"
#include "sim/Endpoint.h"
#include "sim/Replay.h"
#include "sim/Simulator.h"
#include "programs/ProgramVersion.h"

using namespace qx25::sim;

namespace {

// "1,2,5-8" into 1, 2, 5, 6, 7, 8.
std::vector<int> ParseAddresses(const std::string& Text) {
  std::vector<int> out;
  size_t at = 0;
  while (at <= Text.size()) {
    const size_t comma = std::min(Text.find(',', at), Text.size());
    const std::string item = Text.substr(at, comma - at);
    const size_t dash = item.find('-');
    size_t used = 0;
    try {
      const int first = std::stoi(item, &used);
      int last = first;
      if (dash != std::string::npos) {
        size_t used2 = 0;
        last = std::stoi(item.substr(dash + 1), &used2);
        used = dash + 1 + used2;
      }
      if (used != item.size() || first > last) throw std::invalid_argument(item);
      for (int a = first; a <= last; ++a) out.push_back(a);
    } catch (const std::logic_error&) {
      throw std::invalid_argument("not an address list: \"" + Text + "\" (for example 1,2,5-8)");
    }
    at = comma + 1;
  }
  return out;
}

// "ADDRESS=N" into its two numbers, ADDRESS one of Controllers; Option and
// Example say what was wanted.
std::pair<int, int64_t> ParseAddressPair(const std::string& Item, const char* Option,
                                         const char* Example,
                                         const std::map<int, int64_t>& Controllers) {
  const size_t eq = Item.find('=');
  std::pair<int, int64_t> pair;
  try {
    if (eq == std::string::npos) throw std::invalid_argument(Item);
    size_t used = 0;
    const int address = std::stoi(Item.substr(0, eq), &used);
    if (used != eq) throw std::invalid_argument(Item);
    const std::string digits = Item.substr(eq + 1);
    const int64_t number = std::stoll(digits, &used);
    if (used != digits.size()) throw std::invalid_argument(Item);
    pair = {address, number};
  } catch (const std::logic_error&) {
    throw std::invalid_argument(std::string(Option) + " wants " + Example + ", not \"" + Item +
                                "\"");
  }
  if (Controllers.count(pair.first) == 0)
    throw std::invalid_argument(std::string(Option) + " " + Item + ": no controller at address " +
                                std::to_string(pair.first));
  return pair;
}

std::string Hex(const Bytes& Data) {
  std::string out;
  char b[4];
  for (const uint8_t x : Data) {
    std::snprintf(b, sizeof b, "%02X ", x);
    out += b;
  }
  if (!out.empty()) out.pop_back();
  return out;
}

// The longest latency timer of common USB serial adapters.
constexpr int kMaxBurstMs = 16;

// A symbolic link at Path to Target, for as long as the object lives. An
// existing link is replaced (one left by a run that was killed) unless a
// live simulator holds it; any other file at Path is left alone and refused.
class FixedLink {
 public:
  FixedLink(std::string Path, const std::string& Target) : Where(std::move(Path)) {
    namespace fs = std::filesystem;
    Claim();
    std::error_code error;
    const fs::file_status there = fs::symlink_status(Where, error);
    if (fs::exists(there) && !fs::is_symlink(there))
      throw std::invalid_argument("--link " + Where +
                                  ": a file that is not a symbolic link is in the way; choose "
                                  "another path");
    // Made aside and renamed into place, so that the path never names nothing.
    const std::string temp = Where + ".qx25-sim-" + std::to_string(getpid());
    std::remove(temp.c_str());
    if (symlink(Target.c_str(), temp.c_str()) != 0 ||
        std::rename(temp.c_str(), Where.c_str()) != 0) {
      const int err = errno;
      std::remove(temp.c_str());
      throw std::runtime_error("--link " + Where + ": " + std::strerror(err));
    }
    Pointee = Target;
  }
  ~FixedLink() {
    // Only a link that still points here: another run may have taken the path.
    std::error_code error;
    if (std::filesystem::read_symlink(Where, error) == Pointee && !error)
      std::remove(Where.c_str());
    // The lock file stays: removing it could let two later runs lock two files.
    if (Lock >= 0) close(Lock);
  }
  FixedLink(const FixedLink&) = delete;
  FixedLink& operator=(const FixedLink&) = delete;

 private:
  // Locks Path.lock for this run and writes its pid there. The kernel drops
  // the lock when the run ends, however it ends, so a killed run never bars
  // the next.
  void Claim() {
    const std::string name = Where + ".lock";
    Lock = open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (Lock < 0)
      throw std::runtime_error("--link " + Where + ": cannot create " + name + ": " +
                               std::strerror(errno));
    if (flock(Lock, LOCK_EX | LOCK_NB) != 0) {
      const int err = errno;
      char pid[24] = {};
      const ssize_t n = pread(Lock, pid, sizeof pid - 1, 0);
      close(Lock);
      Lock = -1;
      if (err != EWOULDBLOCK)
        throw std::runtime_error("--link " + Where + ": cannot lock " + name + ": " +
                                 std::strerror(err));
      std::string holder = n > 0 ? std::string(pid, static_cast<size_t>(n)) : std::string();
      holder.erase(holder.find_last_not_of(" \n") + 1);
      throw std::runtime_error("--link " + Where + " is held by a running simulator" +
                               (holder.empty() ? std::string() : " (pid " + holder + ")") +
                               "; stop it first, or choose another path");
    }
    const std::string pid = std::to_string(getpid()) + "\n";
    if (ftruncate(Lock, 0) != 0 || pwrite(Lock, pid.data(), pid.size(), 0) < 0) {
      // The pid only helps the message of a refused run; the lock is what counts.
    }
  }

  std::string Where;
  std::filesystem::path Pointee;
  int Lock = -1;
};

// Exit statuses, as qx25ctl's: a bad argument is 2 wherever it is found.
constexpr int kExitFailed = 1;
constexpr int kExitBadArguments = 2;
constexpr int kExitOutput = 4;

// Blocks SIGINT and SIGTERM in this thread for sigwait, and returns them.
sigset_t StopSignals() {
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  return stop;
}

// Waits for a stop signal, waking now and then to notice a line that ended
// on its own; true when every line still ran.
template <typename Lines>
bool AnswerUntilStopped(sigset_t Stop, const Lines& Running) {
  const timespec tick{1, 0};
  while (Running()) {
    if (sigtimedwait(&Stop, nullptr, &tick) > 0) return true;
  }
  return false;
}

struct ReplayChoice {
  std::string File;
  int Port;
  std::string Device;
  std::string Link;
  int Baud;
  bool Pacing;
};

// --replay: a line per recorded port, each answered from its own exchanges.
int RunReplay(const ReplayChoice& Choice) {
  const qx25::record::Recording recording = qx25::record::ReadRecordingFile(Choice.File);
  for (const std::string& warning : recording.Warnings)
    std::cerr << "qx25-sim: " << warning << "\n";
  std::vector<int> ports = recording.Ports();
  if (Choice.Port != 0) {
    if (std::find(ports.begin(), ports.end(), Choice.Port) == ports.end())
      throw std::invalid_argument(Choice.File + " holds no exchange of COM" +
                                  std::to_string(Choice.Port));
    ports = {Choice.Port};
  }
  if (ports.empty()) throw std::invalid_argument(Choice.File + " holds no exchange to replay");
  if (ports.size() > 1 && (!Choice.Device.empty() || !Choice.Link.empty()))
    throw std::invalid_argument(Choice.File + " holds several ports; choose one with --port");

  EndpointOptions options;
  options.Baud = Choice.Baud;
  options.Pacing = Choice.Device.empty() && Choice.Pacing;
  std::vector<std::unique_ptr<ReplayScript>> scripts;
  std::vector<std::unique_ptr<Endpoint>> lines;
  std::vector<std::string> paths;
  for (const int port : ports) {
    auto& script = scripts.emplace_back(
        std::make_unique<ReplayScript>(ExchangesOf(recording, port), Choice.Baud));
    script->OnUnmatched([port](const Bytes& Frame) {
      std::cerr << "qx25-sim: COM" << port << ": no recorded exchange answers " << Hex(Frame)
                << "; answered with silence" << std::endl;
    });
    auto& line = lines.emplace_back(std::make_unique<Endpoint>(
        [s = script.get()](const Bytes& Frame) { return s->Answer(Frame); }, options));
    if (Choice.Device.empty()) {
      paths.push_back(line->OpenPseudoTerminal());
    } else {
      line->OpenDevice(Choice.Device);
      paths.push_back(Choice.Device);
    }
  }
  std::optional<FixedLink> fixed;
  if (!Choice.Link.empty()) {
    fixed.emplace(Choice.Link, paths.front());
    paths.front() = Choice.Link;
  }
  const sigset_t stop = StopSignals();
  for (auto& line : lines) line->Start();
  // One port prints its path alone, as without --replay; several say whose is which.
  for (size_t k = 0; k < ports.size(); ++k)
    std::cout << (ports.size() > 1 ? "COM" + std::to_string(ports[k]) + " " : std::string())
              << paths[k] << "\n";
  std::cout.flush();
  std::cerr << "replaying " << recording.Exchanges.size() << " exchanges of " << Choice.File
            << " until interrupted" << std::endl;
  AnswerUntilStopped(stop, [&] {
    return std::all_of(lines.begin(), lines.end(), [](const auto& L) { return L->Running(); });
  });
  int status = 0;
  for (size_t k = 0; k < ports.size(); ++k) {
    lines[k]->Stop();
    std::cerr << "COM" << ports[k] << ": " << scripts[k]->Matched() << " of "
              << scripts[k]->Recorded() << " recorded exchanges replayed, "
              << scripts[k]->Unmatched() << " requests unmatched" << std::endl;
    if (!lines[k]->Failure().empty()) {
      std::cerr << "qx25-sim: COM" << ports[k] << ": " << lines[k]->Failure() << std::endl;
      status = kExitFailed;
    }
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Simulates nozzle controllers of the Zh-4 filling protocol on a serial line.\nExit status: "
      "0 stopped by SIGINT or SIGTERM, 1 the line failed, 2 bad arguments, 4 output not "
      "written."};
  app.set_version_flag(
      "--version", [] { return qx25::programs::VersionText("qx25-sim", nullptr); },
      "Show the versions of qx25-sim and of the driver");
  std::string device;
  int baud = qx25::kWireBaud;
  bool noPacing = false;
  std::string controllers = "1,2";
  std::vector<std::string> ids;
  std::vector<std::string> refusals;
  std::vector<std::string> keptValues;
  std::vector<std::string> silentReads;
  std::string silent;
  double flowRate = 1.0;
  double faultRate = 0;
  uint64_t seed = 1;
  int turnaroundMs = 0;
  int burstMs = 0;
  bool trace = false;
  app.add_option("--device", device,
                 "Serial device to answer on; without it a pseudo-terminal is opened and the path "
                 "of its slave side printed");
  app.add_option("--baud", baud, "Baud rate of the line (pacing, and a device's settings)")
      ->capture_default_str()
      ->check(CLI::Range(1, 4000000));
  app.add_flag("--no-pacing", noPacing,
               "Answer a pseudo-terminal at once instead of at the wire speed of --baud");
  app.add_option("--controllers", controllers, "Network addresses of the controllers, 1..99")
      ->capture_default_str();
  app.add_option("--id", ids,
                 "ID number of a controller as ADDRESS=ID (default 7654320 + address)");
  app.add_option("--refuse-write", refusals,
                 "The controller at ADDRESS answers CAN to every write of parameter CODE, as "
                 "ADDRESS=CODE; repeatable");
  app.add_option("--keep-value", keptValues,
                 "The controller at ADDRESS acknowledges every write of parameter CODE and keeps "
                 "its value, as ADDRESS=CODE; only a read-back shows it; repeatable");
  app.add_option("--silent-read", silentReads,
                 "The controller at ADDRESS answers no read of parameter CODE, as ADDRESS=CODE; "
                 "repeatable");
  app.add_option("--silent", silent,
                 "Network addresses of controllers that answer nothing (a dead controller, a cut "
                 "cable), one of --controllers each, e.g. 3 or 3,5");
  app.add_option("--flow-rate", flowRate, "Litres a second while delivering")
      ->capture_default_str()
      ->check(CLI::NonNegativeNumber);
  app.add_option("--fault-rate", faultRate, "Share of replies to damage, 0..1")
      ->capture_default_str()
      ->check(CLI::Range(0.0, 1.0));
  app.add_option("--seed", seed, "Seed of the fault generator")->capture_default_str();
  app.add_option("--burst", burstMs,
                 "Pass replies on in bursts every MS milliseconds, as a USB serial adapter's "
                 "latency timer does (1 to 16; 0, the default, byte by byte)")
      ->check(CLI::Range(0, kMaxBurstMs));
  app.add_option("--turnaround", turnaroundMs, "Milliseconds before a controller answers")
      ->capture_default_str()
      ->check(CLI::Range(0, 10000));
  app.add_flag("--trace", trace, "Print every request and reply on stderr");
  std::string link;
  app.add_option("--link", link,
                 "Also make the pseudo-terminal reachable at this path (a symbolic link, removed "
                 "on exit), e.g. /tmp/qx25-line; the path is printed instead of the terminal's")
      ->excludes("--device");
  std::string replay;
  int replayPort = 0;
  auto* replayOption =
      app.add_option("--replay", replay,
                     "Answer as the controllers of this recording did (qx25ctl or qx25-host "
                     "--record): each port of it on a pseudo-terminal of its own")
          ->check(CLI::ExistingFile);
  for (const char* name :
       {"--controllers", "--id", "--flow-rate", "--fault-rate", "--seed", "--burst",
        "--turnaround", "--refuse-write", "--keep-value", "--silent-read", "--silent"})
    replayOption->excludes(app.get_option(name));
  app.add_option("--port", replayPort,
                 "With --replay: replay only this port's exchanges (1..255); needed with --link "
                 "or --device when the recording holds several ports")
      ->check(CLI::Range(1, 255))
      ->needs(replayOption);
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    app.exit(e);
    std::cout.flush();
    if (std::cout) return 0;
    std::cerr << "qx25-sim: the text could not be written to stdout: " << std::strerror(errno)
              << std::endl;
    return kExitOutput;
  } catch (const CLI::ParseError& e) {
    std::cerr << "qx25-sim: " << e.what() << "; see qx25-sim --help" << std::endl;
    return kExitBadArguments;
  }

  try {
    if (!replay.empty()) {
      ReplayChoice choice{replay, replayPort, device, link, baud, !noPacing};
      return RunReplay(choice);
    }
    std::map<int, int64_t> idOf;
    for (const int a : ParseAddresses(controllers)) idOf[a] = DefaultIdNumber(a);
    for (const std::string& item : ids) {
      const auto [address, id] =
          ParseAddressPair(item, "--id", "ADDRESS=ID, for example 1=7654321", idOf);
      idOf[address] = id;
    }

    SimulatorOptions options;
    options.FlowRate = flowRate;
    options.RealTime = true;
    options.HistoryLimit = 0;
    Simulator sim(options);
    for (const auto& [address, id] : idOf) {
      sim.AddController(address, id);
      SetCatalogValues(sim, address);
    }
    // Each ADDRESS=CODE item of Option, applied to the simulator by Apply.
    const auto perCode = [&](const std::vector<std::string>& Items, const char* Option,
                             const std::function<void(int, int)>& Apply) {
      for (const std::string& item : Items) {
        const auto [address, code] =
            ParseAddressPair(item, Option, "ADDRESS=CODE, for example 2=16", idOf);
        try {
          // The simulator knows which codes a controller keeps; a number past
          // int is none of them, and is said as the item given.
          Apply(address, static_cast<int>(std::clamp<int64_t>(code, -1, INT_MAX)));
        } catch (const std::invalid_argument& e) {
          throw std::invalid_argument(std::string(Option) + " " + item + ": " + e.what());
        }
      }
    };
    perCode(refusals, "--refuse-write", [&](int Address, int Code) {
      sim.SetCodeFault(Code, Fault::Refuse, ParamAccess::Write, Address);
    });
    perCode(silentReads, "--silent-read", [&](int Address, int Code) {
      sim.SetCodeFault(Code, Fault::Silence, ParamAccess::Read, Address);
    });
    perCode(keptValues, "--keep-value",
            [&](int Address, int Code) { sim.KeepValue(Address, Code); });
    // A silent controller is one the line does not reach: it is left off it.
    if (!silent.empty()) {
      for (const int address : ParseAddresses(silent)) {
        if (idOf.count(address) == 0)
          throw std::invalid_argument("--silent " + std::to_string(address) +
                                      ": no controller at that address");
        sim.RemoveController(address);
        idOf.erase(address);
        std::cerr << "controller " << address << " is silent\n";
      }
    }
    if (faultRate > 0) sim.SetFaultRate(faultRate, seed);
    if (trace) {
      sim.SetObserver([](const Exchange& x) {
        std::string line = "-> " + Hex(x.Frame);
        if (!x.Sent.empty()) line += "  <- " + Hex(x.Sent);
        if (x.Applied != Fault::None) line += std::string("  [") + FaultName(x.Applied) + "]";
        std::cerr << line << std::endl;
      });
    }

    EndpointOptions lineOptions;
    lineOptions.Baud = baud;
    lineOptions.Pacing = device.empty() && !noPacing;
    lineOptions.Turnaround = std::chrono::milliseconds(turnaroundMs);
    lineOptions.Burst = std::chrono::milliseconds(burstMs);
    Endpoint line(sim, lineOptions);
    std::string path = device.empty() ? line.OpenPseudoTerminal() : device;
    if (!device.empty()) line.OpenDevice(device);
    std::optional<FixedLink> fixed;
    if (!link.empty()) {
      fixed.emplace(link, path);
      path = link;
    }

    // The signals are taken by sigwait below, in this thread only.
    const sigset_t stop = StopSignals();
    line.Start();

    std::cout << path << std::endl;
    for (const auto& [address, id] : idOf)
      std::cerr << "controller " << address << ", ID number " << id << "\n";
    std::cerr << "answering on " << path << " until interrupted" << std::endl;

    AnswerUntilStopped(stop, [&] { return line.Running(); });
    line.Stop();
    if (!line.Failure().empty()) {
      std::cerr << "qx25-sim: " << line.Failure() << std::endl;
      return kExitFailed;
    }
    return 0;
  } catch (const qx25::record::RecordingError& e) {
    std::cerr << "qx25-sim: " << e.what() << std::endl;
    return kExitBadArguments;
  } catch (const std::invalid_argument& e) {
    std::cerr << "qx25-sim: " << e.what() << "; see qx25-sim --help" << std::endl;
    return kExitBadArguments;
  } catch (const std::exception& e) {
    std::cerr << "qx25-sim: " << e.what() << std::endl;
    return kExitFailed;
  }
}
