// Helpers of the simulator tests: build request frames as the driver does and
// read replies back through the host's own reply check.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "driver/protocol/Link.h"
#include "sim/Simulator.h"

namespace simtest {

using qx25::RequestFrame;
using qx25::sim::Bytes;

// Request data for the controller at Address: group, address character,
// letter, then Args.
inline Bytes RequestData(int Address, char Letter, const std::string& Args = "") {
  const qx25::TAddressBytes a = qx25::MapNetworkAddress(Address);
  Bytes data{a.Group, a.Address, static_cast<uint8_t>(Letter)};
  data.insert(data.end(), Args.begin(), Args.end());
  return data;
}

// What the simulator sends back for Data; empty when it stays silent.
inline Bytes Ask(qx25::sim::Simulator& Sim, const Bytes& Data) {
  const Bytes frame = RequestFrame(Data);
  return Sim.Respond(frame.data(), frame.size()).value_or(Bytes{});
}

// The data bytes e[0..m-1] of a reply, after checking it as a host does; the
// reply must be accepted and be a data frame of Expected data bytes.
inline Bytes ReplyData(const Bytes& Reply, size_t Expected) {
  Bytes copy = Reply;
  uint8_t length = static_cast<uint8_t>(copy.size());
  const qx25::TReplyVerdict v = qx25::CheckReply(copy.data(), length);
  EXPECT_TRUE(v.Accepted) << "code " << int(v.Code);
  EXPECT_EQ(length, copy.size()) << "the reply carried leading bytes";
  EXPECT_EQ(length, 2 * Expected + 4);
  if (!v.Accepted || copy[0] != qx25::kStx || length != 2 * Expected + 4) return {};
  Bytes e;
  for (size_t j = 0; j < Expected; ++j) e.push_back(copy[2 * j + 1]);
  return e;
}

// Digits e[From..From+Count-1] as a number; -1 where they are none.
inline long long Number(const Bytes& E, size_t From, size_t Count) {
  if (From + Count > E.size()) return -1;
  return qx25::ParseDigits(E.data() + From, Count).value_or(-1);
}

inline const Bytes kAckReply{qx25::kAck};
inline const Bytes kCanReply{qx25::kCan};
inline const Bytes kNakReply{qx25::kNak};

}  // namespace simtest
