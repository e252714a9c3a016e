#include "RecordingFormat.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <set>

namespace qx25::record {

namespace {

constexpr std::string_view kRequestMark = "->";
constexpr std::string_view kReplyMark = "<-";
constexpr char kBurstMark = '@';
constexpr std::string_view kRemarkMark = " #";
constexpr std::string_view kCodeKey = "code=";
constexpr std::string_view kPortPrefix = "COM";
constexpr std::string_view kProgramKey = "# program: ";
constexpr std::string_view kDriverKey = "# driver: ";
constexpr std::string_view kLinesKey = "# lines: ";
constexpr std::string_view kStartedKey = "# started: ";
constexpr std::string_view kLimitsKey = "# limits: ";
constexpr std::string_view kFirstByteKey = "first-byte=";
constexpr std::string_view kBetweenKey = "between=";
constexpr std::string_view kMs = "ms";
constexpr int kMaxLimitMs = 3'600'000;
constexpr std::string_view kFieldsLine =
    "# time port verdict outcome code -> request <- @ms reply bytes ... # remark";

// Bounds that no line of a real recording comes near; a hand-edited file past
// them is refused rather than trusted.
constexpr int kMaxPort = 255;
constexpr int kMaxCode = 255;
constexpr size_t kMaxRequestBytes = 255;
constexpr size_t kMaxReplyBytes = 1024;
constexpr double kMaxAtMs = 3'600'000;  // an hour: no reply takes longer

std::vector<std::string_view> Split(std::string_view Text) {
  std::vector<std::string_view> out;
  size_t at = 0;
  while (at < Text.size()) {
    while (at < Text.size() && Text[at] == ' ') ++at;
    const size_t end = std::min(Text.find(' ', at), Text.size());
    if (end > at) out.push_back(Text.substr(at, end - at));
    at = end;
  }
  return out;
}

std::optional<uint8_t> HexByte(std::string_view Token) {
  if (Token.size() != 2) return std::nullopt;
  int value = 0;
  for (const char c : Token) {
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else
      return std::nullopt;
    value = value * 16 + digit;
  }
  return static_cast<uint8_t>(value);
}

std::optional<int> WholeNumber(std::string_view Text, int Min, int Max) {
  bool negative = !Text.empty() && Text[0] == '-';
  if (negative) Text.remove_prefix(1);
  if (Text.empty() || Text.size() > 6) return std::nullopt;
  int value = 0;
  for (const char c : Text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (negative) value = -value;
  if (value < Min || value > Max) return std::nullopt;
  return value;
}

// Milliseconds as written: digits, at most one point, digits.
std::optional<double> Milliseconds(std::string_view Text) {
  if (Text.empty() || Text.size() > 12) return std::nullopt;
  double whole = 0, scale = 0;
  for (const char c : Text) {
    if (c == '.' && scale == 0) {
      scale = 1;
      continue;
    }
    if (c < '0' || c > '9') return std::nullopt;
    if (scale == 0) {
      whole = whole * 10 + (c - '0');
    } else {
      scale /= 10;
      whole += (c - '0') * scale;
    }
  }
  if (Text.front() == '.' || Text.back() == '.' || whole > kMaxAtMs) return std::nullopt;
  return whole;
}

bool IsWord(std::string_view Token) {
  return !Token.empty() && std::all_of(Token.begin(), Token.end(),
                                       [](char c) { return (c >= 'a' && c <= 'z') || c == '-'; });
}

// Each byte as " 7F", written in place: this runs for every recorded byte.
void AppendHex(std::string& Out, std::span<const uint8_t> Bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  const size_t at = Out.size();
  Out.resize(at + 3 * Bytes.size());
  char* to = Out.data() + at;
  for (const uint8_t b : Bytes) {
    *to++ = ' ';
    *to++ = kDigits[b >> 4];
    *to++ = kDigits[b & 0x0F];
  }
}

void AppendNumber(std::string& Out, int Value) {
  char text[16];
  const auto end = std::to_chars(text, text + sizeof text, Value).ptr;
  Out.append(text, end);
}

// Milliseconds with one decimal, as printf's "%.1f" writes them: rounded to
// the nearest tenth, a true tie to even. From whole tenths, since to_chars
// with a precision walks large tables that are cold at every exchange.
void AppendTenths(std::string& Out, double Ms) {
  char text[330];  // the longest double in fixed notation
  char* end;
  const double scaled = Ms * 10;
  if (!std::signbit(scaled) && scaled < 0x1p52) {
    double tenths = std::nearbyint(scaled);
    const double below = std::floor(scaled);
    if (scaled - below == 0.5) {
      // The product was rounded onto a tie; its exact value decides.
      const double error = std::fma(Ms, 10, -scaled);
      if (error != 0) tenths = error > 0 ? below + 1 : below;
    }
    const auto whole = static_cast<uint64_t>(tenths);
    end = std::to_chars(text, text + sizeof text - 2, whole / 10).ptr;
    *end++ = '.';
    *end++ = static_cast<char>('0' + whole % 10);
  } else {
    end = std::to_chars(text, text + sizeof text, Ms, std::chars_format::fixed, 1).ptr;
  }
  Out.append(text, end);
}

std::string Trimmed(std::string_view Text) {
  while (!Text.empty() && (Text.back() == ' ' || Text.back() == '\r')) Text.remove_suffix(1);
  return std::string(Text);
}

void ReadHeaderLine(std::string_view Line, RecordingHeader& Header) {
  if (Line.starts_with(kProgramKey)) {
    Header.Program = Trimmed(Line.substr(kProgramKey.size()));
  } else if (Line.starts_with(kDriverKey)) {
    Header.Driver = Trimmed(Line.substr(kDriverKey.size()));
  } else if (Line.starts_with(kStartedKey)) {
    Header.Started = Trimmed(Line.substr(kStartedKey.size()));
  } else if (Line.starts_with(kLimitsKey)) {
    // A value that does not read is left unsaid: the replay then uses its own.
    for (const std::string_view item : Split(Line.substr(kLimitsKey.size()))) {
      if (!item.ends_with(kMs)) continue;
      for (const auto& [key, into] : {std::pair{kFirstByteKey, &Header.FirstByteMs},
                                      std::pair{kBetweenKey, &Header.BetweenMs}})
        if (item.starts_with(key))
          if (const auto ms = WholeNumber(
                  item.substr(key.size(), item.size() - key.size() - kMs.size()), 1, kMaxLimitMs))
            *into = *ms;
    }
  } else if (Line.starts_with(kLinesKey)) {
    Header.Lines.clear();
    for (const std::string_view item : Split(Line.substr(kLinesKey.size()))) {
      const size_t eq = item.find('=');
      if (!item.starts_with(kPortPrefix) || eq == std::string_view::npos) continue;
      const auto port =
          WholeNumber(item.substr(kPortPrefix.size(), eq - kPortPrefix.size()), 0, kMaxPort);
      if (port) Header.Lines.emplace_back(*port, std::string(item.substr(eq + 1)));
    }
  }
  // Other remarks are the reader's: a technician may annotate a recording.
}

}  // namespace

std::vector<uint8_t> RecordedExchange::ReplyBytes() const {
  std::vector<uint8_t> out;
  for (const ReplyBurst& burst : Reply)
    out.insert(out.end(), burst.Bytes.begin(), burst.Bytes.end());
  return out;
}

std::vector<int> Recording::Ports() const {
  std::set<int> ports;
  for (const RecordedExchange& x : Exchanges) ports.insert(x.Port);
  return {ports.begin(), ports.end()};
}

std::string FormatHeader(const RecordingHeader& Header) {
  std::string out(kMagic);
  out += '\n';
  out += std::string(kProgramKey) + Header.Program + '\n';
  out += std::string(kDriverKey) + Header.Driver + '\n';
  out += kLinesKey;
  bool first = true;
  for (const auto& [port, device] : Header.Lines) {
    if (!first) out += ' ';
    first = false;
    out += std::string(kPortPrefix) + std::to_string(port) + '=' + device;
  }
  out += '\n';
  out += std::string(kStartedKey) + Header.Started + '\n';
  if (Header.FirstByteMs > 0 && Header.BetweenMs > 0)
    out += std::string(kLimitsKey) + std::string(kFirstByteKey) +
           std::to_string(Header.FirstByteMs) + std::string(kMs) + ' ' + std::string(kBetweenKey) +
           std::to_string(Header.BetweenMs) + std::string(kMs) + '\n';
  out += kFieldsLine;
  out += '\n';
  return out;
}

void AppendExchangeStart(std::string& Out, std::string_view Time, int Port,
                         std::string_view Verdict, std::string_view Outcome, int Code,
                         std::span<const uint8_t> Request) {
  Out += Time;
  Out += ' ';
  Out += kPortPrefix;
  AppendNumber(Out, Port);
  for (const std::string_view word : {Verdict, Outcome, kCodeKey}) {
    Out += ' ';
    Out += word;
  }
  AppendNumber(Out, Code);
  Out += ' ';
  Out += kRequestMark;
  AppendHex(Out, Request);
  Out += ' ';
  Out += kReplyMark;
}

void AppendReplyBurst(std::string& Out, double AtMs, std::span<const uint8_t> Bytes) {
  Out += ' ';
  Out += kBurstMark;
  AppendTenths(Out, AtMs);
  AppendHex(Out, Bytes);
}

void AppendRemark(std::string& Out, std::string_view Remark) {
  if (Remark.empty()) return;
  Out += kRemarkMark;
  Out += ' ';
  Out += Remark;
}

std::string FormatExchange(const RecordedExchange& X) {
  std::string out;
  size_t replyBytes = 0;
  for (const ReplyBurst& burst : X.Reply) replyBytes += burst.Bytes.size() + 8;
  out.reserve(96 + 3 * X.Request.size() + 3 * replyBytes + X.Remark.size());
  AppendExchangeStart(out, X.Time, X.Port, X.Verdict, X.Outcome, X.Code, X.Request);
  for (const ReplyBurst& burst : X.Reply) AppendReplyBurst(out, burst.AtMs, burst.Bytes);
  AppendRemark(out, X.Remark);
  return out;
}

std::optional<RecordedExchange> ParseExchange(std::string_view Line, std::string& Why) {
  RecordedExchange x;
  const size_t remark = Line.find(kRemarkMark);
  if (remark != std::string_view::npos) {
    x.Remark = Trimmed(Line.substr(std::min(Line.size(), remark + kRemarkMark.size() + 1)));
    Line = Line.substr(0, remark);
  }
  const std::string text = Trimmed(Line);  // the tokens below look into it
  const std::vector<std::string_view> t = Split(text);
  if (t.size() < 7) {
    Why = "an exchange wants time, port, verdict, outcome, code, \"->\" and \"<-\"";
    return std::nullopt;
  }
  x.Time = std::string(t[0]);
  const auto port = t[1].starts_with(kPortPrefix)
                        ? WholeNumber(t[1].substr(kPortPrefix.size()), 0, kMaxPort)
                        : std::nullopt;
  if (!port) {
    Why = "\"" + std::string(t[1]) + "\" is not a port COM0..COM255";
    return std::nullopt;
  }
  x.Port = *port;
  if (!IsWord(t[2]) || !IsWord(t[3])) {
    Why = "the verdict and the outcome are words of a-z and '-'";
    return std::nullopt;
  }
  x.Verdict = std::string(t[2]);
  x.Outcome = std::string(t[3]);
  const auto code = t[4].starts_with(kCodeKey)
                        ? WholeNumber(t[4].substr(kCodeKey.size()), -1, kMaxCode)
                        : std::nullopt;
  if (!code) {
    Why = "\"" + std::string(t[4]) + "\" is not code=-1..255";
    return std::nullopt;
  }
  x.Code = *code;
  if (t[5] != kRequestMark) {
    Why = "\"->\" must follow the code";
    return std::nullopt;
  }
  size_t k = 6;
  for (; k < t.size() && t[k] != kReplyMark; ++k) {
    const auto b = HexByte(t[k]);
    if (!b) {
      Why = "\"" + std::string(t[k]) + "\" is not a request byte in hex";
      return std::nullopt;
    }
    if (x.Request.size() == kMaxRequestBytes) {
      Why = "a request frame holds at most 255 bytes";
      return std::nullopt;
    }
    x.Request.push_back(*b);
  }
  if (x.Request.empty() || k == t.size()) {
    Why = "an exchange wants request bytes after \"->\" and then \"<-\"";
    return std::nullopt;
  }
  size_t replyBytes = 0;
  for (++k; k < t.size(); ++k) {
    if (t[k].front() == kBurstMark) {
      const auto at = Milliseconds(t[k].substr(1));
      if (!at) {
        Why = "\"" + std::string(t[k]) + "\" is not an arrival time @MS (0 to 3600000)";
        return std::nullopt;
      }
      x.Reply.push_back({*at, {}});
      continue;
    }
    const auto b = HexByte(t[k]);
    if (!b) {
      Why = "\"" + std::string(t[k]) + "\" is not a reply byte in hex";
      return std::nullopt;
    }
    if (x.Reply.empty()) {
      Why = "reply bytes need their arrival time @MS before them";
      return std::nullopt;
    }
    if (++replyBytes > kMaxReplyBytes) {
      Why = "more reply bytes than any exchange receives";
      return std::nullopt;
    }
    x.Reply.back().Bytes.push_back(*b);
  }
  for (const ReplyBurst& burst : x.Reply)
    if (burst.Bytes.empty()) {
      Why = "an arrival time without bytes";
      return std::nullopt;
    }
  return x;
}

Recording ReadRecording(std::istream& In, const std::string& Name) {
  Recording out;
  std::string line;
  size_t number = 0;
  while (std::getline(In, line)) {
    ++number;
    const bool cutShort = In.eof();  // no newline after it
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string where = Name + ":" + std::to_string(number) + ": ";
    if (number == 1) {
      if (line != kMagic)
        throw RecordingError(where + "not a qx25 recording (it must begin with \"" +
                             std::string(kMagic) + "\")");
      continue;
    }
    if (line.find_first_not_of(' ') == std::string::npos) continue;
    if (line.starts_with("#")) {
      // A rotated file's successor, appended by hand, begins with its own header.
      if (line == kMagic) continue;
      ReadHeaderLine(line, out.Header);
      continue;
    }
    std::string why;
    std::optional<RecordedExchange> x = ParseExchange(line, why);
    if (!x) {
      if (cutShort) {
        out.Warnings.push_back(where + "the last line is cut short and left out (" + why + ")");
        break;
      }
      throw RecordingError(where + why);
    }
    x->LineNumber = number;
    out.Exchanges.push_back(std::move(*x));
  }
  if (number == 0) throw RecordingError(Name + ": empty, not a qx25 recording");
  return out;
}

Recording ReadRecordingFile(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  if (!in) throw RecordingError(Path + ": cannot be opened");
  return ReadRecording(in, Path);
}

std::string WallClockNow() {
  std::string out;
  WallClockText().Append(out, std::chrono::system_clock::now());
  return out;
}

void WallClockText::Append(std::string& Out, std::chrono::system_clock::time_point At) {
  using namespace std::chrono;
  const int64_t millis = duration_cast<milliseconds>(At.time_since_epoch()).count();
  // Floor division: a time before 1970 still gets its milliseconds right.
  const int64_t second = millis / 1000 - (millis % 1000 < 0 ? 1 : 0);
  if (second != Second) {
    const auto seconds = static_cast<std::time_t>(second);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    const int n =
        std::snprintf(Prefix, sizeof Prefix, "%04d-%02d-%02dT%02d:%02d:%02d.", utc.tm_year + 1900,
                      utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    PrefixLength = n > 0 ? std::min(static_cast<size_t>(n), sizeof Prefix - 1) : 0;
    Second = second;
  }
  const auto ms = static_cast<int>(millis - second * 1000);
  const char tail[] = {static_cast<char>('0' + ms / 100), static_cast<char>('0' + ms / 10 % 10),
                       static_cast<char>('0' + ms % 10), 'Z'};
  Out.append(Prefix, PrefixLength);
  Out.append(tail, sizeof tail);
}

}  // namespace qx25::record
