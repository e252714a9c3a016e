// The protocol layer's digit codec and reply layouts: what the driver reads
// through a layout must be what the simulator wrote through it, on a real
// reply frame, and no layout may let two fields share a byte.
#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "driver/Delivery.h"

using namespace qx25;

namespace {

using Bytes = std::vector<uint8_t>;

// The frame as the reply buffer of an exchange holds it.
std::vector<uint8_t> Framed(const Bytes& Data) {
  std::vector<uint8_t> buffer(kBufferSize, 0);
  EncodeReply(Data.data(), static_cast<uint8_t>(Data.size()), buffer.data());
  return buffer;
}

void ExpectApart(int DataBytes, std::initializer_list<TDigitField> Fields,
                 std::initializer_list<int> Singles) {
  std::vector<int> owner(static_cast<size_t>(DataBytes), 0);
  int n = 0;
  for (const TDigitField f : Fields) {
    ++n;
    ASSERT_GE(f.First, 0);
    ASSERT_LE(f.End(), DataBytes);
    for (int i = f.First; i < f.End(); ++i) EXPECT_EQ(owner[i]++, 0) << "byte " << i;
  }
  for (const int b : Singles) {
    ASSERT_LT(b, DataBytes);
    EXPECT_EQ(owner[b]++, 0) << "byte " << b;
  }
}

}  // namespace

TEST(ProtocolLayer, NoLayoutLetsTwoFieldsShareAByte) {
  ExpectApart(TStatusReply::DataBytes, {TStatusReply::Event},
              {TStatusReply::State, TStatusReply::Sub, TStatusReply::Flags});
  EXPECT_LE(TStatusReply::Read, TStatusReply::DataBytes);
  ExpectApart(TCurrentReply::DataBytes, {TCurrentReply::Volume, TCurrentReply::Dose},
              {TCurrentReply::State});
  ExpectApart(TResultReply::DataBytes,
              {TResultReply::Volume, TResultReply::Total, TResultReply::Dose},
              {TResultReply::State});
  ExpectApart(TTotalReply::DataBytes, {TTotalReply::Total, TTotalReply::Deliveries}, {});
  for (int d = 0; d <= kMaxParamDigits; ++d) {
    ExpectApart(TParamReply::DataBytes(d), {TParamReply::Value(d)}, {TParamReply::Address});
    EXPECT_LE(ParamReplyLength(d), kFrameBufferSize);
  }
}

TEST(ProtocolLayer, AFieldWrittenIntoAFrameReadsBackThroughItsLayout) {
  Bytes e(TResultReply::DataBytes, '0');
  PutField(e, TResultReply::Volume, 98765);
  PutField(e, TResultReply::Total, 1234567);
  PutField(e, TResultReply::Dose, 100);
  const std::vector<uint8_t> buffer = Framed(e);
  EXPECT_TRUE(HasData(buffer.data(), TResultReply::DataBytes));
  EXPECT_EQ(ReadField(buffer.data(), TResultReply::Volume), 98765);
  EXPECT_EQ(ReadField(buffer.data(), TResultReply::Total), 1234567);
  EXPECT_EQ(ReadField(buffer.data(), TResultReply::Dose), 100);

  // Only the lowest digits fit a field; nothing spills into the next one.
  PutField(e, TResultReply::Volume, 1234567);
  EXPECT_EQ(ReadField(Framed(e).data(), TResultReply::Volume), 34567);
  EXPECT_EQ(ReadField(Framed(e).data(), TResultReply::Total), 1234567);
}

TEST(ProtocolLayer, DigitsReadFromAReplyAreUncheckedOrEndAtTheFirstNonDigit) {
  const uint8_t spaced[] = {'1', 0, '2', 0, ':', 0, 0x03, 0};  // ':' is '0' + 10
  EXPECT_EQ(ReadDigitsLoose(spaced, 3, 2), 130);               // as the controllers send them
  EXPECT_EQ(ReadDigitsLoose(spaced, 4, 2, true), 130);         // 0x03 ends it
  const uint8_t trailer[] = {'4', 0x03, '2'};
  EXPECT_EQ(ReadDigitsLoose(trailer, 3, 1, true), 4);  // stops at the trailer's 0x03
  EXPECT_EQ(ReadDigitsLoose(trailer, 0, 1), 0);
  EXPECT_EQ(MaxDigitsValue(0), 0);
  EXPECT_EQ(MaxDigitsValue(15), 999'999'999'999'999);
  // The widest power is exact, and a wider request stays there rather than overflow.
  EXPECT_EQ(MaxDigitsValue(18), 999'999'999'999'999'999);
  EXPECT_EQ(PowerOfTen(40), PowerOfTen(18));
}
