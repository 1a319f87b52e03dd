#include "sim_tags_support.h"

namespace tw::sim::test {
namespace {

TEST_F(FieldTest, Hitag1SelectionAndOneWayGroupLocks) {
  Add("hitag1 A1A2A3A4");
  auto l = LegacyReader();
  EXPECT_EQ(Cmd(0x58, {}, l).data, (Bytes{0xA1, 0xA2, 0xA3, 0xA4}));
  EXPECT_EQ(Cmd(0x59, {0xA1, 0xA2, 0xA3, 0xA4}, l).data, (Bytes{0x0F, 0, 0, 0}));
  EXPECT_EQ(Cmd(0x59, {0xA1, 0xA2, 0xA3, 0x00}, l).status, kStatusNoTag);
  ASSERT_EQ(Cmd(0x51, {20, 1, 2, 3, 4}, l).status, 0);
  // Clearing bit 2 locks blocks 20-23; setting it again does not unlock them.
  ASSERT_EQ(Cmd(0x51, {1, 0x0B, 0, 0, 0}, l).status, 0);
  EXPECT_EQ(Cmd(0x51, {20, 9, 9, 9, 9}, l).status, kStatusWriteRefused);
  EXPECT_EQ(Cmd(0x51, {19, 9, 9, 9, 9}, l).status, 0);
  ASSERT_EQ(Cmd(0x51, {1, 0x0F, 0, 0, 0}, l).status, 0);
  EXPECT_EQ(Cmd(0x52, {1}, l).data, (Bytes{0x0B, 0, 0, 0}));
  EXPECT_EQ(Cmd(0x51, {23, 9, 9, 9, 9}, l).status, kStatusWriteRefused);
  EXPECT_EQ(Cmd(0x52, {20}, l).data, (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(Cmd(0x51, {0, 9, 9, 9, 9}, l).status, kStatusWriteRefused);  // the UID
}

TEST_F(FieldTest, UnifiedMultiBlockWriteStopsAtFirstRefusedBlockAndPads) {
  Add("hitag1 A1A2A3A4 mem 1=00000007");  // blocks 16-19 locked
  auto u = UnifiedReader();
  // Six bytes write two blocks, the second padded with zeros.
  ASSERT_EQ(Cmd(0xC3, {5, 40, 1, 2, 3, 4, 5, 6}, u).status, 0);
  EXPECT_EQ(Cmd(0xC2, {5, 40, 2}, u).data, (Bytes{1, 2, 3, 4, 5, 6, 0, 0}));
  Bytes w = {5, 14};
  for (int i = 0; i < 16; ++i) w.push_back(0x10 + i);
  EXPECT_EQ(Cmd(0xC3, w, u).status, kStatusWriteRefused);
  EXPECT_EQ(Word(14), 0x13121110u);
  EXPECT_EQ(Word(15), 0x17161514u);
  EXPECT_EQ(Word(16), 0u);
  EXPECT_EQ(Cmd(0xC2, {5, 0, 64}, u).status, kStatusBadParameter);  // more than one answer holds
}

TEST_F(FieldTest, Hitag2NeedsAuthenticationAndAnswersItsConfigurationByte) {
  Add("hitag2 01020304 protected 12345678");
  auto u = UnifiedReader();
  EXPECT_EQ(Cmd(0xC0, {2, 0}, u).data, (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(Cmd(0xC2, {2, 4, 1}, u).status, kStatusAccessDenied);
  EXPECT_EQ(Cmd(0xC3, {2, 4, 1, 1, 1, 1}, u).status, kStatusAccessDenied);
  EXPECT_EQ(Cmd(0xC1, {2, 0x17, 0x9E, 0x3C, 0x5A}, u).status, kStatusLoginFailed);  // factory pw
  SimAnswer a = Cmd(0xC1, {2, 0x78, 0x56, 0x34, 0x12}, u);
  ASSERT_EQ(a.status, 0);
  EXPECT_EQ(a.data, (Bytes{0, 0, 0, 0x06}));
  // The job's configuration: tag password AA BB CC, lock 4-5.
  ASSERT_EQ(Cmd(0xC3, {2, 4, 9, 9, 9, 9}, u).status, 0);
  ASSERT_EQ(Cmd(0xC3, {2, 3, 0xAA, 0xBB, 0xCC, 0x26}, u).status, 0);
  EXPECT_EQ(Cmd(0xC3, {2, 5, 1, 1, 1, 1}, u).status, kStatusWriteRefused);
  EXPECT_EQ(Cmd(0xC3, {2, 6, 1, 1, 1, 1}, u).status, 0);
  ASSERT_EQ(Cmd(0xC3, {2, 3, 0xAA, 0xBB, 0xCC, 0x06}, u).status, 0);  // locks stay
  EXPECT_EQ(Cmd(0xC1, {2, 0x78, 0x56, 0x34, 0x12}, u).data, (Bytes{0xAA, 0xBB, 0xCC, 0x26}));
  // A wrong password ends the authentication.
  EXPECT_EQ(Cmd(0xC1, {2, 0, 0, 0, 0}, u).status, kStatusLoginFailed);
  EXPECT_EQ(Cmd(0xC2, {2, 6, 1}, u).status, kStatusAccessDenied);
}

TEST_F(FieldTest, Hitag2AnswersReversedOnReadersWithCapabilityZero) {
  Add("hitag2 01020304");
  auto old = OldestReader();
  EXPECT_EQ(Cmd(0x28, {}, old).data, (Bytes{4, 3, 2, 1}));
  EXPECT_EQ(Cmd(0x29, {0x17, 0x9E, 0x3C, 0x5A}, old).data, (Bytes{0x06, 0, 0, 0}));
  ASSERT_EQ(Cmd(0x21, {4, 0x11, 0x22, 0x33, 0x44}, old).status, 0);
  EXPECT_EQ(Cmd(0x22, {4}, old).data, (Bytes{0x44, 0x33, 0x22, 0x11}));
  auto l = LegacyReader();
  EXPECT_EQ(Cmd(0x22, {4}, l).data, (Bytes{0x11, 0x22, 0x33, 0x44}));
}

TEST_F(FieldTest, HitagSAuthenticationModeAndGroupLocks) {
  Add("hitags 0A0B0C0D");
  auto u = UnifiedReader();
  Bytes select = {4, 0x0A, 0x0B, 0x0C, 0x0D};
  EXPECT_EQ(Cmd(0xC1, select, u).data, (Bytes{0, 0, 0, 0}));
  // What the job writes for authentication mode with key 112233445566 and lock of blocks 10-17.
  ASSERT_EQ(Cmd(0xC3, {4, 2, 0x01, 0x02, 0x22, 0x11}, u).status, 0);
  ASSERT_EQ(Cmd(0xC3, {4, 3, 0x66, 0x55, 0x44, 0x33}, u).status, 0);
  ASSERT_EQ(Cmd(0xC3, {4, 1, 0x00, 0x80, 0x38, 0x03}, u).status, 0);
  EXPECT_EQ(Cmd(0xC1, select, u).data, (Bytes{0x00, 0x80, 0x38, 0x03}));
  EXPECT_EQ(Cmd(0xC2, {4, 10, 1}, u).status, kStatusAccessDenied);
  EXPECT_EQ(Cmd(0xC4, {4, 1, 0x66, 0x55, 0x44, 0x33, 0x22, 0x10}, u).status, kStatusLoginFailed);
  ASSERT_EQ(Cmd(0xC4, {4, 1, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11}, u).status, 0);
  EXPECT_EQ(Cmd(0xC2, {4, 10, 1}, u).status, 0);
  EXPECT_EQ(Cmd(0xC2, {4, 3, 1}, u).status, kStatusAccessDenied);  // the key is not readable
  EXPECT_EQ(Cmd(0xC3, {4, 8, 1, 1, 1, 1}, u).status, kStatusWriteRefused);
  EXPECT_EQ(Cmd(0xC3, {4, 17, 1, 1, 1, 1}, u).status, kStatusWriteRefused);
  EXPECT_EQ(Cmd(0xC3, {4, 24, 1, 1, 1, 1}, u).status, 0);
  // Lock bits cannot be taken back.
  ASSERT_EQ(Cmd(0xC3, {4, 1, 0x00, 0x80, 0x00, 0x03}, u).status, 0);
  EXPECT_EQ(Cmd(0xC2, {4, 1, 1}, u).data, (Bytes{0x00, 0x80, 0x38, 0x03}));
  // Legacy selection of the same tag (base 40h).
  auto l = LegacyReader();
  EXPECT_EQ(Cmd(0x48, {}, l).data, (Bytes{0x0A, 0x0B, 0x0C, 0x0D}));
  EXPECT_EQ(Cmd(0x49, {0x0A, 0x0B, 0x0C, 0x0D}, l).data, (Bytes{0x00, 0x80, 0x38, 0x03}));
}

TEST_F(FieldTest, HitagSProtectedPresetNeedsTheKey) {
  Add("hitags 0A0B0C0D protected 112233445566");
  auto u = UnifiedReader();
  EXPECT_EQ(Cmd(0xC1, {4, 0x0A, 0x0B, 0x0C, 0x0D}, u).data[1] & 0x80, 0x80);
  EXPECT_EQ(Cmd(0xC3, {4, 20, 1, 1, 1, 1}, u).status, kStatusAccessDenied);
  ASSERT_EQ(Cmd(0xC4, {4, 1, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11}, u).status, 0);
  EXPECT_EQ(Cmd(0xC3, {4, 20, 1, 1, 1, 1}, u).status, 0);
}

TEST_F(FieldTest, HitagMuPasswordProtectionAndBlockLocks) {
  Add("hitagmu 010203040506");
  auto u = UnifiedReader();
  EXPECT_EQ(Cmd(0xC0, {10, 0}, u).data, (Bytes{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(Cmd(0xC2, {10, 0xFE, 1}, u).status, kStatusAccessDenied);  // password is write only
  // Job's password 12345678 with the factory password's login, protect blocks 16-255.
  EXPECT_EQ(Cmd(0xC4, {10, 40, 0x00, 0x06, 0x78, 0x56, 0x34, 0x12}, u).status, kStatusLoginFailed);
  ASSERT_EQ(Cmd(0xC4, {10, 40, 0x00, 0x06, 0x3D, 0x26, 0xF0, 0xB4}, u).status, 0);
  ASSERT_EQ(Cmd(0xC3, {10, 0xFE, 0x78, 0x56, 0x34, 0x12}, u).status, 0);
  ASSERT_EQ(Cmd(0xC3, {10, 0xFF, 0x20, 0, 0, 0}, u).status, 0);
  field.OnFieldChanged(false);
  field.OnFieldChanged(true);
  EXPECT_EQ(Cmd(0xC3, {10, 20, 1, 1, 1, 1}, u).status, kStatusAccessDenied);
  EXPECT_EQ(Cmd(0xC3, {10, 3, 1, 1, 1, 1}, u).status, 0);
  EXPECT_EQ(Cmd(0xC2, {10, 20, 1}, u).status, 0);  // reads stay free
  EXPECT_EQ(Cmd(0xC3, {10, 0xFF, 0, 0, 0, 0}, u).status, kStatusAccessDenied);
  ASSERT_EQ(Cmd(0xC4, {10, 40, 0x00, 0x06, 0x78, 0x56, 0x34, 0x12}, u).status, 0);
  EXPECT_EQ(Cmd(0xC3, {10, 20, 1, 1, 1, 1}, u).status, 0);
  // A locked block refuses writes for ever, logged in or not.
  ASSERT_EQ(Cmd(0xC4, {10, 22, 0x00, 20}, u).status, 0);
  EXPECT_EQ(Cmd(0xC3, {10, 20, 2, 2, 2, 2}, u).status, kStatusWriteRefused);
  EXPECT_EQ(Cmd(0xC2, {10, 54, 1}, u).status, kStatusBadParameter);  // beyond the data blocks
}

TEST_F(FieldTest, HitagMuLegacySubCommands) {
  Add("hitagmu 010203040506");
  auto l = LegacyReader();
  EXPECT_EQ(Cmd(0xB0, {0x00, 2}, l).data, (Bytes{1, 2, 3, 4, 5, 6}));
  ASSERT_EQ(Cmd(0xB0, {0x00, 20, 7, 0xA, 0xB, 0xC, 0xD}, l).status, 0);
  ASSERT_EQ(Cmd(0xB0, {0x00, 20, 8, 0xE, 0xF, 0x1, 0x2}, l).status, 0);
  EXPECT_EQ(Cmd(0xB0, {0x00, 18, 7, 1}, l).data, (Bytes{0xA, 0xB, 0xC, 0xD, 0xE, 0xF, 0x1, 0x2}));
  EXPECT_EQ(Cmd(0xB0, {0x00, 40, 0x06, 0x3D, 0x26, 0xF0, 0xB4}, l).status, 0);
  ASSERT_EQ(Cmd(0xB0, {0x00, 22, 8}, l).status, 0);
  EXPECT_EQ(Cmd(0xB0, {0x00, 20, 8, 0, 0, 0, 0}, l).status, kStatusWriteRefused);
  EXPECT_EQ(Cmd(0xB0, {0x01, 2}, l).status, kStatusBadParameter);
}

TEST_F(FieldTest, Sic7888PasswordProtection) {
  Add("sic7888 C1C2C3C4");
  auto u = UnifiedReader();
  Bytes select = {12, 0xC1, 0xC2, 0xC3, 0xC4};
  EXPECT_EQ(Cmd(0xC1, select, u).data, (Bytes{0, 0, 0, 0}));
  // The job: read password 01020304 into block 3, write password 11223344 into block 2, protection
  // on with reads needing the login, blocks 32-40 locked.
  ASSERT_EQ(Cmd(0xC3, {12, 3, 0x04, 0x03, 0x02, 0x01}, u).status, 0);
  ASSERT_EQ(Cmd(0xC3, {12, 2, 0x44, 0x33, 0x22, 0x11}, u).status, 0);
  ASSERT_EQ(Cmd(0xC3, {12, 1, 0x10, 0x80, 0x02, 0x00}, u).status, 0);
  EXPECT_EQ(Cmd(0xC1, select, u).data, (Bytes{0x10, 0x80, 0x02, 0x00}));
  EXPECT_EQ(Cmd(0xC2, {12, 10, 1}, u).status, kStatusAccessDenied);
  EXPECT_EQ(Cmd(0xC3, {12, 10, 1, 1, 1, 1}, u).status, kStatusAccessDenied);
  EXPECT_EQ(Cmd(0xC4, {12, 1, 0x4F, 0xE1, 0xD2, 0x58}, u).status, kStatusLoginFailed);  // default
  // The read password opens reading only.
  ASSERT_EQ(Cmd(0xC4, {12, 2, 0x04, 0x03, 0x02, 0x01}, u).status, 0);
  EXPECT_EQ(Cmd(0xC2, {12, 10, 1}, u).status, 0);
  EXPECT_EQ(Cmd(0xC3, {12, 10, 1, 1, 1, 1}, u).status, kStatusAccessDenied);
  ASSERT_EQ(Cmd(0xC4, {12, 1, 0x44, 0x33, 0x22, 0x11}, u).status, 0);
  EXPECT_EQ(Cmd(0xC3, {12, 10, 1, 1, 1, 1}, u).status, 0);
  EXPECT_EQ(Cmd(0xC3, {12, 40, 1, 1, 1, 1}, u).status, kStatusWriteRefused);
  EXPECT_EQ(Cmd(0xC3, {12, 41, 1, 1, 1, 1}, u).status, 0);
  EXPECT_EQ(Cmd(0xC2, {12, 2, 1}, u).status, kStatusAccessDenied);  // passwords stay secret
}

TEST_F(FieldTest, Sic7888FactoryPasswordAndLegacySelection) {
  Add("sic7888 C1C2C3C4 protected 58D2E14F");
  auto l = LegacyReader();
  EXPECT_EQ(Cmd(0x48, {}, l).data, (Bytes{0xC1, 0xC2, 0xC3, 0xC4}));
  EXPECT_EQ(Cmd(0x49, {0xC1, 0xC2, 0xC3, 0xC4}, l).data, (Bytes{0x00, 0x80, 0x00, 0x00}));
  EXPECT_EQ(Cmd(0x41, {8, 1, 2, 3, 4}, l).status, kStatusAccessDenied);
  auto u = UnifiedReader();
  ASSERT_EQ(Cmd(0xC4, {12, 1, 0x4F, 0xE1, 0xD2, 0x58}, u).status, 0);
  EXPECT_EQ(Cmd(0xC3, {12, 8, 1, 2, 3, 4}, u).status, 0);
}

}  // namespace
}  // namespace tw::sim::test
