#include "ReplayCheck.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <iterator>
#include <system_error>
#include <thread>

#include "driver/HostContract.h"
#include "driver/protocol/RequestDecoder.h"
#include "record/Recorder.h"
#include "sim/Replay.h"

namespace qx25::tools {

namespace {

struct ReplayCheckArgs {
  std::string File;
  int Port = 0;
};

std::string Summary(const std::string& Verdict, const std::string& Outcome, int Code) {
  return Verdict + " " + Outcome + " code=" + std::to_string(Code);
}

// The request kind as the driver sends it: a parameter read's reply length
// follows the code it reads, which the kind's table cannot hold.
TRequestKind AsSent(const DecodedRequest& Request) {
  TRequestKind kind = *Request.Kind;
  if (kind.Letter == kReadParamRequest.Letter && !Request.Args.empty()) {
    const int code = Request.Args[0] - kCodeCharBase;
    if (code >= 0 && code < kParamCodeCount)
      kind.ReplyLength = ParamReplyLength(ParamDigits[static_cast<size_t>(code)]);
  }
  return kind;
}

std::string Where(const record::RecordedExchange& X) {
  return "line " + std::to_string(X.LineNumber) + ": COM" + std::to_string(X.Port) +
         (X.Remark.empty() ? std::string() : " " + X.Remark);
}

// Verdicts of a line that had no device for the exchange: none, lost under
// it, another program's, not this user's, another device behind its path.
bool NoDevice(const std::string& Verdict) {
  for (const int32_t code : {serial::kSerialNoDevice, serial::kSerialDeviceLost, serial::kSerialInUse,
                             serial::kSerialNoAccess, serial::kSerialOtherDevice})
    if (Verdict == record::VerdictWord(code)) return true;
  return false;
}

// One port's exchanges, in the recording's order, on a thread of its own:
// the ports of a recording ran side by side, and so do their replays.
ReplayCheckResult CheckPort(TQX25& Driver, serial::SerialDispatcher& Dispatcher,
                            const std::vector<record::RecordedExchange>& Exchanges) {
  ReplayCheckResult result;
  for (const record::RecordedExchange& x : Exchanges) {
    if (x.Port < 1 || x.Port > kMaxPort) {
      result.Skipped.push_back(Where(x) + ": the driver runs ports 1..30 only");
      continue;
    }
    const auto data = DecodeRequestFrame(x.Request.data(), x.Request.size());
    const auto request = data ? ParseRequest(*data) : std::nullopt;
    if (!request || request->Kind == nullptr || data->size() > kMaxRequestLength) {
      result.Skipped.push_back(Where(x) + ": not a request this driver sends");
      continue;
    }
    ++result.Checked;
    // The line had no device then: the replay's has one, and nothing it
    // could send would say more.
    if (NoDevice(x.Verdict)) continue;
    uint8_t buffer[kFrameBufferSize] = {};
    std::copy(data->begin(), data->end(), buffer);
    const auto port = static_cast<uint8_t>(x.Port);
    const TRequestKind kind = AsSent(*request);
    const int32_t code = Driver.Exchange(port, buffer, static_cast<uint8_t>(data->size()),
                                         kind.ReplyLength, kind.ReplyMode);
    const uint8_t* reply = code == 0 ? buffer : nullptr;
    const bool wantsReply = kind.ReplyLength > 0;
    const std::string now =
        Summary(record::VerdictWord(code),
                record::OutcomeWord(code, {reply, reply ? size_t{1} : 0}, wantsReply),
                wantsReply ? Dispatcher.LastReplyResult(port) : -1);
    const std::string then = Summary(x.Verdict, x.Outcome, x.Code);
    if (now != then) result.Differences.push_back({x.LineNumber, x.Port, x.Remark, then, now});
  }
  return result;
}

}  // namespace

ReplayCheckResult CheckReplay(const record::Recording& From, int Port, const SessionOptions& Choice) {
  std::vector<int> ports = From.Ports();
  if (Port != 0) {
    if (std::find(ports.begin(), ports.end(), Port) == ports.end())
      throw BadArguments("the recording holds no exchange of COM" + std::to_string(Port));
    ports = {Port};
  }
  std::vector<std::unique_ptr<sim::ReplayScript>> scripts;
  std::vector<std::unique_ptr<sim::Endpoint>> lines;
  serial::SerialDispatcher dispatcher;
  // The limits the recording was made with decide what times out again.
  serial::SerialTimeouts limits = dispatcher.Timeouts();
  if (From.Header.FirstByteMs > 0) limits.FirstByte = std::chrono::milliseconds(From.Header.FirstByteMs);
  if (From.Header.BetweenMs > 0) limits.Between = std::chrono::milliseconds(From.Header.BetweenMs);
  if (Choice.TimeoutMs > 0) limits.FirstByte = std::chrono::milliseconds(Choice.TimeoutMs);
  dispatcher.SetTimeouts(limits);
  try {
    for (const int port : ports) {
      auto& script = scripts.emplace_back(std::make_unique<sim::ReplayScript>(
          sim::ExchangesOf(From, port), PortDispatcher::kProtocolBaud, sim::ReplayPace::Prompt));
      auto& line = lines.emplace_back(std::make_unique<sim::Endpoint>(
          [s = script.get()](const sim::Bytes& Frame) { return s->Answer(Frame); }));
      dispatcher.SetDevicePath(static_cast<uint8_t>(port), line->OpenPseudoTerminal());
      line->Start();
    }
  } catch (const std::system_error& e) {
    throw LineFailure(std::string("the replay could not be started: ") + e.what());
  }

  DriverPtr driver(GetQX25(0, 0, &dispatcher));
  std::vector<ReplayCheckResult> byPort(ports.size());
  {
    std::vector<std::jthread> runs;
    for (size_t k = 0; k < ports.size(); ++k)
      runs.emplace_back([&, k] {
        byPort[k] = CheckPort(*driver, dispatcher, sim::ExchangesOf(From, ports[k]));
      });
  }
  ReplayCheckResult result;
  for (ReplayCheckResult& one : byPort) {
    result.Checked += one.Checked;
    std::move(one.Differences.begin(), one.Differences.end(), std::back_inserter(result.Differences));
    std::move(one.Skipped.begin(), one.Skipped.end(), std::back_inserter(result.Skipped));
  }
  // In the recording's order, as one run through it would list them.
  std::sort(result.Differences.begin(), result.Differences.end(),
            [](const ReplayDifference& A, const ReplayDifference& B) { return A.Line < B.Line; });
  driver.reset();
  for (size_t k = 0; k < lines.size(); ++k) {
    lines[k]->Stop();
    result.Unmatched += scripts[k]->Unmatched();
  }
  return result;
}

void AddReplayCheckCommand(CLI::App& App, Context& Ctx) {
  auto* sub = App.add_subcommand(
      "replay-check",
      "Send the requests of a recording (--record) again, through this driver, to a replay of "
      "it, and list every exchange whose outcome differs from the recorded one. Exit status 0 "
      "when none differs, 1 when some do, 2 when none could be checked");
  auto a = std::make_shared<ReplayCheckArgs>();
  sub->add_option("FILE", a->File, "A recording made with --record")
      ->required()
      ->check(CLI::ExistingFile);
  sub->add_option("--record-port", a->Port, "Check only this port's exchanges")
      ->transform(WholeNumber(1, kMaxPort));
  sub->fallthrough();
  sub->callback([a, &Ctx] {
    Ctx.Action = [a, &Ctx] {
      const SessionOptions& choice = Ctx.Line;
      try {
        const record::Recording recording = record::ReadRecordingFile(a->File);
        for (const std::string& w : recording.Warnings) std::cerr << "qx25ctl: " << w << "\n";
        const ReplayCheckResult r = CheckReplay(recording, a->Port, choice);
        // Nothing checked is no agreement: a script must not read it as one.
        if (r.Checked == 0)
          return ReportError(choice, kExitBadArguments, "arguments",
                             a->File + ": no exchange could be checked" +
                                 (r.Skipped.empty() ? std::string(": the recording holds none")
                                                    : "; the first: " + r.Skipped.front()));
        Node result = Node::Object();
        Node differences = Node::Array();
        for (const ReplayDifference& d : r.Differences) {
          Node item = Node::Object();
          item.Add("line", Node::Integer(static_cast<int64_t>(d.Line)));
          item.Add("port", Node::Integer(d.Port));
          item.Add("request", Node::Text(d.Request));
          item.Add("recorded", Node::Text(d.Recorded));
          item.Add("replayed", Node::Text(d.Replayed));
          differences.Push(std::move(item));
        }
        Node skipped = Node::Array();
        for (const std::string& s : r.Skipped) skipped.Push(Node::Text(s));
        result.Add("checked", Node::Integer(static_cast<int64_t>(r.Checked)));
        result.Add("differing", std::move(differences));
        result.Add("skipped", std::move(skipped));
        result.Add("unmatched", Node::Integer(static_cast<int64_t>(r.Unmatched)));
        return PrintResult(choice, result, r.Differences.empty() ? kExitOk : kExitRefused);
      } catch (const record::RecordingError& e) {
        return ReportError(choice, kExitBadArguments, "arguments", e.what());
      } catch (const BadArguments& e) {
        return ReportError(choice, kExitBadArguments, "arguments", e.what());
      } catch (const LineFailure& e) {
        return ReportError(choice, kExitLine, "line", e.what());
      }
    };
  });
}

}  // namespace qx25::tools
