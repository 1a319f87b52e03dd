#include <gtest/gtest.h>

#include <random>

#include "sim/transponders/tag_codec.h"

namespace tw::sim {
namespace {

// Worked by hand: identity 01 12 34 56 78 (bytes 78 56 34 12 01, least significant first) gives the
// rows 0 1 1 2 3 4 5 6 7 8 with even parity and the column parity 9.
TEST(IdentityFrame, MatchesHandWorkedFrame) {
  EXPECT_EQ(EncodeIdentityFrame({0x78, 0x56, 0x34, 0x12, 0x01}),
            (Bytes{0xFF, 0x80, 0x63, 0x29, 0x92, 0xA6, 0x3E, 0x32}));
}

// Every frame has the header, row parities, column parities and stop bit, whatever the identity.
TEST(IdentityFrame, StructureHoldsForRandomIdentities) {
  std::mt19937 rng(7);
  for (int n = 0; n < 500; ++n) {
    Bytes id(5);
    for (auto& b : id) b = static_cast<uint8_t>(rng());
    Bytes f = EncodeIdentityFrame(id);
    ASSERT_EQ(f.size(), 8u);
    uint64_t v = 0;
    for (uint8_t b : f) v = (v << 8) | b;
    ASSERT_EQ(v >> 55, 0x1FFu);
    ASSERT_EQ(v & 1, 0u);
    uint64_t number = 0, columns = 0;
    for (int row = 0; row < 10; ++row) {
      unsigned bits = static_cast<unsigned>((v >> (50 - 5 * row)) & 0x1F);
      unsigned nibble = bits >> 1;
      ASSERT_EQ(bits & 1, static_cast<unsigned>(__builtin_popcount(nibble) & 1));
      number = (number << 4) | nibble;
      columns ^= nibble;
    }
    ASSERT_EQ((v >> 1) & 0xF, columns);
    for (int i = 0; i < 5; ++i) ASSERT_EQ(static_cast<uint8_t>(number >> (8 * i)), id[i]);
  }
}

TEST(PackedStreams, DecodeEachLayout) {
  auto read = DecodePackedRead({0x80 | (5 << 2)});
  ASSERT_TRUE(read);
  EXPECT_EQ(read->block, 5);

  // 1, 0, lock 1, data 11223344h (chunk 44 33 22 11), block 3, 0, 0.
  auto write = DecodePackedWrite({0xA2, 0x24, 0x46, 0x68, 0x8C});
  ASSERT_TRUE(write);
  EXPECT_TRUE(write->lock);
  EXPECT_EQ(write->block, 3);
  EXPECT_EQ(write->data, (Bytes{0x44, 0x33, 0x22, 0x11}));

  // 1, 0, password A1B2C3D4h, 0, block 6, 0, 0.
  auto pread = DecodePackedPasswordRead({0xA8, 0x6C, 0xB0, 0xF5, 0x18});
  ASSERT_TRUE(pread);
  EXPECT_EQ(pread->block, 6);
  EXPECT_EQ(pread->password, (Bytes{0xD4, 0xC3, 0xB2, 0xA1}));

  // 1, 0, password A1B2C3D4h, lock 0, data CAFEBABEh, block 2, 0, 0.
  auto pwrite = DecodePackedPasswordWrite({0xA8, 0x6C, 0xB0, 0xF5, 0x19, 0x5F, 0xD7, 0x57, 0xC8});
  ASSERT_TRUE(pwrite);
  EXPECT_FALSE(pwrite->lock);
  EXPECT_EQ(pwrite->block, 2);
  EXPECT_EQ(pwrite->password, (Bytes{0xD4, 0xC3, 0xB2, 0xA1}));
  EXPECT_EQ(pwrite->data, (Bytes{0xBE, 0xBA, 0xFE, 0xCA}));
}

TEST(PackedStreams, RejectWrongFixedBitsAndLengths) {
  EXPECT_FALSE(DecodePackedRead({0x40}));                  // starts 0, 1
  EXPECT_FALSE(DecodePackedRead({0x81}));                  // trailing bits not 0, 0
  EXPECT_FALSE(DecodePackedRead({0x80, 0x00}));            // too long
  EXPECT_FALSE(DecodePackedWrite({0xA2, 0x24, 0x46, 0x68}));
  EXPECT_FALSE(DecodePackedPasswordRead({0xA8, 0x6C, 0xB0, 0xF5, 0x38}));  // separator bit 1
  EXPECT_FALSE(DecodePackedPasswordWrite({0xA8, 0x6C, 0xB0, 0xF5, 0x19}));
}

}  // namespace
}  // namespace tw::sim
