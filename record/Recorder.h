// Records every exchange of a dispatcher's lines into a file, in the format
// of RecordingFormat.h, from the dispatcher's protocol trace.
//
//   auto recorder = record::Recorder::Open("line.rec", header);   // throws RecordingError
//   record::RecordSwitch recording;
//   dispatcher.SetTrace(recording.Tap(otherTrace));
//   recording.Start(recorder);   // and Stop(), as often as wanted
//
// Each exchange is written when it ends, in one write to the file, so a
// crash of the program loses at most the one in flight (the system has the
// rest). A frame that wants no reply is written when the port's next
// exchange begins, or when recording stops; an exchange still waiting for its
// reply when recording stops is left out. A file that reaches its size cap is
// moved aside (FILE.1, the previous FILE.1 to FILE.2 and so on, the oldest
// beyond Keep dropped) and a new one begun with the header; a file already
// there when recording starts is moved aside the same way, so no earlier
// recording is overwritten. A write that fails stops the recording, and
// Failure() says why; so does a file removed while being written, found
// within a second. The exchanges themselves go on.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "record/RecordingFormat.h"
#include "serial/SerialDispatcher.h"

namespace qx25::record {

struct RecordLimits {
  uint64_t MaxBytes = 64ull << 20;  // a file's size cap
  int Keep = 4;                     // files kept beside the one being written
};

// The largest --record-max, in MiB.
inline constexpr int kMaxRecordMiB = 4096;

// The dispatcher's verdict on an exchange as the recording writes it:
// "ok", "time-out", "reply-rejected".
std::string VerdictWord(int32_t Result);
// What the driver makes of an exchange that ended with Result and brought
// Reply: "failed", "refused" (CAN), "answered"; "sent" for a frame that
// wanted no reply and went out.
std::string OutcomeWord(int32_t Result, std::span<const uint8_t> Reply, bool WantsReply = true);

class Recorder {
 public:
  // Moves an existing Path aside and begins the file. Throws RecordingError
  // when it cannot be written, or for a cap below a kilobyte or Keep outside 0..99.
  static std::shared_ptr<Recorder> Open(const std::string& Path, RecordingHeader Header,
                                        RecordLimits Limits = {});
  // Writes what is pending and closes the file.
  ~Recorder();
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // Called with every trace record, from any thread.
  void Take(const serial::TraceRecord& Record);
  // Writes the pending frames that want no reply; drops exchanges in flight.
  // A file removed meanwhile is found here at the latest.
  void Flush();
  // Exchanges written so far, over every file.
  uint64_t Exchanges() const;
  // Why writing stopped; empty while it works.
  std::string Failure() const;
  const std::string& Path() const { return FilePath; }

 private:
  Recorder(std::string Path, RecordingHeader Header, RecordLimits Limits);
  struct Port;
  void Begin();
  void Write(const std::string& Line, int64_t Second);
  void WritePending(Port& P, bool Ending);
  void Fail(const std::string& Why);
  bool StillThere();

  const std::string FilePath;
  const RecordingHeader Header;
  const RecordLimits Limits;
  // Each port's exchange is formatted under the port's own lock; this one
  // is held only to write a line, and guards everything below.
  mutable std::mutex Lock;
  int Fd = -1;
  uint64_t Written = 0;  // bytes in the current file
  uint64_t HeaderBytes = 0;
  uint64_t Count = 0;
  int64_t CheckedSecond = 0;  // when the file was last seen still there
  std::string Failed;
  std::atomic<bool> Stopped{false};  // Failed is set: nothing more to format
  std::unique_ptr<Port[]> Ports;
};

// Where the trace meets a recorder that starts and stops while the lines run.
// Every trace record looks here, from every line's thread, so each port has
// a slot of its own: its thread takes an uncontended lock on a cache line no
// other line writes. Start and Stop go through every slot.
class RecordSwitch {
 public:
  RecordSwitch();
  // The trace callback to give the dispatcher: records, then passes on to Next.
  serial::TraceCallback Tap(serial::TraceCallback Next);
  // Replaces any recorder being written (which is flushed and, once its
  // last record is through, closed).
  void Start(std::shared_ptr<Recorder> To);
  void Stop();
  std::shared_ptr<Recorder> Current() const;

 private:
  struct alignas(64) Slot {
    std::mutex Lock;
    Recorder* To = nullptr;  // Active's, while it is held below
  };
  mutable std::mutex Lock;  // guards Active; one Start at a time
  std::shared_ptr<Recorder> Active;
  std::unique_ptr<Slot[]> Slots;
};

}  // namespace qx25::record
