// Wall time over wire time: each scenario runs against the simulator on a
// pseudo-terminal paced at 4800 baud, through the serial dispatcher, and its
// wall time is set against the time the bytes it exchanged need on a real
// line at that rate. A ratio near 1 means the driver, the dispatcher and the
// simulator add next to nothing to the line's own time.
#include "WireRatio.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>

#include "Scenarios.h"
#include "serial/SerialDispatcher.h"
#include "sim/Line.h"

namespace qx25::bench {

namespace {

struct Run {
  double Wall;  // seconds
  double Wire;  // seconds
  size_t Exchanges;
  size_t Bytes;
  double Ratio() const { return Wall / Wire; }
};

template <typename T>
T Median(std::vector<T> Values) {
  std::sort(Values.begin(), Values.end());
  const size_t n = Values.size();
  return n % 2 == 1 ? Values[n / 2] : (Values[n / 2 - 1] + Values[n / 2]) / 2;
}

// Frames and replies the simulator saw since its history was cleared.
void CountWire(const sim::Simulator& Sim, Run& R) {
  const std::vector<sim::Exchange> history = Sim.History();
  R.Exchanges = history.size();
  R.Bytes = 0;
  for (const sim::Exchange& x : history) R.Bytes += x.Frame.size() + x.Sent.size();
  R.Wire = WireSeconds(R.Bytes);
}

}  // namespace

std::vector<RatioRow> MeasureWireRatios(int Runs, std::chrono::milliseconds Burst) {
  if (Runs < 1) throw std::invalid_argument("at least one run is needed");
  sim::Simulator simulator;  // manual clock: only the scenarios move it
  PrepareSimulator(simulator);
  sim::LineOptions options;
  options.Baud = kBaud;
  options.Pacing = true;
  options.Burst = Burst;
  sim::Line line(simulator, options);
  const std::string path = line.OpenPseudoTerminal();
  line.Start();

  host::SerialDispatcher dispatcher;  // default time-outs, as a host has them
  dispatcher.SetDevicePath(kPort, path);
  const DriverPtr driver(GetQX25(0, 0, &dispatcher));
  CTRKParameters catalog;
  catalog.Fill();
  const AdvanceFn advance = [&](double Seconds) { simulator.AdvanceTime(Seconds); };

  std::vector<RatioRow> rows;
  if (driver->SetupPort(kPort) != 0) throw std::runtime_error("cannot open " + path);
  // The first exchange on a fresh line is not what the host sees later.
  driver->PollNozzle(kPort, kNozzle, 1);

  for (const Scenario& s : Scenarios(catalog)) {
    std::vector<Run> runs;
    for (int i = 0; i < Runs; ++i) {
      simulator.ClearHistory();
      const auto start = std::chrono::steady_clock::now();
      const std::string wrong = s.Run(*driver, advance);
      const auto end = std::chrono::steady_clock::now();
      if (!wrong.empty()) throw std::runtime_error(std::string(s.Name) + ": " + wrong);
      Run r{std::chrono::duration<double>(end - start).count(), 0, 0, 0};
      CountWire(simulator, r);
      runs.push_back(r);
    }
    RatioRow row;
    row.Name = s.Name;
    row.Exchanges = runs.front().Exchanges;
    row.Bytes = runs.front().Bytes;
    row.Wire = runs.front().Wire;
    std::vector<double> walls, ratios, extras;
    for (const Run& r : runs) {
      walls.push_back(r.Wall);
      ratios.push_back(r.Ratio());
      extras.push_back((r.Wall - r.Wire) / static_cast<double>(std::max<size_t>(r.Exchanges, 1)));
    }
    row.ExtraPerExchange = Median(extras);
    row.Wall = Median(walls);
    row.Ratio = Median(ratios);
    row.Worst = *std::max_element(ratios.begin(), ratios.end());
    rows.push_back(row);
  }
  line.Stop();
  return rows;
}

void PrintWireRatios(const std::vector<RatioRow>& Rows, int Runs, double Bar) {
  std::printf("Wall time over wire time at %d baud, %d bits a byte, median of %d run%s\n", kBaud,
              kBitsPerByte, Runs, Runs == 1 ? "" : "s");
  std::printf("%-28s %9s %7s %10s %10s %7s %7s  %s\n", "scenario", "exchanges", "bytes", "wire ms",
              "wall ms", "ratio", "worst", "bar");
  for (const RatioRow& r : Rows)
    std::printf("%-28s %9zu %7zu %10.2f %10.2f %7.4f %7.4f  %s\n", r.Name.c_str(), r.Exchanges,
                r.Bytes, r.Wire * 1e3, r.Wall * 1e3, r.Ratio, r.Worst,
                r.Ratio <= Bar ? "met" : "MISSED");
  std::printf("(bar: median ratio at most %.2f)\n\n", Bar);
  std::fflush(stdout);
}

void PrintBurstRows(const std::vector<RatioRow>& Rows, int Runs, std::chrono::milliseconds Burst) {
  const double period = std::chrono::duration<double>(Burst).count();
  std::printf("Replies in adapter bursts every %lld ms, median of %d run%s\n",
              static_cast<long long>(Burst.count()), Runs, Runs == 1 ? "" : "s");
  std::printf("%-28s %9s %10s %10s %16s  %s\n", "scenario", "exchanges", "wire ms", "wall ms",
              "extra ms/exch.", "bar");
  for (const RatioRow& r : Rows)
    std::printf("%-28s %9zu %10.2f %10.2f %16.2f  %s\n", r.Name.c_str(), r.Exchanges, r.Wire * 1e3,
                r.Wall * 1e3, r.ExtraPerExchange * 1e3,
                r.ExtraPerExchange <= period ? "met" : "MISSED");
  std::printf("(bar: at most one burst period, %lld ms, beyond the wire time per exchange)\n\n",
              static_cast<long long>(Burst.count()));
  std::fflush(stdout);
}

}  // namespace qx25::bench
