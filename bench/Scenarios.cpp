#include "Scenarios.h"

#include <cmath>

namespace qx25::bench {

namespace {

constexpr uint8_t kCodeIdle = 192;
constexpr uint8_t kCodeDelivering = 208 + 1;  // side 1
constexpr uint8_t kCodeClosed = 216;
constexpr double kDose = 25;
constexpr double kPrice = 52.10;
constexpr double kPollEvery = 5;  // seconds, at one litre a second

std::string StatusPoll(TQX25& D) {
  const TNozzlePoll poll = D.PollNozzle(kPort, kNozzle, 1);
  if (D.GetPortStatus(kPort) != 1) return "the poll was not answered";
  if (poll.State != kCodeIdle) return "the poll reported " + std::to_string(poll.State);
  return "";
}

std::string ReadBulkRange(TQX25& D, const CTRKParameters& Catalog) {
  for (int i = kBulkFirst; i < Catalog.Count(); ++i) {
    const CParameter& entry = Catalog.Items(i);
    const std::optional<TLinkMode> mode = LinkModeOf(entry.Kind);
    if (!mode) return "code " + std::to_string(entry.Code) + " has no link mode";
    if (D.ReadParam(*mode, kPort, kNozzle, entry.Code, entry.Digits) < 0)
      return "code " + std::to_string(entry.Code) + " was not read";
  }
  return "";
}

// Preset, start, a poll of the volume and the state every few litres, the
// closing poll (result and reset), the final result.
std::string DeliveryCycle(TQX25& D, const AdvanceFn& Advance) {
  D.SetPrice(kPort, kNozzle, 1, 0, 0, kPrice);
  D.PresetVolume(kPort, kNozzle, 1, 0, kDose);
  if (D.GetPortStatus(kPort) != 1) return "the preset was not accepted";
  D.StartPump(kPort, kNozzle, 1);
  if (D.GetPortStatus(kPort) != 1) return "the start was not accepted";
  double money = 0;
  for (double litres = kPollEvery; litres < kDose; litres += kPollEvery) {
    Advance(kPollEvery);
    if (D.GetCurrentDelivery(kPort, kNozzle, money) != litres)
      return "the current volume is not " + std::to_string(litres);
    const uint8_t state = D.PollNozzle(kPort, kNozzle, 1).State;
    if (state != kCodeDelivering) return "a poll while delivering gave " + std::to_string(state);
  }
  Advance(kPollEvery);
  const uint8_t closing = D.PollNozzle(kPort, kNozzle, 1).State;
  if (closing != kCodeClosed) return "the closing poll gave " + std::to_string(closing);
  double volume = 0;
  D.GetDeliveryResult(kPort, kNozzle, volume, money);
  if (volume != kDose || std::abs(money - kDose * kPrice) > 0.005)
    return "the result is " + std::to_string(volume) + " l, " + std::to_string(money);
  return "";
}

}  // namespace

void PrepareSimulator(sim::Simulator& Sim) {
  Sim.AddController(1);
  // Every code holds its largest value, so every digit is on the line.
  for (int code = 0; code < kParamCodeCount; ++code)
    Sim.SetParam(1, code, MaxDigitsValue(ParamDigits[static_cast<size_t>(code)]));
}

std::vector<Scenario> Scenarios(const CTRKParameters& Catalog) {
  return {
      {"status poll", "status_poll", [](TQX25& D, const AdvanceFn&) { return StatusPoll(D); }},
      {"parameter read, bulk range", "bulk_read",
       [&Catalog](TQX25& D, const AdvanceFn&) { return ReadBulkRange(D, Catalog); }},
      {"delivery cycle", "delivery_cycle",
       [](TQX25& D, const AdvanceFn& Advance) { return DeliveryCycle(D, Advance); }},
  };
}

}  // namespace qx25::bench
