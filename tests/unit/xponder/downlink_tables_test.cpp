// Packed ATA5555 downlink streams, the type table and the modulation tables.
#include <gtest/gtest.h>

#include "sdk/transponder_downlink.h"
#include "sdk/transponder_modulation_tables.h"
#include "sdk/type_table.h"

namespace tw {
namespace {

using Bytes = std::vector<uint8_t>;

const uint8_t kData[4] = {0x78, 0x56, 0x34, 0x12};      // 12345678h little-endian
const uint8_t kPassword[4] = {0x44, 0x33, 0x22, 0x11};  // 11223344h little-endian

TEST(Downlink, ReadBlockIsOnePackedByte) {
  EXPECT_EQ(PackedReadBlock(0), 0x80);
  EXPECT_EQ(PackedReadBlock(5), 0x94);
  EXPECT_EQ(PackedReadBlock(7), 0x9C);
}

TEST(Downlink, StreamsMatchHandPackedBits) {
  // 1 0 1 | 0001 0010 0011 0100 0101 0110 0111 1000 | 101 | 00
  EXPECT_EQ(PackedWriteBlock(kData, true, 5), (Bytes{0xA2, 0x46, 0x8A, 0xCF, 0x14}));
  EXPECT_EQ(PackedWriteBlock(kData, false, 5), (Bytes{0x82, 0x46, 0x8A, 0xCF, 0x14}));
  // 1 0 | 0001 0001 0010 0010 0011 0011 0100 0100 | 0 | 010 | 00
  EXPECT_EQ(PackedReadWithPassword(kPassword, 2), (Bytes{0x84, 0x48, 0x8C, 0xD1, 0x08}));
  // 1 0 | password | 0 | data | 111 | 00  (72 bits)
  EXPECT_EQ(PackedWriteWithPassword(kPassword, false, kData, 7),
            (Bytes{0x84, 0x48, 0x8C, 0xD1, 0x02, 0x46, 0x8A, 0xCF, 0x1C}));
  EXPECT_EQ(PackedWriteWithPassword(kPassword, true, kData, 7)[4], 0x22);
}

TEST(TypeTable, LimitsAndLegacyBases) {
  EXPECT_EQ(HighestBlock(2), 7);
  EXPECT_EQ(HighestBlock(6), 34);
  EXPECT_EQ(HighestBlock(9), 11);
  EXPECT_EQ(HighestBlock(10), 255);
  EXPECT_EQ(HighestBlock(15), 639);
  EXPECT_EQ(HighestBlock(20), 7);
  EXPECT_EQ(HighestBlock(21), 15);
  for (int unlimited : {0, 1, 22, 39, 300}) EXPECT_EQ(HighestBlock(unlimited), -1) << unlimited;
  EXPECT_TRUE(BlockInRange(12, 43));
  EXPECT_FALSE(BlockInRange(12, 44));
  EXPECT_FALSE(BlockInRange(2, -1));
  EXPECT_FALSE(BlockInRange(30, -1));
  EXPECT_TRUE(BlockInRange(30, 100000));

  EXPECT_EQ(LegacyCommand(2, kLegacyReadUid), 0x28);
  EXPECT_EQ(LegacyCommand(9, kLegacyReadBlock), 0x32);
  EXPECT_EQ(LegacyCommand(8, kLegacyWriteBlock), 0xA1);
  EXPECT_EQ(LegacyCommand(12, kLegacyAuthenticate), 0x49);
  EXPECT_EQ(LegacyCommand(13, kLegacyReadBlock), 0x02);
  EXPECT_EQ(LegacyCommand(17, kLegacyWriteBlock), 0x01);
}

// The candidate walk a detection starting at s visits until it comes back to s.
std::vector<int> Walk(int type, int s, const ReaderFeatures& r) {
  std::vector<int> seen{s};
  for (int m = NextCandidate(type, s, r); m != -1 && m != s && seen.size() < 40;
       m = NextCandidate(type, m, r)) {
    seen.push_back(m);
  }
  return seen;
}

TEST(ModulationTables, CandidateWalksDependOnReaderFeatures) {
  const ReaderFeatures basic{0x00F3, 0};  // 80h, no 200h
  const ReaderFeatures ext{0x03F3, 3};     // 200h, firmware not above 4
  const ReaderFeatures extFw{0x03F3, 9};   // extended modulation
  EXPECT_EQ(Walk(3, 0, basic), (std::vector<int>{0, 1, 2})); EXPECT_EQ(Walk(3, 0, ReaderFeatures{0x0073, 0}), (std::vector<int>{0, 1}));
  EXPECT_EQ(Walk(3, 0, ext), (std::vector<int>{0, 1, 2, 7, 5, 6}));
  EXPECT_EQ(Walk(9, 0, extFw), (std::vector<int>{0, 1, 2, 7, 5, 6, 128, 129, 130, 133, 134}));
  EXPECT_EQ(Walk(8, 0, extFw), (std::vector<int>{0, 1, 2, 5, 6}));
  EXPECT_EQ(Walk(7, 0, ext), (std::vector<int>{0, 1, 5, 6}));
  EXPECT_EQ(Walk(17, 1, basic), (std::vector<int>{1, 2, 5}));
  EXPECT_EQ(Walk(17, 1, ReaderFeatures{0x0003, 0}), (std::vector<int>{1, 5}));
  EXPECT_EQ(Walk(19, 1, basic), (std::vector<int>{1, 2}));
  EXPECT_EQ(NextCandidate(19, 0, basic), -1);
  EXPECT_EQ(NextCandidate(2, 0, extFw), -1);

  EXPECT_EQ(NormalisedStart(3, 6, ext), 0);
  EXPECT_EQ(NormalisedStart(3, 6, extFw), 6);
  EXPECT_EQ(NormalisedStart(9, 134, basic), 134);
  EXPECT_EQ(NormalisedStart(9, 5, basic), 0);
  EXPECT_EQ(NormalisedStart(8, 1, ReaderFeatures{0x0043, 0}), 0);
  EXPECT_EQ(NormalisedStart(8, 1, basic), 1);
  EXPECT_EQ(NormalisedStart(17, 0, basic), 1);
  EXPECT_EQ(NormalisedStart(19, 2, basic), 2);
  EXPECT_EQ(NormalisedStart(11, 2, ReaderFeatures{}), 2);
  EXPECT_EQ(NormalisedStart(4, 2, extFw), 0);
}

Bytes Word(uint32_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 24)};
}

TEST(ModulationTables, ConfigurationCheck) {
  // ATA5555 factory word 6001F004h: modulation 0 only.
  EXPECT_TRUE(ConfigurationMatches(3, 0, Word(0x6001F004)));
  EXPECT_FALSE(ConfigurationMatches(3, 1, Word(0x6001F004)));
  EXPECT_TRUE(ConfigurationMatches(3, 130, Word(0x600180D0 | 0x0FFC0F0F)));  // unmasked bits free
  EXPECT_FALSE(ConfigurationMatches(3, 0, Bytes{0x04, 0xF0, 0x01}));           // not 4 bytes
  // ATA5577 factory word 000880E8h (basic mode): modulation 5.
  EXPECT_TRUE(ConfigurationMatches(9, 5, Word(0x000880E8)));
  EXPECT_FALSE(ConfigurationMatches(9, 0, Word(0x000880E8)));
  // Extended mode (bit 17): either of two values passes.
  EXPECT_TRUE(ConfigurationMatches(9, 1, Word(0x3F0002 | 0x20000)));
  EXPECT_TRUE(ConfigurationMatches(9, 1, Word(0x3F8000 | 0x20000)));
  EXPECT_FALSE(ConfigurationMatches(9, 1, Word(0x3F8002 | 0x20000)));
  EXPECT_TRUE(ConfigurationMatches(9, 129, Word(0x3F8002 | 0x20000)));
  // Types 13 and 21 always read the basic-mode table (bits outside 1FF000h free); 128 never passes.
  EXPECT_TRUE(ConfigurationMatches(13, 0, Word(0x148000 | 0xFFE00FFF)));
  EXPECT_FALSE(ConfigurationMatches(21, 128, Word(0x148000)));
  EXPECT_TRUE(ConfigurationMatches(21, 134, Word(0x150000)));
  // Type 17 refuses 0 where 13 accepts it.
  EXPECT_FALSE(ConfigurationMatches(17, 0, Word(0x148000)));
  EXPECT_TRUE(ConfigurationMatches(17, 2, Word(0x107000)));
  // Types without a check accept anything.
  EXPECT_TRUE(ConfigurationMatches(8, 0, Bytes{}));
}

}  // namespace
}  // namespace tw
