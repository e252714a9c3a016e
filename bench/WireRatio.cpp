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

namespace qx25::bench {

namespace {

template <typename T>
T Median(std::vector<T> Values) {
  std::sort(Values.begin(), Values.end());
  const size_t n = Values.size();
  return n % 2 == 1 ? Values[n / 2] : (Values[n / 2 - 1] + Values[n / 2]) / 2;
}

sim::EndpointOptions PacedOptions(std::chrono::milliseconds Burst) {
  sim::EndpointOptions options;
  options.Baud = kBaud;
  options.Pacing = true;
  options.Burst = Burst;
  return options;
}

}  // namespace

RunFigures CountWire(const sim::Simulator& Sim) {
  RunFigures r;
  const std::vector<sim::Exchange> history = Sim.History();
  r.Exchanges = history.size();
  for (const sim::Exchange& x : history) r.Bytes += x.Frame.size() + x.Sent.size();
  r.Wire = WireSeconds(r.Bytes);
  return r;
}

RatioRow Summarize(const std::string& Name, const std::vector<RunFigures>& Runs) {
  if (Runs.empty()) throw std::invalid_argument("at least one run is needed");
  RatioRow row;
  row.Name = Name;
  row.Exchanges = Runs.front().Exchanges;
  row.Bytes = Runs.front().Bytes;
  row.Wire = Runs.front().Wire;
  std::vector<double> walls, ratios, extras;
  for (const RunFigures& r : Runs) {
    walls.push_back(r.Wall);
    ratios.push_back(r.Wall / r.Wire);
    extras.push_back((r.Wall - r.Wire) / static_cast<double>(std::max<size_t>(r.Exchanges, 1)));
  }
  row.ExtraPerExchange = Median(extras);
  row.Wall = Median(walls);
  row.Ratio = Median(ratios);
  row.Worst = *std::max_element(ratios.begin(), ratios.end());
  return row;
}

PacedLine::PacedLine(std::chrono::milliseconds Burst)
    : Wire(Simulator, PacedOptions(Burst)), Driver(GetQX25(0, 0, &Lines)) {
  PrepareSimulator(Simulator);
  const std::string path = Wire.OpenPseudoTerminal();
  Wire.Start();
  Lines.SetDevicePath(kPort, path);  // default time-outs, as a host has them
  Catalog.Fill();
  Pieces = Scenarios(Catalog);
  if (Driver->SetupPort(kPort) != 0) throw std::runtime_error("cannot open " + path);
  // The first exchange on a fresh line is not what the host sees later.
  Driver->PollNozzle(kPort, kNozzle, 1);
}

RatioRow PacedLine::Measure(const Scenario& Piece, int Runs) {
  if (Runs < 1) throw std::invalid_argument("at least one run is needed");
  const AdvanceFn advance = [this](double Seconds) { Simulator.AdvanceTime(Seconds); };
  std::vector<RunFigures> runs;
  for (int i = 0; i < Runs; ++i) {
    Simulator.ClearHistory();
    const auto start = std::chrono::steady_clock::now();
    std::string wrong;
    try {
      wrong = Piece.Run(*Driver, advance);
    } catch (const std::exception& e) {  // a failed exchange: say in which work
      wrong = e.what();
    }
    const auto end = std::chrono::steady_clock::now();
    if (!wrong.empty()) throw std::runtime_error(std::string(Piece.Name) + ": " + wrong);
    RunFigures r = CountWire(Simulator);
    r.Wall = std::chrono::duration<double>(end - start).count();
    runs.push_back(r);
  }
  return Summarize(Piece.Name, runs);
}

std::vector<RatioRow> MeasureWireRatios(int Runs, std::chrono::milliseconds Burst) {
  if (Runs < 1) throw std::invalid_argument("at least one run is needed");
  PacedLine line(Burst);
  std::vector<RatioRow> rows;
  for (const Scenario& s : line.Work()) rows.push_back(line.Measure(s, Runs));
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
