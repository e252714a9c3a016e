#include "Line.h"

#include <cstdio>
#include <system_error>

#include "driver/Protocol.h"

namespace qx25::tools {

namespace {

// The host frees a driver it made; TQX25 has no virtual destructor, and this
// is exactly the type GetQX25 made.
void FreeDriver(TQX25* Driver) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdelete-non-virtual-dtor"
  delete Driver;
#pragma GCC diagnostic pop
}

sim::Fault FaultNamed(const std::string& Name) {
  for (const sim::Fault kind : sim::kAllFaults)
    if (Name == sim::FaultName(kind)) return kind;
  throw BadArguments("unknown simulator fault \"" + Name + "\"");
}

}  // namespace

Refused::Refused(uint8_t Code)
    : std::runtime_error(std::string("the controller refused: ") + RefusalMeaning(Code)),
      Status(Code) {}

const char* RefusalMeaning(uint8_t Status) {
  switch (Status) {
    case kRefusedStart:
      return "start refused";
    case kRefusedPrepare:
      return "preparation refused";
    case kRefusedPreset:
      return "preset refused";
    case kRefusedStop:
      return "stop refused";
    case kRefusedParam:
      return "parameter refused";
    case kRefusedNetAddress:
      return "address programming refused";
    case kRefusedCurrent:
      return "current-delivery query refused";
    default:
      return nullptr;
  }
}

Session::Session(const LineChoice& Choice, bool OpenLine)
    : PortNumber(Choice.Port ? Choice.Port : kDefaultPort) {
  const auto port = static_cast<uint8_t>(PortNumber);
  if (Choice.Simulate) {
    host::BuiltInSimulatorOptions options;
    options.FlowRate = Choice.SimFlow;
    if (!Choice.SimFault.empty()) options.Fault = FaultNamed(Choice.SimFault);
    options.Paced = !Choice.SimUnpaced;
    Sim = std::make_unique<host::BuiltInSimulator>(options);
    Lines.SetDevicePath(port, Sim->DevicePath());
  } else if (!Choice.Device.empty()) {
    Lines.SetDevicePath(port, Choice.Device);
  }
  Path = Lines.DevicePath(port);
  if (Choice.TimeoutMs > 0) {
    host::SerialTimeouts limits = Lines.Timeouts();
    limits.FirstByte = std::chrono::milliseconds(Choice.TimeoutMs);
    Lines.SetTimeouts(limits);
  }
  if (Choice.Trace) Lines.SetTrace(host::TraceToFile(stderr));

  Qx = GetQX25(0, 0, &Lines);
  if (OpenLine) {
    const int32_t result = Qx->SetupPort(PortNumber);
    if (result != 0) {
      FreeDriver(Qx);
      throw LineFailure(LineName() + ": " + host::SerialErrorText(result));
    }
  }
}

Session::~Session() {
  FreeDriver(Qx);
  Lines.Close(static_cast<uint8_t>(PortNumber));
  Sim.reset();
}

std::string Session::LineName() const {
  return "COM" + std::to_string(PortNumber) + " (" + (Path.empty() ? "no device" : Path) + ")";
}

void Session::Check() {
  const uint8_t status = Qx->GetPortStatus(PortNumber);
  if (status == kLineOk) return;
  if (RefusalMeaning(status)) throw Refused(status);
  throw LineFailure(LineName() + ": " +
                    host::SerialErrorText(Lines.GetErrorCode(static_cast<uint8_t>(PortNumber))));
}

std::string Session::Describe(const std::string& Message) {
  return LineName() + ": " + Message + " (" +
         host::SerialErrorText(Lines.GetErrorCode(static_cast<uint8_t>(PortNumber))) + ")";
}

int ReportError(const LineChoice& Choice, int Status, const std::string& Kind,
                const std::string& Message, Node Details) {
  std::fprintf(stderr, "qx25ctl: %s\n", Message.c_str());
  if (Choice.Json) {
    Node error = Node::Object();
    error.Add("exit_status", Node::Integer(Status))
        .Add("kind", Node::Text(Kind))
        .Add("message", Node::Text(Message));
    for (const auto& [key, value] : Details.Fields()) error.Add(key, value);
    Print(Node::Object().Add("error", std::move(error)), true);
  }
  return Status;
}

int RunCommand(const LineChoice& Choice, const Command& Run) {
  try {
    if (Run.Validate) Run.Validate();
    if (Choice.SimTuned && !Choice.Simulate)
      throw BadArguments("the --sim-... options need --simulate");
    if (Choice.Simulate && !Choice.SimFault.empty()) FaultNamed(Choice.SimFault);
    Session session(Choice, Run.NeedsLine);
    Node result = Node::Object();
    int status = kExitOk;
    try {
      status = Run.Body(session, result);
    } catch (const ESerialIO& e) {
      throw LineFailure(session.Describe(e.what()));
    }
    Print(result, Choice.Json);
    return status;
  } catch (const Refused& e) {
    Node details = Node::Object();
    details.Add("port_status", Node::Integer(e.Status))
        .Add("meaning", Node::Text(RefusalMeaning(e.Status)));
    return ReportError(Choice, kExitRefused, "refused",
                       std::string(e.what()) + " (PortStatus " + std::to_string(e.Status) + ")",
                       std::move(details));
  } catch (const BadArguments& e) {
    return ReportError(Choice, kExitBadArguments, "arguments", e.what());
  } catch (const std::invalid_argument& e) {
    return ReportError(Choice, kExitBadArguments, "arguments", e.what());
  } catch (const std::out_of_range& e) {
    return ReportError(Choice, kExitBadArguments, "arguments", e.what());
  } catch (const FileFailure& e) {
    return ReportError(Choice, kExitFile, "file", e.what());
  } catch (const LineFailure& e) {
    return ReportError(Choice, kExitLine, "line", e.what());
  } catch (const std::system_error& e) {
    return ReportError(Choice, kExitLine, "line", e.what());
  } catch (const std::exception& e) {
    return ReportError(Choice, kExitLine, "failure", e.what());
  }
}

}  // namespace qx25::tools
