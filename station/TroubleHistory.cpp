#include "TroubleHistory.h"

#include <cmath>

namespace qx25::station {

namespace {

int64_t SlotOf(double Seconds) {
  return static_cast<int64_t>(std::floor(Seconds / kTroubleSlotSeconds));
}

uint64_t Gained(uint64_t Now, uint64_t Before) { return Now >= Before ? Now - Before : Now; }

}  // namespace

void TroubleHistory::Add(const std::vector<serial::PortStatistics>& Totals, double Seconds) {
  const int64_t slot = SlotOf(Seconds);
  for (const serial::PortStatistics& p : Totals) {
    Series& series = Ports[p.Port];
    const TroubleSlot gained{Gained(p.Timeouts, series.Last.Timeouts),
                             Gained(p.Rejected, series.Last.Rejected),
                             Gained(p.Refusals, series.Last.Refusals)};
    series.Last = p;
    if (gained != TroubleSlot{}) {
      if (series.Slots.empty() || series.Slots.back().first < slot)
        series.Slots.emplace_back(slot, TroubleSlot{});
      TroubleSlot& into = series.Slots.back().second;
      into.Timeouts += gained.Timeouts;
      into.Rejected += gained.Rejected;
      into.Refusals += gained.Refusals;
    }
    while (!series.Slots.empty() && series.Slots.front().first <= slot - kTroubleSlots)
      series.Slots.pop_front();
  }
}

std::vector<TroubleSlot> TroubleHistory::Slots(int Port, double Seconds) const {
  std::vector<TroubleSlot> out(kTroubleSlots);
  const auto found = Ports.find(Port);
  if (found == Ports.end()) return out;
  const int64_t last = SlotOf(Seconds);
  for (const auto& [slot, counts] : found->second.Slots) {
    const int64_t at = slot - (last - kTroubleSlots + 1);
    if (at >= 0 && at < kTroubleSlots) out[static_cast<size_t>(at)] = counts;
  }
  return out;
}

}  // namespace qx25::station
