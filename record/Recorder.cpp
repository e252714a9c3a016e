#include "Recorder.h"

#include <cerrno>
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
constexpr char kSentOutcome[] = "sent";

// The request's name, and whether it wants a reply (a frame the protocol
// does not know is taken to want one).
std::string RequestName(std::span<const uint8_t> Frame, bool& WantsReply) {
  WantsReply = true;
  const auto data = DecodeRequestFrame(Frame.data(), Frame.size());
  if (!data) return "неразборчивый запрос";
  const auto request = ParseRequest(*data);
  if (!request || request->Kind == nullptr) return "неизвестный запрос";
  WantsReply = request->Kind->ReplyLength > 0;
  return request->Kind->Name;
}

std::string Numbered(const std::string& Path, int N) { return Path + "." + std::to_string(N); }

}  // namespace

std::string VerdictWord(int32_t Result) {
  std::string word = host::SerialErrorText(Result);
  for (char& c : word)
    if (c == ' ') c = '-';
  return word;
}

// The first lead byte is the reply, as the driver's check skips what comes
// before it.
std::string OutcomeWord(int32_t Result, std::span<const uint8_t> Reply, bool WantsReply) {
  if (Result != host::kSerialOk) return "failed";
  if (!WantsReply) return kSentOutcome;
  for (const uint8_t b : Reply)
    if (IsLeadByte(b)) return b == kCan ? "refused" : "answered";
  return "answered";
}

struct Recorder::Pending {
  bool Open = false;
  bool WantsReply = true;
  double Seconds = 0;
  RecordedExchange X;
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
      Open_(new Pending[kPorts]) {}

Recorder::~Recorder() {
  Flush();
  if (File != nullptr) std::fclose(File);
}

// With Lock held. Moves the files aside, oldest last, and starts a new one.
void Recorder::Begin() {
  namespace fs = std::filesystem;
  if (File != nullptr) std::fclose(File);
  File = nullptr;
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
  File = std::fopen(FilePath.c_str(), "wb");
  if (File == nullptr) {
    Fail("cannot write " + FilePath + ": " + std::strerror(errno));
    return;
  }
  RecordingHeader header = Header;
  header.Started = WallClockNow();
  const std::string text = FormatHeader(header);
  if (std::fputs(text.c_str(), File) < 0 || std::fflush(File) != 0) {
    Fail("cannot write " + FilePath + ": " + std::strerror(errno));
    return;
  }
  Written = HeaderBytes = text.size();
}

void Recorder::Fail(const std::string& Why) {
  if (Failed.empty()) Failed = Why;
  if (File != nullptr) std::fclose(File);
  File = nullptr;
}

// With Lock held.
void Recorder::Write(const RecordedExchange& X) {
  if (File == nullptr) return;
  const std::string line = FormatExchange(X) + '\n';
  // A file holding nothing but its header is not moved aside, however long the line.
  if (Written > HeaderBytes && Written + line.size() > Limits.MaxBytes) {
    Begin();
    if (File == nullptr) return;
  }
  if (std::fputs(line.c_str(), File) < 0 || std::fflush(File) != 0) {
    Fail("cannot write " + FilePath + ": " + std::strerror(errno));
    return;
  }
  Written += line.size();
  ++Count;
}

// With Lock held: the port's request went out well and wanted no reply. At
// the end of a recording, an exchange still waiting for its reply is left
// out rather than written as one that wanted none.
void Recorder::WritePending(uint8_t Port, bool Ending) {
  Pending& p = Open_[Port];
  if (!p.Open) return;
  p.Open = false;
  if (Ending && p.WantsReply) return;
  p.X.Verdict = VerdictWord(host::kSerialOk);
  p.X.Outcome = OutcomeWord(host::kSerialOk, {}, false);
  p.X.Code = -1;
  p.X.Reply.clear();
  Write(p.X);
}

void Recorder::Take(const host::TraceRecord& Record) {
  std::lock_guard<std::mutex> hold(Lock);
  Pending& p = Open_[Record.Port];
  if (Record.Direction == host::TraceDirection::Request) {
    WritePending(Record.Port, false);
    p.Open = true;
    p.Seconds = Record.Seconds;
    p.X.Time = WallClockNow();
    p.X.Port = Record.Port;
    p.X.Request.assign(Record.Bytes.begin(), Record.Bytes.end());
    p.X.Remark = RequestName(Record.Bytes, p.WantsReply);
    return;
  }
  if (!p.Open) return;  // recording began in the middle of this exchange
  p.Open = false;
  p.X.Verdict = VerdictWord(Record.Result);
  p.X.Outcome = OutcomeWord(Record.Result, Record.Bytes);
  p.X.Code = Record.ReplyCode;
  p.X.Reply.clear();
  for (size_t k = 0; k < Record.Bytes.size(); ++k) {
    const double at =
        k < Record.Arrivals.size() ? std::max(0.0, (Record.Arrivals[k] - p.Seconds) * 1000.0) : 0.0;
    // A tenth of a millisecond is what the file keeps; group on that.
    if (p.X.Reply.empty() ||
        static_cast<int64_t>(at * 10) != static_cast<int64_t>(p.X.Reply.back().AtMs * 10))
      p.X.Reply.push_back({at, {}});
    p.X.Reply.back().Bytes.push_back(Record.Bytes[k]);
  }
  Write(p.X);
}

void Recorder::Flush() {
  std::lock_guard<std::mutex> hold(Lock);
  for (int port = 0; port < kPorts; ++port) WritePending(static_cast<uint8_t>(port), true);
}

uint64_t Recorder::Exchanges() const {
  std::lock_guard<std::mutex> hold(Lock);
  return Count;
}

std::string Recorder::Failure() const {
  std::lock_guard<std::mutex> hold(Lock);
  return Failed;
}

host::TraceCallback RecordSwitch::Tap(host::TraceCallback Next) {
  return [this, next = std::move(Next)](const host::TraceRecord& Record) {
    if (const std::shared_ptr<Recorder> to = Current()) to->Take(Record);
    if (next) next(Record);
  };
}

void RecordSwitch::Start(std::shared_ptr<Recorder> To) {
  std::shared_ptr<Recorder> old;
  {
    std::lock_guard<std::mutex> hold(Lock);
    old = std::exchange(Active, std::move(To));
  }
  if (old) old->Flush();
}

void RecordSwitch::Stop() { Start(nullptr); }

std::shared_ptr<Recorder> RecordSwitch::Current() const {
  std::lock_guard<std::mutex> hold(Lock);
  return Active;
}

}  // namespace qx25::record
