// The controller-side decoding of request frames, on frames written out by
// hand, and the cutting of a byte stream into frames.
#include <gtest/gtest.h>

#include "driver/HostContract.h"
#include "driver/protocol/Link.h"
#include "driver/protocol/RequestDecoder.h"

using namespace qx25;
using Bytes = RequestBytes;

namespace {

// Nozzle 1 start: the worked example of the protocol.
const Bytes kStartFrame{0x7F, 0x02, 0x21, 0x5E, 0x32, 0x4D, 0x03, 0x03, 0x50};
// Preset 25 litres for nozzle 1.
const Bytes kPresetFrame{0x7F,
                         0x02,
                         0x21,
                         0x5E,
                         'T',
                         'T' ^ 0x7F,
                         '0',
                         0x4F,
                         '0',
                         0x4F,
                         '0',
                         0x4F,
                         '2',
                         0x4D,
                         '5',
                         0x4A,
                         0x03,
                         0x03,
                         (0x03 ^ 0x21 ^ 'T' ^ '0' ^ '0' ^ '0' ^ '2' ^ '5') | 0x40};

std::optional<Bytes> Decode(const Bytes& f) { return DecodeRequestFrame(f.data(), f.size()); }

TEST(RequestDecoder, DecodesWellFormedFrames) {
  EXPECT_EQ(Decode(kStartFrame), (Bytes{0x02, 0x21, '2'}));
  EXPECT_EQ(Decode(kPresetFrame), (Bytes{0x02, 0x21, 'T', '0', '0', '0', '2', '5'}));
  EXPECT_EQ(Decode({0x7F, 0x02, 0x03, 0x03, 0x43}), (Bytes{0x02}));  // group byte only
}

TEST(RequestDecoder, RejectsAnyByteOutOfPlace) {
  const auto with = [](size_t i, uint8_t b) {
    Bytes f = kStartFrame;
    f[i] = b;
    return f;
  };
  EXPECT_FALSE(Decode(with(0, 0x7E)));  // no start byte
  EXPECT_FALSE(Decode(with(3, 0x5F)));  // complement wrong
  EXPECT_FALSE(Decode(with(6, 0x04)));  // first trailer byte
  EXPECT_FALSE(Decode(with(7, 0x04)));  // second trailer byte
  EXPECT_FALSE(Decode(with(8, 0x51)));  // checksum
  EXPECT_FALSE(Decode(with(8, 0x10)));  // checksum without bit 6
  EXPECT_FALSE(Decode(Bytes(kStartFrame.begin(), kStartFrame.end() - 1)));
  Bytes longer = kStartFrame;
  longer.push_back(0x00);
  EXPECT_FALSE(Decode(longer));
  EXPECT_FALSE(Decode({0x7F, 0x03, 0x03, 0x43}));
  EXPECT_FALSE(Decode({}));
  EXPECT_FALSE(DecodeRequestFrame(nullptr, 9));
}

TEST(RequestDecoder, MapsAddressBytesBackToNetworkAddresses) {
  struct Case {
    uint8_t group, address;
    int n;
  };
  for (const Case c :
       {Case{0x02, 0x21, 1}, Case{0x02, 0x2F, 15}, Case{0x07, 0x21, 16}, Case{0x07, 0x2E, 29},
        Case{0x07, 0x20, 30}, Case{0x08, 0x21, 31}, Case{0x0C, 0x29, 99}})
    EXPECT_EQ(NetworkAddressOf(c.group, c.address), c.n) << c.n;
  EXPECT_FALSE(NetworkAddressOf(0x02, 0x20));  // address 0
  EXPECT_FALSE(NetworkAddressOf(0x06, 0x21));  // no address uses group 6
  EXPECT_FALSE(NetworkAddressOf(0x0C, 0x2A));  // 100
}

TEST(RequestDecoder, TellsLineWideRequestsFromAddressedOnes) {
  const auto start = ParseRequest({0x07, 0x20, '1', '1'});
  ASSERT_TRUE(start);
  EXPECT_EQ(start->To, RequestTarget::Controller);
  EXPECT_EQ(start->Address, 30);
  EXPECT_EQ(start->Letter, '1');
  EXPECT_EQ(start->Args, (Bytes{'1'}));

  const auto common = ParseRequest({0x02, 'W', '4', '0'});
  ASSERT_TRUE(common);
  EXPECT_EQ(common->To, RequestTarget::Common);
  EXPECT_EQ(common->Args, (Bytes{'4', '0'}));

  const auto address =
      ParseRequest({0x02, ']', '0', '0', '0', '7', '6', '0', '0', '5', '5', '4', '3', '2', '1'});
  ASSERT_TRUE(address);
  EXPECT_EQ(address->To, RequestTarget::NetAddress);
  EXPECT_EQ(address->Kind, &kNetAddressRequest);
  const auto wanted = ParseNewAddress(address->Args);
  ASSERT_TRUE(wanted);
  EXPECT_EQ(wanted->IdNumber, 7654321);
  EXPECT_EQ(wanted->Address, 5);
  EXPECT_FALSE(ParseNewAddress({'0', '0', '0', '7', '6', '0', '0', '5', '5', '4', '3', '2'}));
  EXPECT_FALSE(ParseNewAddress({'0', '0', '0', '7', '6', '0', 'x', '5', '5', '4', '3', '2', '1'}));

  EXPECT_FALSE(ParseRequest({0x02, 0x21}));  // no letter
  EXPECT_FALSE(ParseRequest({0x02}));
  EXPECT_FALSE(ParseRequest({0x06, 0x21, '1'}));
}

// The trace names a request by its kind: one letter can stand for two kinds,
// and a status request that acknowledges an event is one byte longer.
TEST(RequestDecoder, NamesTheKindOfEachRequest) {
  EXPECT_EQ(ParseRequest({0x02, 0x21, '6'})->Kind, &kTotalRequest);
  EXPECT_EQ(ParseRequest({0x02, 0x21, '6', kSetTotalMarker, '0', '0', '0', '0', '0', '0', '0', '0'})
                ->Kind,
            &kSetTotalRequest);
  EXPECT_EQ(ParseRequest({0x02, 0x21, '1', kEventAck})->Kind, &kStatusRequest);
  EXPECT_EQ(ParseRequest({0x02, 0x21, 'O', '5', '2', '5', '0'})->Kind, &kWriteParamRequest);
  EXPECT_EQ(ParseRequest({0x02, 'W', '4', '0'})->Kind, &kCommonRequest);
  const auto unknown = ParseRequest({0x02, 0x21, 'Z'});
  ASSERT_TRUE(unknown);
  EXPECT_EQ(unknown->Kind, nullptr);
}

TEST(RequestDecoder, MapsAddressesBackToNozzleAndSide) {
  for (const uint8_t stride : {uint8_t{1}, uint8_t{8}, uint8_t{16}})
    for (int side = 1; side <= kMaxSide; ++side)
      for (int nozzle = 1; nozzle <= stride; ++nozzle) {
        const TAddressBytes a = MapNozzleAddress(nozzle, side, stride);
        const std::optional<int> n = NetworkAddressOf(a.Group, a.Address);
        if (!n) continue;  // beyond address 99
        const TNozzleSide back = NozzleSideOf(*n, stride);
        EXPECT_EQ(back.Nozzle, nozzle) << *n;
        EXPECT_EQ(back.Side, side) << *n;
      }
}

TEST(RequestDecoder, ParsesDigitFields) {
  const Bytes d{'0', '0', '7', '5', '0'};
  EXPECT_EQ(ParseDigits(d.data(), d.size()), 750);
  EXPECT_EQ(ParseDigits(d.data(), 0), 0);
  const Bytes bad{'1', ':', '2'};  // ':' is the code character of 10, not a digit
  EXPECT_FALSE(ParseDigits(bad.data(), bad.size()));
  const Bytes many(19, '9');
  EXPECT_FALSE(ParseDigits(many.data(), many.size()));
  EXPECT_EQ(ParseDigits(many.data(), 18), 999'999'999'999'999'999);
  uint8_t out[5];
  WriteDigits(out, 1234567, 5);
  EXPECT_EQ(Bytes(out, out + 5), (Bytes{'3', '4', '5', '6', '7'}));
}

std::vector<Bytes> Collect(const Bytes& stream) {
  FrameCollector c;
  std::vector<Bytes> frames;
  for (const uint8_t b : stream)
    if (c.Push(b)) frames.push_back(c.Frame());
  return frames;
}

TEST(FrameCollector, CutsAStreamIntoFrames) {
  Bytes stream{0x00, 0x03, 0x03, 0xFF};  // noise before the first frame
  stream.insert(stream.end(), kStartFrame.begin(), kStartFrame.end());
  stream.insert(stream.end(), kPresetFrame.begin(), kPresetFrame.end());
  EXPECT_EQ(Collect(stream), (std::vector<Bytes>{kStartFrame, kPresetFrame}));
}

TEST(FrameCollector, ResynchronisesOnTheNextFrameStart) {
  // A frame broken off after its letter, then a whole one: the 0x7F where a
  // complement was due starts over.
  Bytes stream{0x7F, 0x02, 0x21, 0x5E, 0x32};
  stream.insert(stream.end(), kStartFrame.begin(), kStartFrame.end());
  EXPECT_EQ(Collect(stream), (std::vector<Bytes>{kStartFrame}));

  // A byte lost inside a frame: the pairs no longer match and the frame is
  // dropped; the next one still comes through.
  Bytes lost = kPresetFrame;
  lost.erase(lost.begin() + 7);
  lost.insert(lost.end(), kStartFrame.begin(), kStartFrame.end());
  EXPECT_EQ(Collect(lost), (std::vector<Bytes>{kStartFrame}));
}

TEST(FrameCollector, DoesNotTakeADataByte3ForTheTrailer) {
  // Data 0x03 travels as 0x03, 0x7C; only 0x03, 0x03 at a pair ends the frame.
  const Bytes f{0x7F, 0x02, 0x21, 0x5E, 0x03, 0x7C, 0x03, 0x03, (0x03 ^ 0x21 ^ 0x03) | 0x40};
  EXPECT_EQ(Collect(f), (std::vector<Bytes>{f}));
  EXPECT_EQ(DecodeRequestFrame(f.data(), f.size()), (Bytes{0x02, 0x21, 0x03}));
}

TEST(FrameCollector, DropsAFrameThatNeverEnds) {
  Bytes endless{0x7F, 0x02};
  for (int i = 0; i < 200; ++i) endless.insert(endless.end(), {'1', '1' ^ 0x7F});
  endless.insert(endless.end(), kStartFrame.begin(), kStartFrame.end());
  EXPECT_EQ(Collect(endless), (std::vector<Bytes>{kStartFrame}));
}

}  // namespace
