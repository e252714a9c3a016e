// Line statistics per port, taken from the serial dispatcher's protocol trace:
// how many exchanges a line ran, how they ended, and how long the controllers
// took to answer. A station's console shows them beside its trace pane, and
// qx25ctl prints them with --stats.
//
//   qx25::serial::LineStatistics stats;
//   dispatcher.SetTrace(stats.Recorder(qx25::serial::TraceToFile(stderr)));
//   ...
//   std::fputs(FormatStatistics(stats.Snapshot()).c_str(), stderr);
//
// An exchange is a Request record (a frame went out). Its Reply record ends
// it: accepted (Result 0), or one failure class of the dispatcher. A send-only
// frame that went out well has no Reply record and counts only as an
// exchange. The reply time runs from the Request record to the Reply record
// of the same port; the dispatcher holds the port's lock from one to the
// other, so on one port the two always pair, whichever thread runs them.
//
// Reply times are kept in a histogram of logarithmic buckets, each 1% wider
// than the one before, from 10 µs up to 1000 s: memory stays fixed (about
// 15 KiB for each port that has seen traffic) however long the line runs,
// the median is within 0.5% of the true one, and the worst is kept exactly.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "SerialDispatcher.h"

namespace qx25::serial {

struct PortStatistics {
  uint8_t Port = 0;
  uint64_t Exchanges = 0;  // frames sent
  uint64_t Accepted = 0;   // replies the handler accepted, refusals included
  uint64_t Timeouts = 0;   // no reply, or one that stopped short
  uint64_t Rejected = 0;   // a reply the handler would not take
  // Accepted one-byte CAN replies: the controller refused the request.
  uint64_t Refusals = 0;
  // Every other failure: the line failed, no such device, bad line settings.
  uint64_t LineErrors = 0;
  // Of those, the times the open device went away under an exchange (an
  // adapter unplugged or reset); each is one loss, however long it stays away.
  uint64_t DeviceLosses = 0;
  // Over accepted replies, in milliseconds; 0 before the first one.
  double MedianReplyMs = 0;
  double WorstReplyMs = 0;
};

// Thread-safe: Record (and the callback of Recorder) may run on every line's
// thread at once, alongside Snapshot and Reset.
class LineStatistics {
 public:
  LineStatistics();
  ~LineStatistics();
  LineStatistics(const LineStatistics&) = delete;
  LineStatistics& operator=(const LineStatistics&) = delete;

  void Record(const TraceRecord& Record);
  // A trace callback that records and then passes the record on to Next (a
  // trace pane, a trace file), so that both share the dispatcher's one trace.
  // The statistics must outlive the callback.
  TraceCallback Recorder(TraceCallback Next = {});
  // The ports that have seen traffic, in ascending order.
  std::vector<PortStatistics> Snapshot() const;
  // Port's accepted replies by reply time, in bins whose upper edges are
  // EdgesMs (ascending), and one more bin for what lies above the last edge:
  // EdgesMs.size() + 1 counts, all 0 for a port without traffic. A reply
  // counts in the bin that holds the middle of its histogram bucket.
  std::vector<uint64_t> ReplyTimeCounts(uint8_t Port, std::span<const double> EdgesMs) const;
  // Forgets everything, a reply under way included.
  void Reset();

  // The reply-time histogram's shape, exposed for the tests' tolerances.
  static constexpr double kLowestMs = 0.01;
  static constexpr double kBucketGrowth = 1.01;

 private:
  struct PortRecord;
  mutable std::mutex Lock;
  std::array<std::unique_ptr<PortRecord>, 256> Ports;
};

// A plain-text table, one row per port, with a header line:
//   port exchanges accepted time-outs rejected refusals line errors device losses median ms worst
//   ms
// "no traffic" alone when the list is empty.
std::string FormatStatistics(const std::vector<PortStatistics>& Ports);

}  // namespace qx25::serial
