#include "Session.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <system_error>
#include <thread>

#include "Stop.h"
#include "programs/LogLines.h"
#include "programs/PortStatusWords.h"
#include "driver/HostContract.h"
#include "sim/CatalogValues.h"
#include "programs/ProgramVersion.h"

namespace qx25::tools {

namespace {

// Reply times in the JSON output: a tenth of a millisecond says enough.
constexpr int kStatsDecimals = 1;

// One sink and one option serve both logs.
static_assert(int{serial::kLogError} == int{llError} && int{serial::kLogDebug} == int{llDebug} &&
              int{serial::kLogOff} == int{llOff});

// How often --retry-device looks for the device again.
constexpr std::chrono::milliseconds kDeviceRetryPause{200};

// The dispatcher classes a path that opens but is no terminal (a file,
// /dev/null) as no device; only the system's reason it keeps tells it from a
// missing one, which may yet appear.
bool NotATerminal(int32_t Result, int SystemError) {
  return Result == serial::kSerialNoDevice && SystemError == ENOTTY;
}

// What a user can do about a refusal.
std::string RefusalHint(uint8_t Status) {
  switch (Status) {
    case kRefusedStart:
      return "preset a delivery first (qx25ctl preset); qx25ctl poll shows the nozzle's state";
    case kRefusedParam:
      return "the controller does not take this code or value now";
    case kRefusedNetAddress:
      return "check the ID number, and that no other controller has that address";
    default:
      return "qx25ctl poll shows the nozzle's state";
  }
}

// "crw-rw---- root dialout": the mode, owner and group ls -l shows.
std::string Listed(const struct stat& St) {
  std::string mode = S_ISCHR(St.st_mode) ? "c" : S_ISDIR(St.st_mode) ? "d" : "-";
  const char* const letters = "rwxrwxrwx";
  for (int bit = 0; bit < 9; ++bit) mode += (St.st_mode & (0400 >> bit)) ? letters[bit] : '-';
  const passwd* owner = getpwuid(St.st_uid);
  const group* members = getgrgid(St.st_gid);
  return mode + " " + (owner ? owner->pw_name : std::to_string(St.st_uid)) + " " +
         (members ? members->gr_name : std::to_string(St.st_gid));
}

// What to do about a device this user may not open: the group that may, as
// ls -l shows the device.
std::string NoAccessHint(const std::string& Path) {
  struct stat st {};
  if (stat(Path.c_str(), &st) != 0) return kNoAccessHint;
  const group* members = getgrgid(st.st_gid);
  const std::string shown = "ls -l " + Path + " shows " + Listed(st);
  if (members == nullptr || (st.st_mode & 060) != 060)
    return shown + ": its group may not open it either; ask the administrator to give the group "
                   "access (the dialout group on Debian)";
  const std::string name = members->gr_name;
  return shown + ": join the group " + name + " (sudo usermod -aG " + name +
         " $USER), then log in again";
}

}  // namespace

Refused::Refused(uint8_t Code)
    : std::runtime_error(std::string("the controller refused: ") + RefusalMeaning(Code) +
                         " (PortStatus " + std::to_string(Code) + "); " + RefusalHint(Code)),
      Status(Code) {}

const char* RefusalMeaning(uint8_t Status) {
  const TPortStatusWords* words = FindPortStatus(Status);
  return words != nullptr && words->Class == TStatusClass::Refused ? words->English : nullptr;
}

Session::Session(const SessionOptions& Choice, bool OpenLine, serial::LineStatistics* Stats)
    : PortNumber(Choice.Port ? Choice.Port : kDefaultPort) {
  const auto port = static_cast<uint8_t>(PortNumber);
  if (Choice.Simulate) {
    sim::BuiltInSimulatorOptions options;
    options.FlowRate = Choice.SimFlow;
    if (Choice.SimFault != sim::Fault::None) options.Fault = Choice.SimFault;
    options.Paced = !Choice.SimUnpaced;
    Sim = std::make_unique<sim::BuiltInSimulator>(options);
    for (int address = sim::kSimFirstAddress; address <= sim::kSimLastAddress; ++address)
      sim::SetCatalogValues(Sim->Simulator(), address);
    Dispatcher.SetDevicePath(port, Sim->DevicePath());
  } else if (!Choice.Device.empty()) {
    Dispatcher.SetDevicePath(port, Choice.Device);
  }
  Path = Dispatcher.DevicePath(port);
  // A device that is being replugged may be missing for a while.
  const auto giveUp =
      std::chrono::steady_clock::now() + std::chrono::seconds(Choice.RetryDeviceSeconds);
  if (Choice.TimeoutMs > 0) {
    serial::SerialTimeouts limits = Dispatcher.Timeouts();
    limits.FirstByte = std::chrono::milliseconds(Choice.TimeoutMs);
    Dispatcher.SetTimeouts(limits);
  }
  Dispatcher.SetCancelFlag(&StopFlag());
  DispenserDriver.reset(GetQX25(0, 0, &Dispatcher));
  if (Choice.LogLevel != llOff) {
    Logging = SetQX25Log(Choice.LogLevel, &programs::LogToStderr, nullptr) == 0;
    Dispatcher.SetLog(Choice.LogLevel, [](int Level, const std::string& Line) {
      programs::LogToStderr(nullptr, Level, Line.c_str());
    });
  }

  serial::TraceCallback trace;
  if (Choice.Trace) trace = serial::TraceToFile(stderr);
  if (Stats != nullptr) trace = Stats->Recorder(std::move(trace));
  if (!Choice.Record.empty()) {
    record::RecordingHeader header;
    header.Program = programs::ProgramVersion("qx25ctl");
    header.Driver = programs::DriverInfoText(DispenserDriver->GetDriverInfo());
    header.Lines = {{PortNumber, Path}};
    header.FirstByteMs = static_cast<int>(Dispatcher.Timeouts().FirstByte.count());
    header.BetweenMs = static_cast<int>(Dispatcher.Timeouts().Between.count());
    try {
      Recording = record::Recorder::Open(Choice.Record, header);
    } catch (const record::RecordingError& e) {
      throw FileFailure(std::string("--record: ") + e.what());
    }
    trace = [to = Recording, next = std::move(trace)](const serial::TraceRecord& R) {
      to->Take(R);
      if (next) next(R);
    };
  }
  trace = [seen = LastReplyBytes, next = std::move(trace)](const serial::TraceRecord& R) {
    if (R.Direction == serial::TraceDirection::Reply) *seen = R.Bytes.size();
    if (R.Result == serial::kSerialCancelled) ReplyWaitCut();
    if (next) next(R);
  };
  Dispatcher.SetTrace(std::move(trace));
  if (OpenLine) {
    int32_t result = DispenserDriver->SetupPort(PortNumber);
    while (result == serial::kSerialNoDevice &&
           !NotATerminal(result, Dispatcher.LastSystemError(port)) &&
           std::chrono::steady_clock::now() < giveUp) {
      if (!PauseUnlessStopped(kDeviceRetryPause)) {
        DispenserDriver.reset();
        throw LineFailure(LineName() + ": stopped while waiting for the device to appear");
      }
      result = DispenserDriver->SetupPort(PortNumber);
    }
    if (result == serial::kSerialInUse) {
      DispenserDriver.reset();
      throw LineInUse(serial::InUseText(port, Path, Dispatcher.InUseBy(port)) + "; " + kInUseHint);
    }
    if (NotATerminal(result, Dispatcher.LastSystemError(port))) {
      DispenserDriver.reset();
      throw LineFailure(
          LineName() + ": not a serial device (" + Dispatcher.LastFailureText(port) +
          "); give a serial device, e.g. /dev/ttyUSB0, or the --link path of qx25-sim");
    }
    if (result != 0) {
      DispenserDriver.reset();
      Current.Failing = "opening the line";
      throw LineFailure(Describe(result));
    }
  }
}

Session::~Session() {
  if (Logging) SetQX25Log(llOff, nullptr, nullptr);
  DispenserDriver.reset();  // before its line closes
  Dispatcher.Close(static_cast<uint8_t>(PortNumber));
  Sim.reset();
  if (Recording) {
    Recording->Flush();
    if (!Recording->Failure().empty())
      std::fprintf(stderr, "qx25ctl: --record: %s; %s\n", Recording->Failure().c_str(), kFileHint);
  }
}

void Session::SwitchPort(int Port, const std::string& DevicePath) {
  const auto port = static_cast<uint8_t>(Port);
  if (!DevicePath.empty()) Dispatcher.SetDevicePath(port, DevicePath);
  PortNumber = Port;
  Path = Dispatcher.DevicePath(port);
  const int32_t result = DispenserDriver->SetupPort(Port);
  if (result == serial::kSerialInUse)
    throw LineInUse(serial::InUseText(port, Path, Dispatcher.InUseBy(port)));
  if (result != 0) {
    Current.Failing = "opening the line";
    throw LineFailure(Describe(result));
  }
}

std::string Session::LineName() const {
  return "COM" + std::to_string(PortNumber) + " (" + (Path.empty() ? "no device" : Path) + ")";
}

void Session::Check() {
  const uint8_t status = DispenserDriver->GetPortStatus(PortNumber);
  if (status == kLineOk) return;
  if (RefusalMeaning(status)) throw Refused(status);
  throw LineFailure(Describe());
}

std::string Session::Describe(const std::string& DriverText) {
  return Describe(Dispatcher.GetErrorCode(static_cast<uint8_t>(PortNumber)), DriverText);
}

std::string Session::Describe(int32_t Code, const std::string& DriverText) {
  std::string reason;
  std::string hint = kLineHint;
  bool mayHaveActed = !Current.Effect.empty();
  const std::string why = Dispatcher.LastFailureText(static_cast<uint8_t>(PortNumber));
  if (Code == serial::kSerialNoDevice) {
    reason = "no such device";
    hint = kNoDeviceHint;
    mayHaveActed = false;  // nothing was sent
  } else if (const auto change = Dispatcher.ChangedDevice(static_cast<uint8_t>(PortNumber));
             Code == serial::kSerialOtherDevice && change) {
    reason = "another device (" + change->Now + ", was " + change->Was + ")";
    hint = kOtherDeviceHint;
    mayHaveActed = false;  // nothing was sent to it
  } else if (Code == serial::kSerialNoAccess) {
    reason = serial::SerialErrorText(Code);
    if (!why.empty()) reason += " (" + why + ")";
    hint = NoAccessHint(Path);
    mayHaveActed = false;  // the device never opened
  } else if (Code == serial::kSerialRejected ||
             (Code == serial::kSerialTimeout && *LastReplyBytes)) {
    reason = "damaged reply";
    hint = kDamagedHint;
  } else if (Code == serial::kSerialCancelled) {
    reason = "interrupted while waiting for the reply";
    hint.clear();  // the user asked for it
  } else if (Code == serial::kSerialTimeout) {
    reason = "no answer within " + std::to_string(Dispatcher.Timeouts().FirstByte.count()) + " ms";
  } else {
    reason = serial::SerialErrorText(Code);
    // The system's words say what failed where the class alone cannot.
    if (!why.empty() && (Code == serial::kSerialLineError || Code == serial::kSerialDeviceLost))
      reason += " (" + why + ")";
  }
  std::string text = LineName() + ": ";
  if (!Current.Failing.empty()) text += Current.Failing + " failed: ";
  text += reason;
  if (mayHaveActed)
    text += ": " + Current.Effect + " may or may not have taken effect; " + Current.CheckWith +
            " to check";
  if (!DriverText.empty()) text += " (" + DriverText + ")";
  if (!mayHaveActed && !hint.empty()) text += "; " + hint;
  return text;
}

Node StatisticsNode(const std::vector<serial::PortStatistics>& Ports) {
  Node list = Node::Array();
  for (const serial::PortStatistics& p : Ports) {
    Node port = Node::Object();
    port.Add("port", Node::Integer(p.Port))
        .Add("exchanges", Node::Integer(static_cast<int64_t>(p.Exchanges)))
        .Add("accepted", Node::Integer(static_cast<int64_t>(p.Accepted)))
        .Add("timeouts", Node::Integer(static_cast<int64_t>(p.Timeouts)))
        .Add("rejected", Node::Integer(static_cast<int64_t>(p.Rejected)))
        .Add("refusals", Node::Integer(static_cast<int64_t>(p.Refusals)))
        .Add("line_errors", Node::Integer(static_cast<int64_t>(p.LineErrors)))
        .Add("device_losses", Node::Integer(static_cast<int64_t>(p.DeviceLosses)))
        .Add("median_reply_ms", Node::Number(p.MedianReplyMs, kStatsDecimals))
        .Add("worst_reply_ms", Node::Number(p.WorstReplyMs, kStatsDecimals));
    list.Push(std::move(port));
  }
  return list;
}

namespace {

// The table after the result, on stderr, so that stdout keeps only the result.
void PrintStatisticsText(const serial::LineStatistics& Stats) {
  std::fprintf(stderr, "line statistics:\n%s", serial::FormatStatistics(Stats.Snapshot()).c_str());
}

}  // namespace

std::string OutputFailureHint(int Error) {
  // A reader that went away needs no disk space.
  if (Error == EPIPE) return "the program reading the output has ended";
  return kFileHint;
}

int PrintResult(const SessionOptions& Choice, const Node& Result, int Status) {
  if (Print(Result, Choice.Json)) return Status;
  const int error = errno;
  std::fprintf(stderr, "qx25ctl: the result could not be written to stdout: %s; %s\n",
               std::strerror(error), OutputFailureHint(error).c_str());
  return kExitFile;
}

int ReportError(const SessionOptions& Choice, int Status, const std::string& Kind,
                const std::string& Message, Node Details, const serial::LineStatistics* Stats) {
  std::fprintf(stderr, "qx25ctl: %s\n", Message.c_str());
  if (Stats != nullptr && !Choice.Json) PrintStatisticsText(*Stats);
  if (Choice.Json) {
    Node error = Node::Object();
    error.Add("exit_status", Node::Integer(Status))
        .Add("kind", Node::Text(Kind))
        .Add("message", Node::Text(Message));
    for (const auto& [key, value] : Details.Fields()) error.Add(key, value);
    // An error that cannot even be printed leaves only the status to tell.
    Node out = Node::Object();
    out.Add("error", std::move(error));
    if (Stats != nullptr) out.Add("stats", StatisticsNode(Stats->Snapshot()));
    (void)Print(out, true);
  }
  return Status;
}

namespace {

// How often --wait-line looks whether the line is free.
constexpr std::chrono::milliseconds kLineWaitPause{200};

// A --device that can be no line: refused before anything is opened.
void CheckDevicePath(const std::string& Path) {
  const std::string example = "give the serial device, for example /dev/ttyUSB0";
  if (Path.empty()) throw BadArguments("--device needs a path, for example /dev/ttyUSB0");
  std::error_code ignored;
  if (std::filesystem::is_directory(Path, ignored))
    throw BadArguments("--device " + Path + " is a directory; " + example + " (ls " + Path +
                       " lists what it holds)");
  struct stat device {}, own {};
  if (stat(Path.c_str(), &device) == 0 && stat("/dev/tty", &own) == 0 &&
      S_ISCHR(device.st_mode) && device.st_rdev == own.st_rdev)
    throw BadArguments("--device " + Path +
                       " is the terminal qx25ctl runs in, not a serial line; " + example);
}

// The session, once the line is free: with --wait-line, a line another
// program holds is tried again until it is free or the wait is over.
std::unique_ptr<Session> OpenSession(const SessionOptions& Choice, bool OpenLine,
                                     serial::LineStatistics* Stats) {
  const auto giveUp =
      std::chrono::steady_clock::now() + std::chrono::seconds(Choice.WaitLineSeconds);
  for (;;) {
    try {
      return std::make_unique<Session>(Choice, OpenLine, Stats);
    } catch (const LineInUse&) {
      if (std::chrono::steady_clock::now() >= giveUp) throw;
    }
    if (!PauseUnlessStopped(kLineWaitPause))
      throw LineFailure("stopped while waiting for the line another program holds");
  }
}

}  // namespace

int RunCommand(const SessionOptions& Choice, const Command& Run) {
  // Outlives the session, so that a run that failed still shows its line.
  serial::LineStatistics statistics;
  serial::LineStatistics* const stats = Choice.Stats ? &statistics : nullptr;
  try {
    if (Choice.DeviceGiven) CheckDevicePath(Choice.Device);
    if (Run.Validate) Run.Validate();
    if (Choice.SimTuned && !Choice.Simulate)
      throw BadArguments("the --sim-... options need --simulate");
    const std::unique_ptr<Session> line = OpenSession(Choice, Run.NeedsLine, stats);
    Session& session = *line;
    session.Doing(Run.What);
    Node result = Node::Object();
    int status = kExitOk;
    try {
      status = Run.Body(session, result);
    } catch (const ESerialIO& e) {
      throw LineFailure(session.Describe(e.what()));
    }
    if (stats != nullptr && Choice.Json) result.Add("stats", StatisticsNode(stats->Snapshot()));
    status = PrintResult(Choice, result, status);
    if (stats != nullptr && !Choice.Json) PrintStatisticsText(*stats);
    // A signal's status is given once the run is over (EndStatus).
    return StopStatus() == kExitFile ? kExitFile : status;
  } catch (const Refused& e) {
    Node details = Node::Object();
    details.Add("port_status", Node::Integer(e.Status))
        .Add("meaning", Node::Text(RefusalMeaning(e.Status)));
    std::string message = e.what();
    if (Choice.Simulate && e.Status == kRefusedStart)
      message +=
          "; --simulate starts a fresh simulator on every run, so nothing is preset: run "
          "qx25-sim --link /tmp/qx25-line and give each command --device /tmp/qx25-line";
    return ReportError(Choice, kExitRefused, "refused", message, std::move(details), stats);
  } catch (const BadArguments& e) {
    // These messages say themselves what to give instead.
    return ReportError(Choice, kExitBadArguments, "arguments", e.what());
  } catch (const std::invalid_argument& e) {
    return ReportError(Choice, kExitBadArguments, "arguments",
                       std::string(e.what()) + "; " + kArgumentsHint);
  } catch (const std::out_of_range& e) {
    return ReportError(Choice, kExitBadArguments, "arguments",
                       std::string(e.what()) + "; " + kArgumentsHint);
  } catch (const FileFailure& e) {
    return ReportError(Choice, kExitFile, "file", std::string(e.what()) + "; " + kFileHint,
                       Node::Object(), stats);
  } catch (const LineFailure& e) {
    return ReportError(Choice, kExitLine, "line", e.what(), Node::Object(), stats);
  } catch (const std::system_error& e) {
    return ReportError(Choice, kExitLine, "line", e.what(), Node::Object(), stats);
  } catch (const std::exception& e) {
    return ReportError(Choice, kExitLine, "failure", e.what(), Node::Object(), stats);
  }
}

}  // namespace qx25::tools
