// LF_OpenPort against the simulator: framing selection, argument handling, handles.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "sdk/lf_sdk.h"
#include "sdk/sdk_app.h"
#include "sim_helpers.h"

using tw::test::SimProcess;
using namespace sdktest;

TEST(OpenSequence, ReaderThatAnswersOnlyCrcIsFoundAfterTwoStxAttempts) {
  SimProcess sim;
  START_SIM(sim, "--framing", "crc-only");
  const int h = LF_OpenPort(sim.PtyPath().c_str(), 19200, 0, 100);
  ASSERT_GT(h, 0);
  CountCommandsSettled(sim, 0xF0, 3);
  const std::vector<std::string> rx = ReceivedFrames(sim);
  ASSERT_EQ(rx.size(), 3u);
  EXPECT_EQ(rx[0], "02 01 F0 00 F1");
  EXPECT_EQ(rx[1], "02 01 F0 00 F1");
  EXPECT_EQ(rx[2].substr(0, 8), "01 F0 00");
  // Later commands stay in the CRC-16 framing.
  unsigned char buf[16];
  EXPECT_EQ(LF_GetVersion(h, buf, sizeof buf, nullptr, 0), 4);
  EXPECT_EQ(LF_ClosePort(h), 0);
}

TEST(OpenSequence, NoCrcFlagGivesUpAfterTwoVersionCommands) {
  SimProcess sim;
  START_SIM(sim, "--framing", "silent");
  EXPECT_EQ(LF_OpenPort(sim.PtyPath().c_str(), 19200, 0x40, 50), -15);
  EXPECT_EQ(CountCommandsSettled(sim, 0xF0, 2), 2) << testing::PrintToString(sim.Trace());
  EXPECT_EQ(LF_GetLastError(-15), 6);
  sim.ClearTrace();
  EXPECT_EQ(LF_OpenPort(sim.PtyPath().c_str(), 19200, 0, 50), -15);
  EXPECT_EQ(CountCommandsSettled(sim, 0xF0, 3), 3);
  EXPECT_EQ(tw::SdkApp().PortCount(), 0u) << "failed opens leave nothing in the registry";
}

TEST(OpenSequence, BadArguments) {
  EXPECT_EQ(LF_OpenPort("/dev/does-not-exist-9", 19200, 0, 100), -1);
  EXPECT_EQ(LF_OpenPort(nullptr, 19200, 0, 100), -1);
  EXPECT_EQ(LF_OpenPort("", 19200, 0, 100), -1);
  EXPECT_EQ(LF_OpenPort(":5", 19200, 0, 100), -1);
  EXPECT_EQ(LF_OpenPort(std::string(5000, 'A').c_str(), 19200, 0, 100), -1);
  EXPECT_EQ(LF_OpenPort("/dev/does-not-exist-9", 19200, 0, -1), -5);
  EXPECT_EQ(LF_GetLastError(-1), 6);
  EXPECT_EQ(LF_GetLastError(0), 6);
}

TEST(OpenSequence, DeviceAddressFromTheName) {
  SimProcess sim;
  START_SIM(sim, "--address", "5");
  EXPECT_EQ(LF_OpenPort(sim.PtyPath().c_str(), 19200, 0x40, 50), -15);
  const int h = LF_OpenPort((sim.PtyPath() + ":5").c_str(), 19200, 0x40, 100);
  ASSERT_GT(h, 0);
  EXPECT_EQ(ReceivedFrames(sim).back(), "02 05 F0 00 F5");
  LF_ClosePort(h);
}

TEST(OpenSequence, ShortAndTextVersionAnswers) {
  SimProcess shortSim, textSim;
  START_SIM(shortSim, "--version-short", "24");
  START_SIM(textSim, "--version-text", "QZ READER 1");
  const int a = LF_OpenPort(shortSim.PtyPath().c_str(), 19200, 0, 100);
  const int b = LF_OpenPort(textSim.PtyPath().c_str(), 19200, 0, 100);
  ASSERT_GT(a, 0);
  ASSERT_GT(b, 0);
  EXPECT_EQ(LF_CanWrite(a), 1);  // type 0 counts as a programmer that writes
  EXPECT_EQ(LF_CanWrite(b), 1);
  char name[64] = "unchanged";
  unsigned char buf[64];
  EXPECT_EQ(LF_GetVersion(a, buf, sizeof buf, name, sizeof name), 2);
  EXPECT_STREQ(name, "---");
  EXPECT_EQ(LF_GetVersion(b, buf, sizeof buf, name, sizeof name), 11);
  EXPECT_STREQ(name, "QZ-#QZ ");
  LF_ClosePort(a);
  LF_ClosePort(b);
}

TEST(Handles, SmallestFreeNumberIsReused) {
  SimProcess s1, s2, s3;
  START_SIM(s1);
  START_SIM(s2);
  START_SIM(s3);
  const int a = LF_OpenPort(s1.PtyPath().c_str(), 19200, 0, 100);
  const int b = LF_OpenPort(s2.PtyPath().c_str(), 19200, 0, 100);
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 2);
  EXPECT_EQ(LF_ClosePort(a), 0);
  EXPECT_EQ(LF_ClosePort(a), -1) << "closing twice";
  const int c = LF_OpenPort(s3.PtyPath().c_str(), 19200, 0, 100);
  EXPECT_EQ(c, 1);
  EXPECT_EQ(LF_ClosePort(b), 0);
  EXPECT_EQ(LF_ClosePort(c), 0);
  EXPECT_EQ(LF_GetLastError(c), 6);
  EXPECT_EQ(LF_ClosePort(12345), -1);
}

TEST(Handles, PortWhoseDeviceVanishedIsRemovedByTheNextLookup) {
  SimProcess s1, s2;
  START_SIM(s1);
  START_SIM(s2);
  const int a = LF_OpenPort(s1.PtyPath().c_str(), 19200, 0, 100);
  const int b = LF_OpenPort(s2.PtyPath().c_str(), 19200, 0, 100);
  ASSERT_GT(a, 0);
  ASSERT_GT(b, 0);
  EXPECT_EQ(s1.Control("hangup").rfind("ok", 0), 0u);
  // The port thread notices within a few milliseconds.
  for (int i = 0; i < 500 && tw::SdkApp().PortCount() == 2; ++i) {
    LF_GetLastError(b);  // a lookup of another handle sweeps lost ports
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_EQ(tw::SdkApp().PortCount(), 1u);
  EXPECT_EQ(LF_GetLastError(a), 6);
  EXPECT_EQ(LF_ClosePort(a), -1);
  EXPECT_EQ(LF_CanWrite(a), -1);
  EXPECT_EQ(LF_ClosePort(b), 0);
}
