#include "StationWork.h"

#include <cmath>

#include "driver/HostContract.h"

namespace qx25::bench {

namespace {

// Merged states of one side that the host acts on.
constexpr uint8_t kStateIdle = 192;
constexpr uint8_t kStateNotCounted = 200;      // delivering, no volume reported yet
constexpr uint8_t kStateDelivering = 208 + 1;  // side 1
constexpr uint8_t kStateClosed = 216;          // the poll read the result and reset
constexpr int kSide = 1;
constexpr int kOneSide = 1;  // sides a poll asks for

std::string Say(int Port, int Nozzle, const std::string& What) {
  return "COM" + std::to_string(Port) + " nozzle " + std::to_string(Nozzle) + ": " + What;
}

}  // namespace

StationLine::StationLine(int PortNumber, const StationWorkOptions& Work)
    : Port(PortNumber), Options(Work) {
  // Nozzles start their deliveries at different turns, so that the line
  // always carries a mix of idle polls and deliveries.
  for (int n = 1; n <= Options.Nozzles; ++n) Nozzles.push_back({n, Phase::Idle, n - 1});
}

std::string StationLine::Round(TQX25& Driver) {
  for (Nozzle& n : Nozzles) {
    try {
      std::string wrong = Step(Driver, n);
      if (!wrong.empty()) return Say(Port, n.Number, wrong);
    } catch (const ESerialIO&) {
      ++Failed;
    }
  }
  return "";
}

std::string StationLine::Step(TQX25& D, Nozzle& N) {
  const TNozzlePoll poll = D.PollNozzle(Port, N.Number, kOneSide);
  if (D.GetPortStatus(Port) != kLineOk)
    return "poll status " + std::to_string(D.GetPortStatus(Port));

  if (N.Now == Phase::Idle) {
    if (poll.State != kStateIdle) return "an idle nozzle polled " + std::to_string(poll.State);
    if (N.IdleLeft-- > 0) return "";
    D.SetPrice(Port, N.Number, kSide, 0, 0, Options.Price);
    D.PresetVolume(Port, N.Number, kSide, 0, Options.Dose);
    if (D.GetPortStatus(Port) != kLineOk)
      return "preset status " + std::to_string(D.GetPortStatus(Port));
    D.StartPump(Port, N.Number, kSide);
    if (D.GetPortStatus(Port) != kLineOk)
      return "start status " + std::to_string(D.GetPortStatus(Port));
    N.Now = Phase::Delivering;
    return "";
  }

  if (poll.State == kStateClosed) {
    double volume = 0, money = 0;
    D.GetDeliveryResult(Port, N.Number, volume, money);
    if (D.GetPortStatus(Port) != kLineOk)
      return "result status " + std::to_string(D.GetPortStatus(Port));
    if (volume != Options.Dose || std::abs(money - volume * Options.Price) > 0.006)
      return "the result is " + std::to_string(volume) + " L, " + std::to_string(money);
    ++Completed;
    N.Now = Phase::Idle;
    N.IdleLeft = Options.IdlePolls;
    return "";
  }
  if (poll.State != kStateNotCounted && poll.State != kStateDelivering)
    return "a delivering nozzle polled " + std::to_string(poll.State);
  double money = 0;
  const double volume = D.GetCurrentDelivery(Port, N.Number, money);
  if (D.GetPortStatus(Port) != kLineOk)
    return "current status " + std::to_string(D.GetPortStatus(Port));
  if (volume < 0 || volume > Options.Dose) return "the current volume is " + std::to_string(volume);
  return "";
}

}  // namespace qx25::bench
