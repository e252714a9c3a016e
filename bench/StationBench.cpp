// qx25-station-bench: one host process drives a whole station.
//
//   qx25-station-bench [--lines N] [--seconds S] [--quick] [--record FILE]
//
// N lines (30 by default), each a pseudo-terminal paced at 4800 baud with
// four simulated controllers, served by a child process (StationProcess) so
// that this process's CPU time is the host's alone. One driver on one serial
// dispatcher, as a station's host has them, and one host thread per line
// polling its four nozzles without a pause while deliveries start and end
// (StationWork). It prints, per line, the wall time over the wire time of the
// bytes exchanged; the host's CPU time as a share of one core; the host's
// CPU per exchange and its line threads' wake-ups per exchange; and the
// driver's own CPU per exchange, replayed as qx25-bench does. --quick runs
// two lines for three seconds.
#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <exception>
#include <string>
#include <thread>
#include <vector>

#include "DriverCpu.h"
#include "Options.h"
#include "StationProcess.h"
#include "StationWork.h"
#include "WireRatio.h"
#include "driver/DriverPtr.h"
#include "record/Recorder.h"
#include "serial/LineStatistics.h"
#include "serial/SerialDispatcher.h"

namespace {

using namespace qx25;
using Clock = std::chrono::steady_clock;

constexpr double kRatioBar = 1.03;    // every line within this of its wire time
constexpr double kHostCpuBar = 0.05;  // the whole host, a share of one core
constexpr double kFlowRate = 3.0;     // litres a second: a 6-litre dose takes 2 s
constexpr int kQuickLines = 2;
constexpr double kQuickSeconds = 3;
constexpr double kDefaultSeconds = 60;
constexpr double kMaxSeconds = 3600;
// The replayed measurement: turns of a line's work on the manual clock, each
// moving it on by a turn's time on the line, and the CPU time to spend.
constexpr int kReplayRounds = 40;
constexpr double kReplayRoundSeconds = 0.3;
constexpr double kReplayCpuSeconds = 1.0;
constexpr double kQuickReplayCpuSeconds = 0.1;

double CpuSeconds(const timeval& T) {
  return static_cast<double>(T.tv_sec) + static_cast<double>(T.tv_usec) * 1e-6;
}

// User and system CPU time of this process (the station's child excluded).
double ProcessCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return CpuSeconds(u.ru_utime) + CpuSeconds(u.ru_stime);
}

struct LineRun {
  int Port = 0;
  double Wall = 0;       // seconds the line's thread ran
  double ThreadCpu = 0;  // seconds of CPU that thread used
  long Wakes = 0;        // times that thread slept and was woken
  uint64_t Deliveries = 0;
  uint64_t Failures = 0;  // exchanges that raised ESerialIO
  std::string Wrong;
};

// The driver's own CPU per exchange on a line's work, answers replayed.
bench::DriverCpuFigure ReplayedDriverCpu(const bench::StationWorkOptions& Work, double CpuBudget) {
  constexpr int kPort = 1;
  sim::Simulator simulator(sim::SimulatorOptions{kFlowRate, false, 0});
  for (int address = sim::kSimFirstAddress; address <= sim::kSimLastAddress; ++address)
    simulator.AddController(address);
  const bench::WorkFn work = [&Work](TQX25& D, const bench::AdvanceFn& Advance) {
    bench::StationLine line(kPort, Work);
    for (int r = 0; r < kReplayRounds; ++r) {
      const std::string wrong = line.Round(D);
      if (!wrong.empty()) return wrong;
      Advance(kReplayRoundSeconds);
    }
    if (line.Failures() > 0) return std::string("an exchange failed");
    return line.Deliveries() > 0 ? std::string() : std::string("no delivery ended");
  };
  return bench::MeasureDriverCpu(simulator, kPort, work, CpuBudget);
}

void PrintLines(const std::vector<LineRun>& Runs, const serial::LineStatistics& Stats,
                const std::array<uint64_t, 256>& Bytes) {
  std::printf("%-6s %9s %8s %8s %8s %7s %9s %10s %9s %9s  %s\n", "line", "exchanges", "bytes",
              "wire s", "wall s", "ratio", "time-outs", "deliveries", "median ms", "worst ms",
              "bar");
  const std::vector<serial::PortStatistics> ports = Stats.Snapshot();
  for (const LineRun& r : Runs) {
    serial::PortStatistics p{};
    for (const serial::PortStatistics& s : ports)
      if (s.Port == r.Port) p = s;
    const double wire = bench::WireSeconds(Bytes[static_cast<size_t>(r.Port)]);
    const double ratio = wire > 0 ? r.Wall / wire : 0;
    std::printf("COM%-3d %9llu %8llu %8.2f %8.2f %7.4f %9llu %10llu %9.1f %9.1f  %s\n", r.Port,
                static_cast<unsigned long long>(p.Exchanges),
                static_cast<unsigned long long>(Bytes[static_cast<size_t>(r.Port)]), wire, r.Wall,
                ratio, static_cast<unsigned long long>(p.Timeouts),
                static_cast<unsigned long long>(r.Deliveries), p.MedianReplyMs, p.WorstReplyMs,
                wire > 0 && ratio <= kRatioBar ? "met" : "MISSED");
  }
}

}  // namespace

int main(int argc, char** argv) {
  int lines = sim::kMaxStationLines;
  double seconds = kDefaultSeconds;
  bool quick = false;
  CLI::App app{
      "One host process drives a whole simulated station: every line's wall time over "
      "its wire time, and the host's CPU"};
  app.add_option("--lines", lines, "Lines, each with four nozzles")
      ->check(CLI::Range(1, sim::kMaxStationLines))
      ->capture_default_str();
  app.add_option("--seconds", seconds, "Seconds every line is polled")
      ->check(CLI::Range(1.0, kMaxSeconds))
      ->capture_default_str();
  app.add_flag("--quick", quick, "Two lines for three seconds, to see that everything works");
  std::string recordPath;
  app.add_option("--record", recordPath,
                 "Record every exchange into this file, as qx25-host --record does, to see what "
                 "recording costs the host");
  if (const auto status = bench::ParseOptions(app, argc, argv)) return *status;
  if (quick) {
    lines = std::min(lines, kQuickLines);
    seconds = kQuickSeconds;
  }

  try {
    // Forked first, while this process has one thread.
    std::fflush(stdout);
    sim::BuiltInSimulatorOptions simulated;
    simulated.FlowRate = kFlowRate;
    bench::StationProcess station(lines, simulated);

    serial::SerialDispatcher dispatcher;  // default time-outs, as a host has them
    serial::LineStatistics stats;
    // Bytes each line carried, counted on the line's own thread only.
    std::array<uint64_t, 256> bytes{};
    record::RecordSwitch recording;
    dispatcher.SetTrace(stats.Recorder(
        recording.Tap([&bytes](const serial::TraceRecord& R) { bytes[R.Port] += R.Bytes.size(); })));
    DriverPtr driver(GetQX25(0, 0, &dispatcher));
    if (!recordPath.empty()) {
      record::RecordingHeader header{"qx25-station-bench", "", {}, ""};
      for (int k = 1; k <= lines; ++k)
        header.Lines.emplace_back(k, station.DevicePaths()[static_cast<size_t>(k - 1)]);
      recording.Start(record::Recorder::Open(recordPath, std::move(header)));
    }
    for (int k = 1; k <= lines; ++k) {
      dispatcher.SetDevicePath(static_cast<uint8_t>(k),
                               station.DevicePaths()[static_cast<size_t>(k - 1)]);
      if (driver->SetupPort(k) != 0)
        throw std::runtime_error("cannot open line " + std::to_string(k));
    }

    const bench::StationWorkOptions work;
    std::printf("Station: %d line%s x %d nozzles, %.0f s, %d baud, simulator in a child process\n",
                lines, lines == 1 ? "" : "s", work.Nozzles, seconds, bench::kBaud);
    std::fflush(stdout);

    std::vector<LineRun> runs(static_cast<size_t>(lines));
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    const double cpuBefore = ProcessCpuSeconds();
    const Clock::time_point start = Clock::now();
    const Clock::time_point end =
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    for (int k = 1; k <= lines; ++k) {
      threads.emplace_back([&, k] {
        LineRun& run = runs[static_cast<size_t>(k - 1)];
        run.Port = k;
        bench::StationLine line(k, work);
        while (!go.load()) std::this_thread::yield();
        const Clock::time_point began = Clock::now();
        while (Clock::now() < end) {
          run.Wrong = line.Round(*driver);
          if (!run.Wrong.empty()) break;
        }
        run.Wall = std::chrono::duration<double>(Clock::now() - began).count();
        run.ThreadCpu = bench::ThreadCpuSeconds();
        rusage own{};
        getrusage(RUSAGE_THREAD, &own);
        run.Wakes = own.ru_nvcsw;
        run.Deliveries = line.Deliveries();
        run.Failures = line.Failures();
      });
    }
    go = true;
    for (std::thread& t : threads) t.join();
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double hostCpu = ProcessCpuSeconds() - cpuBefore;

    if (const auto recorder = recording.Current()) {
      recording.Stop();
      std::printf("recorded %llu exchanges into %s%s%s\n",
                  static_cast<unsigned long long>(recorder->Exchanges()), recordPath.c_str(),
                  recorder->Failure().empty() ? "" : ": ", recorder->Failure().c_str());
    }
    PrintLines(runs, stats, bytes);
    double worst = 0;
    uint64_t exchanges = 0, deliveries = 0, failures = 0;
    double threadCpu = 0;
    long wakes = 0;
    bool wrong = false;
    for (const LineRun& r : runs) {
      const double wire = bench::WireSeconds(bytes[static_cast<size_t>(r.Port)]);
      worst = std::max(worst, wire > 0 ? r.Wall / wire : 0);
      deliveries += r.Deliveries;
      failures += r.Failures;
      threadCpu += r.ThreadCpu;
      wakes += r.Wakes;
      if (!r.Wrong.empty()) {
        std::fprintf(stderr, "qx25-station-bench: %s\n", r.Wrong.c_str());
        wrong = true;
      }
    }
    for (const serial::PortStatistics& p : stats.Snapshot()) exchanges += p.Exchanges;
    std::printf("\nworst line: wall over wire %.4f (bar %.2f: %s)\n", worst, kRatioBar,
                worst <= kRatioBar ? "met" : "MISSED");
    std::printf("host CPU: %.2f s in %.2f s = %.2f%% of one core (bar %.0f%%: %s)\n", hostCpu, wall,
                100 * hostCpu / wall, 100 * kHostCpuBar,
                hostCpu / wall < kHostCpuBar ? "met" : "MISSED");
    std::printf("exchanges %llu, deliveries %llu, failed exchanges %llu\n",
                static_cast<unsigned long long>(exchanges),
                static_cast<unsigned long long>(deliveries),
                static_cast<unsigned long long>(failures));
    if (exchanges > 0) {
      std::printf(
          "host CPU per exchange (line threads: driver, dispatcher, system calls): %.1f us\n",
          1e6 * threadCpu / static_cast<double>(exchanges));
      // Most of that CPU is the cost of being woken, so the count says why.
      std::printf("line thread wake-ups per exchange: %.2f\n",
                  static_cast<double>(wakes) / static_cast<double>(exchanges));
    }
    std::fflush(stdout);

    const bench::DriverCpuFigure driverCpu =
        ReplayedDriverCpu(work, quick ? kQuickReplayCpuSeconds : kReplayCpuSeconds);
    std::printf("driver CPU per exchange (answers replayed, %zu exchanges a run): %.2f us\n",
                driverCpu.Exchanges, 1e6 * driverCpu.SecondsPerExchange);
    return wrong ? 1 : 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qx25-station-bench: %s\n", e.what());
    return 1;
  }
}
