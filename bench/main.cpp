// qx25-bench: how close the driver comes to the line's own speed, and what
// it costs in CPU.
//
//   qx25-bench [--runs=N] [--quick] [--no-wire] [--no-bursts] [--no-peers]
//              [--silences=MS,...] [--peer-runs=N] [--no-cpu] [Google Benchmark flags]
//
// First a table of wall time over wire time (median of N runs, 5 by default)
// for a status poll, a read of the bulk range of parameters and a delivery
// cycle, on a pseudo-terminal paced at 4800 baud, and the same with replies
// in USB adapter bursts (wall time beyond the wire's per exchange, which
// should stay within one burst period); the same work, and a round of a
// 30-line station, with replies ended by a silence as peer drivers end them,
// beside ours on the same lines; then Google Benchmark's
// table of the driver's CPU time per exchange. --quick makes one run and
// short benchmarks, to check that everything works.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "DriverCpu.h"
#include "Options.h"
#include "PeerFraming.h"
#include "WireRatio.h"

namespace {

constexpr double kBar = 1.05;
// The latency timers of common USB serial adapters: the shortest, a usual
// one, and the longest (and default) of FTDI's.
constexpr std::chrono::milliseconds kBursts[] = {
    std::chrono::milliseconds{1}, std::chrono::milliseconds{4}, std::chrono::milliseconds{16}};
// The silences peer drivers wait for. Every exchange waits one out, so the
// 300 ms run (about 25 s more) is left to --silences=50,100,300.
const std::vector<int> kSilencesMs{50, 100};
// The quick pass takes the longest: a loaded machine's pauses in the
// simulator's replies can outlast a short silence and split a reply.
const std::vector<int> kQuickSilencesMs{300};
constexpr int kMaxSilenceMs = 1000;
constexpr int kDefaultPeerRuns = 1;

}  // namespace

int main(int argc, char** argv) {
  int runs = qx25::bench::kDefaultRuns;
  bool quick = false, noWire = false, noCpu = false, noBursts = false, noPeers = false;
  std::vector<int> silencesMs = kSilencesMs;
  int peerRuns = kDefaultPeerRuns;
  CLI::App app{"How close the driver comes to the line's own speed, and what it costs in CPU"};
  qx25::bench::AddRunOptions(app, runs, quick);
  app.add_flag("--no-wire", noWire, "Leave out the wall-over-wire table");
  app.add_flag("--no-cpu", noCpu, "Leave out the CPU benchmarks");
  app.add_flag("--no-bursts", noBursts,
               "Leave out the tables of replies through USB adapter bursts (1, 4, 16 ms)");
  app.add_flag("--no-peers", noPeers,
               "Leave out the table of replies ended by a silence, as peer drivers end them");
  app.add_option("--silences", silencesMs, "The silences that end a reply in that table, ms")
      ->delimiter(',')
      ->check(CLI::Range(1, kMaxSilenceMs))
      ->capture_default_str();
  app.add_option("--peer-runs", peerRuns, "Runs of each measurement in that table")
      ->check(CLI::Range(1, qx25::bench::kMaxRuns))
      ->capture_default_str();
  app.allow_extras();  // Google Benchmark's own flags go on to it
  if (const auto status = qx25::bench::ParseOptions(app, argc, argv)) return *status;
  const bool wire = !noWire, cpu = !noCpu, bursts = !noBursts;

  std::vector<std::string> extras = app.remaining();
  bool minTimeGiven = false;
  for (const std::string& a : extras)
    if (a.rfind("--benchmark_min_time", 0) == 0) minTimeGiven = true;
  if (quick) {
    runs = 1;
    peerRuns = 1;
    if (app.count("--silences") == 0) silencesMs = kQuickSilencesMs;
    if (!minTimeGiven) extras.emplace_back("--benchmark_min_time=0.01");
  }
  std::vector<char*> rest{argv[0]};
  for (std::string& a : extras) rest.push_back(a.data());

  if (wire) {
    try {
      qx25::bench::PrintWireRatios(qx25::bench::MeasureWireRatios(runs), runs, kBar);
      if (bursts)
        for (const auto period : kBursts)
          qx25::bench::PrintBurstRows(qx25::bench::MeasureWireRatios(runs, period), runs, period);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "qx25-bench: %s\n", e.what());
      return 1;
    }
  }
  if (!noPeers) {
    try {
      std::vector<std::chrono::milliseconds> silences;
      for (const int ms : silencesMs) silences.emplace_back(ms);
      qx25::bench::PrintPeerFraming(qx25::bench::MeasurePeerFraming(peerRuns, silences), silences,
                                    peerRuns);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "qx25-bench: %s\n", e.what());
      return 1;
    }
  }
  if (cpu) {
    int count = static_cast<int>(rest.size());
    benchmark::Initialize(&count, rest.data());
    if (benchmark::ReportUnrecognizedArguments(count, rest.data())) return 2;
    qx25::bench::RegisterDriverBenchmarks();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
  }
  return 0;
}
