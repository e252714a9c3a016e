#include "sim/Faults.h"

#include <iterator>
#include <stdexcept>

#include "driver/protocol/Link.h"

namespace qx25::sim {

const char* FaultName(Fault Kind) {
  switch (Kind) {
    case Fault::Noise:
      return "noise";
    case Fault::FlipBit:
      return "flip-bit";
    case Fault::DropByte:
      return "drop-byte";
    case Fault::Silence:
      return "silence";
    case Fault::Refuse:
      return "refuse";
    case Fault::CutShort:
      return "cut-short";
    case Fault::None:
      break;
  }
  return "none";
}

bool AnyPrefixAccepted(const Bytes& Reply) {
  uint8_t buffer[kFrameBufferSize];
  const size_t n = Reply.size() < kFrameBufferSize ? Reply.size() : kFrameBufferSize;
  for (size_t length = 1; length <= n; ++length) {
    for (size_t i = 0; i < length; ++i) buffer[i] = Reply[i];
    uint8_t l = static_cast<uint8_t>(length);
    if (CheckReply(buffer, l).Accepted) return true;
  }
  return false;
}

void FaultInjector::Inject(Fault Kind) {
  if (Kind == Fault::None) throw std::invalid_argument("no fault to inject");
  Pending.push_back(Kind);
}

void FaultInjector::SetRate(double Rate, uint64_t Seed, const std::vector<Fault>& Kinds) {
  if (!(Rate >= 0 && Rate <= 1)) throw std::invalid_argument("fault rate must be within 0..1");
  for (const Fault k : Kinds)
    if (k == Fault::None) throw std::invalid_argument("fault kind none cannot be drawn");
  Share = Rate;
  DrawnKinds =
      Kinds.empty() ? std::vector<Fault>(std::begin(kAllFaults), std::end(kAllFaults)) : Kinds;
  Reseed(Seed);
}

void FaultInjector::Reseed(uint64_t Seed) { Generator = Seed; }

void FaultInjector::Clear() {
  Pending.clear();
  Share = 0;
}

uint64_t FaultInjector::Draw() {
  // SplitMix64: small, and the same numbers on every platform.
  uint64_t z = (Generator += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

Fault FaultInjector::Next() {
  if (!Pending.empty()) {
    const Fault k = Pending.front();
    Pending.pop_front();
    return k;
  }
  if (Share <= 0) return Fault::None;
  // 53 random bits as a fraction in [0, 1).
  const double u = static_cast<double>(Draw() >> 11) * 0x1.0p-53;
  if (u >= Share) return Fault::None;
  return DrawnKinds[Draw() % DrawnKinds.size()];
}

Bytes FaultInjector::Damage(Fault Kind, const Bytes& Reply) {
  const size_t n = Reply.size();
  if (n == 0) return Kind == Fault::Refuse ? Bytes{kCan} : Reply;
  switch (Kind) {
    case Fault::None:
      return Reply;
    case Fault::Silence:
      return {};
    case Fault::Refuse:
      return Bytes{kCan};
    case Fault::Noise: {
      Bytes out;
      const size_t count = 1 + Draw() % 4;
      while (out.size() < count) {
        const uint8_t b = static_cast<uint8_t>(Draw());
        if (!IsLeadByte(b)) out.push_back(b);
      }
      out.insert(out.end(), Reply.begin(), Reply.end());
      return out;
    }
    case Fault::FlipBit: {
      // Try every byte and bit, from a drawn one on, for a damage the host
      // must notice.
      const size_t choices = n * 8;
      const size_t first = Draw() % choices;
      for (size_t k = 0; k < choices; ++k) {
        const size_t c = (first + k) % choices;
        Bytes out = Reply;
        out[c / 8] ^= static_cast<uint8_t>(1u << (c % 8));
        if (!IsLeadByte(out[c / 8]) && !AnyPrefixAccepted(out)) return out;
      }
      return {};
    }
    case Fault::DropByte: {
      const size_t first = Draw() % n;
      for (size_t k = 0; k < n; ++k) {
        Bytes out = Reply;
        out.erase(out.begin() + static_cast<std::ptrdiff_t>((first + k) % n));
        if (!AnyPrefixAccepted(out)) return out;
      }
      return {};
    }
    case Fault::CutShort: {
      if (n < 2) return {};
      const size_t first = Draw() % (n - 1);
      for (size_t k = 0; k < n - 1; ++k) {
        const size_t keep = 1 + (first + k) % (n - 1);
        Bytes out(Reply.begin(), Reply.begin() + static_cast<std::ptrdiff_t>(keep));
        if (!AnyPrefixAccepted(out)) return out;
      }
      return {};
    }
  }
  return Reply;
}

}  // namespace qx25::sim
