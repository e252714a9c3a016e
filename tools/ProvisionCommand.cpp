// provision: one parameter file written to many controllers, each code read
// back, a row per controller. It goes on past a controller that does not
// answer, and says for each whether it now holds the file.
#include <memory>
#include <utility>

#include "Toolbox.h"
#include "WriteRun.h"
#include "driver/HostContract.h"

namespace qx25::tools {

namespace {

// A controller's row: what the file's write came to there.
inline constexpr const char* kRowDiffers = "differs";

struct PortChoice {
  int Port;
  std::string Path;  // empty: the port's own device
};

struct ProvisionArgs {
  std::string File;
  std::string AddressText;
  std::string PortText;
  bool Force = false;
  std::vector<int> Addresses;
  std::vector<PortChoice> Ports;
  FileToWrite Loaded;
};

// "1,2" or "1=/dev/ttyUSB0,2=/dev/ttyUSB1": COM ports, each given once.
std::vector<PortChoice> ParsePortList(const std::string& Text) {
  std::vector<PortChoice> out;
  size_t at = 0;
  while (at <= Text.size()) {
    const size_t comma = std::min(Text.find(',', at), Text.size());
    const std::string item = Text.substr(at, comma - at);
    const size_t eq = item.find('=');
    const std::string number = item.substr(0, eq);
    if (number.empty() || number.size() > 2 ||
        number.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(number) < 1 || std::stoi(number) > qx25::kMaxPort)
      throw BadArguments("--ports \"" + Text + "\": \"" + item + "\" is no port 1.." +
                         std::to_string(qx25::kMaxPort) + " (give for example 1,2 or 1=/dev/ttyUSB0)");
    PortChoice p{std::stoi(number), eq == std::string::npos ? "" : item.substr(eq + 1)};
    if (eq != std::string::npos && p.Path.empty())
      throw BadArguments("--ports: " + item + " names no device");
    for (const PortChoice& seen : out)
      if (seen.Port == p.Port)
        throw BadArguments("--ports: " + std::to_string(p.Port) + " is given twice");
    out.push_back(std::move(p));
    at = comma + 1;
  }
  return out;
}

// The first row of Rows whose status is Word, as "code N: message".
std::string FirstOf(const Node& Rows, const std::string& Word) {
  for (const Node& row : Rows.Elements()) {
    std::string code, status, message;
    for (const auto& [key, value] : row.Fields()) {
      if (key == "code") code = value.Scalar();
      if (key == "status") status = value.Scalar();
      if (key == "message") message = value.Scalar();
    }
    if (status == Word) return "code " + code + ": " + message;
  }
  return {};
}

Node ControllerRow(int Port, int Address, const std::string& Word, const std::string& Message,
                   const WriteCounts& Counts) {
  Node row = Node::Object();
  row.Add("port", Node::Integer(Port))
      .Add("address", Node::Integer(Address))
      .Add("status", Node::Text(Word))
      .Add(kRowWritten, Node::Integer(Counts.Written))
      .Add(kRowRefused, Node::Integer(Counts.Refused - Counts.Differs))
      .Add(kRowDiffers, Node::Integer(Counts.Differs))
      .Add(kRowFailed, Node::Integer(Counts.Failed))
      .Add("not_tried", Node::Integer(Counts.NotTried))
      .Add("message", Node::Text(Message));
  return row;
}

}  // namespace

void AddProvisionCommand(CLI::App& App, Context& Ctx) {
  auto* sub = App.add_subcommand(
      "provision",
      "Write a parameter file to every controller named, each code read back, and show a row "
      "per controller. Exit status 0 only when every controller holds the file");
  auto a = std::make_shared<ProvisionArgs>();
  sub->add_option("FILE", a->File, "Parameter file (INI, section [Parametr], code=raw value)")
      ->required()
      ->check(CLI::ExistingFile);
  sub->add_option("--addresses", a->AddressText,
                  "Network addresses of the controllers on each port: a range 1-8, a list "
                  "1,3,5, or both")
      ->required();
  sub->add_option("--ports", a->PortText,
                  "COM ports to provision, each N (its own device) or N=PATH, e.g. "
                  "1=/dev/ttyUSB0,2=/dev/ttyUSB1 (default: the line of --port, --device or "
                  "--simulate)");
  AddForceFileFlag(*sub, a->Force);
  Command c;
  c.NeedsLine = false;  // each port is opened in its turn
  c.What.Failing = "provisioning";
  c.Validate = [a, &Ctx] {
    a->Addresses = ParseAddressList(a->AddressText);
    if (!a->PortText.empty()) {
      if (Ctx.Line.DeviceGiven || Ctx.Line.Simulate || Ctx.Line.Port != 0)
        throw BadArguments(
            "--ports names every line itself; give each port's device as N=PATH instead of "
            "--device, --port or --simulate");
      a->Ports = ParsePortList(a->PortText);
    }
    a->Loaded = LoadFileToWrite(a->File, a->Force, "nothing sent");
  };
  c.Body = [a](Session& S, Node& R) {
    std::vector<PortChoice> ports = a->Ports;
    if (ports.empty()) ports.push_back({S.Port(), ""});
    const int codes = a->Loaded.Catalog.Count() - kBulkFirst;
    const int total = static_cast<int>(ports.size() * a->Addresses.size());
    Progress progress(total * codes);
    WriteCounts tally;  // controllers by status word, Differs beside Refused
    Node rows = Node::Array();
    int done = 0;
    bool lineTrouble = false;
    for (const PortChoice& port : ports) {
      std::string unopened;
      if (StopStatus() == 0) {
        try {
          S.SwitchPort(port.Port, port.Path);
        } catch (const LineFailure& e) {
          unopened = e.what();
        }
      }
      for (const int address : a->Addresses) {
        WriteCounts counts;
        if (StopStatus() != 0) {
          ++tally.NotTried;
          rows.Push(ControllerRow(port.Port, address, kRowNotTried,
                                  StopSignalled() ? "interrupted" : "the output was closed",
                                  counts));
          done += codes;
          continue;
        }
        if (!unopened.empty()) {
          ++tally.Failed;
          lineTrouble = true;
          rows.Push(ControllerRow(port.Port, address, kRowFailed, unopened, counts));
          done += codes;
          continue;
        }
        int status = kExitOk;
        const std::string at =
            "COM" + std::to_string(port.Port) + " address " + std::to_string(address) + ": ";
        const Node written = WriteFileTo(
            S, address, a->Loaded, counts, status, [&](int Step, const CParameter& P) {
              progress.Step(done + Step, at + "code " + std::to_string(P.Code) + " " + P.Caption);
            });
        done += codes;
        std::string word = kRowWritten, message;
        if (counts.Failed > 0) {
          word = kRowFailed;
          message = FirstOf(written, kRowFailed);
          lineTrouble = true;
          ++tally.Failed;
        } else if (counts.NotTried > 0) {
          word = kRowNotTried;  // stopped part way: the rest of the file not sent
          message = std::string(StopSignalled() ? "interrupted" : "the output was closed") +
                    " after " + std::to_string(counts.Written) +
                    " code(s) written; the rest of the file was not sent";
          ++tally.NotTried;
        } else if (counts.Refused > counts.Differs) {
          word = kRowRefused;
          message = FirstOf(written, kRowRefused);
          ++tally.Refused;
        } else if (counts.Differs > 0) {
          word = kRowDiffers;
          message = FirstOf(written, kRowRefused);
          ++tally.Differs;
        } else {
          ++tally.Written;
        }
        rows.Push(ControllerRow(port.Port, address, word, message, counts));
      }
    }
    progress.Finish();
    Node summary = Node::Object();
    summary.Add(kRowWritten, Node::Integer(tally.Written))
        .Add(kRowRefused, Node::Integer(tally.Refused))
        .Add(kRowDiffers, Node::Integer(tally.Differs))
        .Add(kRowFailed, Node::Integer(tally.Failed))
        .Add("not_tried", Node::Integer(tally.NotTried));
    R.Add("file", Node::Text(a->File))
        .Add("controllers", std::move(rows))
        .Add("summary", std::move(summary));
    if (StopStatus() != 0) return StopStatus();
    if (lineTrouble) return static_cast<int>(kExitLine);
    return tally.Written == total ? static_cast<int>(kExitOk) : static_cast<int>(kExitRefused);
  };
  OnRun(*sub, Ctx, std::move(c));
}

}  // namespace qx25::tools
