// One controller parameter at a time, the common commands, and the
// programming of a controller's network address by its ID number.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <limits>
#include <memory>

#include "Arguments.h"
#include "ParamWork.h"
#include "Toolbox.h"
#include "driver/protocol/Protocol.h"
#include "params/Encodings.h"
#include "params/TypedNumber.h"

namespace qx25::tools {

const CParameter* FindParameter(const CTRKParameters& Catalog, int Code) {
  for (int i = 0; i < Catalog.Count(); ++i) {
    const CParameter& p = Catalog.Items(i);
    if (p.Code == Code && LinkModeOf(p.Kind) == lmParameter) return &p;
  }
  return nullptr;
}

const CParameter* FindCommonCommand(const CTRKParameters& Catalog, int Code) {
  for (int i = 0; i < Catalog.Count(); ++i) {
    const CParameter& p = Catalog.Items(i);
    if (p.Code == Code && LinkModeOf(p.Kind) == lmCommon) return &p;
  }
  return nullptr;
}

Node ValueRow(const CParameter* Record, int Code, std::optional<int64_t> Raw) {
  Node row = Node::Object();
  row.Add("code", Node::Integer(Code))
      .Add("caption", Node::Text(Record ? Record->Caption : ""))
      .Add("value", Node::Text(Raw ? ValueText(Record, *Raw) : ""))
      .Add("units", Node::Text(Record ? Record->Units : ""))
      .Add("raw", Raw ? Node::Integer(*Raw) : Node());
  return row;
}

void CheckEncodable(const CParameter& Record, int64_t Raw, const std::string& Where) {
  // Past 18 digits an int64_t holds any value; the limit stays at 18.
  const int digits = std::min<int>(Record.Digits, kMaxInt64Digits);
  if (Raw < 0 || Raw > MaxDigitsValue(digits))
    throw BadArguments(Where + ": raw value " + std::to_string(Raw) + " of code " +
                       std::to_string(Record.Code) + " does not fit its " +
                       std::to_string(Record.Digits) + " digit(s)");
}

int64_t ReadValue(Session& S, int Address, int Code) {
  const int64_t value = S.Driver().ReadParam(lmParameter, S.Port(), Address, Code, 0);
  if (value >= 0) return value;
  const uint8_t status = S.Driver().GetPortStatus(S.Port());
  if (RefusalMeaning(status)) throw Refused(status);
  throw LineFailure(S.LineName() + ": the controller answered code " + std::to_string(Code) +
                    " without a value");
}

std::optional<int64_t> WriteValue(Session& S, int Address, const CParameter& Record, int64_t Raw) {
  if (!S.Driver().WriteParam(lmParameter, S.Port(), Address, Record.Code, Record.Digits, Raw)) {
    // A refusal (23) is the controller's answer, not a dead line; anything
    // else is a write that was not answered.
    const uint8_t status = S.Driver().GetPortStatus(S.Port());
    if (RefusalMeaning(status)) throw Refused(status);
    throw LineFailure(S.Describe());
  }
  S.Check();  // the calibration write notes a refusal
  if (Record.Code == kPasswordCode) return std::nullopt;
  // A read-back that fails is told as the read-back: the write was answered.
  const Operation writing = S.Doing();
  const std::string code = std::to_string(Record.Code);
  S.Doing({"reading code " + code + " back after writing it", "the acknowledged write",
           "qx25ctl read-param " + code + " --address " + std::to_string(Address)});
  const int64_t back = ReadValue(S, Address, Record.Code);
  S.Doing(writing);
  return back;
}

namespace {

// What a number of decimals is called in a note: "one decimal".
std::string DecimalsName(int Decimals) {
  static const char* const names[] = {"whole numbers", "one decimal", "two decimals",
                                      "three decimals"};
  if (Decimals >= 0 && Decimals < 4) return names[Decimals];
  return std::to_string(Decimals) + " decimals";
}

// Decimals a typed value may have beyond the parameter's: rounded away, with a note.
constexpr int kRoundedDecimals = 3;

// Raw / Divisor to the nearest integer, a tie going to the even neighbour.
int64_t RoundedQuotient(int64_t Raw, int64_t Divisor) {
  const int64_t magnitude = Raw < 0 ? -Raw : Raw;
  int64_t q = magnitude / Divisor;
  const int64_t r = magnitude % Divisor;
  if (2 * r > Divisor || (2 * r == Divisor && q % 2 != 0)) ++q;
  return Raw < 0 ? -q : q;
}

// The raw value for the text a technician types, read by the one reader as
// the catalog shows it (0,4 or 0.4 for a raw 4 with one decimal, the user's
// grouping, a value name or its number, a temperature); or, with Raw, the raw
// integer, which must keep to the catalog's limits unless Force. A number with
// a few more decimals than the parameter carries is rounded, and Note says so.
int64_t RawFromText(const CParameter& P, const std::string& Text, bool Raw, bool Force,
                    std::string& Note) {
  const std::string where = "code " + std::to_string(P.Code);
  const TNumberFormat& format = NumberFormat();
  if (Raw) {
    const params::TTypedValue typed =
        params::ReadTypedInteger(Text, 0, std::numeric_limits<int64_t>::max(), format);
    if (!typed)
      throw BadArguments(where + ": \"" + Text + "\" is not a whole number" +
                         ReaderReason(typed.Refusal));
    const std::string broken = LimitBroken(P, *typed.Raw);
    if (!broken.empty() && !Force)
      throw BadArguments(where + ": raw " + Text + " is " + broken +
                         "; give --force to send it anyway");
    return *typed.Raw;
  }
  const params::TTypedValue typed = params::ReadTyped(P, Text, format);
  if (typed) return *typed.Raw;
  if (params::IsListKind(P.Kind))
    throw BadArguments(where + ": \"" + Text + "\" is not an item of the list" +
                       ReaderReason(typed.Refusal) + "; choose a value 0.." +
                       std::to_string(P.ValueNames.size() - 1));
  if (P.Kind != pkNumber)
    throw BadArguments(where + ": \"" + Text + "\" is refused" + ReaderReason(typed.Refusal));
  // Read again with room for more decimals and wide limits: a number that is
  // out of range, or carries decimals the parameter has not, is not a typo.
  constexpr int64_t kAny = 999'999'999'999'999'999;
  const int decimals = P.Decimals + kRoundedDecimals;
  const params::TTypedValue wide = params::ReadTypedDecimal(Text, decimals, -kAny, kAny, format);
  if (!wide) throw BadArguments(where + ": \"" + Text + "\" is not a number" +
                                ReaderReason(typed.Refusal));
  const int64_t value =
      RoundedQuotient(*wide.Raw, static_cast<int64_t>(CParameter::Power10(kRoundedDecimals)));
  const std::string range = P.ValueToText(P.MinValue) + ".." + P.ValueToText(P.MaxValue) +
                            (P.Units.empty() ? "" : " " + P.Units);
  if (value < P.MinValue || value > P.MaxValue)
    throw BadArguments(where + ": " + Text + " is out of range " + range);
  Note = Text + " written as " + P.ValueToText(value) + ": " + DecimalsName(P.Decimals);
  return value;
}

struct ParamArgs {
  int Address = 1;
  int Code = 0;
  std::string Text;
  bool Raw = false;
  bool Force = false;
  CTRKParameters Catalog;
  int64_t Value = 0;
  std::string Note;  // how the value was rounded, if it was
};

// Reading or writing one code: what a failed exchange says.
Operation OnCode(const char* Verb, int Code, const char* Effect = "") {
  const std::string code = std::to_string(Code);
  return {std::string(Verb) + " code " + code, Effect, "qx25ctl read-param " + code};
}

void AddReadParam(CLI::App& App, Context& Ctx) {
  auto* sub = App.add_subcommand("read-param", "Read one controller parameter by its code");
  auto a = std::make_shared<ParamArgs>();
  sub->add_option("CODE", a->Code, "Parameter code 0..59")
      ->required()
      ->transform(WholeNumber(0, kParamCodeCount - 1));
  sub->add_flag("--raw", a->Raw, "Read a code the catalog does not describe, shown raw");
  AddAddressOption(*sub, a->Address);
  Command c;
  c.Validate = [a] {
    a->Catalog.Fill();
    if (!a->Raw && !FindParameter(a->Catalog, a->Code))
      throw BadArguments("code " + std::to_string(a->Code) +
                         " is not a parameter of the catalog; give --raw to read it anyway");
  };
  c.Body = [a](Session& S, Node& R) {
    S.Doing(OnCode("reading", a->Code));
    const int64_t value = ReadValue(S, a->Address, a->Code);
    R = ValueRow(FindParameter(a->Catalog, a->Code), a->Code, value);
    R.Add("address", Node::Integer(a->Address));
    return kExitOk;
  };
  OnRun(*sub, Ctx, std::move(c));
}

void AddWriteParam(CLI::App& App, Context& Ctx) {
  auto* sub = App.add_subcommand("write-param",
                                 "Write one controller parameter by its code, then read it back");
  auto a = std::make_shared<ParamArgs>();
  sub->add_option("CODE", a->Code, "Parameter code (one the catalog describes)")
      ->required()
      ->transform(WholeNumber(0, kParamCodeCount - 1));
  sub->add_option("VALUE", a->Text,
                  "Value as shown (50.0, or a value name's number for a list), or raw with --raw")
      ->required();
  sub->add_flag("--raw", a->Raw,
                "VALUE is the raw integer the controller stores (within the catalog's limits)");
  sub->add_flag("--force", a->Force, "With --raw: send a value outside the catalog's limits");
  AddAddressOption(*sub, a->Address);
  Command c;
  c.Validate = [a] {
    a->Catalog.Fill();
    const CParameter* p = FindParameter(a->Catalog, a->Code);
    if (!p) throw BadArguments("the catalog has no parameter with code " + std::to_string(a->Code));
    if (a->Force && !a->Raw) throw BadArguments("--force goes with --raw");
    a->Value = RawFromText(*p, a->Text, a->Raw, a->Force, a->Note);
    CheckEncodable(*p, a->Value, "VALUE");
  };
  c.Body = [a](Session& S, Node& R) {
    const CParameter& p = *FindParameter(a->Catalog, a->Code);
    S.Doing(OnCode("writing", p.Code, "the write"));
    const std::optional<int64_t> back = WriteValue(S, a->Address, p, a->Value);
    R = ValueRow(&p, p.Code, a->Value);
    R.Add("address", Node::Integer(a->Address));
    if (!a->Note.empty()) R.Add("note", Node::Text(a->Note));
    const std::string broken = LimitBroken(p, a->Value);
    if (!broken.empty()) R.Add("outside_limits", Node::Text(broken));
    if (!back) return kExitOk;
    R.Add("read_back", Node::Text(ValueText(&p, *back)));
    R.Add("taken", Node::Bool(*back == a->Value));
    if (*back == a->Value) return kExitOk;
    std::fprintf(stderr, "qx25ctl: the controller did not take code %d: wrote %s, read back %s\n",
                 p.Code, std::to_string(a->Value).c_str(), std::to_string(*back).c_str());
    return kExitRefused;
  };
  OnRun(*sub, Ctx, std::move(c));
}

void AddSetAddress(CLI::App& App, Context& Ctx) {
  auto* sub = App.add_subcommand("set-address",
                                 "Give the controller with an ID number a new network address");
  auto id = std::make_shared<int32_t>(0);
  auto address = std::make_shared<int>(1);
  auto present = std::make_shared<int>(0);
  sub->add_option("ID", *id, "The controller's ID number")
      ->required()
      ->transform(WholeNumber(0, std::numeric_limits<int32_t>::max()));
  sub->add_option("ADDRESS", *address, "New network address 1..99")
      ->required()
      ->transform(WholeNumber(kMinNetAddress, kMaxNetAddress));
  sub->add_option("--address", *present,
                  "The controller's present address, if known: checked to answer no longer")
      ->transform(WholeNumber(kMinNetAddress, kMaxNetAddress));
  Command c;
  c.Body = [id, address, present](Session& S, Node& R) {
    S.Doing({"programming the address", "the programming", "a read-param at the new address"});
    // The request carries no nozzle address: the ID number selects the controller.
    S.Driver().SetNetAddress(static_cast<uint8_t>(S.Port()), 1, *id, *address);
    S.Check();
    R.Add("id_number", Node::Integer(*id))
        .Add("new_address", Node::Integer(*address))
        .Add("programmed", Node::Bool(true));
    return CheckNewAddress(S, *present, *address, R);
  };
  OnRun(*sub, Ctx, std::move(c));
}

void AddCommon(CLI::App& App, Context& Ctx) {
  auto* sub = App.add_subcommand(
      "common", "Send a command to every dispenser of the line (no reply is expected)");
  auto command = std::make_shared<int>(0);
  auto value = std::make_shared<int>(0);
  auto raw = std::make_shared<bool>(false);
  sub->add_option("COMMAND", *command,
                  "Command number 0..9 (0 lighting, 1 show ID and address, "
                  "2 display test, 4 reset all, 5 outdoor lighting)")
      ->required()
      ->transform(WholeNumber(0, kMaxCommonDigit));
  sub->add_option("VALUE", *value, "Value 0..9")
      ->required()
      ->transform(WholeNumber(0, kMaxCommonDigit));
  auto force = std::make_shared<bool>(false);
  sub->add_flag("--raw", *raw, "Send a command number the catalog does not describe");
  sub->add_flag("--force", *force, "With --raw: send a value that names no item of the command");
  Command c;
  c.Validate = [command, value, raw, force] {
    CTRKParameters catalog;
    catalog.Fill();
    if (*force && !*raw) throw BadArguments("--force goes with --raw");
    const CParameter* p = FindCommonCommand(catalog, *command);
    if (!*raw && !p)
      throw BadArguments("command " + std::to_string(*command) +
                         " is not a common command of the catalog; give --raw to send it "
                         "anyway");
    // Every dispenser of the line takes it at once: a value the command
    // does not know goes out only on purpose.
    const std::string broken = p ? LimitBroken(*p, *value) : "";
    if (!broken.empty() && !*force)
      throw BadArguments("command " + std::to_string(*command) + ": value " +
                         std::to_string(*value) + " is " + broken +
                         "; give --raw --force to send it anyway");
  };
  c.Body = [command, value](Session& S, Node& R) {
    S.Doing({"sending the common command", ""});
    if (!S.Driver().WriteParam(lmCommon, S.Port(), 0, *command, 1, *value))
      throw LineFailure(S.Describe());
    CTRKParameters catalog;
    catalog.Fill();
    const CParameter* p = FindCommonCommand(catalog, *command);
    R.Add("command", Node::Integer(*command))
        .Add("caption", Node::Text(p ? p->Caption : ""))
        .Add("value", Node::Text(ValueText(p, *value)))
        .Add("sent", Node::Bool(true));
    return kExitOk;
  };
  OnRun(*sub, Ctx, std::move(c));
}

}  // namespace

void AddParamCommands(CLI::App& App, Context& Ctx) {
  AddReadParam(App, Ctx);
  AddWriteParam(App, Ctx);
  AddBulkCommands(App, Ctx);
  AddSetAddress(App, Ctx);
  AddCommon(App, Ctx);
  AddDiffCommand(App, Ctx);
  AddDriftCommand(App, Ctx);
  AddProvisionCommand(App, Ctx);
}

}  // namespace qx25::tools
