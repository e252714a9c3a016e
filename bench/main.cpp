// qx25-bench: how close the driver comes to the line's own speed, and what
// it costs in CPU.
//
//   qx25-bench [--runs=N] [--quick] [--no-wire] [--no-cpu] [Google Benchmark flags]
//
// First a table of wall time over wire time (median of N runs, 5 by default)
// for a status poll, a read of the bulk range of parameters and a delivery
// cycle, on a pseudo-terminal paced at 4800 baud; then Google Benchmark's
// table of the driver's CPU time per exchange. --quick makes one run and
// short benchmarks, to check that everything works.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "DriverCpu.h"
#include "WireRatio.h"

namespace {

constexpr double kBar = 1.05;
constexpr int kDefaultRuns = 5;

}  // namespace

int main(int argc, char** argv) {
  int runs = kDefaultRuns;
  bool quick = false, wire = true, cpu = true, minTimeGiven = false;
  std::vector<char*> rest{argv[0]};
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.rfind("--runs=", 0) == 0) {
      runs = std::atoi(a.c_str() + 7);
      if (runs < 1) {
        std::fprintf(stderr, "--runs needs a number above 0\n");
        return 2;
      }
    } else if (a == "--quick") {
      quick = true;
    } else if (a == "--no-wire") {
      wire = false;
    } else if (a == "--no-cpu") {
      cpu = false;
    } else {
      if (a.rfind("--benchmark_min_time", 0) == 0) minTimeGiven = true;
      rest.push_back(argv[i]);
    }
  }
  static char shortRuns[] = "--benchmark_min_time=0.01";
  if (quick) {
    runs = 1;
    if (!minTimeGiven) rest.push_back(shortRuns);
  }

  if (wire) {
    try {
      qx25::bench::PrintWireRatios(qx25::bench::MeasureWireRatios(runs), runs, kBar);
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
