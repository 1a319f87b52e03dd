#include "sdk/unique_daten.h"

#include <gtest/gtest.h>

#include <random>

namespace tw {
namespace {

using Bytes = std::vector<uint8_t>;

// Identity 01 23 45 67 89 (40-bit number 0123456789h, handed over least significant byte first).
// Rows in send order, data nibble + even parity:
//   0:00000 1:00011 2:00101 3:00110 4:01001 5:01010 6:01100 7:01111 8:10001 9:10010
// Column parity = 0^1^...^9 = 1 -> 0001, stop bit 0 -> 00010. Behind 9 header ones the 64 bits are
//   11111111 10000000 01100101 00110010 01010100 11000111 11000110 01000010
const Bytes kExampleIdentity = {0x89, 0x67, 0x45, 0x23, 0x01};
const Bytes kExampleFrame = {0xFF, 0x80, 0x65, 0x32, 0x54, 0xC7, 0xC6, 0x42};

uint64_t RotateRight(uint64_t v, int n) { return n == 0 ? v : (v >> n) | (v << (64 - n)); }

Bytes ToBytes(uint64_t v) {
  Bytes b(8);
  for (int i = 0; i < 8; ++i) b[static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (56 - 8 * i));
  return b;
}

TEST(UniqueDaten, HandComputedFrameEncodesAndDecodes) {
  EXPECT_EQ(CUniqueDaten(kExampleIdentity).FrameBytes(), kExampleFrame);
  Bytes id;
  ASSERT_TRUE(CUniqueDaten(kExampleFrame).Decode(id));
  EXPECT_EQ(id, kExampleIdentity);
}

TEST(UniqueDaten, RandomIdentitiesRoundTripAtEveryRotation) {
  std::mt19937_64 rng(20261209);
  for (int i = 0; i < 2000; ++i) {
    Bytes identity(5);
    for (auto& b : identity) b = static_cast<uint8_t>(rng());
    const CUniqueDaten encoded(identity);
    Bytes out;
    ASSERT_TRUE(encoded.Decode(out));
    ASSERT_EQ(out, identity);
    // The reader may hand the frame over starting elsewhere in the repeating bit stream; the header
    // is searched for by up to 57 left rotations.
    const int shift = static_cast<int>(rng() % 58);
    Bytes rotatedOut;
    ASSERT_TRUE(CUniqueDaten(ToBytes(RotateRight(encoded.Frame(), shift))).Decode(rotatedOut))
        << "shift " << shift;
    ASSERT_EQ(rotatedOut, identity);
  }
}

TEST(UniqueDaten, HeaderSearchEndsAfter57Rotations) {
  const uint64_t frame = CUniqueDaten(kExampleIdentity).Frame();
  Bytes id;
  EXPECT_TRUE(CUniqueDaten(ToBytes(RotateRight(frame, 57))).Decode(id));
  EXPECT_FALSE(CUniqueDaten(ToBytes(RotateRight(frame, 58))).Decode(id));
}

TEST(UniqueDaten, DamagedFramesDoNotDecode) {
  Bytes id;
  // Stop bit 1 with header and parities intact.
  Bytes stop = kExampleFrame;
  stop[7] |= 0x01;
  EXPECT_FALSE(CUniqueDaten(stop).Decode(id));
  // One data bit flipped breaks its row parity.
  Bytes data = kExampleFrame;
  data[3] ^= 0x10;
  EXPECT_FALSE(CUniqueDaten(data).Decode(id));
  // Column parity wrong.
  Bytes column = kExampleFrame;
  column[7] ^= 0x04;
  EXPECT_FALSE(CUniqueDaten(column).Decode(id));
  // No header anywhere, and all ones (header everywhere, parities never right).
  EXPECT_FALSE(CUniqueDaten(Bytes(8, 0x00)).Decode(id));
  EXPECT_FALSE(CUniqueDaten(Bytes(8, 0xFF)).Decode(id));
  EXPECT_TRUE(id.empty());
}

TEST(UniqueDaten, OtherLengthsGiveAnEmptyFrame) {
  Bytes id;
  for (size_t len : {0u, 4u, 6u, 7u, 9u}) {
    const CUniqueDaten d(Bytes(len, 0xFF));
    EXPECT_EQ(d.Frame(), 0u) << len;
    EXPECT_FALSE(d.Decode(id)) << len;
  }
}

}  // namespace
}  // namespace tw
