// Request data of every request kind, as the driver sends it: the seeds of
// the request decoder's fuzz target, and the sample of each kind that the
// test of the request kinds sends to the simulator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "driver/protocol/Protocol.h"

namespace qx25::fuzz {

inline const std::vector<std::vector<uint8_t>> RequestSamples{
    {0x02, 0x21, kStartRequest.Letter},
    {0x02, 0x21, kPresetRequest.Letter, '0', '0', '0', '2', '5'},
    {0x02, 0x22, kStatusRequest.Letter, kEventAck},
    {0x02, 0x21, kCurrentRequest.Letter},
    {0x07, 0x21, kResultRequest.Letter},
    {0x02, 0x21, kSetTotalRequest.Letter, kSetTotalMarker, '0', '0', '2', '5', '8', '1', '0', '7'},
    {0x02, 0x21, kReadParamRequest.Letter, '5'},
    {0x02, 0x21, kWriteParamRequest.Letter, '5', '2', '5', '0'},
    {kCommonGroup, kCommonRequest.Letter, '3', '1'},
    {kCommonGroup, kNetAddressRequest.Letter, '0', '0', '0', '7', '6', '0', '0', '5', '5', '4', '3',
     '2', '1'},
    {0x02, 0x21, kStopRequest.Letter},
    {0x02, 0x21, kResetRequest.Letter},
    {0x02, 0x21, kPrepareRequest.Letter},
    {0x02, 0x21, kTotalRequest.Letter},
};
// The stream seed carries the first ten only, as it did before the later
// ones came, so that a working corpus grown from it stays as it was.
inline constexpr size_t kStreamSeeds = 10;

}  // namespace qx25::fuzz
