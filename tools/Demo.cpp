// qx25ctl demo: the typical delivery, run the way a host runs it, through
// libqx25 and the serial dispatcher against the built-in simulator on a
// pseudo-terminal: price, preset, start, polling with a live line of volume
// and money until the closing poll has read the result and reset the nozzle,
// then the final volume and money and the totalizer before and after.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <thread>

#include "Arguments.h"
#include "Commands.h"
#include "Stop.h"
#include "driver/HostContract.h"

namespace qx25::tools {

namespace {

using Clock = std::chrono::steady_clock;

// How often the host asks while the fuel flows.
constexpr auto kPollInterval = std::chrono::milliseconds(100);
// Time allowed beyond the delivery's own before the demo gives up.
constexpr auto kGrace = std::chrono::seconds(15);
constexpr int kNozzle = 1;
constexpr int kSide = 1;

struct DemoArgs {
  double Volume = 25;
  double Price = 52.30;
};

std::string Fixed(double Value, int Decimals) {
  return UserDecimal(Node::Number(Value, Decimals).Scalar());
}

std::string Padded(const std::string& Text, size_t Width) {
  return std::string(Text.size() < Width ? Width - Text.size() : 0, ' ') + Text;
}

class Steps {
 public:
  explicit Steps(bool Quiet) : Silent(Quiet) {}
  void Say(const std::string& Operation, const std::string& What) const {
    if (Silent) return;
    std::printf("%-18s %s\n", Operation.c_str(), What.c_str());
    std::fflush(stdout);
  }

 private:
  bool Silent;
};

int RunDelivery(Session& S, Node& R, const DemoArgs& A, double Flow, bool Json) {
  TQX25& d = S.Driver();
  const int port = S.Port();
  const Steps say(Json);
  say.Say("line", S.LineName() + ", simulated controllers at addresses 1 to 4");
  say.Say("SetupPort", "line settings applied (8N1, 4800 baud)");

  const double before = ReadTotal(S, {kNozzle, kSide});
  say.Say("GetTotalCounter", Fixed(before, 0) + " L");
  d.SetPrice(port, kNozzle, kSide, 0, 0, A.Price);
  say.Say("SetPrice", Fixed(A.Price, 2) + " per L");
  d.PresetVolume(port, kNozzle, kSide, 0, A.Volume);
  S.Check();
  say.Say("PresetVolume", Fixed(A.Volume, 0) + " L: accepted");
  d.StartPump(port, kNozzle, kSide);
  S.Check();
  say.Say("StartPump", "nozzle 1, side 1: started");

  const auto start = Clock::now();
  const auto deadline =
      start +
      std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(A.Volume / Flow)) +
      kGrace;
  LiveLine live(stdout);
  int polls = 0;
  TNozzlePoll poll{};
  for (;;) {
    poll = d.PollNozzle(port, kNozzle, 1);
    S.Check();
    ++polls;
    if (poll.State == kCodeFinished) break;
    double money = 0;
    const double volume = d.GetCurrentDelivery(port, kNozzle, money);
    S.Check();
    if (!Json)
      live.Show(Padded(Fixed(volume, 0), 6) + " L " + Padded(Fixed(money, 2), 10) + "   " +
                StateMeaning(poll.State));
    if (Clock::now() > deadline) throw std::runtime_error("the delivery did not end in time");
    if (const int stop = StopStatus()) {
      live.Finish();
      R.Add("stopped", Node::Text("before the delivery ended"));
      return stop;
    }
    PauseUnlessStopped(kPollInterval);
  }
  live.Finish();
  say.Say("PollNozzle", std::to_string(poll.State) + ": " + StateMeaning(poll.State));

  double volume = 0, money = 0;
  d.GetDeliveryResult(port, kNozzle, volume, money);
  S.Check();
  say.Say("GetDeliveryResult", Fixed(volume, 0) + " L, " + Fixed(money, 2));
  const double after = ReadTotal(S, {kNozzle, kSide});
  say.Say("GetTotalCounter", Fixed(after, 0) + " L");
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

  R.Add("price", Price(A.Price))
      .Add("preset_volume", Litres(A.Volume))
      .Add("volume", Litres(volume))
      .Add("money", Money(money))
      .Add("total_before", Litres(before))
      .Add("total_after", Litres(after))
      .Add("closing_state", Node::Integer(poll.State))
      .Add("polls", Node::Integer(polls))
      .Add("seconds", Node::Number(seconds, 1));
  if (volume != std::round(A.Volume))
    throw std::runtime_error("the delivery ended at " + Fixed(volume, 0) + " L, not at the preset");
  return kExitOk;
}

}  // namespace

void AddDemoCommand(CLI::App& App, Context& Ctx) {
  auto* sub = App.add_subcommand(
      "demo", "Run a whole delivery on the built-in simulator: preset, start, poll, result");
  auto a = std::make_shared<DemoArgs>();
  sub->add_option("--volume", a->Volume, "Litres to preset, 1..999")
      ->transform(DecimalNumber(1.0, 999.0))
      ->capture_default_str();
  sub->add_option("--price", a->Price, "Unit price")
      ->transform(DecimalNumber(0.01, kMaxPrice))
      ->capture_default_str();
  sub->fallthrough();
  sub->callback([&Ctx, a] {
    Ctx.Action = [&Ctx, a] {
      SessionOptions line = Ctx.Line;
      line.Simulate = true;
      Command c;
      c.Validate = [&Ctx] {
        if (!Ctx.Line.Device.empty() || Ctx.Line.Port)
          throw BadArguments(
              "demo runs on the built-in simulator only: leave out --device and --port");
      };
      c.Body = [a, line](Session& S, Node& R) {
        return RunDelivery(S, R, *a, line.SimFlow, line.Json);
      };
      return RunCommand(line, c);
    };
  });
}

}  // namespace qx25::tools
