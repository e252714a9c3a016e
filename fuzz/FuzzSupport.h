// What the fuzz targets and the seed writer share: a reader that takes typed
// values from the front of the fuzzer's input (zeros once it runs out, so
// every input is a complete program), the writer that lays out seed inputs
// the same way, argument draws that are in range or wild, and reply checks
// made without the driver's own reply check.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "driver/protocol/Link.h"

namespace qx25::fuzz {

using Bytes = std::vector<uint8_t>;

// A property broke: say which and abort, so that libFuzzer keeps the input.
[[noreturn]] inline void Finding(const char* What) {
  std::fprintf(stderr, "fuzz finding: %s\n", What);
  std::abort();
}
inline void Expect(bool Holds, const char* What) {
  if (!Holds) Finding(What);
}

class InputReader {
 public:
  InputReader(const uint8_t* Data, size_t Size) : At(Data), Left(Size) {}
  bool Empty() const { return Left == 0; }
  uint8_t Byte() {
    if (Left == 0) return 0;
    --Left;
    return *At++;
  }
  uint32_t Word() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t{Byte()} << (8 * i);
    return v;
  }
  uint64_t Long() { return uint64_t{Word()} | uint64_t{Word()} << 32; }
  // Up to Count bytes, fewer when the input ends.
  Bytes Take(size_t Count) {
    const size_t n = Count < Left ? Count : Left;
    Bytes b(At, At + n);
    At += n;
    Left -= n;
    return b;
  }

 private:
  const uint8_t* At;
  size_t Left;
};

class InputWriter {
 public:
  void Byte(uint8_t V) { Data.push_back(V); }
  void Word(uint32_t V) {
    for (int i = 0; i < 4; ++i) Byte(static_cast<uint8_t>(V >> (8 * i)));
  }
  void Long(uint64_t V) {
    Word(static_cast<uint32_t>(V));
    Word(static_cast<uint32_t>(V >> 32));
  }
  void Put(const Bytes& B) { Data.insert(Data.end(), B.begin(), B.end()); }
  Bytes Data;
};

// Arguments: a selector byte below 0x80 draws a value within [Min, Max]
// (one byte when the range has at most 256 values, else four); from 0x80 on,
// any 32-bit value (or any bit pattern of a double), and the draw is marked
// wild: only then may a command refuse its arguments.
inline constexpr uint8_t kWild = 0x80;

class ArgReader {
 public:
  explicit ArgReader(InputReader& Input) : In(Input) {}
  bool Wild = false;

  int32_t Int(int64_t Min, int64_t Max) {
    if (In.Byte() & kWild) {
      Wild = true;
      return static_cast<int32_t>(In.Word());
    }
    const uint64_t span = static_cast<uint64_t>(Max - Min) + 1;
    const uint64_t r = span <= 256 ? In.Byte() : In.Word();
    return static_cast<int32_t>(Min + static_cast<int64_t>(r % span));
  }
  // The same for a 64-bit argument; wild draws take eight bytes.
  int64_t Wide(int64_t Min, int64_t Max) {
    if (In.Byte() & kWild) {
      Wild = true;
      return static_cast<int64_t>(In.Long());
    }
    const uint64_t span = static_cast<uint64_t>(Max - Min) + 1;
    const uint64_t r = span <= 256 ? In.Byte() : In.Word();
    return Min + static_cast<int64_t>(r % span);
  }
  double Real(double Min, double Max) {
    if (In.Byte() & kWild) {
      Wild = true;
      const uint64_t bits = In.Long();
      double d;
      std::memcpy(&d, &bits, sizeof d);
      return d;
    }
    return Min + (Max - Min) * (In.Word() / 4294967296.0);
  }

 private:
  InputReader& In;
};

class ArgWriter {
 public:
  explicit ArgWriter(InputWriter& Output) : Out(Output) {}
  void Int(int64_t Min, int64_t Max, int64_t Value) {
    Out.Byte(0);
    const uint64_t span = static_cast<uint64_t>(Max - Min) + 1;
    const uint64_t r = static_cast<uint64_t>(Value - Min);
    if (span <= 256)
      Out.Byte(static_cast<uint8_t>(r));
    else
      Out.Word(static_cast<uint32_t>(r));
  }
  void Real(double Min, double Max, double Value) {
    Out.Byte(0);
    Out.Word(static_cast<uint32_t>((Value - Min) / (Max - Min) * 4294967296.0));
  }

 private:
  InputWriter& Out;
};

// True when Frame[0..Length-1] is exactly the reply frame that EncodeReply
// makes of its own data bytes: an even length, STX, byte-and-complement
// pairs, 0x03, 0x03 and the checksum.
inline bool IsReplyFrame(const uint8_t* Frame, size_t Length) {
  if (Length < 4 || Length % 2 != 0 || Length > kFrameBufferSize || Frame[0] != kStx) return false;
  const size_t m = (Length - 4) / 2;
  uint8_t data[kFrameBufferSize];
  for (size_t k = 0; k < m; ++k) data[k] = Frame[2 * k + 1];
  uint8_t again[kFrameBufferSize + 4];
  const size_t n = EncodeReply(data, static_cast<uint8_t>(m), again);
  return n == Length && std::memcmp(again, Frame, Length) == 0;
}

// True when Frame[0..Length-1] is exactly the request frame that EncodeFrame
// makes of its own data bytes.
inline bool IsRequestFrame(const uint8_t* Frame, size_t Length) {
  if (Length < 5 || Length % 2 == 0 || Length > kFrameBufferSize || Frame[0] != kFrameStart)
    return false;
  const size_t n = (Length - 3) / 2;
  uint8_t data[kFrameBufferSize];
  data[0] = Frame[1];
  for (size_t k = 1; k < n; ++k) data[k] = Frame[2 * k];
  uint8_t again[kFrameBufferSize + 4];
  const size_t length = EncodeFrame(data, static_cast<uint8_t>(n), again);
  return length == Length && std::memcmp(again, Frame, Length) == 0;
}

// Request data of every request kind, as the driver sends it: the request
// decoder's seeds, and the sample of each kind that the test of the request
// kinds sends to the simulator.
inline const std::vector<Bytes> RequestSamples{
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
