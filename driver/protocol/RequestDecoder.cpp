#include "RequestDecoder.h"

#include "Link.h"

namespace qx25 {

std::optional<RequestBytes> DecodeRequestFrame(const uint8_t* Frame, size_t Length) {
  // 0x7F, group, pairs, 0x03, 0x03, checksum: always odd, at least 5 bytes.
  if (Frame == nullptr || Length < 5 || Length % 2 == 0) return std::nullopt;
  if (Frame[0] != kFrameStart) return std::nullopt;
  if (Frame[Length - 3] != kEtx || Frame[Length - 2] != kEtx) return std::nullopt;

  RequestBytes data;
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

const TRequestKind* FindRequestKind(uint8_t Letter, size_t Length) {
  const TRequestKind* found = nullptr;
  for (const TRequestKind* k : RequestKinds) {
    if (k->Letter != Letter) continue;
    if (found == nullptr || k->RequestLength == Length) found = k;
  }
  return found;
}

std::optional<DecodedRequest> ParseRequest(const RequestBytes& Data) {
  if (Data.size() < 2) return std::nullopt;
  const auto args = [&](size_t From) { return RequestBytes(Data.begin() + From, Data.end()); };
  // Line-wide requests carry the common group and their letter in d[1]; a
  // nozzle's address character never equals either letter.
  if (Data[0] == kCommonGroup && Data[1] == kCommonRequest.Letter)
    return DecodedRequest{RequestTarget::Common, 0, Data[1], args(2), &kCommonRequest};
  if (Data[0] == kCommonGroup && Data[1] == kNetAddressRequest.Letter)
    return DecodedRequest{RequestTarget::NetAddress, 0, Data[1], args(2), &kNetAddressRequest};
  if (Data.size() < 3) return std::nullopt;
  const std::optional<int> address = NetworkAddressOf(Data[0], Data[1]);
  if (!address) return std::nullopt;
  return DecodedRequest{RequestTarget::Controller, *address, Data[2], args(3),
                        FindRequestKind(Data[2], Data.size())};
}

std::optional<TNewAddress> ParseNewAddress(const RequestBytes& Args) {
  constexpr size_t kHalf = kIdDigits / 2;
  if (Args.size() != kIdDigits + kNewAddressDigits) return std::nullopt;
  const auto high = ParseDigits(Args.data(), kHalf);
  const auto address = ParseDigits(Args.data() + kHalf, kNewAddressDigits);
  const auto low = ParseDigits(Args.data() + kHalf + kNewAddressDigits, kHalf);
  if (!high || !address || !low) return std::nullopt;
  return TNewAddress{*high * PowerOfTen(kHalf) + *low, *address};
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
  if (Buffer.size() >= static_cast<size_t>(kFrameBufferSize)) Reset();
  return false;
}

}  // namespace qx25
