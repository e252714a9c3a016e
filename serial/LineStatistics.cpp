// Line statistics from the protocol trace. What a reply's lead byte is comes
// from the protocol layer's codec; nothing here knows a command.
#include "LineStatistics.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

#include "driver/protocol/Link.h"

namespace qx25::serial {

namespace {

constexpr double kHighestMs = 1e6;  // 1000 s: no exchange waits that long
const size_t kBucketCount = static_cast<size_t>(std::ceil(
    std::log(kHighestMs / LineStatistics::kLowestMs) / std::log(LineStatistics::kBucketGrowth)));

size_t BucketOf(double Ms) {
  if (!(Ms > LineStatistics::kLowestMs)) return 0;  // NaN and negatives too
  const double i =
      std::log(Ms / LineStatistics::kLowestMs) / std::log(LineStatistics::kBucketGrowth);
  return std::min(static_cast<size_t>(i), kBucketCount - 1);
}

// The geometric middle of a bucket: within half a bucket's width of any time
// that fell into it.
double MiddleOf(size_t Bucket) {
  return LineStatistics::kLowestMs *
         std::pow(LineStatistics::kBucketGrowth, static_cast<double>(Bucket) + 0.5);
}

// The reply handler drops bytes ahead of the first lead byte; an accepted
// reply that then starts with CAN is the controller's refusal.
bool IsRefusal(std::span<const uint8_t> Bytes) {
  const auto lead = std::find_if(Bytes.begin(), Bytes.end(), IsLeadByte);
  return lead != Bytes.end() && *lead == kCan;
}

}  // namespace

struct LineStatistics::PortRecord {
  PortStatistics Counts;
  std::optional<double> Sent;  // Seconds of the Request record awaiting its reply
  std::vector<uint64_t> Histogram = std::vector<uint64_t>(kBucketCount, 0);

  void AddReplyTime(double Ms) {
    ++Histogram[BucketOf(Ms)];
    Counts.WorstReplyMs = std::max(Counts.WorstReplyMs, Ms);
  }

  // The bucket that holds the Index-th smallest time (from 0).
  size_t BucketAt(uint64_t Index) const {
    uint64_t seen = 0;
    for (size_t b = 0; b < Histogram.size(); ++b) {
      seen += Histogram[b];
      if (seen > Index) return b;
    }
    return Histogram.size() - 1;
  }

  double Median() const {
    uint64_t n = 0;
    for (const uint64_t c : Histogram) n += c;
    if (n == 0) return 0;
    const double m = (MiddleOf(BucketAt((n - 1) / 2)) + MiddleOf(BucketAt(n / 2))) / 2;
    return std::min(m, Counts.WorstReplyMs);
  }
};

LineStatistics::LineStatistics() = default;
LineStatistics::~LineStatistics() = default;

void LineStatistics::Record(const TraceRecord& Record) {
  std::lock_guard<std::mutex> hold(Lock);
  std::unique_ptr<PortRecord>& slot = Ports[Record.Port];
  if (!slot) {
    slot = std::make_unique<PortRecord>();
    slot->Counts.Port = Record.Port;
  }
  PortRecord& port = *slot;
  if (Record.Direction == TraceDirection::Request) {
    ++port.Counts.Exchanges;
    port.Sent = Record.Seconds;
    return;
  }
  const std::optional<double> sent = port.Sent;
  port.Sent.reset();
  switch (Record.Result) {
    case kSerialOk:
      ++port.Counts.Accepted;
      if (IsRefusal(Record.Bytes)) ++port.Counts.Refusals;
      if (sent) port.AddReplyTime(std::max(0.0, (Record.Seconds - *sent) * 1e3));
      break;
    case kSerialTimeout:
      ++port.Counts.Timeouts;
      break;
    case kSerialRejected:
      ++port.Counts.Rejected;
      break;
    case kSerialDeviceLost:
      ++port.Counts.DeviceLosses;
      ++port.Counts.LineErrors;
      break;
    default:
      ++port.Counts.LineErrors;
      break;
  }
}

TraceCallback LineStatistics::Recorder(TraceCallback Next) {
  return [this, next = std::move(Next)](const TraceRecord& Record) {
    this->Record(Record);
    if (next) next(Record);
  };
}

std::vector<PortStatistics> LineStatistics::Snapshot() const {
  std::lock_guard<std::mutex> hold(Lock);
  std::vector<PortStatistics> out;
  for (const std::unique_ptr<PortRecord>& port : Ports) {
    if (!port) continue;
    PortStatistics s = port->Counts;
    s.MedianReplyMs = port->Median();
    out.push_back(s);
  }
  return out;
}

std::vector<uint64_t> LineStatistics::ReplyTimeCounts(uint8_t Port,
                                                      std::span<const double> EdgesMs) const {
  std::vector<uint64_t> counts(EdgesMs.size() + 1, 0);
  std::lock_guard<std::mutex> hold(Lock);
  const std::unique_ptr<PortRecord>& port = Ports[Port];
  if (!port) return counts;
  for (size_t b = 0; b < port->Histogram.size(); ++b) {
    if (port->Histogram[b] == 0) continue;
    const auto bin = std::upper_bound(EdgesMs.begin(), EdgesMs.end(), MiddleOf(b));
    counts[static_cast<size_t>(bin - EdgesMs.begin())] += port->Histogram[b];
  }
  return counts;
}

void LineStatistics::Reset() {
  std::lock_guard<std::mutex> hold(Lock);
  for (std::unique_ptr<PortRecord>& port : Ports) port.reset();
}

std::string FormatStatistics(const std::vector<PortStatistics>& Ports) {
  if (Ports.empty()) return "no traffic\n";
  char head[192];
  std::snprintf(head, sizeof head, "%-6s %9s %9s %10s %9s %9s %12s %14s %10s %9s\n", "port",
                "exchanges", "accepted", "time-outs", "rejected", "refusals", "line errors",
                "device losses", "median ms", "worst ms");
  std::string out = head;
  for (const PortStatistics& p : Ports) {
    char row[192];
    std::snprintf(
        row, sizeof row, "COM%-3u %9llu %9llu %10llu %9llu %9llu %12llu %14llu %10.1f %9.1f\n",
        unsigned{p.Port}, static_cast<unsigned long long>(p.Exchanges),
        static_cast<unsigned long long>(p.Accepted), static_cast<unsigned long long>(p.Timeouts),
        static_cast<unsigned long long>(p.Rejected), static_cast<unsigned long long>(p.Refusals),
        static_cast<unsigned long long>(p.LineErrors),
        static_cast<unsigned long long>(p.DeviceLosses), p.MedianReplyMs, p.WorstReplyMs);
    out += row;
  }
  return out;
}

}  // namespace qx25::serial
