// The controller's side of the frame codec: a whole request frame into its
// request data, request data into what it asks of whom, and a raw byte stream
// into request frames. Pure code over bytes that takes any input, however
// malformed, without harm: a fuzz target feeds it arbitrary bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "driver/protocol/Protocol.h"

namespace qx25::sim {

using Bytes = std::vector<uint8_t>;

// A frame carries at most 126 bytes of request data, 2 x 126 + 3 bytes in all.
inline constexpr size_t kMaxFrameLength = 255;

// The request data d[0..n-1] of one whole request frame: 0x7F, d[0] (the group
// byte, alone), each further byte followed by its complement (XOR 0x7F), 0x03,
// 0x03, and the checksum: 0x03 XORed with d[1..n-1], bit 6 set. Any other byte
// sequence, one byte out of place included, gives nothing: a controller
// ignores a frame it cannot read and does not answer it.
std::optional<Bytes> DecodeRequestFrame(const uint8_t* Frame, size_t Length);

// The network address 1..99 whose group byte and address character these
// are; nothing for a pair that no address maps to.
std::optional<int> NetworkAddressOf(uint8_t Group, uint8_t Address);

enum class Target : uint8_t {
  Controller,  // one controller, selected by its network address
  Common,      // 'W': a command to every dispenser on the line; nobody answers
  NetAddress,  // ']': the controller with the ID number it carries takes a new address
};

struct Request {
  Target To;
  int Address;     // the network address for Target::Controller, else 0
  uint8_t Letter;  // the command letter; 'W' or ']' for the line-wide requests
  Bytes Args;      // the request data after the letter
};

// What request data asks of whom: group byte 2 followed by 'W' or ']' is a
// line-wide request; otherwise the first two bytes must be the address bytes
// of an address 1..99 and a letter must follow. Nothing for anything else.
std::optional<Request> ParseRequest(const Bytes& Data);

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
  const Bytes& Frame() const { return Buffer; }
  // Forgets a frame begun so far.
  void Reset();

 private:
  void StartOver(uint8_t Byte);

  Bytes Buffer;
  bool TrailerSeen = false;
  bool Complete = false;
};

}  // namespace qx25::sim
