// The framing of drivers that do not count a reply's bytes: a reply ends when
// the line has been silent for a fixed time. Only the benchmark's dispatcher
// (SilenceFramedDispatcher) reads replies this way, to set such drivers' pace
// beside the serial dispatcher's own on the same line.
#pragma once

#include <cstdint>
#include <vector>

#include "serial/SerialDevice.h"

namespace qx25::serial::device {

// Where a reply goes: the open device and the caller's buffer.
struct ReplyTarget {
  int Fd;
  int32_t Baud;
  uint8_t Port;  // for the handler
  uint8_t* Reply;
  uint8_t ReplyLength;
};

// Reads until the line has been silent for Silence after the last byte (the
// first due by FirstByte), asking Handler after each arrival as the
// dispatcher's own framing does, and takes its verdict on everything that
// came; copies what it kept, at most ReplyLength bytes, into Reply. Returns a
// SerialError, classed as SilenceFramedDispatcher describes. Received, when given,
// gets every byte as it arrived. Failure is set as Exchange's is, for a
// handler that throws.
int32_t ReadUntilSilent(const ReplyTarget& Target, Clock::time_point FirstByte,
                        Clock::duration Silence, const TReplyHandler& Handler, uint8_t ReplyMode,
                        std::vector<uint8_t>* Received, int32_t& Failure);

}  // namespace qx25::serial::device
