// Reading the data replies of the delivery queries and the status poll.
// Internal to the library.
#pragma once

#include <cstdint>

#include "Driver.h"

namespace qx25 {

// The number of data bytes of the reply in Buffer (kBufferSize bytes, zeroed
// before the request was built). A one-byte ACK, NAK or CAN reply carries
// none: the bytes behind it are the request's, never data.
int ReplyDataCount(const uint8_t* Buffer);

// True when the reply is a data frame with at least Count data bytes.
inline bool HasData(const uint8_t* Buffer, int Count) { return ReplyDataCount(Buffer) >= Count; }

// Data byte j of a data reply.
inline uint8_t DataByte(const uint8_t* Buffer, int j) { return Buffer[2 * j + 1]; }

// The value of a digit field of a data reply, read as the controllers send
// it: each digit its byte minus '0', unchecked.
inline double ReadField(const uint8_t* Buffer, TDigitField Field) {
  return static_cast<double>(ReadDigitsLoose(&Buffer[2 * Field.First + 1], Field.Digits, 2));
}

}  // namespace qx25
