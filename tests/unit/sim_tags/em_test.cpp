#include "sim_tags_support.h"

namespace tw::sim::test {
namespace {

const Bytes kFactoryPw = {0x93, 0x5A, 0x1E, 0x7C};  // 7C1E5A93 as the job types it

TEST_F(FieldTest, Em4305LoginConfigurationAndModulation) {
  Add("em4305 E1E2E3E4");
  auto u = UnifiedReader();
  u.modulation = 6;
  EXPECT_EQ(Cmd(0xC2, {8, 1, 1}, u).status, kStatusNoTag);
  EXPECT_EQ(Cmd(0xC0, {8, 0}, u).data, (Bytes{0xE1, 0xE2, 0xE3, 0xE4}));
  EXPECT_EQ(u.modulation, 0);  // Manchester RF/64 from the factory
  EXPECT_EQ(Cmd(0xC2, {8, 2, 1}, u).status, kStatusAccessDenied);  // password is write only
  EXPECT_EQ(Cmd(0xC4, {8, 2, 1, 2, 3, 4}, u).status, kStatusLoginFailed);
  ASSERT_EQ(Cmd(0xC4, Cat({8, 2}, kFactoryPw), u).status, 0);
  // The job: password 11223344, Manchester RF/32 (code 5), writes and reads need login.
  ASSERT_EQ(Cmd(0xC3, {8, 2, 0x44, 0x33, 0x22, 0x11}, u).status, 0);
  ASSERT_EQ(Cmd(0xC3, {8, 4, 0x4F, 0x00, 0x14, 0x00}, u).status, 0);
  EXPECT_EQ(Cmd(0xC2, {8, 4, 1}, u).status, kStatusNoTag);
  u.modulation = 5;
  EXPECT_EQ(Cmd(0xC2, {8, 4, 1}, u).data, (Bytes{0x4F, 0x00, 0x14, 0x00}));
  field.OnFieldChanged(false);
  field.OnFieldChanged(true);
  EXPECT_EQ(Cmd(0xC2, {8, 5, 1}, u).status, kStatusAccessDenied);
  EXPECT_EQ(Cmd(0xC2, {8, 1, 1}, u).status, 0);  // the UID stays readable
  EXPECT_EQ(Cmd(0xC3, {8, 5, 1, 1, 1, 1}, u).status, kStatusAccessDenied);
  EXPECT_EQ(Cmd(0xC4, Cat({8, 2}, kFactoryPw), u).status, kStatusLoginFailed);
  ASSERT_EQ(Cmd(0xC4, {8, 2, 0x44, 0x33, 0x22, 0x11}, u).status, 0);
  EXPECT_EQ(Cmd(0xC3, {8, 5, 1, 1, 1, 1}, u).status, 0);
  EXPECT_EQ(Cmd(0xC2, {8, 16, 1}, u).status, kStatusBadParameter);  // only 16 blocks on the chip
}

TEST_F(FieldTest, Em4305LockWordsArePermanent) {
  Add("em4305 E1E2E3E4 mem 14=00008080");  // block 7 already locked
  auto l = LegacyReader();
  EXPECT_EQ(Cmd(0xA1, {14, 0, 0, 0, 0}, l).status, kStatusWriteRefused);  // only by protect
  EXPECT_EQ(Cmd(0xA1, {7, 1, 1, 1, 1}, l).status, kStatusWriteRefused);
  // Writing blocks 5-6 with locking: the job protects with 60h.
  ASSERT_EQ(Cmd(0xA8, {0x60, 0x00, 0x00, 0x00}, l).status, 0);
  EXPECT_EQ(Cmd(0xA2, {14}, l).data, (Bytes{0xE0, 0x80, 0x00, 0x00}));
  EXPECT_EQ(Cmd(0xA1, {5, 1, 1, 1, 1}, l).status, kStatusWriteRefused);
  EXPECT_EQ(Cmd(0xA1, {8, 1, 1, 1, 1}, l).status, 0);
  // The active word may be 15.
  Ctl("tag add em4305 E1E2E3E5 mem 14=00000000,15=00008200");
  EXPECT_EQ(Cmd(0xA1, {9, 1, 1, 1, 1}, l).status, kStatusWriteRefused);
  // A protected tag needs the login for protect writes as well.
  Ctl("tag add em4305 E1E2E3E6 protected 11223344");
  EXPECT_EQ(Cmd(0xA8, {0x20, 0, 0, 0}, l).status, kStatusAccessDenied);
  ASSERT_EQ(Cmd(0xA7, {0x44, 0x33, 0x22, 0x11}, l).status, 0);
  EXPECT_EQ(Cmd(0xA8, {0x20, 0, 0, 0}, l).status, 0);
  auto u = UnifiedReader();
  EXPECT_EQ(Cmd(0xC4, {8, 3, 0x40, 0, 0, 0}, u).status, 0);
  EXPECT_EQ(Word(14), 0x8060u);
}

TEST_F(FieldTest, Em4450LoginPasswordChangeAndRanges) {
  Add("em4450 D1D2D3D4");
  auto l = LegacyReader();
  EXPECT_EQ(Cmd(0x62, {32}, l).data, (Bytes{0xD1, 0xD2, 0xD3, 0xD4}));
  EXPECT_EQ(Cmd(0x62, {0}, l).status, kStatusAccessDenied);  // the password is never read
  EXPECT_EQ(Cmd(0x61, {0, 1, 2, 3, 4}, l).status, kStatusWriteRefused);
  EXPECT_EQ(Cmd(0x61, {32, 1, 2, 3, 4}, l).status, kStatusWriteRefused);
  // The job: protection word (read 3-5, write-inhibit 10-12), control word with password check.
  ASSERT_EQ(Cmd(0x61, {1, 3, 5, 10, 12}, l).status, 0);
  ASSERT_EQ(Cmd(0x61, {2, 0x03, 0x1F, 0x01, 0x00}, l).status, 0);
  EXPECT_EQ(Cmd(0x62, {4}, l).status, kStatusAccessDenied);
  EXPECT_EQ(Cmd(0x62, {6}, l).status, 0);
  EXPECT_EQ(Cmd(0x61, {6, 1, 1, 1, 1}, l).status, kStatusAccessDenied);
  // Password change with a wrong old password fails, with the factory one it succeeds.
  EXPECT_EQ(Cmd(0x60, {1, 2, 3, 4, 0x44, 0x33, 0x22, 0x11}, l).status, kStatusLoginFailed);
  ASSERT_EQ(Cmd(0x60, Cat(kFactoryPw, {0x44, 0x33, 0x22, 0x11}), l).status, 0);
  EXPECT_EQ(Cmd(0x67, kFactoryPw, l).status, kStatusLoginFailed);
  ASSERT_EQ(Cmd(0x67, {0x44, 0x33, 0x22, 0x11}, l).status, 0);
  EXPECT_EQ(Cmd(0x62, {4}, l).status, 0);
  EXPECT_EQ(Cmd(0x61, {6, 1, 1, 1, 1}, l).status, 0);
  EXPECT_EQ(Cmd(0x61, {11, 1, 1, 1, 1}, l).status, kStatusWriteRefused);
  // old = new: the job's second attempt when the tag already has its password.
  EXPECT_EQ(Cmd(0x60, {0x44, 0x33, 0x22, 0x11, 0x44, 0x33, 0x22, 0x11}, l).status, 0);
  ASSERT_EQ(Cmd(0x66, {}, l).status, 0);  // reset ends the login
  EXPECT_EQ(Cmd(0x62, {4}, l).status, kStatusAccessDenied);
}

TEST_F(FieldTest, Em4450UnifiedCommandsAndReversedOldReader) {
  Add("em4450 D1D2D3D4 protected 11223344");
  auto u = UnifiedReader();
  EXPECT_EQ(Cmd(0xC0, {6, 0}, u).data, (Bytes{0xD1, 0xD2, 0xD3, 0xD4}));
  EXPECT_EQ(Cmd(0xC3, {6, 5, 1, 2, 3, 4}, u).status, kStatusAccessDenied);
  ASSERT_EQ(Cmd(0xC4, {6, 2, 0x44, 0x33, 0x22, 0x11}, u).status, 0);
  ASSERT_EQ(Cmd(0xC3, {6, 5, 1, 2, 3, 4}, u).status, 0);
  ASSERT_EQ(Cmd(0xC4, {6, 3, 0x44, 0x33, 0x22, 0x11, 9, 9, 9, 9}, u).status, 0);
  ASSERT_EQ(Cmd(0xC4, {6, 1}, u).status, 0);
  EXPECT_EQ(Cmd(0xC4, {6, 2, 0x44, 0x33, 0x22, 0x11}, u).status, kStatusLoginFailed);
  EXPECT_EQ(Cmd(0xC4, {6, 3, 1, 2, 3}, u).status, kStatusBadParameter);
  auto old = OldestReader();
  EXPECT_EQ(Cmd(0x62, {32}, old).data, (Bytes{0xD4, 0xD3, 0xD2, 0xD1}));
  EXPECT_EQ(Cmd(0x62, {5}, old).data, (Bytes{4, 3, 2, 1}));
}

}  // namespace
}  // namespace tw::sim::test
