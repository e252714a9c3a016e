// The host's operations on one nozzle: driver info, poll, preset, start,
// stop, the current and final delivery, and the totalizer.
#include <cmath>
#include <cstdio>
#include <memory>

#include "Arguments.h"
#include "Commands.h"
#include "HostMemory.h"
#include "driver/HostContract.h"
#include "programs/ProgramVersion.h"

namespace qx25::tools {

namespace {

Node Where(const Session& S, const NozzleArgs& A) {
  Node n = Node::Object();
  n.Add("port", Node::Integer(S.Port()))
      .Add("nozzle", Node::Integer(A.Nozzle))
      .Add("side", Node::Integer(A.Side));
  return n;
}

// A fresh driver remembers no side from an earlier start: the side given on
// the command line stands for the one the host started the delivery on, and
// the price (if any) is the one money is computed with.
void Remember(Session& S, const NozzleArgs& A, double Price) {
  HostMemory(S.Driver(), S.Port(), A.Nozzle).StartedOn(A.Side, Price);
}

// A volume as typed, without trailing zeros: "24.5".
std::string FormatLitres(double Volume) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", Volume);
  std::string s = text;
  s.erase(s.find_last_not_of('0') + 1);
  if (s.back() == '.') s.pop_back();
  return UserDecimal(s);
}

// Without a price the money is not known: 0 is what the driver computes then.
void AddPriceOption(CLI::App& Sub, double& Price, const std::string& What) {
  Sub.add_option("--price", Price, What)->transform(DecimalNumber(0, kMaxPrice, true));
}

// Money at the price given; left out without one, where it would read 0.
void AddMoney(Node& R, double Price, double Money) {
  if (Price > 0) R.Add("money", tools::Money(Money));
}

Command Doing(std::string Failing, std::string Effect = {}) {
  Command c;
  c.What.Failing = std::move(Failing);
  c.What.Effect = std::move(Effect);
  return c;
}

// The totalizer shows whole litres in eight digits.
constexpr int64_t kMaxTotal = 99999999;

// The host reads the property table by kind number alone; the driver gives
// the kinds no names, so they are named by the operation that answers them.
std::string PropertyName(int32_t Kind) { return "GetDriverProperty(" + std::to_string(Kind) + ")"; }

std::string DriverText(Session& S) { return programs::DriverInfoText(S.Driver().GetDriverInfo()); }

void AddInfo(CLI::App& App, Context& Ctx) {
  auto* sub = App.add_subcommand("info", "Show the driver's description and property table");
  Command c = Doing("reading the driver's description");
  c.NeedsLine = false;
  c.Body = [](Session& S, Node& R) {
    const std::string text = DriverText(S);
    R.Add("driver", Node::Text(text));
    Node properties = Node::Array();
    for (int32_t kind = 0; kind <= 10; ++kind) {
      int32_t value = 0;
      if (S.Driver().GetDriverProperty(kind, value))
        properties.Push(Node::Object()
                            .Add("kind", Node::Integer(kind))
                            .Add("name", Node::Text(PropertyName(kind)))
                            .Add("value", Node::Integer(value)));
    }
    R.Add("properties", std::move(properties));
    return kExitOk;
  };
  OnRun(*sub, Ctx, std::move(c));
}

void AddPoll(CLI::App& App, Context& Ctx) {
  auto* sub = App.add_subcommand("poll", "Poll the state of a nozzle's sides (PollNozzle)");
  auto a = std::make_shared<NozzleArgs>();
  auto sides = std::make_shared<int>(1);
  AddNozzleOption(*sub, a->Nozzle);
  sub->add_option("--sides", *sides, "Number of sides to poll, 1..4")
      ->transform(WholeNumber(1, kMaxSide))
      ->capture_default_str();
  Command c = Doing("polling the nozzle");
  c.Body = [a, sides](Session& S, Node& R) {
    // A fresh driver knows neither the dose nor the volume so far, and
    // without them PollNozzle would take a running delivery for ended and
    // close it (read the result, reset the nozzle). The largest dose a
    // preset can set and the volume the controller reports stand in for
    // what a host would remember.
    TQX25& d = S.Driver();
    Remember(S, {a->Nozzle, 1}, 0);
    HostMemory(d, S.Port(), a->Nozzle).PresetTo(static_cast<double>(kMaxPresetLitres));
    double money = 0;
    d.GetCurrentDelivery(S.Port(), a->Nozzle, money);
    const TNozzlePoll poll = d.PollNozzle(S.Port(), a->Nozzle, *sides);
    S.Check();
    R.Add("port", Node::Integer(S.Port())).Add("nozzle", Node::Integer(a->Nozzle));
    R.Add("state", Node::Integer(poll.State))
        .Add("meaning", Node::Text(StateMeaning(poll.State)))
        .Add("state_side", Node::Integer(poll.StateSide));
    R.Add("event", poll.EventLetter ? Node::Text(std::string(1, poll.EventLetter)) : Node());
    if (poll.State == kCodeFinished)
      R.Add("delivered_volume", Litres(d.DeliveredVolumes[S.Port()][a->Nozzle]));
    Node list = Node::Array();
    for (int side = 1; side <= *sides; ++side)
      list.Push(Node::Object()
                    .Add("side", Node::Integer(side))
                    .Add("code", Node::Integer(poll.Codes[side - 1]))
                    .Add("meaning", Node::Text(StateMeaning(poll.Codes[side - 1]))));
    R.Add("sides", std::move(list));
    return kExitOk;
  };
  OnRun(*sub, Ctx, std::move(c));
}

struct PresetArgs {
  NozzleArgs At;
  double Volume = -1;
  double Money = -1;
  double Price = 0;
};

void AddPreset(CLI::App& App, Context& Ctx) {
  auto* sub = App.add_subcommand("preset", "Preset a delivery by volume or by money");
  auto a = std::make_shared<PresetArgs>();
  AddNozzleOptions(*sub, a->At);
  auto* volume = sub->add_option("--volume", a->Volume,
                                 "Litres, above 0 to below 99999.5 (rounded to whole litres, as sent)")
                     ->transform(DecimalNumber(0, kPresetVolumeBound, true));
  auto* money = sub->add_option("--money", a->Money, "Amount of money; needs --price")
                    ->transform(DecimalNumber(0, 1e9, true));
  AddPriceOption(*sub, a->Price, "Unit price for --money");
  volume->excludes(money);
  Command c = Doing("presetting the delivery", "the preset");
  c.Validate = [a] {
    if (a->Volume < 0 && a->Money < 0) throw BadArguments("preset needs --volume or --money");
    if (a->Money >= 0 && !(a->Price > 0)) throw BadArguments("--money needs a --price above 0");
    if (a->Volume >= 0 && !PresetVolumeFits(a->Volume))
      throw BadArguments("--volume " + FormatLitres(a->Volume) +
                         " is 99999.5 litres or more, above the preset range");
    if (a->Money >= 0 && !PresetVolumeForMoney(a->Money, a->Price))
      throw BadArguments("--money at this --price is 99999.5 litres or more, above the preset range");
    // Nothing to deliver: the controller would refuse it anyway.
    if (a->Money >= 0 && std::nearbyint(a->Money / a->Price) < 1)
      throw BadArguments("--money at this --price is less than the whole litre a preset carries");
    if (a->Volume >= 0 && std::nearbyint(a->Volume) < 1)
      throw BadArguments("--volume " + FormatLitres(a->Volume) +
                         " rounds to 0 L: a preset carries whole litres, at least 1");
  };
  c.Body = [a](Session& S, Node& R) {
    TQX25& d = S.Driver();
    R = Where(S, a->At);
    if (a->Money >= 0) {
      d.SetPrice(S.Port(), a->At.Nozzle, a->At.Side, 0, 0, a->Price);
      d.PresetMoney(S.Port(), a->At.Nozzle, a->At.Side, 0, a->Money);
      S.Check();
      R.Add("money", Money(a->Money)).Add("price", Price(a->Price));
    } else {
      d.PresetVolume(S.Port(), a->At.Nozzle, a->At.Side, 0, a->Volume);
      S.Check();
    }
    // The driver keeps the figure it was given; the request carries it
    // rounded to whole litres, half to even, and that is what the
    // controller will deliver.
    const double asked = HostMemory(d, S.Port(), a->At.Nozzle).Preset();
    const double sent = std::nearbyint(asked);
    R.Add("preset_volume", Litres(sent));
    if (sent != asked) {
      const std::string note = FormatLitres(asked) + " L sent as " + FormatLitres(sent) +
                               " L: the preset carries whole litres";
      R.Add("asked_volume", Litres(asked, 2)).Add("note", Node::Text(note));
    }
    return kExitOk;
  };
  OnRun(*sub, Ctx, std::move(c));
}

void AddStart(CLI::App& App, Context& Ctx) {
  auto* sub = App.add_subcommand("start", "Start the preset delivery (StartPump)");
  auto a = std::make_shared<NozzleArgs>();
  AddNozzleOptions(*sub, *a);
  Command c = Doing("starting the delivery", "the start");
  c.Body = [a](Session& S, Node& R) {
    S.Driver().StartPump(S.Port(), a->Nozzle, a->Side);
    S.Check();
    R = Where(S, *a).Add("started", Node::Bool(true));
    return kExitOk;
  };
  OnRun(*sub, Ctx, std::move(c));

  auto* reset = App.add_subcommand(
      "start-reset", "Reset the nozzle, prepare ('U') and start (StartPumpWithReset)");
  auto r = std::make_shared<NozzleArgs>();
  auto skip = std::make_shared<bool>(false);
  AddNozzleOptions(*reset, *r);
  reset->add_flag("--skip-reset", *skip, "Send only the start request");
  Command cr = Doing("resetting and starting the delivery", "the start");
  cr.Body = [r, skip](Session& S, Node& R) {
    Remember(S, *r, 0);
    S.Driver().StartPumpWithReset(S.Port(), r->Nozzle, r->Side, *skip ? 1 : 0);
    S.Check();
    R = Where(S, *r).Add("started", Node::Bool(true));
    return kExitOk;
  };
  OnRun(*reset, Ctx, std::move(cr));
}

void AddStop(CLI::App& App, Context& Ctx) {
  auto* sub = App.add_subcommand("stop", "Stop a running delivery (StopPump)");
  auto a = std::make_shared<NozzleArgs>();
  auto reset = std::make_shared<bool>(false);
  AddNozzleOptions(*sub, *a);
  sub->add_flag("--reset", *reset, "Reset the nozzle after the stop ('8')");
  Command c = Doing("stopping the delivery", "the stop");
  c.Body = [a, reset](Session& S, Node& R) {
    S.Driver().StopPump(S.Port(), a->Nozzle, a->Side, 1);
    S.Check();
    R = Where(S, *a).Add("stopped", Node::Bool(true));
    if (*reset) {
      // Checked on its own: a reset after the stop would hide a refused stop.
      S.Doing({"resetting the nozzle", "the reset"});
      if (S.Driver().ResetNozzle(S.Port(), a->Nozzle, a->Side) != 0)
        throw LineFailure(S.Describe());
      R.Add("reset", Node::Bool(true));
    }
    return kExitOk;
  };
  OnRun(*sub, Ctx, std::move(c));
}

struct DeliveryArgs {
  NozzleArgs At;
  double Price = 0;
};

void AddDeliveryQueries(CLI::App& App, Context& Ctx) {
  auto* current =
      App.add_subcommand("current", "Read the volume and money of the running delivery");
  auto a = std::make_shared<DeliveryArgs>();
  AddNozzleOptions(*current, a->At);
  AddPriceOption(*current, a->Price, "Unit price the money is computed with");
  Command cc = Doing("reading the running delivery");
  cc.Body = [a](Session& S, Node& R) {
    Remember(S, a->At, a->Price);
    double money = 0;
    const double volume = S.Driver().GetCurrentDelivery(S.Port(), a->At.Nozzle, money);
    S.Check();
    R = Where(S, a->At);
    R.Add("volume", Litres(volume));
    AddMoney(R, a->Price, money);
    return kExitOk;
  };
  OnRun(*current, Ctx, std::move(cc));

  auto* result =
      App.add_subcommand("result", "Read the final volume and money (GetDeliveryResult)");
  auto b = std::make_shared<DeliveryArgs>();
  AddNozzleOptions(*result, b->At);
  AddPriceOption(*result, b->Price, "Unit price the money is computed with");
  Command cd = Doing("reading the delivery's result");
  cd.Body = [b](Session& S, Node& R) {
    Remember(S, b->At, b->Price);
    double volume = 0, money = 0;
    S.Driver().GetDeliveryResult(S.Port(), b->At.Nozzle, volume, money);
    S.Check();
    R = Where(S, b->At);
    R.Add("volume", Litres(volume));
    AddMoney(R, b->Price, money);
    return kExitOk;
  };
  OnRun(*result, Ctx, std::move(cd));
}

void AddTotal(CLI::App& App, Context& Ctx) {
  auto* sub = App.add_subcommand("total", "Read the totalizer (GetTotalCounter)");
  auto a = std::make_shared<NozzleArgs>();
  AddNozzleOptions(*sub, *a);
  Command c = Doing("reading the totalizer");
  c.Body = [a](Session& S, Node& R) {
    const double total = ReadTotal(S, *a);
    R = Where(S, *a).Add("total", Litres(total));
    return kExitOk;
  };
  OnRun(*sub, Ctx, std::move(c));

  auto* set = App.add_subcommand("set-total", "Set the totalizer (SetTotalCounter), then read it");
  auto b = std::make_shared<NozzleArgs>();
  auto value = std::make_shared<int64_t>(0);
  set->add_option("VALUE", *value,
                  "New counter value in whole litres, as total shows it, 0..99999999")
      ->required()
      ->transform(WholeNumber(0, kMaxTotal));
  AddNozzleOptions(*set, *b);
  Command cs = Doing("setting the totalizer", "the setting");
  cs.What.CheckWith = "total";
  cs.Body = [b, value](Session& S, Node& R) {
    // SetTotalCounter sends a hundred times the figure it is given, and the
    // controller's counter then reads those eight digits: the figure is the
    // counter as read, divided by that scale.
    double figure = static_cast<double>(*value) / kCounterScale;
    S.Driver().SetTotalCounter(S.Port(), b->Nozzle, b->Side, figure, 0, 0, 0);
    S.Check();
    S.Doing({"reading the totalizer back", "the setting", "total"});
    const double back = ReadTotal(S, *b);
    R = Where(S, *b);
    R.Add("written", Litres(static_cast<double>(*value))).Add("read_back", Litres(back));
    if (back == static_cast<double>(*value)) return kExitOk;
    std::fprintf(stderr,
                 "qx25ctl: the counter reads %.0f L, not the %lld L written; set it again, or "
                 "check the controller with qx25ctl total\n",
                 back, static_cast<long long>(*value));
    return kExitRefused;
  };
  OnRun(*set, Ctx, std::move(cs));
}

}  // namespace

double ReadTotal(Session& S, const NozzleArgs& A) {
  double total = 0;
  uint64_t second = 0;
  S.Driver().GetTotalCounter(S.Port(), A.Nozzle, A.Side, total, second, 0, 0);
  S.Check();
  return total;
}

std::string StateMeaning(uint16_t Code) {
  const int side = Code & 0x07;
  const std::string onSide = " on side " + std::to_string(side);
  if (Code == 0) return "not polled";
  if (Code == kCodeNoState) return "no state: the side did not answer";
  if (Code == kCodeIdle) return "idle";
  if (Code == kCodeAuthorised) return "authorised";
  if (Code == kCodeFinished) return "delivery ended: result read, nozzle reset";
  if (Code > kCodeDelivering && Code <= kCodeDelivering + kMaxSide) return "delivering" + onSide;
  if (Code > kCodeFinished && Code <= kCodeFinished + kMaxSide) return "stopped" + onSide;
  if (Code > kCodeNozzleLifted && Code <= kCodeNozzleLifted + kMaxSide)
    return "nozzle lifted" + onSide;
  return "controller state " + std::to_string(Code);
}

void AddNozzleOption(CLI::App& Sub, int& Nozzle) {
  Sub.add_option("--nozzle", Nozzle, "Nozzle 1..32")
      ->transform(WholeNumber(1, kMaxNozzle))
      ->capture_default_str();
}

void AddNozzleOptions(CLI::App& Sub, NozzleArgs& Args) {
  AddNozzleOption(Sub, Args.Nozzle);
  Sub.add_option("--side", Args.Side, "Side 1..4")
      ->transform(WholeNumber(1, kMaxSide))
      ->capture_default_str();
}

void AddAddressOption(CLI::App& Sub, int& Address) {
  Sub.add_option("--address", Address, "Network address of the controller, 1..99")
      ->transform(WholeNumber(kMinNetAddress, kMaxNetAddress))
      ->capture_default_str();
}

std::string VersionText() { return programs::VersionText("qx25ctl", &GetQX25); }

void OnRun(CLI::App& Sub, Context& Ctx, Command Run) {
  Sub.fallthrough();
  Sub.callback([&Ctx, Run] { Ctx.Action = [&Ctx, Run] { return RunCommand(Ctx.Line, Run); }; });
}

void OnRun(CLI::App& Sub, Context& Ctx, CommandBody Body) {
  Command run;
  run.Body = std::move(Body);
  OnRun(Sub, Ctx, std::move(run));
}

void AddPumpCommands(CLI::App& App, Context& Ctx) {
  AddInfo(App, Ctx);
  AddPoll(App, Ctx);
  AddPreset(App, Ctx);
  AddStart(App, Ctx);
  AddStop(App, Ctx);
  AddDeliveryQueries(App, Ctx);
  AddTotal(App, Ctx);
}

}  // namespace qx25::tools
