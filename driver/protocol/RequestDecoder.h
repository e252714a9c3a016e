// The controller's side of the frame codec: a whole request frame into its
// request data, request data into what it asks of whom, and a raw byte stream
// into request frames. Used by the simulator, the console's trace and the
// fuzzers alike. Pure code over bytes that takes any input, however
// malformed, without harm: a fuzz target feeds it arbitrary bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "Protocol.h"

namespace qx25 {

using RequestBytes = std::vector<uint8_t>;

// The request data d[0..n-1] of one whole request frame: 0x7F, d[0] (the group
// byte, alone), each further byte followed by its complement (XOR 0x7F), 0x03,
// 0x03, and the checksum: 0x03 XORed with d[1..n-1], bit 6 set. Any other byte
// sequence, one byte out of place included, gives nothing: a controller
// ignores a frame it cannot read and does not answer it.
std::optional<RequestBytes> DecodeRequestFrame(const uint8_t* Frame, size_t Length);

// The network address 1..99 whose group byte and address character these
// are; nothing for a pair that no address maps to.
std::optional<int> NetworkAddressOf(uint8_t Group, uint8_t Address);

// The nozzle and side that a network address stands for when sides are
// Stride addresses apart (the inverse of MapNozzleAddress for nozzles
// 1..Stride). Stride 0 is taken as 1.
struct TNozzleSide {
  int Nozzle;
  int Side;
};
constexpr TNozzleSide NozzleSideOf(int Address, uint8_t Stride) {
  const int stride = Stride == 0 ? 1 : Stride, n = Address < 1 ? 0 : Address - 1;
  return {n % stride + 1, n / stride + 1};
}

enum class RequestTarget : uint8_t {
  Controller,  // one controller, selected by its network address
  Common,      // 'W': a command to every dispenser on the line; nobody answers
  NetAddress,  // ']': the controller with the ID number it carries takes a new address
};

struct DecodedRequest {
  RequestTarget To;
  int Address;        // the network address for RequestTarget::Controller, else 0
  uint8_t Letter;     // the command letter; 'W' or ']' for the line-wide requests
  RequestBytes Args;  // the request data after the letter
  // The kind the letter and length name; nullptr for a letter no kind has.
  const TRequestKind* Kind;
};

// The request kind of a letter, for request data Length bytes long: of two
// kinds with one letter, the one whose length matches, else the first.
const TRequestKind* FindRequestKind(uint8_t Letter, size_t Length);

// What request data asks of whom: group byte 2 followed by 'W' or ']' is a
// line-wide request; otherwise the first two bytes must be the address bytes
// of an address 1..99 and a letter must follow. Nothing for anything else.
std::optional<DecodedRequest> ParseRequest(const RequestBytes& Data);

// The arguments of ']': ID digits 1-5, three address digits, ID digits 6-10.
struct TNewAddress {
  int64_t IdNumber;
  int64_t Address;
};
std::optional<TNewAddress> ParseNewAddress(const RequestBytes& Args);

// Cuts the bytes a controller hears into request frames. A frame starts at
// 0x7F and is complete when the checksum byte after its two 0x03 bytes
// arrives; the two 0x03 bytes can only be the trailer, since a data byte 0x03
// is followed by its complement 0x7C. A byte pair whose second byte is not the
// complement of the first, or a 0x7F where a data byte should begin (the
// requests carry no 0x7F data byte), drops the frame begun so far, and a 0x7F
// among them starts the next one. Bytes outside a frame are ignored. The
// checksum is not checked here: DecodeRequestFrame does that.
class FrameCollector {
 public:
  // Takes the next byte; true when it completes a frame, which Frame() then
  // holds until the next call.
  bool Push(uint8_t Byte);
  const RequestBytes& Frame() const { return Buffer; }
  // Forgets a frame begun so far.
  void Reset();

 private:
  void StartOver(uint8_t Byte);

  RequestBytes Buffer;
  bool TrailerSeen = false;
  bool Complete = false;
};

}  // namespace qx25
