// The recording of a line's exchanges as text: one exchange a line, so that a
// technician can read it and grep it, and the simulator can answer from it.
// This file writes and reads the format; Recorder.h taps the dispatcher.
//
//   # qx25 recording 1
//   # program: qx25-host 2.41
//   # driver: v2.41#Протокол наливной Ж-4
//   # lines: COM1=/dev/ttyUSB0 COM2=/dev/ttyUSB1
//   # started: 2026-12-08T12:34:56Z
//   # limits: first-byte=500ms between=50ms
//   2026-12-08T12:34:56.120Z COM1 ok answered code=0 -> 7F 02 ... <- @41.2 02 31 4E @45.0 ... #
//   состояние
//
// An exchange line holds, separated by single spaces: the wall-clock time
// (UTC) the request went out; the port; the dispatcher's verdict (ok,
// time-out, reply-rejected, line-error...); what the driver made of it
// (answered, refused, failed; sent for a frame that wants no reply); the last
// code the driver's reply check reported (-1 for none); "->" and the request
// frame in hex; "<-" and the reply bytes as they arrived, each group led by
// its arrival time in milliseconds after the request went out. Anything after
// " #" is a remark for the reader (the request's name) and is ignored.
//
// Standard library only: the simulator reads recordings without the
// dispatcher.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qx25::record {

// The first line of every recording file; the number is the format's.
inline constexpr std::string_view kMagic = "# qx25 recording 1";

// Reply bytes that arrived together, At milliseconds after the request went out.
struct ReplyBurst {
  double AtMs = 0;
  std::vector<uint8_t> Bytes;
  friend bool operator==(const ReplyBurst&, const ReplyBurst&) = default;
};

struct RecordedExchange {
  std::string Time;  // "2026-12-08T12:34:56.120Z"
  int Port = 0;      // 0..255
  std::string Verdict;
  std::string Outcome;
  int Code = -1;
  std::vector<uint8_t> Request;
  std::vector<ReplyBurst> Reply;
  std::string Remark;     // after " #"; empty for none
  size_t LineNumber = 0;  // where the reader found it; 0 when not read

  // Every reply byte in arrival order.
  std::vector<uint8_t> ReplyBytes() const;
};

struct RecordingHeader {
  std::string Program;
  std::string Driver;
  std::vector<std::pair<int, std::string>> Lines;  // port and device
  std::string Started;
  // The reply time-outs of the dispatcher that recorded, in milliseconds; 0
  // when the recording does not say (one made before they were written).
  int FirstByteMs = 0;
  int BetweenMs = 0;
};

struct Recording {
  RecordingHeader Header;
  std::vector<RecordedExchange> Exchanges;
  // Said of the file but no reason to refuse it: a last line cut short (the
  // program that wrote it stopped in the middle of it).
  std::vector<std::string> Warnings;
  // The ports that have exchanges, in ascending order.
  std::vector<int> Ports() const;
};

// A recording that cannot be read: the message names the line.
class RecordingError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The header lines, each ending in a newline.
std::string FormatHeader(const RecordingHeader& Header);
// One exchange line, without its newline.
std::string FormatExchange(const RecordedExchange& Exchange);
// The same line appended piece by piece, for a recorder that formats into a
// buffer it keeps and has no RecordedExchange to build: the fields up to the
// reply, then each burst of reply bytes, then the remark.
void AppendExchangeStart(std::string& Out, std::string_view Time, int Port,
                         std::string_view Verdict, std::string_view Outcome, int Code,
                         std::span<const uint8_t> Request);
void AppendReplyBurst(std::string& Out, double AtMs, std::span<const uint8_t> Bytes);
void AppendRemark(std::string& Out, std::string_view Remark);
// One exchange line (no newline) back into an exchange; nothing when it is not
// one, and Why says what is wrong.
std::optional<RecordedExchange> ParseExchange(std::string_view Line, std::string& Why);

// Reads a whole recording. Throws RecordingError naming Name and the line
// for anything that is not the format; a last line without its newline that
// does not read is left out with a warning.
Recording ReadRecording(std::istream& In, const std::string& Name);
Recording ReadRecordingFile(const std::string& Path);

// "2026-12-08T12:34:56.120Z" for now.
std::string WallClockNow();

// Wall-clock times as the recording writes them, the calendar worked out once
// a second rather than for every exchange. One per thread, or under a lock.
class WallClockText {
 public:
  void Append(std::string& Out, std::chrono::system_clock::time_point At);

 private:
  int64_t Second = INT64_MIN;
  char Prefix[80] = {};  // "2026-12-08T12:34:56."
  size_t PrefixLength = 0;
};

}  // namespace qx25::record
