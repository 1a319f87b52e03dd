// Exact command bytes of block reads and writes on a unified and a legacy reader, and the handling
// of their answers (byte order, inversion, failures part-way).
#include <gtest/gtest.h>

#include "sdk/transponder_ops.h"
#include "tests/unit/xponder/fake_reader.h"

namespace tw::test {
namespace {

constexpr uint16_t kUnified = 0x03F3;
constexpr uint16_t kLegacy = 0x0073;
constexpr uint16_t kOldest = 0x0000;  // packed ATA5555 streams, reversed answers

using Cmds = std::vector<SentCommand>;

// Answers every block read with 4 bytes: the block number and three fixed bytes.
std::optional<Reply> BlockEcho(const SentCommand& c) {
  const uint8_t block = c.params.empty() ? 0 : c.params.back();
  return Reply{0, {block, 0x11, 0x22, 0x33}};
}

struct ReadCase {
  const char* name;
  uint16_t capability;
  int typeWord;
  int first;
  int count;
  Cmds expected;
};

class ReadFrames : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadFrames, SendsTheseCommands) {
  const ReadCase& c = GetParam();
  CQZ_RW_Port port;
  FakeReader reader(port, c.capability);
  reader.SetHandler([](const SentCommand&) { return Reply{0, {1, 2, 3, 4}}; });
  CMyByteArray out;
  ASSERT_TRUE(ReadBlocks(port, c.typeWord, c.first, c.count, out));
  EXPECT_EQ(reader.Sent(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Xponder, ReadFrames,
    ::testing::Values(
        ReadCase{"UnifiedHitag1", kUnified, 5, 16, 16, {Cmd(0xC2, {5, 16, 4})}},
        ReadCase{"UnifiedFiveBytesIsOneBlock", kUnified, 9, 1, 5, {Cmd(0xC2, {9, 1, 1})}},
        ReadCase{"UnifiedType11CountsBytes", kUnified, 11, 2, 3, {Cmd(0xC2, {11, 2, 3})}},
        ReadCase{"UnifiedType33CountsEights", kUnified, 33, 0, 16, {Cmd(0xC2, {33, 0, 2})}},
        ReadCase{"UnifiedOptionBitsIgnored", kUnified, 0x402, 4, 8, {Cmd(0xC2, {2, 4, 2})}},
        ReadCase{"UnifiedType15Small", kUnified, 15, 128, 256, {Cmd(0xC2, {15, 128, 128})}},
        ReadCase{"UnifiedType15HighBlock", kUnified, 15, 300, 8,
                 {Cmd(0xC4, {15, 2, 0x2C, 0x01, 4, 0})}},
        ReadCase{"UnifiedType15ManyBlocks", kUnified, 15, 0, 300,
                 {Cmd(0xC4, {15, 2, 0, 0, 150, 0})}},
        ReadCase{"UnifiedType15OneHighBlock", kUnified, 15, 600, 2,
                 {Cmd(0xC4, {15, 13, 0x58, 0x02})}},
        ReadCase{"LegacyHitag2", kLegacy, 2, 4, 8, {Cmd(0x22, {4}), Cmd(0x22, {5})}},
        ReadCase{"LegacyFiveBytesIsTwoBlocks", kLegacy, 5, 20, 5, {Cmd(0x52, {20}), Cmd(0x52, {21})}},
        ReadCase{"LegacyEm4305", kLegacy, 8, 5, 4, {Cmd(0xA2, {5})}},
        ReadCase{"LegacyEm4450", kLegacy, 6, 32, 4, {Cmd(0x62, {32})}},
        ReadCase{"LegacySic7888", kLegacy, 12, 43, 4, {Cmd(0x42, {43})}},
        ReadCase{"LegacyAta5577", kLegacy, 9, 9, 8, {Cmd(0x32, {9}), Cmd(0x32, {10})}},
        ReadCase{"LegacyAbove13HasBase0", kLegacy, 14, 3, 4, {Cmd(0x02, {3})}},
        ReadCase{"LegacyHitagMu", kLegacy, 10, 5, 16, {Cmd(0xB0, {0, 18, 5, 3})}},
        ReadCase{"PackedAta5555", kOldest, 3, 5, 8, {Cmd(0x32, {0x94}), Cmd(0x32, {0x98})}},
        ReadCase{"PackedOnlyForType3", kOldest, 9, 5, 4, {Cmd(0x32, {5})}},
        ReadCase{"NothingToRead", kLegacy, 2, 0, 0, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(XponderReadBlocks, ByteOrderAndInversion) {
  const Bytes wire{0x01, 0x02, 0x03, 0x04};
  struct Case {
    uint16_t capability;
    int typeWord;
    Bytes expected;
  } cases[] = {
      {kOldest, 2, {0x04, 0x03, 0x02, 0x01}},   // reversed on capability 0
      {kOldest, 3, {0x04, 0x03, 0x02, 0x01}},
      {kOldest, 6, {0x04, 0x03, 0x02, 0x01}},
      {kOldest, 5, {0x01, 0x02, 0x03, 0x04}},   // other types as they come
      {kLegacy, 2, {0x01, 0x02, 0x03, 0x04}},   // any capability bit: as they come
      {kOldest, 0x402, {0xFB, 0xFC, 0xFD, 0xFE}},  // reversed, then inverted
      {kUnified, 0x405, {0xFE, 0xFD, 0xFC, 0xFB}},
  };
  for (const Case& c : cases) {
    CQZ_RW_Port port;
    FakeReader reader(port, c.capability);
    reader.SetHandler([&](const SentCommand&) { return Reply{0, wire}; });
    CMyByteArray out;
    ASSERT_TRUE(ReadBlocks(port, c.typeWord, 1, 4, out));
    EXPECT_EQ(out, c.expected) << "cap " << c.capability << " type " << c.typeWord;
  }
}

TEST(XponderReadBlocks, RefusedBeforeSending) {
  struct Case {
    uint16_t capability;
    int type, first, count, code;
  } cases[] = {
      {kLegacy, 2, 8, 4, 12},       // Hitag 2 has blocks 0-7
      {kUnified, 6, 35, 4, 12},     // EM4450 0-34
      {kLegacy, 9, -1, 4, 12},
      {kUnified, 10, 256, 4, 12},
      {kUnified, 30, 256, 4, 12},   // no limit, but the block does not fit the command byte
      {kUnified, 5, 0, -4, 9},
      {kUnified, 5, 0, 1024 + 4, 9},  // 257 blocks do not fit the count byte
      {kLegacy, 10, 0, 3, 9},        // Hitag µ on a legacy reader needs at least one block
  };
  for (const Case& c : cases) {
    CQZ_RW_Port port;
    FakeReader reader(port, c.capability);
    CMyByteArray out;
    EXPECT_FALSE(ReadBlocks(port, c.type, c.first, c.count, out));
    EXPECT_EQ(port.LastError(), c.code) << c.type << "/" << c.first << "/" << c.count;
    EXPECT_TRUE(reader.Sent().empty());
  }
}

TEST(XponderReadBlocks, LegacyReadStopsAtFirstFailure) {
  CQZ_RW_Port port;
  FakeReader reader(port, kLegacy);
  reader.Script({Reply{0, {1, 2, 3, 4}}, Reply{0x83, {}}});
  CMyByteArray out;
  EXPECT_FALSE(ReadBlocks(port, 5, 16, 12, out));
  EXPECT_EQ(port.LastError(), 0x83);
  EXPECT_EQ(reader.Sent().size(), 2u);
  EXPECT_TRUE(out.empty());

  // A block beyond the type's range ends the read as a range error, not as a wrapped block: a
  // packed stream has only three block bits.
  CQZ_RW_Port old;
  FakeReader oldReader(old, kOldest);
  oldReader.SetHandler(BlockEcho);
  EXPECT_FALSE(ReadBlocks(old, 3, 6, 12, out));
  EXPECT_EQ(old.LastError(), 12);
  EXPECT_EQ(oldReader.Sent(), (Cmds{Cmd(0x32, {0x98}), Cmd(0x32, {0x9C})}));

  // A reader that answers a block with no data at all would never count down.
  CQZ_RW_Port empty;
  FakeReader emptyReader(empty, kLegacy);
  EXPECT_FALSE(ReadBlocks(empty, 4, 0, 8, out));
  EXPECT_EQ(empty.LastError(), 16);
}

struct WriteCase {
  const char* name;
  uint16_t capability;
  int type;
  int first;
  Bytes data;
  int lock;
  Cmds expected;
};

class WriteFrames : public ::testing::TestWithParam<WriteCase> {};

TEST_P(WriteFrames, SendsTheseCommands) {
  const WriteCase& c = GetParam();
  CQZ_RW_Port port;
  FakeReader reader(port, c.capability);
  ASSERT_TRUE(WriteBlocks(port, c.type, c.first, c.data, c.lock));
  EXPECT_EQ(reader.Sent(), c.expected);
}

const Bytes k8{1, 2, 3, 4, 5, 6, 7, 8};

INSTANTIATE_TEST_SUITE_P(
    Xponder, WriteFrames,
    ::testing::Values(
        WriteCase{"UnifiedAllInOne", kUnified, 5, 16, k8, 0,
                  {Cmd(0xC3, {5, 16, 1, 2, 3, 4, 5, 6, 7, 8})}},
        WriteCase{"UnifiedLockBit", kUnified, 9, 1, {1, 2, 3, 4}, 1, {Cmd(0xC3, {9, 0x81, 1, 2, 3, 4})}},
        WriteCase{"UnifiedNoLockBitForHitag", kUnified, 4, 1, {1, 2, 3, 4}, 1,
                  {Cmd(0xC3, {4, 1, 1, 2, 3, 4})}},
        WriteCase{"UnifiedSixBytesUnpadded", kUnified, 2, 4, {1, 2, 3, 4, 5, 6}, 0,
                  {Cmd(0xC3, {2, 4, 1, 2, 3, 4, 5, 6})}},
        WriteCase{"UnifiedType15High", kUnified, 15, 129, {1, 2}, 0,
                  {Cmd(0xC4, {15, 14, 129, 0, 1, 2})}},
        WriteCase{"UnifiedProtectWord", kUnified, 8, 14, {1, 2, 3, 4}, 0,
                  {Cmd(0xC4, {8, 3, 1, 2, 3, 4})}},
        WriteCase{"UnifiedProtectWord19", kUnified, 19, 31, {1, 2, 3, 4}, 0,
                  {Cmd(0xC4, {19, 3, 1, 2, 3, 4})}},
        WriteCase{"LegacyProtectWord", kLegacy, 16, 15, {1, 2, 3, 4}, 0, {Cmd(0xA8, {1, 2, 3, 4})}},
        WriteCase{"LegacySixBytesPadded", kLegacy, 2, 4, {1, 2, 3, 4, 5, 6}, 0,
                  {Cmd(0x21, {4, 1, 2, 3, 4}), Cmd(0x21, {5, 5, 6, 0, 0})}},
        WriteCase{"LegacyLockBit", kLegacy, 9, 2, {1, 2, 3, 4}, 1, {Cmd(0x31, {0x82, 1, 2, 3, 4})}},
        WriteCase{"LegacyNoLockBitForEm", kLegacy, 8, 5, {1, 2, 3, 4}, 1, {Cmd(0xA1, {5, 1, 2, 3, 4})}},
        WriteCase{"LegacyAbove13", kLegacy, 17, 3, {1, 2, 3, 4}, 1, {Cmd(0x01, {0x83, 1, 2, 3, 4})}},
        WriteCase{"LegacyHitagMu", kLegacy, 10, 7, k8, 1,
                  {Cmd(0xB0, {0, 20, 7, 1, 2, 3, 4}), Cmd(0xB0, {0, 20, 8, 5, 6, 7, 8})}},
        WriteCase{"PackedAta5555", kOldest, 3, 5, {0x78, 0x56, 0x34, 0x12}, 1,
                  {Cmd(0x31, {0xA2, 0x46, 0x8A, 0xCF, 0x14})}},
        WriteCase{"Em4450OnOldest", kOldest, 6, 3, {1, 2, 3, 4}, 0, {Cmd(0x61, {3, 1, 2, 3, 4})}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(XponderWriteBlocks, RefusedAndPartialWrites) {
  CQZ_RW_Port port;
  FakeReader reader(port, kLegacy);
  EXPECT_FALSE(WriteBlocks(port, 2, 8, {1, 2, 3, 4}, 0));
  EXPECT_EQ(port.LastError(), 12);
  EXPECT_FALSE(WriteBlocks(port, 8, 14, {1, 2, 3, 4, 5}, 0));  // protection word is one word
  EXPECT_EQ(port.LastError(), 9);
  EXPECT_FALSE(WriteBlocks(port, 5, 16, {}, 0));  // nothing written is no success
  EXPECT_EQ(port.LastError(), 9);
  EXPECT_TRUE(reader.Sent().empty());

  // The tag refuses the second block: the write stops there, the first block stays written.
  reader.Script({Reply{}, Reply{0x84, {}}});
  EXPECT_FALSE(WriteBlocks(port, 5, 16, Bytes(12, 0xAA), 0));
  EXPECT_EQ(port.LastError(), 0x84);
  EXPECT_EQ(reader.Sent().size(), 2u);

  // Running past the last block is a range error at that block.
  reader.Clear();
  EXPECT_FALSE(WriteBlocks(port, 2, 7, k8, 0));
  EXPECT_EQ(port.LastError(), 12);
  EXPECT_EQ(reader.Sent().size(), 1u);
}

TEST(XponderWriteBlocks, ReadBackComparesWholeBlocks) {
  // Legacy reader: the tag's memory answers the read-back.
  CQZ_RW_Port port;
  FakeReader reader(port, kLegacy);
  std::vector<Bytes> memory(8, Bytes(4, 0));
  reader.SetHandler([&](const SentCommand& c) -> std::optional<Reply> {
    if (c.cmd == 0x21) {
      memory[c.params[0]] = Bytes(c.params.begin() + 1, c.params.end());
      return Reply{};
    }
    if (c.cmd == 0x22) return Reply{0, memory[c.params[0]]};
    return Reply{0xFF, {}};
  });
  const Bytes six{1, 2, 3, 4, 5, 6};
  ASSERT_TRUE(WriteBlocks(port, 2, 4, six, 0));
  EXPECT_TRUE(VerifyWrittenBlocks(port, 0x102, 4, six));
  memory[5][1] = 0xEE;
  EXPECT_FALSE(VerifyWrittenBlocks(port, 0x102, 4, six));
  EXPECT_EQ(port.LastError(), 20);

  // Inverted read-back of an ATA5555 (option 200h): the tag holds the inverted data.
  reader.SetHandler([](const SentCommand&) { return Reply{0, {0xFE, 0xFD, 0xFC, 0xFB}}; });
  port.SetLastError(0);
  EXPECT_TRUE(VerifyWrittenBlocks(port, 0x203, 1, {1, 2, 3, 4}));
  EXPECT_FALSE(VerifyWrittenBlocks(port, 0x103, 1, {1, 2, 3, 4}));
  EXPECT_EQ(port.LastError(), 20);

  // A failed read-back is 20 as well.
  reader.SetHandler([](const SentCommand&) { return Reply{0x81, {}}; });
  port.SetLastError(0);
  EXPECT_FALSE(VerifyWrittenBlocks(port, 0x105, 1, {1, 2, 3, 4}));
  EXPECT_EQ(port.LastError(), 20);
}

}  // namespace
}  // namespace tw::test
