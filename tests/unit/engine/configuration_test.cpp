// The configuration after writing against a scripted SDK: the words written per family, the order
// of modulation switch and configuration write, and the cases that must write nothing.
#include "job/configuration.h"

#include <gtest/gtest.h>

#include "fake_tag_sdk.h"
#include "tests/support/recording_view.h"

namespace tw::test {
namespace {

class ConfigurationTest : public ::testing::Test {
 protected:
  ConfigurationTest() { state.portHandle = 1; }
  void Job(int type, int start, int bytes) {
    job.transponderType = type;
    job.startBlock = start;
    job.byteCount = bytes;
  }
  std::vector<std::string> Writes() const { return sdk.CallsStartingWith("Write"); }

  JobParams job;
  RecordingView view;
  FakeTagSdk sdk;
  JobEngineState state;
  StatusReporter status{view};
  JobContext ctx{job, state, status, view, sdk};
};

TEST_F(ConfigurationTest, LockGroupTables) {
  EXPECT_EQ(HitagSLockBits(10, 17), 0x38);
  EXPECT_EQ(HitagSLockBits(4, 63), 0xFF);
  EXPECT_EQ(HitagSLockBits(2, 3), 0x00);
  EXPECT_EQ(Sic7888LockBits(32, 40), 0x02);
  EXPECT_EQ(Sic7888LockBits(4, 40), 0xFE);
}

TEST_F(ConfigurationTest, HitagSLocksGroupsAndAlwaysRewritesConfiguration) {
  Job(kTypeHitagS, 10, 32);  // blocks 10-17
  sdk.blocks[1] = {0xAA, 0x8C, 0x00, 0x55};
  job.lockUsedBlocks = 1;
  ASSERT_TRUE(ApplyConfiguration(ctx));
  EXPECT_EQ(Writes(), (std::vector<std::string>{"Write 4 1 AA803855 0"}));

  // Nothing to lock, no authentication: block 1 is still written with bits 2 and 3 of byte 1 clear.
  sdk.calls.clear();
  sdk.blocks[1] = {0xAA, 0x0C, 0x00, 0x55};
  job.lockUsedBlocks = 0;
  ASSERT_TRUE(ApplyConfiguration(ctx));
  EXPECT_EQ(Writes(), (std::vector<std::string>{"Write 4 1 AA000055 0"}));
}

TEST_F(ConfigurationTest, HitagSAuthenticationModeSplitsKeyAndTagPassword) {
  Job(kTypeHitagS, 4, 4);
  sdk.blocks[1] = {0x00, 0x00, 0x00, 0x00};
  job.authMode = 1;
  job.authKey = "A1A2A3A4A5A6";  // bytes k0..k5 = A6 A5 A4 A3 A2 A1
  job.tagPassword = "B1B2B3";     // bytes t0..t2 = B3 B2 B1
  ASSERT_TRUE(ApplyConfiguration(ctx));
  EXPECT_EQ(Writes(), (std::vector<std::string>{"Write 4 2 B3B2A2A1 0", "Write 4 3 A6A5A4A3 0",
                                                "Write 4 1 008000B1 0"}));
}

TEST_F(ConfigurationTest, Hitag1WritesOnlyWhenLockBitsChange) {
  Job(kTypeHitag1, 16, 8);  // blocks 16-17
  job.lockUsedBlocks = 1;
  sdk.blocks[1] = Word(0x0000000F);
  ASSERT_TRUE(ApplyConfiguration(ctx));
  EXPECT_EQ(Writes(), (std::vector<std::string>{"Write 5 1 07000000 0"}));
  sdk.calls.clear();
  ASSERT_TRUE(ApplyConfiguration(ctx));  // already cleared
  EXPECT_TRUE(Writes().empty());
}

TEST_F(ConfigurationTest, Hitag2WritesPasswordAndConfigurationByte) {
  Job(kTypeHitag2, 4, 16);
  job.lockUsedBlocks = 1;
  job.password = "01020304";
  job.tagPassword = "0A0B0C";
  state.hitag2ConfigByte = 0x06;
  ASSERT_TRUE(ApplyConfiguration(ctx));
  EXPECT_EQ(Writes(), (std::vector<std::string>{"Write 2 1 04030201 0", "Write 2 3 0C0B0A36 0"}));
}

TEST_F(ConfigurationTest, Em4305LockWordReplacesOldBits) {
  Job(kTypeEm4305, 5, 8);  // blocks 5-6
  job.lockUsedBlocks = 1;
  job.modulation = 1;
  sdk.blocks[4] = Word(0x0000005F);
  sdk.blocks[14] = Word(0x00008080);  // active word, block 7 locked
  ASSERT_TRUE(ApplyConfiguration(ctx));
  EXPECT_EQ(Writes(), (std::vector<std::string>{"Write 8 4 4F000000 0", "Write 8 14 60000000 0"}));
  // The reader follows the tag's new modulation before the configuration word goes out.
  EXPECT_EQ(sdk.CallsStartingWith("SetMod"), (std::vector<std::string>{"SetMod 5"}));

  // Word 14 inactive: word 15 is the one compared; new bits equal to old ones write nothing, and
  // neither does the configuration word that holds the job's settings already.
  sdk.calls.clear();
  sdk.blocks[14] = Word(0);
  sdk.blocks[15] = Word(0x00008060);
  ASSERT_TRUE(ApplyConfiguration(ctx));
  EXPECT_TRUE(Writes().empty());
  EXPECT_FALSE(state.accessChanged);

  // An unreadable protection word is reported.
  sdk.calls.clear();
  sdk.blocks.erase(14);
  EXPECT_FALSE(ApplyConfiguration(ctx));
  EXPECT_EQ(view.messages.size(), 1u);
}

TEST_F(ConfigurationTest, Em4305PasswordBits) {
  Job(kTypeEm4305, 5, 4);
  job.passwordActive = 1;
  job.readWithPassword = 1;
  job.password = "11223344";
  sdk.blocks[4] = Word(0xFFFFFFFF);
  ASSERT_TRUE(ApplyConfiguration(ctx));
  EXPECT_EQ(Writes(), (std::vector<std::string>{"Write 8 2 44332211 0", "Write 8 4 5FFCFFFF 0"}));
}

TEST_F(ConfigurationTest, HitagMuCleanTagWithoutPasswordWritesNothing) {
  Job(kTypeHitagMu, 0, 8);
  sdk.blocks[0xFF] = Word(0x00000001);
  ASSERT_TRUE(ApplyConfiguration(ctx));
  EXPECT_TRUE(Writes().empty());

  sdk.blocks[0xFF] = Word(0x00000079);
  ASSERT_TRUE(ApplyConfiguration(ctx));
  EXPECT_EQ(Writes(), (std::vector<std::string>{"Write 10 255 01000000 0"}));

  sdk.calls.clear();
  job.passwordActive = 1;
  job.lockUsedBlocks = 1;
  job.startBlock = 3;  // blocks 3-4
  sdk.blocks[0xFF] = Word(0);
  ASSERT_TRUE(ApplyConfiguration(ctx));
  EXPECT_EQ(Writes(), (std::vector<std::string>{"Write 10 254 179E3C5A 0", "Write 10 255 18000000 0"}));
  EXPECT_EQ(sdk.CallsStartingWith("Lock"), (std::vector<std::string>{"Lock 10 3", "Lock 10 4"}));
}

TEST_F(ConfigurationTest, AtaModulationAndPasswordMode) {
  Job(kTypeAta5577, 1, 4);
  job.modulation = 2;
  job.passwordActive = 1;
  job.password = "11223344";
  sdk.blocks[0] = Word(0x000880E8);
  ASSERT_TRUE(ApplyConfiguration(ctx));
  // 000880E8h AND FF000DEFh = 000000E8h; OR 007F8000h; OR 210h for the password mode.
  EXPECT_EQ(Writes(), (std::vector<std::string>{"Write 9 7 44332211 0", "Write 9 0 F8827F00 0"}));
  const auto& c = sdk.calls;
  const auto setMod = std::find(c.begin(), c.end(), "SetMod 6");
  const auto write0 = std::find(c.begin(), c.end(), "Write 9 0 F8827F00 0");
  ASSERT_NE(setMod, c.end());
  EXPECT_LT(setMod, write0);

  // A password write that fails is silent and leaves the password bits clear.
  sdk.calls.clear();
  Job(kTypeAta5555, 1, 4);
  job.modulation = 1;
  sdk.blocks[0] = Word(0x6001F004);
  sdk.failWrite = {7};
  ASSERT_TRUE(ApplyConfiguration(ctx));
  EXPECT_EQ(Writes().back(), "Write 3 0 04F00060 0");
  EXPECT_TRUE(view.messages.empty());
}

TEST_F(ConfigurationTest, Em4450RangesControlWordAndPasswordChange) {
  Job(kTypeEm4450, 8, 8);
  job.readProtectFirst = 3;
  job.readProtectLast = 4;
  job.writeProtectFirst = 5;
  job.writeProtectLast = 10;
  job.autoreadFirst = 3;
  job.autoreadLast = 0x1FF;  // only its low byte counts
  job.passwordActive = 1;
  job.password = "11223344";
  sdk.blocks[2] = Word(0xABCD1234);
  sdk.changeResults = {-1};  // the tag already carries the job's password
  ASSERT_TRUE(ApplyConfiguration(ctx));
  EXPECT_EQ(Writes(), (std::vector<std::string>{"Write 6 1 0304050A 0", "Write 6 2 03FFCDAB 0"}));
  EXPECT_EQ(sdk.CallsStartingWith("ChangePw"),
            (std::vector<std::string>{"ChangePw " + Hex(Em4450FactoryPassword()) + " 44332211",
                                      "ChangePw 44332211 44332211"}));

  // The control word must be readable.
  sdk.blocks.erase(2);
  EXPECT_FALSE(ApplyConfiguration(ctx));
  EXPECT_EQ(view.messages.size(), 1u);
}

TEST_F(ConfigurationTest, Sic7888PasswordsAndLocks) {
  Job(kTypeSic7888, 32, 4);
  job.passwordActive = 1;
  job.readWithPassword = 1;
  job.lockUsedBlocks = 1;
  job.password = "11223344";
  job.tagPassword = "55667788";
  sdk.blocks[1] = {0xFF, 0xFF, 0x00, 0x00};
  ASSERT_TRUE(ApplyConfiguration(ctx));
  EXPECT_EQ(Writes(), (std::vector<std::string>{"Write 12 3 88776655 0", "Write 12 2 44332211 0",
                                                "Write 12 1 FFF30200 0"}));
}

TEST_F(ConfigurationTest, FailedConfigurationWriteStopsWithMessage) {
  Job(kTypeHitagS, 4, 4);
  job.authMode = 1;
  job.authKey = "A1A2A3A4A5A6";
  sdk.blocks[1] = Word(0);
  sdk.failWrite = {3};
  EXPECT_FALSE(ApplyConfiguration(ctx));
  EXPECT_EQ(Writes().size(), 2u);  // block 2 stays written, block 1 is never reached
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_EQ(view.messages[0].id, SdkErrorMessageId(0x85));
}

}  // namespace
}  // namespace tw::test
