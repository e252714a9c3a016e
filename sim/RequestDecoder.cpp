#include "sim/RequestDecoder.h"

#include "driver/protocol/Link.h"

namespace qx25::sim {

std::optional<Bytes> DecodeRequestFrame(const uint8_t* Frame, size_t Length) {
  // 0x7F, group, pairs, 0x03, 0x03, checksum: always odd, at least 5 bytes.
  if (Frame == nullptr || Length < 5 || Length % 2 == 0) return std::nullopt;
  if (Frame[0] != kFrameStart) return std::nullopt;
  if (Frame[Length - 3] != kEtx || Frame[Length - 2] != kEtx) return std::nullopt;

  Bytes data;
  data.reserve((Length - 3) / 2);
  data.push_back(Frame[1]);
  uint8_t sum = kRequestChecksumStart;
  for (size_t i = 2; i + 3 < Length; i += 2) {
    if ((Frame[i] ^ Frame[i + 1]) != kComplementMask) return std::nullopt;
    data.push_back(Frame[i]);
    sum = FrameChecksum(sum, Frame[i]);
  }
  if (Frame[Length - 1] != ChecksumByte(sum)) return std::nullopt;
  return data;
}

std::optional<int> NetworkAddressOf(uint8_t Group, uint8_t Address) {
  // The inverse of the driver's own rule, so the two can never disagree.
  for (int n = kMinNetAddress; n <= kMaxNetAddress; ++n) {
    const TAddressBytes a = MapNetworkAddress(n);
    if (a.Group == Group && a.Address == Address) return n;
  }
  return std::nullopt;
}

std::optional<Request> ParseRequest(const Bytes& Data) {
  if (Data.size() < 2) return std::nullopt;
  if (Data[0] == kCommonGroup && Data[1] == kCommonRequest.Letter)
    return Request{Target::Common, 0, Data[1], Bytes(Data.begin() + 2, Data.end())};
  if (Data[0] == kCommonGroup && Data[1] == kNetAddressRequest.Letter)
    return Request{Target::NetAddress, 0, Data[1], Bytes(Data.begin() + 2, Data.end())};
  if (Data.size() < 3) return std::nullopt;
  const std::optional<int> address = NetworkAddressOf(Data[0], Data[1]);
  if (!address) return std::nullopt;
  return Request{Target::Controller, *address, Data[2], Bytes(Data.begin() + 3, Data.end())};
}

void FrameCollector::Reset() {
  Buffer.clear();
  TrailerSeen = false;
  Complete = false;
}

void FrameCollector::StartOver(uint8_t Byte) {
  Reset();
  if (Byte == kFrameStart) Buffer.push_back(Byte);
}

bool FrameCollector::Push(uint8_t Byte) {
  if (Complete) Reset();
  const size_t at = Buffer.size();  // the position Byte takes in the frame
  if (at == 0) {
    if (Byte == kFrameStart) Buffer.push_back(Byte);
    return false;
  }
  if (TrailerSeen) {  // the checksum
    Buffer.push_back(Byte);
    Complete = true;
    return true;
  }
  if (at == 1 || at % 2 == 0) {  // the group byte, or the first of a pair
    if (Byte == kFrameStart) {
      StartOver(Byte);
      return false;
    }
    Buffer.push_back(Byte);
  } else {  // the second of a pair: a complement, or the second 0x03
    const uint8_t first = Buffer[at - 1];
    if (first == kEtx && Byte == kEtx) {
      TrailerSeen = true;
    } else if ((first ^ Byte) != kComplementMask) {
      StartOver(Byte);
      return false;
    }
    Buffer.push_back(Byte);
  }
  // No trailer where the longest frame must have had one.
  if (Buffer.size() >= kMaxFrameLength) Reset();
  return false;
}

}  // namespace qx25::sim
