#include "PeerFraming.h"

#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>

#include "StationRound.h"

namespace qx25::bench {

namespace {

using Milliseconds = std::chrono::milliseconds;

std::string FramingName(Milliseconds Silence) {
  return Silence.count() == 0 ? "our framing"
                              : "a silence of " + std::to_string(Silence.count()) + " ms";
}

// Measure with our framing, then with each silence; ours again after.
PeerRow Compare(const std::function<void(Milliseconds)>& Frame,
                const std::function<RatioRow()>& Measure,
                const std::vector<Milliseconds>& Silences) {
  const auto framed = [&](Milliseconds Silence) {
    Frame(Silence);
    try {
      return Measure();
    } catch (const std::runtime_error& e) {
      throw std::runtime_error(std::string(e.what()) + ", with " + FramingName(Silence));
    }
  };
  PeerRow row;
  row.Ours = framed(Milliseconds{0});
  for (const Milliseconds silence : Silences) {
    row.Theirs.push_back(framed(silence));
    if (row.Theirs.back().Bytes != row.Ours.Bytes)
      throw std::runtime_error(row.Ours.Name + ": not the same work with " + FramingName(silence));
  }
  Frame(Milliseconds{0});
  return row;
}

}  // namespace

std::vector<PeerRow> MeasurePeerFraming(int Runs, const std::vector<Milliseconds>& Silences) {
  std::vector<PeerRow> rows;
  {
    PacedLine line;
    const auto frame = [&line](Milliseconds S) { line.Dispatcher().SetSilenceFraming(kPort, S); };
    for (const Scenario& s : line.Work())
      rows.push_back(Compare(
          frame, [&] { return line.Measure(s, Runs); }, Silences));
  }
  StationRound station;
  const auto frame = [&station](Milliseconds S) {
    for (int k = 1; k <= station.LineCount(); ++k)
      station.Dispatcher().SetSilenceFraming(static_cast<uint8_t>(k), S);
  };
  rows.push_back(Compare(
      frame, [&] { return station.Measure(Runs); }, Silences));
  return rows;
}

void PrintPeerFraming(const std::vector<PeerRow>& Rows, const std::vector<Milliseconds>& Silences,
                      int Runs) {
  std::printf(
      "Replies ended by a silence, as peer drivers frame them, beside ours, on the same lines\n"
      "(wall over wire at %d baud, median of %d run%s; ours/theirs: our wall time over theirs)\n",
      kBaud, Runs, Runs == 1 ? "" : "s");
  std::printf("%-28s %9s %10s %8s", "", "", "", "ours");
  for (const Milliseconds s : Silences)
    std::printf(" | %-20s", ("silence " + std::to_string(s.count()) + " ms").c_str());
  std::printf("\n%-28s %9s %10s %8s", "work", "exchanges", "wire ms", "ratio");
  for (size_t i = 0; i < Silences.size(); ++i) std::printf(" | %8s %11s", "ratio", "ours/theirs");
  std::printf("\n");
  for (const PeerRow& r : Rows) {
    std::printf("%-28s %9zu %10.2f %8.3f", r.Ours.Name.c_str(), r.Ours.Exchanges, r.Ours.Wire * 1e3,
                r.Ours.Ratio);
    for (const RatioRow& t : r.Theirs)
      std::printf(" | %8.3f %11.3f", t.Ratio, r.Ours.Wall / t.Wall);
    std::printf("\n");
  }
  std::printf(
      "(the station round's wire time is its busiest line's: the lines run side by side)\n\n");
  std::fflush(stdout);
}

}  // namespace qx25::bench
