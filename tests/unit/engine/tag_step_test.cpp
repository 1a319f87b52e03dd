// The tag step against a scripted SDK: the order of UID, selection and login calls per family, the
// default-password tolerances of the step before writing, and the same-tag and one-second rules.
#include "job/tag_step.h"

#include <gtest/gtest.h>

#include "fake_tag_sdk.h"
#include "platform/tick.h"
#include "tests/support/recording_view.h"

namespace tw::test {
namespace {

class TagStepTest : public ::testing::Test {
 protected:
  TagStepTest() { state.portHandle = 1; }
  void SetType(int type) { job.transponderType = type; }
  std::vector<std::string> Calls() const { return sdk.calls; }
  int Count242() const {
    int n = 0;
    for (const auto& m : view.messages) n += m.id == kMsgLoginFailed;
    return n;
  }

  JobParams job;
  RecordingView view;
  FakeTagSdk sdk;
  JobEngineState state;
  StatusReporter status{view};
  JobContext ctx{job, state, status, view, sdk};
};

TEST_F(TagStepTest, SameTagSkippedInCycleAndForgottenAfterOneSecond) {
  SetType(kTypeHitag1);
  ASSERT_TRUE(TagStep(ctx, true, true));
  EXPECT_EQ(state.currentUid, sdk.uid);
  EXPECT_NE(state.lastSeenTick, 0u);
  state.lastUid = state.currentUid;  // as a successful write leaves it

  // Held in the field: known by its UID alone, nothing else is sent.
  sdk.calls.clear();
  EXPECT_FALSE(TagStep(ctx, true, true));
  EXPECT_EQ(state.sameTag, 1);
  EXPECT_EQ(Calls(), (std::vector<std::string>{"ReadUid 5"}));
  EXPECT_TRUE(view.lamps.empty());

  // Outside a cycle the same tag is handled again.
  EXPECT_TRUE(TagStep(ctx, true, false));

  // Gone: red lamp, but remembered within the second.
  sdk.present = false;
  EXPECT_FALSE(TagStep(ctx, true, true));
  EXPECT_EQ(state.sameTag, 0);
  ASSERT_EQ(view.lamps.size(), 1u);
  EXPECT_EQ(view.lamps.back(), LampState::Red);
  EXPECT_FALSE(state.lastUid.empty());

  // Back within the second: still skipped.
  sdk.present = true;
  EXPECT_FALSE(TagStep(ctx, true, true));
  EXPECT_EQ(state.sameTag, 1);

  // Away for more than a second: forgotten, then handled as new.
  sdk.present = false;
  state.lastSeenTick = TickCount() - 1500;
  EXPECT_FALSE(TagStep(ctx, true, true));
  EXPECT_TRUE(state.lastUid.empty());
  EXPECT_EQ(state.lastSeenTick, 0u);
  sdk.present = true;
  EXPECT_TRUE(TagStep(ctx, true, true));
  EXPECT_EQ(Count242(), 0);
}

// Puts the tick counter at about target (within the few ms the test takes).
void SetTickTo(uint32_t target) {
  SetTickOffsetForTest(0);
  SetTickOffsetForTest(target - TickCount());
}

TEST_F(TagStepTest, OneSecondRuleAcrossTickWrap) {
  SetType(kTypeHitag1);
  SetTickTo(0xFFFFFF00u);
  ASSERT_TRUE(TagStep(ctx, true, true));
  state.lastUid = state.currentUid;
  sdk.present = false;
  SetTickTo(0x00000100u);  // ~512 ms later, after the wrap
  EXPECT_FALSE(TagStep(ctx, true, true));
  EXPECT_FALSE(state.lastUid.empty());
  SetTickTo(0x00000500u);  // ~1.5 s after the last sighting
  EXPECT_FALSE(TagStep(ctx, true, true));
  EXPECT_TRUE(state.lastUid.empty());
  SetTickOffsetForTest(0);
}

TEST_F(TagStepTest, HitagSKeyLoginOnlyInAuthenticationMode) {
  SetType(kTypeHitagS);
  job.authKey = "A1A2A3A4A5A6";
  sdk.authAnswer = {0xAA, 0x00, 0x00, 0x00};
  ASSERT_TRUE(TagStep(ctx, true, false));
  EXPECT_TRUE(sdk.CallsStartingWith("KeyAuth").empty());
  sdk.authAnswer = {0xAA, 0x80, 0x00, 0x00};
  ASSERT_TRUE(TagStep(ctx, false, false));
  EXPECT_EQ(sdk.CallsStartingWith("KeyAuth"),
            (std::vector<std::string>{"KeyAuth 4 A6A5A4A3A2A1"}));
}

TEST_F(TagStepTest, Hitag2DefaultPasswordFirstThenJobPassword) {
  SetType(kTypeHitag2);
  job.password = "01020304";
  sdk.authAnswer = {0, 0, 0, 0x2E};
  sdk.authResults = {-1};  // the factory password is refused
  ASSERT_TRUE(TagStep(ctx, true, false));
  EXPECT_EQ(Calls(), (std::vector<std::string>{"ReadUid 2", "Auth 2 179E3C5A", "ReadUid 2",
                                               "Auth 2 04030201"}));
  EXPECT_EQ(state.hitag2ConfigByte, 0x2E);

  // After writing only the job's password is tried; a wrong one gives 242.
  sdk.calls.clear();
  sdk.authResults = {-1};
  EXPECT_FALSE(TagStep(ctx, false, false));
  EXPECT_EQ(Calls(), (std::vector<std::string>{"ReadUid 2", "Auth 2 04030201"}));
  EXPECT_EQ(Count242(), 1);
  EXPECT_EQ(state.loginFailed, 1);
}

TEST_F(TagStepTest, Em4450AndHitagMuFallBackToFactoryPasswordOnlyBeforeWriting) {
  for (int type : {kTypeEm4450, kTypeHitagMu}) {
    SCOPED_TRACE(type);
    SetType(type);
    job.passwordActive = 1;
    job.password = "11223344";
    const std::string def = type == kTypeEm4450 ? "935A1E7C" : "3D26F0B4";
    const std::string t = std::to_string(type);
    sdk.calls.clear();
    sdk.loginResults = {-1, 0};
    EXPECT_TRUE(TagStep(ctx, true, false));
    EXPECT_EQ(sdk.CallsStartingWith("Login"),
              (std::vector<std::string>{"Login " + t + " 44332211", "Login " + t + " " + def}));
    EXPECT_EQ(state.loginFailed, 0);

    // Result 1 (the tag needs no password) is not a reason to try the default.
    sdk.calls.clear();
    sdk.loginResults = {1};
    EXPECT_FALSE(TagStep(ctx, true, false));
    EXPECT_EQ(sdk.CallsStartingWith("Login").size(), 1u);

    sdk.calls.clear();
    sdk.loginResults = {-1};
    EXPECT_FALSE(TagStep(ctx, false, false));
    EXPECT_EQ(sdk.CallsStartingWith("Login").size(), 1u);
  }
  EXPECT_EQ(Count242(), 4);
}

TEST_F(TagStepTest, Em4305ModulationMismatchFailsOnlyAfterWriting) {
  SetType(kTypeEm4305);
  job.modulation = 2;  // reader code 6
  sdk.modulation = 0;
  EXPECT_TRUE(TagStep(ctx, true, false));
  EXPECT_FALSE(TagStep(ctx, false, false));
  EXPECT_EQ(Count242(), 0);
  sdk.modulation = 6;
  job.passwordActive = 1;
  sdk.loginResults = {-1, 0};
  EXPECT_TRUE(TagStep(ctx, true, false));  // default password
  sdk.loginResults = {-1};
  EXPECT_FALSE(TagStep(ctx, false, false));
  EXPECT_EQ(Count242(), 1);
}

TEST_F(TagStepTest, AtaUidKeptAtFullLengthAndLoginToleratedBeforeWriting) {
  SetType(kTypeAta5577);
  sdk.uid = {1, 2, 3, 4, 5, 6};  // a legacy reader answers 6 bytes
  ASSERT_TRUE(TagStep(ctx, true, false));
  EXPECT_EQ(state.currentUid, (CMyByteArray{1, 2, 3, 4, 5, 6, 0, 0}));
  EXPECT_EQ(sdk.CallsStartingWith("Reset").size(), 1u);

  job.passwordActive = 1;
  sdk.loginResults = {1};
  EXPECT_TRUE(TagStep(ctx, true, false));
  EXPECT_EQ(state.loginFailed, 1);
  sdk.loginResults = {1};
  EXPECT_FALSE(TagStep(ctx, false, false));
  EXPECT_EQ(Count242(), 1);
}

TEST_F(TagStepTest, AtaReaderWithoutPasswordUidRequestGoesOn) {
  SetType(kTypeAta5555);
  job.passwordActive = 1;
  job.modulation = 3;  // reader code 1
  sdk.uid = {9, 8, 7, 6, 5};
  sdk.uidWithPasswordError = 24;
  sdk.detectResult = 1;
  ASSERT_TRUE(TagStep(ctx, false, false));
  EXPECT_EQ(Calls(), (std::vector<std::string>{"ReadUidPw 3 179E3C5A", "SetMod 1", "ReadUid 3",
                                               "GetMod", "SetMod 1", "Login 3 179E3C5A"}));
  EXPECT_EQ(state.currentUid, sdk.uid);

  // Any other failure of the request means no tag.
  sdk.calls.clear();
  sdk.uidWithPasswordError = 0x81;
  EXPECT_FALSE(TagStep(ctx, false, false));
  EXPECT_EQ(sdk.calls.size(), 1u);
}

TEST_F(TagStepTest, Ata5555WrongModulationWithoutPasswordFailsSilently) {
  SetType(kTypeAta5555);
  sdk.uid = {9, 8, 7, 6, 5};
  sdk.detectResult = 5;
  EXPECT_FALSE(TagStep(ctx, false, false));
  EXPECT_TRUE(sdk.CallsStartingWith("Reset").empty());
  EXPECT_TRUE(TagStep(ctx, true, false));  // tolerated before writing
  EXPECT_EQ(sdk.CallsStartingWith("Reset").size(), 1u);
  EXPECT_TRUE(view.messages.empty());
}

TEST_F(TagStepTest, Sic7888TriesDefaultBeforeWritingThenJobPassword) {
  SetType(kTypeSic7888);
  job.password = "0A0B0C0D";
  sdk.authAnswer = {0, 0x80, 0, 0};
  sdk.loginResults = {-1, 0};
  ASSERT_TRUE(TagStep(ctx, true, false));
  EXPECT_EQ(sdk.CallsStartingWith("Login"),
            (std::vector<std::string>{"Login 12 4FE1D258", "Login 12 0D0C0B0A"}));
  sdk.calls.clear();
  ASSERT_TRUE(TagStep(ctx, false, false));
  EXPECT_EQ(sdk.CallsStartingWith("Login"), (std::vector<std::string>{"Login 12 0D0C0B0A"}));
}

TEST_F(TagStepTest, UnknownTypeFailsAtOnce) {
  SetType(7);
  EXPECT_FALSE(TagStep(ctx, true, false));
  EXPECT_TRUE(sdk.calls.empty());
}

}  // namespace
}  // namespace tw::test
