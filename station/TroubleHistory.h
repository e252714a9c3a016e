// Each line's time-outs, rejected replies and refusals over the last minutes,
// in slots of a few seconds, built from the statistics' running totals as
// the console samples them.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <vector>

#include "serial/LineStatistics.h"

namespace qx25::station {

inline constexpr double kTroubleSlotSeconds = 10;
inline constexpr int kTroubleSlots = 30;  // five minutes

struct TroubleSlot {
  uint64_t Timeouts = 0;
  uint64_t Rejected = 0;
  uint64_t Refusals = 0;
  friend bool operator==(const TroubleSlot&, const TroubleSlot&) = default;
};

class TroubleHistory {
 public:
  // The totals of a snapshot taken at Seconds (a steady clock): what each
  // port gained since its last snapshot goes to the slot of Seconds. Totals
  // that went down (the statistics were reset) count from zero again.
  void Add(const std::vector<serial::PortStatistics>& Ports, double Seconds);
  // Port's kTroubleSlots slots up to the one of Seconds, oldest first; empty
  // slots where nothing happened or the port is unknown.
  std::vector<TroubleSlot> Slots(int Port, double Seconds) const;

 private:
  struct Series {
    serial::PortStatistics Last;
    std::deque<std::pair<int64_t, TroubleSlot>> Slots;  // by slot number, ascending
  };
  std::map<int, Series> Ports;
};

}  // namespace qx25::station
