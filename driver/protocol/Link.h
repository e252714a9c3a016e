// The frame codec: pure functions over bytes, shared by the driver, the
// simulator and the tests. It knows frames, not commands or ports.
//
// A request frame for data d[0..n-1] is 0x7F, d[0], then each further byte
// followed by its complement (XOR 0x7F), then 0x03, 0x03 and a checksum that
// XORs 0x03 with d[1..n-1] and sets bit 6. A reply frame for data e[0..m-1] is
// 0x02, each byte followed by its complement, 0x03, 0x03 and a checksum that
// XORs e[0..m-1] with the first 0x03 and sets bit 6; or a single ACK, NAK or
// CAN byte.
#pragma once

#include <cstdint>
#include <vector>

#include "Protocol.h"

namespace qx25 {

struct TAddressBytes {
  uint8_t Group;
  uint8_t Address;
};

// Group byte and address character of network address n. Addresses 1..15
// share group 2; above that each group of 15 has its own group byte.
constexpr TAddressBytes MapNetworkAddress(int64_t n) {
  if (n < 16) return {0x02, static_cast<uint8_t>(0x20 + n)};
  return {static_cast<uint8_t>((n - 1) / 15 + 6), static_cast<uint8_t>(0x20 + n % 15)};
}

// The network address of a nozzle's side: Stride x (Side - 1) + Nozzle, with
// side 0 counted as side 1. Computed in 64 bits so that no argument overflows.
constexpr TAddressBytes MapNozzleAddress(int32_t Nozzle, int32_t Side, uint8_t Stride) {
  const int64_t side = Side == 0 ? 1 : Side;
  return MapNetworkAddress(int64_t{Stride} * (side - 1) + Nozzle);
}

constexpr uint8_t FrameChecksum(uint8_t Sum, uint8_t Byte) { return Sum ^ Byte; }
constexpr uint8_t ChecksumByte(uint8_t Sum) { return Sum | kChecksumMark; }

// Frames Data[0..Count-1] into Frame (room for 2 x Count + 3 bytes, at most
// 255) and returns the frame length. Count must be 1..126; a longer request
// is cut there rather than written past the frame.
inline uint8_t EncodeFrame(const uint8_t* Data, uint8_t Count, uint8_t* Frame) {
  if (Count > kMaxRequestLength) Count = kMaxRequestLength;
  uint8_t sum = kRequestChecksumStart;
  int p = 0;
  Frame[p++] = kFrameStart;
  Frame[p++] = Data[0];
  for (int k = 1; k < Count; ++k) {
    Frame[p++] = Data[k];
    Frame[p++] = Data[k] ^ kComplementMask;
    sum = FrameChecksum(sum, Data[k]);
  }
  Frame[p++] = kEtx;
  Frame[p++] = kEtx;
  Frame[p++] = ChecksumByte(sum);
  return static_cast<uint8_t>(p);
}

// Builds the reply frame for Data[0..Count-1] into Out (room for 2 x Count + 4
// bytes); returns its length. Count must be at most 125; more is cut there.
inline uint8_t EncodeReply(const uint8_t* Data, uint8_t Count, uint8_t* Out) {
  if (Count > kMaxReplyData) Count = kMaxReplyData;
  uint8_t sum = kReplyChecksumStart;
  int p = 0;
  Out[p++] = kStx;
  for (int k = 0; k < Count; ++k) {
    Out[p++] = Data[k];
    Out[p++] = Data[k] ^ kComplementMask;
    sum = FrameChecksum(sum, Data[k]);
  }
  Out[p++] = kEtx;
  Out[p++] = kEtx;
  Out[p++] = ChecksumByte(FrameChecksum(sum, kEtx));
  return static_cast<uint8_t>(p);
}

// The two frames as byte vectors, for code that builds frames rather than
// sends them: the simulator, the fuzz seeds and the tests. No request data
// makes no frame.
inline std::vector<uint8_t> RequestFrame(const std::vector<uint8_t>& Data) {
  if (Data.empty()) return {};
  uint8_t out[kFrameBufferSize];
  return {out, out + EncodeFrame(Data.data(), static_cast<uint8_t>(Data.size()), out)};
}
inline std::vector<uint8_t> ReplyFrame(const std::vector<uint8_t>& Data) {
  uint8_t out[kFrameBufferSize];
  return {out, out + EncodeReply(Data.data(), static_cast<uint8_t>(Data.size()), out)};
}

constexpr bool IsLeadByte(uint8_t b) { return b == kStx || b == kAck || b == kNak || b == kCan; }

// The verdict on the bytes received so far. State is reported only when
// HasState; the code always.
struct TReplyVerdict {
  bool Accepted;
  bool HasState;
  uint8_t State;
  uint8_t Code;
};

// Checks a reply in place: drops the bytes before the first lead byte
// (shortening Length), then checks in a fixed order and returns the first
// failure. Reads and writes only Buffer[0..Length-1].
inline TReplyVerdict CheckReply(uint8_t* Buffer, uint8_t& Length) {
  int skip = 0;
  while (skip < Length && !IsLeadByte(Buffer[skip])) ++skip;
  if (skip > 0) {
    for (int i = skip; i < Length; ++i) Buffer[i - skip] = Buffer[i];
    Length = static_cast<uint8_t>(Length - skip);
  }
  if (Length == 0) return {false, false, 0, kReplyNoStart};
  if (Buffer[0] != kStx) return {true, true, kStateComplete, kReplyAccepted};

  const int L = Length;
  if (L < 4 || Buffer[L - 2] != kEtx || Buffer[L - 3] != kEtx)
    return {false, true, kStateMalformed, kReplyMalformed};
  // Half the length, halves to even: an odd length rounds to the even neighbour.
  const int h = (L % 4 == 3) ? L / 2 + 1 : L / 2;
  for (int k = 1; k <= h - 2; ++k)
    if ((Buffer[2 * k - 1] ^ Buffer[2 * k]) != kComplementMask)
      return {false, true, kStateMalformed, kReplyMalformed};
  uint8_t sum = kReplyChecksumStart;
  for (int k = 1; k <= h - 1; ++k) sum = FrameChecksum(sum, Buffer[2 * k - 1]);
  if (Buffer[L - 1] == ChecksumByte(sum)) return {true, true, kStateComplete, kReplyAccepted};
  return {false, false, 0, kReplyBadChecksum};
}

}  // namespace qx25
