// Repeatable damage to the replies a simulated line sends, so tests can see
// how a host copes with a bad line. Faults are chosen on demand (queued for
// the next replies) or at a rate from a seeded generator; the same seed and
// the same requests give the same faults and the same damaged bytes.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "sim/Controller.h"

namespace qx25::sim {

enum class Fault : uint8_t {
  None,
  Noise,     // 1 to 4 bytes that are no reply's lead byte, before the reply
  FlipBit,   // one bit of one byte inverted
  DropByte,  // one byte left out
  Silence,   // no reply at all
  Refuse,    // CAN instead of the reply: the controller refuses and changes nothing
  CutShort,  // the reply stops early (nothing is left of a one-byte reply)
};

inline constexpr Fault kAllFaults[] = {Fault::Noise,   Fault::FlipBit, Fault::DropByte,
                                       Fault::Silence, Fault::Refuse,  Fault::CutShort};

// "noise", "flip-bit", "drop-byte", "silence", "refuse", "cut-short", "none".
const char* FaultName(Fault Kind);

// True when a host's reply check would accept Bytes, or any start of them as
// they arrive one by one.
bool AnyPrefixAccepted(const Bytes& Reply);

class FaultInjector {
 public:
  // Queues Kind (not None) for the next reply; queued faults go in order, one
  // a reply, before any drawn at the rate.
  void Inject(Fault Kind);
  // Damages a share Rate (0..1) of the replies, with a kind drawn from Kinds
  // (all six when empty), from a generator started at Seed. Rate 0 stops it.
  // Throws std::invalid_argument for a rate outside 0..1 or a kind None.
  void SetRate(double Rate, uint64_t Seed, const std::vector<Fault>& Kinds = {});
  // Restarts the generator that also picks which byte or bit a fault hits.
  void Reseed(uint64_t Seed);
  // Drops queued faults and stops the rate.
  void Clear();
  size_t Queued() const { return Pending.size(); }

  // The fault for the next reply: the oldest queued one, else one drawn at
  // the rate, else None.
  Fault Next();
  // The bytes that go on the line when Kind hits Reply (which is not empty).
  // Noise leaves a reply that is still accepted; FlipBit, DropByte and
  // CutShort always leave one that a host must reject (a damage that would
  // happen to form another valid reply is never chosen); Refuse gives CAN;
  // Silence nothing.
  Bytes Damage(Fault Kind, const Bytes& Reply);

 private:
  uint64_t Draw();

  std::deque<Fault> Pending;
  double Share = 0;
  std::vector<Fault> DrawnKinds;
  uint64_t Generator = 0;
};

}  // namespace qx25::sim
