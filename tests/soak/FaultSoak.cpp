// The fault soak: the driver, the serial dispatcher and the simulated
// controllers on a pseudo-terminal, without baud pacing, for a number of
// exchanges of mixed commands while the line damages a share of the replies
// (leading noise, a flipped bit, a dropped byte, silence, CAN instead of the
// reply, a reply cut short). It counts the exchanges, the faults, the
// replies the driver accepted that were not what the line meant it to take,
// and the exceptions by message, and exits non-zero when a damaged reply was
// accepted, an undocumented exception came out, or the soak died.
//
// The line is the soak's own rather than the simulator's: the simulator's
// injector picks only damage that the frame check alone rejects, while a
// real line damages any bit and any byte. The simulator still decides every
// reply; the line only damages it, with its own seeded generator.
//
// With --unplug-every N the line is pulled every N exchanges, as a USB
// adapter is unplugged: its pseudo-terminal closes under the dispatcher and a
// new one appears behind the same link. The soak counts the losses and the
// recoveries, and after each recovery reads every nozzle's totalizer, which
// must be what its controller holds.
//
//   fault_soak [--exchanges N] [--seed S] [--rate R] [--max-seconds T] [--unplug-every N]
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>

#include "driver/Driver.h"
#include "driver/DriverPtr.h"
#include "serial/SerialDispatcher.h"
#include "sim/Simulator.h"
#include "terminal/Terminal.h"

using namespace qx25;
using Clock = std::chrono::steady_clock;

namespace {

constexpr uint8_t kPort = 4;
constexpr int kNozzles = 4;  // one controller each, at addresses 1..4

struct Settings {
  long Exchanges = 2000;
  uint64_t Seed = 1;
  double Rate = 0.03;
  double MaxSeconds = 900;
  long UnplugEvery = 0;  // exchanges between two pulls of the line; 0 never
};

enum class Damage : uint8_t { None, Noise, FlipBit, DropByte, Silence, Can, CutShort, kCount };
const char* const kDamageNames[] = {"none",    "noise", "flip-bit", "drop-byte",
                                    "silence", "CAN",   "cut-short"};

// One request as the line heard it: what the simulator answered, what the
// line did to it, and the reply the driver may accept for it (none when the
// damage leaves nothing a host may take).
struct Heard {
  sim::Bytes Frame;
  Damage Applied = Damage::None;
  bool Acceptable = false;
  sim::Bytes Expected;
};

// The controllers' end of the pseudo-terminal: cuts requests out of what it
// hears, lets the simulator answer, damages the answer now and then and
// sends it back at once.
class HostileLine {
 public:
  HostileLine(sim::Simulator& Sim, uint64_t Seed, double Rate)
      : Simulated(Sim), Random(Seed), Share(Rate) {
    char dir[] = "/tmp/qx25-soak-XXXXXX";
    if (mkdtemp(dir) == nullptr) throw std::system_error(errno, std::generic_category(), dir);
    Dir = dir;
    Link = Dir + "/usb-line";
    Plug();
  }
  ~HostileLine() {
    Unplug();
    std::error_code ignored;
    std::filesystem::remove_all(Dir, ignored);
  }
  // A link, as udev makes for an adapter, to the line's current terminal.
  const std::string& DevicePath() const { return Link; }

  // The adapter is pulled and comes back: the terminal closes under the
  // host, a new one appears behind the same link.
  void Replug() {
    Unplug();
    Plug();
  }

  // The record of the next request the line heard, waiting up to Limit.
  bool Next(Heard& Out, std::chrono::milliseconds Limit) {
    std::unique_lock<std::mutex> hold(Lock);
    if (!Arrived.wait_for(hold, Limit, [&] { return !Records.empty(); })) return false;
    Out = std::move(Records.front());
    Records.pop_front();
    return true;
  }
  long Faults(Damage Kind) const { return Counts[static_cast<int>(Kind)]; }

 private:
  void Plug() {
    const terminal::PseudoTerminal pty = terminal::OpenPseudoTerminal();
    Master = pty.Master;
    // Held open so that the host closing its side never hangs the line up.
    Slave = terminal::OpenRaw(pty.SlavePath, B4800).Fd;
    if (Slave < 0) throw std::system_error(errno, std::generic_category(), pty.SlavePath);
    std::filesystem::remove(Link);
    std::filesystem::create_symlink(pty.SlavePath, Link);
    Wake = eventfd(0, EFD_CLOEXEC);
    Worker = std::thread([this] { Run(); });
  }
  void Unplug() {
    const uint64_t one = 1;
    if (write(Wake, &one, sizeof one) < 0) std::perror("eventfd");
    Worker.join();
    for (int fd : {Master, Slave, Wake}) ::close(fd);
    Master = Slave = Wake = -1;
    std::filesystem::remove(Link);
  }

  void Run() {
    FrameCollector collector;
    for (;;) {
      pollfd p[2] = {{Master, POLLIN, 0}, {Wake, POLLIN, 0}};
      if (poll(p, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (p[1].revents) return;
      uint8_t in[256];
      const ssize_t n = read(Master, in, sizeof in);
      if (n <= 0) continue;
      for (ssize_t i = 0; i < n; ++i)
        if (collector.Push(in[i])) Answer(collector.Frame());
    }
  }

  void Answer(const sim::Bytes& Frame) {
    Heard h;
    h.Frame = Frame;
    std::uniform_real_distribution<double> share(0, 1);
    const bool faulty = share(Random) < Share;
    const auto kind = static_cast<Damage>(
        1 + std::uniform_int_distribution<int>(0, static_cast<int>(Damage::kCount) - 2)(Random));
    // A refusing controller carries nothing out: the simulator's own CAN.
    if (faulty && kind == Damage::Can) Simulated.InjectFault(sim::Fault::Refuse);
    const sim::Exchange x = Simulated.Answer(Frame.data(), Frame.size());
    // A request that gets no answer leaves the refusal queued: drop it.
    if (faulty && kind == Damage::Can && x.Applied != sim::Fault::Refuse) Simulated.ClearFaults();
    sim::Bytes sent = x.Sent;
    if (!sent.empty()) {
      h.Applied = faulty ? kind : Damage::None;
      h.Acceptable = true;
      h.Expected = sent;
      if (faulty && kind != Damage::Can) sent = Spoil(kind, sent, h);
      ++Counts[static_cast<int>(h.Applied)];
    }
    {
      std::lock_guard<std::mutex> hold(Lock);
      Records.push_back(h);
    }
    Arrived.notify_all();
    for (size_t done = 0; done < sent.size();) {
      const ssize_t w = write(Master, sent.data() + done, sent.size() - done);
      if (w > 0) {
        done += static_cast<size_t>(w);
      } else if (errno == EAGAIN || errno == EINTR) {
        pollfd p{Master, POLLOUT, 0};
        poll(&p, 1, 100);
      } else {
        break;
      }
    }
  }

  // Any bit, any byte, any cut: the line does not care what survives.
  sim::Bytes Spoil(Damage Kind, sim::Bytes Reply, Heard& H) {
    const auto pick = [&](size_t Below) {
      return std::uniform_int_distribution<size_t>(0, Below - 1)(Random);
    };
    switch (Kind) {
      case Damage::Noise: {  // bytes that are no lead byte, then the reply itself
        sim::Bytes noise;
        const size_t count = 1 + pick(4);
        while (noise.size() < count) {
          const auto b = static_cast<uint8_t>(pick(256));
          if (!IsLeadByte(b)) noise.push_back(b);
        }
        Reply.insert(Reply.begin(), noise.begin(), noise.end());
        return Reply;
      }
      case Damage::FlipBit:
        Reply[pick(Reply.size())] ^= static_cast<uint8_t>(1u << pick(8));
        break;
      case Damage::DropByte:
        Reply.erase(Reply.begin() + static_cast<std::ptrdiff_t>(pick(Reply.size())));
        break;
      case Damage::Silence:
        Reply.clear();
        break;
      case Damage::CutShort:
        Reply.resize(Reply.size() < 2 ? 0 : 1 + pick(Reply.size() - 1));
        break;
      default:
        return Reply;
    }
    H.Acceptable = false;
    return Reply;
  }

  sim::Simulator& Simulated;
  std::mt19937_64 Random;
  const double Share;
  int Master = -1, Slave = -1, Wake = -1;
  std::string Dir, Link;
  std::thread Worker;
  std::mutex Lock;
  std::condition_variable Arrived;
  std::deque<Heard> Records;
  std::atomic<long> Counts[static_cast<int>(Damage::kCount)] = {};
};

// The serial dispatcher as the driver sees it, with an eye on every
// exchange: what the reply handler accepted against what the line meant.
class Watch final : public PortDispatcher {
 public:
  Watch(serial::SerialDispatcher& Real, HostileLine& Hostile) : Inner(Real), Line(Hostile) {}

  long Exchanges = 0, Accepted = 0, Corrupted = 0, Unheard = 0;
  long Losses = 0, Recoveries = 0;  // device losses, and the first accepted reply after each
  bool Lost = false;
  std::map<std::string, long> Damaged;  // accepted though damaged, by damage

  int32_t GetErrorCode(uint8_t Port) override { return Inner.GetErrorCode(Port); }
  void SetReplyResult(uint8_t Port, uint8_t Code) override { Inner.SetReplyResult(Port, Code); }
  void SetReplyState(uint8_t Port, uint8_t State) override { Inner.SetReplyState(Port, State); }
  uint8_t GetLineStatus(uint8_t Port) override { return Inner.GetLineStatus(Port); }
  int32_t SetLineParams(uint8_t Port, int32_t Format, int32_t Baud) override {
    return Inner.SetLineParams(Port, Format, Baud);
  }
  void SetPortSetupHandler(uint8_t Port, TPortSetupHandler H) override {
    Inner.SetPortSetupHandler(Port, H);
  }
  void SetReplyHandler(uint8_t Port, TReplyHandler H) override {
    Driver = H;
    Inner.SetReplyHandler(Port, TReplyHandler{&Spy, this});
  }
  int32_t Transact(uint8_t Port, const uint8_t* Frame, uint8_t FrameLength, uint8_t* Reply,
                   uint8_t ReplyLength, uint8_t ReplyMode) override {
    ++Exchanges;
    Last.clear();
    const int32_t r = Inner.Transact(Port, Frame, FrameLength, Reply, ReplyLength, ReplyMode);
    if (r == serial::kSerialDeviceLost || r == serial::kSerialNoDevice) {
      // The frame never reached the line: nothing was heard to check against.
      Losses += r == serial::kSerialDeviceLost ? 1 : 0;
      Lost = true;
      return r;
    }
    if (r == 0 && Lost) {
      ++Recoveries;
      Lost = false;
    }
    Heard h;
    if (!Line.Next(h, std::chrono::milliseconds(2000)) ||
        h.Frame != sim::Bytes(Frame, Frame + FrameLength)) {
      ++Unheard;  // the line and the host lost step: nothing can be checked
      return r;
    }
    if (r == 0 && ReplyLength > 0) {
      ++Accepted;
      if (!h.Acceptable || Last != h.Expected) {
        ++Corrupted;
        ++Damaged[kDamageNames[static_cast<int>(h.Applied)]];
      }
    }
    return r;
  }

 private:
  static bool Spy(void* Self, uint8_t Port, uint8_t* Buffer, void* U1, uint8_t* Length, void* U2) {
    auto* w = static_cast<Watch*>(Self);
    const bool ok = w->Driver.Code(w->Driver.Self, Port, Buffer, U1, Length, U2);
    if (ok) w->Last.assign(Buffer, Buffer + *Length);
    return ok;
  }

  serial::SerialDispatcher& Inner;
  HostileLine& Line;
  TReplyHandler Driver{};
  sim::Bytes Last;
};

struct Report {
  std::map<std::string, long> Messages;
  long Unexpected = 0;
};

// One command of the mix, drawn at random, for one of the nozzles.
void RunOne(TQX25& D, sim::Simulator& Sim, std::mt19937_64& Random, Report& R) {
  const auto draw = [&](int Below) {
    return std::uniform_int_distribution<int>(0, Below - 1)(Random);
  };
  const int nozzle = 1 + draw(kNozzles);
  try {
    switch (draw(12)) {
      case 0:
      case 1:
      case 2:
        D.PollNozzle(kPort, nozzle, 1);
        break;
      case 3: {
        double money = 0;
        D.GetCurrentDelivery(kPort, nozzle, money);
        break;
      }
      case 4: {
        double volume = 0, money = 0;
        D.GetDeliveryResult(kPort, nozzle, volume, money);
        break;
      }
      case 5: {
        double total = 0;
        uint64_t second = 0;
        D.GetTotalCounter(kPort, nozzle, 1, total, second, 0, 0);
        break;
      }
      case 6: {
        static constexpr int kCodes[] = {2, 3, 5, 9, 16, 22, 44};
        D.ReadParam(kLinkParameter, kPort, nozzle, kCodes[draw(7)], 0);
        break;
      }
      case 7:
        D.WriteParam(kLinkParameter, kPort, nozzle, 16, ParamDigits[16], 70000 + draw(1000));
        break;
      case 8:
        D.PresetVolume(kPort, nozzle, 1, 0, 5 + draw(20));
        break;
      case 9:
        D.StartPump(kPort, nozzle, 1);
        Sim.AdvanceTime(1 + draw(10));
        break;
      case 10:
        D.StopPump(kPort, nozzle, 1, 1);
        break;
      default:
        if (draw(4) == 0)
          D.SetPar(kPort, nozzle, 4, draw(2));  // a common command: nothing answers it
        else
          D.ResetNozzle(kPort, nozzle, 1);
        break;
    }
  } catch (const ESerialIO& e) {
    ++R.Messages[e.what()];
  } catch (const std::exception& e) {
    ++R.Unexpected;
    ++R.Messages[std::string("unexpected: ") + e.what()];
  } catch (...) {
    ++R.Unexpected;
  }
}

void AddOptions(CLI::App& App, Settings& S) {
  App.add_option("--exchanges", S.Exchanges, "Exchanges to run")
      ->check(CLI::Range(1L, 1'000'000'000L))
      ->capture_default_str();
  App.add_option("--seed", S.Seed, "Seed of the line's damage")->capture_default_str();
  App.add_option("--rate", S.Rate, "Share of the replies the line damages")
      ->check(CLI::Range(0.0, 1.0))
      ->capture_default_str();
  App.add_option("--unplug-every", S.UnplugEvery,
                 "Pull the line (and put it back behind the same link) every N exchanges")
      ->check(CLI::Range(0L, 1'000'000'000L))
      ->capture_default_str();
  App.add_option("--max-seconds", S.MaxSeconds, "Stop after this long")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
}

// After the line came back: every nozzle's totalizer, read through the
// driver, against what its controller holds. A read the line damaged is
// tried again. Returns the nozzles whose reading differed.
long CheckTotals(TQX25& D, const sim::Simulator& Sim) {
  constexpr int kTries = 20;
  long wrong = 0;
  for (int n = 1; n <= kNozzles; ++n) {
    for (int attempt = 0; attempt < kTries; ++attempt) {
      double total = -1;
      uint64_t second = 0;
      try {
        D.GetTotalCounter(kPort, n, 1, total, second, 0, 0);
      } catch (const ESerialIO&) {
        continue;
      }
      if (D.GetPortStatus(kPort) != kLineOk) continue;
      if (total != static_cast<double>(Sim.State(n).Totaliser)) ++wrong;
      break;
    }
  }
  return wrong;
}

// The soak itself; its exit status: 0 clean, 1 a damaged reply was accepted
// or an undocumented exception came out, 3 the time ran out first.
int Soak(const Settings& S) {
  sim::SimulatorOptions options;
  options.HistoryLimit = 0;
  sim::Simulator sim(options);
  for (int n = 1; n <= kNozzles; ++n) sim.AddController(n);
  HostileLine line(sim, S.Seed, S.Rate);
  serial::SerialDispatcher serial;
  serial.SetDevicePath(kPort, line.DevicePath());
  // Silence costs the first-byte time-out, a cut reply the gap: both short,
  // since the line answers at once; long enough for a busy machine.
  serial.SetTimeouts({std::chrono::milliseconds(300), std::chrono::milliseconds(30)});
  Watch watch(serial, line);
  DriverPtr driver(GetQX25(0, 0, &watch));
  driver->SetupPort(kPort);
  for (int n = 1; n <= kNozzles; ++n) driver->SetPrice(kPort, n, 1, 0, 0, 1.5);

  std::mt19937_64 random(S.Seed ^ 0x5eed);
  Report report;
  const Clock::time_point start = Clock::now();
  const auto deadline = start + std::chrono::duration<double>(S.MaxSeconds);
  bool late = false;
  long pulls = 0, totalsWrong = 0;
  long nextPull = S.UnplugEvery;
  while (watch.Exchanges < S.Exchanges) {
    if (Clock::now() > deadline) {
      late = true;
      break;
    }
    if (S.UnplugEvery > 0 && watch.Exchanges >= nextPull) {
      line.Replug();
      ++pulls;
      nextPull = watch.Exchanges + S.UnplugEvery;
      RunOne(*driver, sim, random, report);  // meets the dead terminal
      totalsWrong += CheckTotals(*driver, sim);
      continue;
    }
    RunOne(*driver, sim, random, report);
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

  long faults = 0;
  for (int k = 1; k < static_cast<int>(Damage::kCount); ++k) faults += line.Faults(Damage(k));
  std::printf("fault soak: seed %llu, fault rate %g, %.1f s\n",
              static_cast<unsigned long long>(S.Seed), S.Rate, seconds);
  std::printf("  exchanges                     %8ld\n", watch.Exchanges);
  std::printf("  faults injected               %8ld  (", faults);
  for (int k = 1; k < static_cast<int>(Damage::kCount); ++k)
    std::printf("%s%s %ld", k > 1 ? ", " : "", kDamageNames[k], line.Faults(Damage(k)));
  std::printf(")\n");
  std::printf("  replies accepted              %8ld\n", watch.Accepted);
  std::printf("  accepted, not what was meant  %8ld", watch.Corrupted);
  for (const auto& [kind, count] : watch.Damaged) std::printf("  %s %ld", kind.c_str(), count);
  std::printf("\n  exchanges out of step        %8ld\n", watch.Unheard);
  if (S.UnplugEvery > 0) {
    std::printf("  line pulled                   %8ld\n", pulls);
    std::printf("  device losses seen            %8ld\n", watch.Losses);
    std::printf("  recoveries                    %8ld\n", watch.Recoveries);
    std::printf("  totalizers wrong after return %8ld\n", totalsWrong);
  }
  std::printf("  exceptions by message:\n");
  for (const auto& [message, count] : report.Messages)
    std::printf("    %8ld  %s\n", count, message.c_str());
  std::printf("  undocumented exceptions       %8ld\n", report.Unexpected);
  if (late) std::printf("  stopped at the time limit of %g s\n", S.MaxSeconds);
  std::fflush(stdout);
  if (watch.Corrupted > 0 || report.Unexpected > 0 || totalsWrong > 0) return 1;
  if (S.UnplugEvery > 0 && (watch.Losses != pulls || watch.Recoveries < pulls - 1)) return 1;
  return late ? 3 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  CLI::App app{
      "Mixed commands through the driver, the serial dispatcher and simulated "
      "controllers on a line that damages a share of the replies."};
  AddOptions(app, settings);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }
  // The soak runs in a child, so that a crash is counted and reported
  // rather than merely ending the program.
  std::fflush(stdout);
  const pid_t child = fork();
  if (child < 0) {
    std::perror("fork");
    return 2;
  }
  if (child == 0) std::_Exit(Soak(settings));
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFSIGNALED(status)) {
    std::printf("  crashes                              1  (signal %d)\n", WTERMSIG(status));
    return 1;
  }
  std::printf("  crashes                              0\n");
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
