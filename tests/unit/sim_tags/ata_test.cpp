#include <cstdio>

#include "sim/transponders/tag_codec.h"
#include "sim_tags_support.h"

namespace tw::sim::test {
namespace {

const Bytes kUid5 = {0x78, 0x56, 0x34, 0x12, 0x01};
const Bytes kPw = {0x78, 0x56, 0x34, 0x12};  // job password text 12345678

TEST_F(FieldTest, Ata5555AnswersReadsOnlyInItsModulation) {
  Add("q5 7856341201");
  auto u = UnifiedReader();
  u.modulation = 5;
  EXPECT_EQ(Cmd(0xC2, {3, 0, 1}, u).status, kStatusNoTag);
  EXPECT_EQ(Cmd(0xC3, {3, 1, 1, 2, 3, 4}, u).status, 0);  // writes whatever the modulation
  // The UID command finds the modulation (factory 6001F004h: Manchester RF/64 = 0) and stays there.
  EXPECT_EQ(Cmd(0xC0, {3, 0}, u).data, kUid5);
  EXPECT_EQ(u.modulation, 0);
  EXPECT_EQ(Cmd(0xC2, {3, 0, 2}, u).data, (Bytes{0x04, 0xF0, 0x01, 0x60, 1, 2, 3, 4}));
  ASSERT_EQ(Cmd(0xC4, {3, 5}, u).status, 0);
  u.modulation = 6;
  EXPECT_EQ(Cmd(0xC5, {0x00, 1}, u).data, kUid5);
  EXPECT_EQ(u.modulation, 0);
}

TEST_F(FieldTest, Ata5555PasswordModeAsTheJobConfiguresIt) {
  Add("ata5555 7856341201");
  auto u = UnifiedReader();
  // Password into block 7, then block 0 := (6001F004h AND FFFC030Fh) OR F0E0h (Diff. Biphase RF/32,
  // reader code 1) OR C00h.
  ASSERT_EQ(Cmd(0xC3, {3, 7, 0x78, 0x56, 0x34, 0x12}, u).status, 0);
  ASSERT_EQ(Cmd(0xC3, {3, 0, 0xE4, 0xFC, 0x00, 0x60}, u).status, 0);
  EXPECT_EQ(Cmd(0xC2, {3, 0, 1}, u).status, kStatusNoTag);  // reader still at 0
  u.modulation = 1;
  EXPECT_EQ(Cmd(0xC2, {3, 0, 1}, u).status, kStatusAccessDenied);  // the protection test sees it
  EXPECT_EQ(Cmd(0xC2, {3, 2, 1}, u).status, kStatusAccessDenied);
  EXPECT_EQ(Cmd(0xC3, {3, 2, 1, 1, 1, 1}, u).status, kStatusAccessDenied);
  EXPECT_EQ(Cmd(0xC0, {3, 0}, u).status, kStatusAccessDenied);  // waits for a wake-up
  u.modulation = 0;
  EXPECT_EQ(Cmd(0xC4, Cat({3, 6}, kPw), u).data, kUid5);
  EXPECT_EQ(u.modulation, 1);
  EXPECT_EQ(Cmd(0xC4, {3, 6, 0, 0, 0, 0}, u).status, kStatusLoginFailed);
  // Block read and write with the password; lock flag on the write.
  EXPECT_EQ(Cmd(0xC4, {3, 3, 0, 0x78, 0x56, 0x34, 0x12}, u).data, (Bytes{0xE4, 0xFC, 0x00, 0x60}));
  EXPECT_EQ(Cmd(0xC4, {3, 3, 0, 0x78, 0x56, 0x34, 0x13}, u).status, kStatusLoginFailed);
  ASSERT_EQ(Cmd(0xC4, {3, 4, 0x82, 0x78, 0x56, 0x34, 0x12, 9, 8, 7, 6}, u).status, 0);
  EXPECT_EQ(Cmd(0xC4, {3, 3, 2, 0x78, 0x56, 0x34, 0x12}, u).data, (Bytes{9, 8, 7, 6}));
  EXPECT_EQ(Cmd(0xC4, {3, 4, 0x02, 0x78, 0x56, 0x34, 0x12, 1, 1, 1, 1}, u).status,
            kStatusWriteRefused);
  EXPECT_EQ(Cmd(0xC4, {3, 4, 0x03, 0x78, 0x56, 0x34, 0x10, 1, 1, 1, 1}, u).status,
            kStatusLoginFailed);
}

TEST_F(FieldTest, Ata5555LegacyCommandsAndIdentityFrame) {
  Add("ata5555 7856341201");
  auto l = LegacyReader();  // capability 0073h: plain parameters, command 10h available
  ASSERT_EQ(Cmd(0x39, {}, l).status, 0);
  EXPECT_EQ(Cmd(0x34, {}, l).data, EncodeIdentityFrame(kUid5));
  EXPECT_EQ(Cmd(0x10, {}, l).data, kUid5);
  ASSERT_EQ(Cmd(0x31, {0x85, 1, 2, 3, 4}, l).status, 0);
  EXPECT_EQ(Cmd(0x32, {5}, l).data, (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(Cmd(0x31, {0x05, 5, 5, 5, 5}, l).status, kStatusWriteRefused);
  EXPECT_EQ(Cmd(0x33, {5, 0, 0, 0, 0}, l).data, (Bytes{1, 2, 3, 4}));  // no password mode
  ASSERT_EQ(Cmd(0x30, {0x06, 0, 0, 0, 0, 6, 6, 6, 6}, l).status, 0);
  EXPECT_EQ(Cmd(0x36, {}, l).status, 0);
  l.modulation = 1;
  EXPECT_EQ(Cmd(0x34, {}, l).status, kStatusNoTag);
  EXPECT_EQ(Cmd(0x32, {6}, l).status, kStatusNoTag);
}

TEST_F(FieldTest, Ata5555PackedStreamsAndReversedAnswersOnCapabilityZero) {
  Add("ata5555 7856341201");
  auto old = OldestReader();
  SimAnswer a;
  EXPECT_FALSE(field.Handle(0x10, {}, old, a));  // no command 10h without capability bit 02h
  // 1, 0, lock, data 11223344h, block 3, 0, 0.
  ASSERT_EQ(Cmd(0x31, {0xA2, 0x24, 0x46, 0x68, 0x8C}, old).status, 0);
  EXPECT_EQ(Word(3), 0x11223344u);
  EXPECT_TRUE(field.TagInField()->Locked(3));
  EXPECT_EQ(Cmd(0x32, {0x80 | (3 << 2)}, old).data, (Bytes{0x11, 0x22, 0x33, 0x44}));  // reversed
  EXPECT_EQ(Cmd(0x32, {3}, old).status, kStatusBadParameter);  // not a packed stream
  // Into password mode with password A1B2C3D4h, then the packed password commands.
  field.TagInField()->SetWord(7, 0xA1B2C3D4);
  field.TagInField()->SetWord(0, 0x6001F404);
  EXPECT_EQ(Cmd(0x32, {0x80}, old).status, kStatusAccessDenied);
  ASSERT_EQ(Cmd(0x30, {0xA8, 0x6C, 0xB0, 0xF5, 0x19, 0x5F, 0xD7, 0x57, 0xC8}, old).status, 0);
  EXPECT_EQ(Word(2), 0xCAFEBABEu);
  // 1, 0, password, 0, block 6 reads the zero block 6; block 2 below.
  EXPECT_EQ(Cmd(0x33, {0xA8, 0x6C, 0xB0, 0xF5, 0x18}, old).data, (Bytes{0, 0, 0, 0}));
  EXPECT_EQ(Cmd(0x33, {0xA8, 0x6C, 0xB0, 0xF5, 0x08}, old).data, (Bytes{0xCA, 0xFE, 0xBA, 0xBE}));
  EXPECT_EQ(Cmd(0x33, {0xA8, 0x6C, 0xB0, 0xF4, 0x08}, old).status, kStatusLoginFailed);
  // The identity frame is a bit stream and is not reversed.
  field.TagInField()->SetWord(0, 0x6001F004);
  EXPECT_EQ(Cmd(0x34, {}, old).data, EncodeIdentityFrame(kUid5));
}

TEST_F(FieldTest, Ata5577TraceDataUidAndModulation) {
  Add("ata5577 A1A215E0B1B2B3B4");
  auto u = UnifiedReader();
  EXPECT_EQ(Cmd(0xC0, {9, 0}, u).data, (Bytes{0xA1, 0xA2, 0x15, 0xE0, 0xB1, 0xB2, 0xB3, 0xB4}));
  EXPECT_EQ(u.modulation, 5);  // factory 000880E8h: Manchester RF/32
  // Legacy probe: blocks 9 and 10 at the right modulation only.
  auto l = LegacyReader();
  EXPECT_EQ(Cmd(0x32, {9}, l).status, kStatusNoTag);
  l.modulation = 5;
  EXPECT_EQ(Cmd(0x32, {9}, l).data, (Bytes{0xA1, 0xA2, 0x15, 0xE0}));
  EXPECT_EQ(Cmd(0x32, {10}, l).data, (Bytes{0xB1, 0xB2, 0xB3, 0xB4}));
  EXPECT_EQ(Cmd(0x32, {8}, l).status, kStatusBadParameter);
  EXPECT_EQ(Cmd(0x31, {9, 0, 0, 0, 0}, l).status, kStatusWriteRefused);  // page 1 is read-only
  // Diff. Biphase RF/64 as the job writes it: (000880E8h AND FF000DEFh) OR 007F8000h = 007F80E8h.
  ASSERT_EQ(Cmd(0x31, {0, 0xE8, 0x80, 0x7F, 0x00}, l).status, 0);
  EXPECT_EQ(field.TagInField()->Modulation(), 6);
  EXPECT_EQ(Cmd(0x32, {0}, l).status, kStatusNoTag);
  l.modulation = 6;
  EXPECT_EQ(Cmd(0x32, {0}, l).data, (Bytes{0xE8, 0x80, 0x7F, 0x00}));
  // Password mode (10h) and answer-on-request (200h).
  ASSERT_EQ(Cmd(0x31, {7, 0x78, 0x56, 0x34, 0x12}, l).status, 0);
  ASSERT_EQ(Cmd(0x31, {0, 0xF8, 0x82, 0x7F, 0x00}, l).status, 0);
  EXPECT_EQ(Cmd(0x32, {9}, l).status, kStatusAccessDenied);
  EXPECT_EQ(Cmd(0x33, {9, 0x78, 0x56, 0x34, 0x12}, l).data, (Bytes{0xA1, 0xA2, 0x15, 0xE0}));
  EXPECT_EQ(Cmd(0xC0, {9, 0}, u).status, kStatusAccessDenied);
  EXPECT_EQ(Cmd(0xC4, {9, 6, 0x78, 0x56, 0x34, 0x12}, u).data.size(), 8u);
  // No reversal for the ATA5577 on a capability-0 reader, and no packed streams for it.
  auto old = OldestReader();
  old.modulation = 6;
  EXPECT_EQ(Cmd(0x33, {9, 0x78, 0x56, 0x34, 0x12}, old).data, (Bytes{0xA1, 0xA2, 0x15, 0xE0}));
}

TEST_F(FieldTest, Ata5577UnifiedLockFlagAndProtectedPreset) {
  Add("ata5577 A1A215E0B1B2B3B4 protected 12345678");
  auto u = UnifiedReader();
  u.modulation = 5;
  EXPECT_EQ(Word(0), 0x000882F8u);
  EXPECT_EQ(Cmd(0xC3, {9, 0x81, 1, 2, 3, 4}, u).status, kStatusAccessDenied);
  ASSERT_EQ(Cmd(0xC4, {9, 4, 0x81, 0x78, 0x56, 0x34, 0x12, 1, 2, 3, 4}, u).status, 0);
  EXPECT_TRUE(field.TagInField()->Locked(1));
  // Unified write with lock bit on a tag without password mode.
  Ctl("tag add ata5577 A1A215E0B1B2B3B5");
  ASSERT_EQ(Cmd(0xC3, {9, 0x82, 1, 2, 3, 4, 5, 6, 7, 8}, u).status, 0);
  EXPECT_TRUE(field.TagInField()->Locked(2));
  EXPECT_TRUE(field.TagInField()->Locked(3));
  EXPECT_EQ(Cmd(0xC3, {9, 3, 0, 0, 0, 0}, u).status, kStatusWriteRefused);
}

}  // namespace
}  // namespace tw::sim::test

namespace tw::sim::test {
namespace {

struct ConfigCase {
  const char* add;  // tag add arguments
  uint32_t word;    // configuration word
  int modulation;   // the only reader modulation that hears the tag
};

// The configuration words the host's modulation detection accepts for each modulation value, and the
// job's own modulation settings: the tag must answer at exactly that value.
TEST_F(FieldTest, ConfigurationWordsSelectTheModulationTheTagAnswersIn) {
  const ConfigCase cases[] = {
      {"ata5555 0102030405", 0x6001F000, 0},   {"ata5555 0102030405", 0x6000F0E0, 1},
      {"ata5555 0102030405", 0x60018050, 2},   {"ata5555 0102030405", 0x6000F000, 5},
      {"ata5555 0102030405", 0x6001F0E0, 6},   {"ata5555 0102030405", 0x6001F050, 7},
      {"ata5555 0102030405", 0x6001F080, 128}, {"ata5555 0102030405", 0x6001F060, 134},
      {"ata5555 0102030405", 0x6001F0D0, 135}, {"ata5555 0102030405", 0x6001F404, 0},
      {"ata5577 010215E005060708", 0x007E8000, 0}, {"ata5577 010215E005060708", 0x003F0002, 1},
      {"ata5577 010215E005060708", 0x003F8000, 1}, {"ata5577 010215E005060708", 0x00325002, 2},
      {"ata5577 010215E005060708", 0x007F8000, 6}, {"ata5577 010215E005060708", 0x007E5000, 135},
      {"ata5577 010215E005060708", 0x00148000, 0}, {"ata5577 010215E005060708", 0x00088000, 5},
      {"ata5577 010215E005060708", 0x00147000, 7}, {"ata5577 010215E005060708", 0x00150000, 134},
      {"em4305 01020304", 0x0000005F, 0},      {"em4305 01020304", 0x0000004F, 5},
      {"em4305 01020304", 0x0000009F, 6},      {"em4305 01020304", 0x0014008F, 1},
  };
  const int values[] = {0, 1, 2, 5, 6, 7, 128, 129, 130, 133, 134, 135};
  for (const auto& c : cases) {
    char mem[40];
    std::snprintf(mem, sizeof mem, " mem %d=%08X", c.add[0] == 'e' ? 4 : 0, c.word);
    Add(std::string(c.add) + mem);
    EXPECT_EQ(field.TagInField()->Modulation(), c.modulation) << c.add << mem;
    int type = field.TagInField()->Family();
    for (int m : values) {
      auto u = UnifiedReader();
      u.modulation = m;
      EXPECT_EQ(Cmd(0xC2, {static_cast<uint8_t>(type), 0, 1}, u).status == kStatusNoTag,
                m != c.modulation)
          << c.add << mem << " at " << m;
    }
  }
  // A field no reader can decode is never heard, and a unified UID read finds nothing.
  Add("ata5555 0102030405 mem 0=60000000");
  auto u = UnifiedReader();
  EXPECT_EQ(Cmd(0xC0, {3, 0}, u).status, kStatusNoTag);
}

}  // namespace
}  // namespace tw::sim::test
