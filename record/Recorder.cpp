#include "Recorder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <utility>

#include "driver/protocol/Link.h"
#include "driver/protocol/RequestDecoder.h"

namespace qx25::record {

namespace {

constexpr int kPorts = 256;
constexpr uint64_t kMinCap = 1024;
constexpr int kMaxKeep = 99;
constexpr std::string_view kSentOutcome = "sent";
// A port's line sends a couple of dozen frames over and over (a poll of each
// kind for each nozzle); their names are kept, a slot picked by the frame's
// hash, so that each is decoded once and a lookup touches one slot.
constexpr size_t kNamedFrames = 64;
constexpr size_t kNamedFrameBytes = 32;  // longer frames are decoded every time

// FNV-1a.
uint64_t FrameHash(std::span<const uint8_t> Frame) {
  uint64_t h = 14695981039346656037ull;
  for (const uint8_t b : Frame) h = (h ^ b) * 1099511628211ull;
  return h;
}

// The request's name, and whether it wants a reply (a frame the protocol
// does not know is taken to want one).
const char* RequestName(std::span<const uint8_t> Frame, bool& WantsReply) {
  WantsReply = true;
  const auto data = DecodeRequestFrame(Frame.data(), Frame.size());
  if (!data) return "неразборчивый запрос";
  const auto request = ParseRequest(*data);
  if (!request || request->Kind == nullptr) return "неизвестный запрос";
  WantsReply = request->Kind->ReplyLength > 0;
  return request->Kind->Name;
}

// The first lead byte is the reply, as the driver's check skips what comes
// before it.
std::string_view Outcome(int32_t Result, std::span<const uint8_t> Reply, bool WantsReply) {
  if (Result != serial::kSerialOk) return "failed";
  if (!WantsReply) return kSentOutcome;
  for (const uint8_t b : Reply)
    if (IsLeadByte(b)) return b == kCan ? "refused" : "answered";
  return "answered";
}

bool WriteAll(int Fd, const char* Data, size_t Size) {
  while (Size > 0) {
    const ssize_t n = ::write(Fd, Data, Size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    Data += n;
    Size -= static_cast<size_t>(n);
  }
  return true;
}

int64_t SecondOf(std::chrono::system_clock::time_point At) {
  return std::chrono::duration_cast<std::chrono::seconds>(At.time_since_epoch()).count();
}

std::string Numbered(const std::string& Path, int N) { return Path + "." + std::to_string(N); }

}  // namespace

std::string VerdictWord(int32_t Result) {
  std::string word = serial::SerialErrorText(Result);
  for (char& c : word)
    if (c == ' ') c = '-';
  return word;
}

std::string OutcomeWord(int32_t Result, std::span<const uint8_t> Reply, bool WantsReply) {
  return std::string(Outcome(Result, Reply, WantsReply));
}

// One port's exchange in flight and the buffers its line is formatted in,
// kept from one exchange to the next so that recording allocates nothing.
struct Recorder::Port {
  struct Named {
    std::array<uint8_t, kNamedFrameBytes> Frame{};
    size_t Length = 0;  // 0: not used yet
    std::string_view Name;
    bool WantsReply = true;
  };

  std::mutex Lock;  // held by the port's line thread, or by Flush
  uint8_t Number = 0;
  bool Open = false;
  bool WantsReply = true;
  double Seconds = 0;  // the trace's time of the request
  int64_t Second = 0;  // and the wall clock's
  std::string Time;
  std::vector<uint8_t> Request;
  std::string_view Name;
  std::unique_ptr<std::array<Named, kNamedFrames>> Names;  // once the port records
  int32_t VerdictOf = serial::kSerialOk;
  std::string Verdict = VerdictWord(serial::kSerialOk);
  WallClockText Clock;
  std::string Line;

  void Identify(std::span<const uint8_t> Frame) {
    if (Frame.empty() || Frame.size() > kNamedFrameBytes) {
      Name = RequestName(Frame, WantsReply);
      return;
    }
    if (!Names) Names = std::make_unique<std::array<Named, kNamedFrames>>();
    Named& n = (*Names)[FrameHash(Frame) % kNamedFrames];
    if (n.Length != Frame.size() || !std::equal(Frame.begin(), Frame.end(), n.Frame.begin())) {
      n.Name = RequestName(Frame, n.WantsReply);
      std::copy(Frame.begin(), Frame.end(), n.Frame.begin());
      n.Length = Frame.size();
    }
    Name = n.Name;
    WantsReply = n.WantsReply;
  }

  const std::string& VerdictFor(int32_t Result) {
    if (Result != VerdictOf) {
      Verdict = VerdictWord(Result);
      VerdictOf = Result;
    }
    return Verdict;
  }

  // The line up to its reply bytes, in Line.
  void Start(int32_t Result, std::string_view OutcomeText, int Code) {
    Line.clear();
    AppendExchangeStart(Line, Time, Number, VerdictFor(Result), OutcomeText, Code, Request);
  }
};

std::shared_ptr<Recorder> Recorder::Open(const std::string& Path, RecordingHeader Header,
                                         RecordLimits Limits) {
  if (Limits.MaxBytes < kMinCap)
    throw RecordingError("a recording's size cap must be at least a kilobyte");
  if (Limits.Keep < 0 || Limits.Keep > kMaxKeep)
    throw RecordingError("a recording keeps 0 to 99 older files");
  std::shared_ptr<Recorder> recorder(new Recorder(Path, std::move(Header), Limits));
  std::lock_guard<std::mutex> hold(recorder->Lock);
  recorder->Begin();
  if (!recorder->Failed.empty()) throw RecordingError(recorder->Failed);
  return recorder;
}

Recorder::Recorder(std::string Path, RecordingHeader Header_, RecordLimits Limits_)
    : FilePath(std::move(Path)),
      Header(std::move(Header_)),
      Limits(Limits_),
      Ports(new Port[kPorts]) {
  for (int k = 0; k < kPorts; ++k) Ports[k].Number = static_cast<uint8_t>(k);
}

Recorder::~Recorder() {
  Flush();
  if (Fd >= 0) ::close(Fd);
}

// With Lock held. Moves the files aside, oldest last, and starts a new one.
void Recorder::Begin() {
  namespace fs = std::filesystem;
  if (Fd >= 0) ::close(Fd);
  Fd = -1;
  std::error_code error;
  // Only a file of its own is moved aside; a device or a pipe is written as it is.
  if (fs::is_regular_file(FilePath, error) && fs::file_size(FilePath, error) > 0 &&
      Limits.Keep > 0) {
    fs::remove(Numbered(FilePath, Limits.Keep), error);
    for (int n = Limits.Keep - 1; n >= 1; --n)
      if (fs::exists(Numbered(FilePath, n), error))
        fs::rename(Numbered(FilePath, n), Numbered(FilePath, n + 1), error);
    fs::rename(FilePath, Numbered(FilePath, 1), error);
    if (error) {
      Fail("cannot move " + FilePath + " aside: " + error.message());
      return;
    }
  }
  // Appending: lines from the port threads never overwrite one another.
  Fd = ::open(FilePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0666);
  if (Fd < 0) {
    Fail("cannot write " + FilePath + ": " + std::strerror(errno));
    return;
  }
  RecordingHeader header = Header;
  header.Started = WallClockNow();
  const std::string text = FormatHeader(header);
  if (!WriteAll(Fd, text.data(), text.size())) {
    Fail("cannot write " + FilePath + ": " + std::strerror(errno));
    return;
  }
  Written = HeaderBytes = text.size();
}

// With Lock held.
void Recorder::Fail(const std::string& Why) {
  if (Failed.empty()) Failed = Why;
  Stopped = true;
  if (Fd >= 0) ::close(Fd);
  Fd = -1;
}

// With Lock held: false, and the recording stopped, when the file has been removed.
bool Recorder::StillThere() {
  struct stat file {};
  if (Fd < 0 || ::fstat(Fd, &file) != 0 || !S_ISREG(file.st_mode) || file.st_nlink > 0) return true;
  Fail(FilePath + " was removed while being written");
  return false;
}

// Line ends in its newline; Second is its exchange's wall-clock second.
void Recorder::Write(const std::string& Line, int64_t Second) {
  std::lock_guard<std::mutex> hold(Lock);
  if (Fd < 0) return;
  // A file removed while being written takes every later line with it:
  // looked for once a second, which costs one fstat.
  if (Second != CheckedSecond) {
    CheckedSecond = Second;
    if (!StillThere()) return;
  }
  // A file holding nothing but its header is not moved aside, however long the line.
  if (Written > HeaderBytes && Written + Line.size() > Limits.MaxBytes) {
    Begin();
    if (Fd < 0) return;
  }
  if (!WriteAll(Fd, Line.data(), Line.size())) {
    Fail("cannot write " + FilePath + ": " + std::strerror(errno));
    return;
  }
  Written += Line.size();
  ++Count;
}

// With P's lock held: the port's request went out well and wanted no reply.
// At the end of a recording, an exchange still waiting for its reply is left
// out rather than written as one that wanted none.
void Recorder::WritePending(Port& P, bool Ending) {
  if (!P.Open) return;
  P.Open = false;
  if (Ending && P.WantsReply) return;
  if (Stopped) return;
  P.Start(serial::kSerialOk, kSentOutcome, -1);
  AppendRemark(P.Line, P.Name);
  P.Line += '\n';
  Write(P.Line, P.Second);
}

void Recorder::Take(const serial::TraceRecord& Record) {
  Port& p = Ports[Record.Port];
  std::lock_guard<std::mutex> hold(p.Lock);
  if (Record.Direction == serial::TraceDirection::Request) {
    WritePending(p, false);
    if (Stopped) return;
    const auto now = std::chrono::system_clock::now();
    p.Open = true;
    p.Seconds = Record.Seconds;
    p.Second = SecondOf(now);
    p.Time.clear();
    p.Clock.Append(p.Time, now);
    p.Request.assign(Record.Bytes.begin(), Record.Bytes.end());
    p.Identify(Record.Bytes);
    return;
  }
  if (!p.Open) return;  // recording began in the middle of this exchange
  p.Open = false;
  if (Stopped) return;
  p.Start(Record.Result, Outcome(Record.Result, Record.Bytes, true), Record.ReplyCode);
  const auto at = [&](size_t k) {
    return k < Record.Arrivals.size() ? std::max(0.0, (Record.Arrivals[k] - p.Seconds) * 1000.0)
                                      : 0.0;
  };
  // A tenth of a millisecond is what the file keeps; bytes group on that.
  const auto tenths = [](double Ms) { return static_cast<int64_t>(Ms * 10); };
  for (size_t first = 0; first < Record.Bytes.size();) {
    const double burst = at(first);
    size_t end = first + 1;
    while (end < Record.Bytes.size() && tenths(at(end)) == tenths(burst)) ++end;
    AppendReplyBurst(p.Line, burst, Record.Bytes.subspan(first, end - first));
    first = end;
  }
  AppendRemark(p.Line, p.Name);
  p.Line += '\n';
  Write(p.Line, p.Second);
}

void Recorder::Flush() {
  for (int port = 0; port < kPorts; ++port) {
    std::lock_guard<std::mutex> hold(Ports[port].Lock);
    WritePending(Ports[port], true);
  }
  std::lock_guard<std::mutex> hold(Lock);
  StillThere();
}

uint64_t Recorder::Exchanges() const {
  std::lock_guard<std::mutex> hold(Lock);
  return Count;
}

std::string Recorder::Failure() const {
  std::lock_guard<std::mutex> hold(Lock);
  return Failed;
}

RecordSwitch::RecordSwitch() : Slots(new Slot[kPorts]) {}

serial::TraceCallback RecordSwitch::Tap(serial::TraceCallback Next) {
  return [this, next = std::move(Next)](const serial::TraceRecord& Record) {
    {
      Slot& slot = Slots[Record.Port];
      std::lock_guard<std::mutex> hold(slot.Lock);
      if (slot.To != nullptr) slot.To->Take(Record);
    }
    if (next) next(Record);
  };
}

void RecordSwitch::Start(std::shared_ptr<Recorder> To) {
  std::shared_ptr<Recorder> old;
  {
    std::lock_guard<std::mutex> hold(Lock);
    old = std::exchange(Active, std::move(To));
    // Once past a slot, no record of that port reaches the old recorder.
    for (int port = 0; port < kPorts; ++port) {
      std::lock_guard<std::mutex> slot(Slots[port].Lock);
      Slots[port].To = Active.get();
    }
  }
  if (old) old->Flush();
}

void RecordSwitch::Stop() { Start(nullptr); }

std::shared_ptr<Recorder> RecordSwitch::Current() const {
  std::lock_guard<std::mutex> hold(Lock);
  return Active;
}

}  // namespace qx25::record
