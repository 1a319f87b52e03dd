// The connection and reader functions of the C interface against the simulator.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "sdk/lf_sdk.h"
#include "sim_helpers.h"

using tw::test::SimProcess;
using namespace sdktest;

namespace {
class ReaderFunctions : public ::testing::Test {
 protected:
  void SetUp() override {
    START_SIM(sim, "--version", "2439", "--reader-id", "305419896");
    h = LF_OpenPort(sim.PtyPath().c_str(), 19200, 0, 200);
    ASSERT_GT(h, 0);
    sim.ClearTrace();
  }
  void TearDown() override {
    if (h > 0) LF_ClosePort(h);
  }
  SimProcess sim;
  int h = -1;
};
const char kModel[] = "QZ-243 read/write unit enh.";
}  // namespace

TEST_F(ReaderFunctions, VersionAndModelName) {
  unsigned char buf[8] = {};
  char name[64];
  std::memset(name, 'x', sizeof name);
  const int len = static_cast<int>(std::strlen(kModel));
  // One byte short of name plus NUL: raw answer copied, name buffer untouched.
  EXPECT_EQ(LF_GetVersion(h, buf, sizeof buf, name, len), 4);
  EXPECT_EQ(std::memcmp(buf, "2439", 4), 0);
  EXPECT_EQ(name[0], 'x');
  EXPECT_EQ(LF_GetVersion(h, buf, sizeof buf, name, len + 1), 4);
  EXPECT_STREQ(name, kModel);
  EXPECT_EQ(LF_CanWrite(h), 1);
  EXPECT_EQ(LF_IsUsbDevice(h), 0);
}

TEST_F(ReaderFunctions, CallerBuffersTooSmallOrMissing) {
  unsigned char buf[8];
  for (int size : {0, 1, 3, -5}) {
    EXPECT_EQ(LF_GetVersion(h, buf, size, nullptr, 0), -1) << size;
    EXPECT_EQ(LF_GetLastError(h), 8);
  }
  EXPECT_EQ(LF_GetVersion(h, nullptr, 100, nullptr, 100), -1);
  EXPECT_EQ(LF_GetLastError(h), 8);
  EXPECT_EQ(LF_ReadReaderId(h, nullptr, 4), -1);
  char name[4] = "abc";
  EXPECT_EQ(LF_GetVersion(h, buf, 4, name, -1), 4);
  EXPECT_STREQ(name, "abc");
}

TEST_F(ReaderFunctions, ReaderIdLittleEndian) {
  unsigned char id[4];
  ASSERT_EQ(LF_ReadReaderId(h, id, sizeof id), 4);
  EXPECT_EQ(id[0] | id[1] << 8 | id[2] << 16 | static_cast<uint32_t>(id[3]) << 24, 0x12345678u);
}

TEST_F(ReaderFunctions, OperatingModeValues) {
  EXPECT_EQ(LF_SetOperatingMode(h, 4), -1);
  EXPECT_EQ(LF_GetLastError(h), 18);
  EXPECT_EQ(sim.CountCommands(0xF4), 0) << "a refused value is not sent";
  for (int v : {0, 1, 2, 3, 0x80, 0x81, 0x83}) EXPECT_EQ(LF_SetOperatingMode(h, v), 0) << v;
  EXPECT_EQ(CountCommandsSettled(sim, 0xF4, 7), 7);
  EXPECT_EQ(LF_SetOperatingMode(h, 0x82), -1);
  EXPECT_EQ(LF_SetOperatingMode(h, -1), -1);
}

TEST_F(ReaderFunctions, OptionCommandsAndKeepUi) {
  EXPECT_EQ(LF_SetUsbMode(h, 1), 0);
  EXPECT_EQ(LF_SystemCommandF6(h, 0, 0), 0);
  CountCommandsSettled(sim, 0xF6, 1);
  EXPECT_EQ(ReceivedFrames(sim)[0], "02 01 FF 01 01 FE");
  EXPECT_EQ(ReceivedFrames(sim)[1], "02 01 F6 02 00 00 F5");
  EXPECT_EQ(LF_SetKeepUiEnabled(h, 5), 1);
  EXPECT_EQ(LF_SetKeepUiEnabled(h, 0), 1);
}

TEST_F(ReaderFunctions, ClosedAndNeverIssuedHandles) {
  unsigned char buf[8];
  for (int bad : {0, -1, 999, 20000}) {
    EXPECT_EQ(LF_GetVersion(bad, buf, sizeof buf, nullptr, 0), -1);
    EXPECT_EQ(LF_ReadReaderId(bad, buf, sizeof buf), -1);
    EXPECT_EQ(LF_CanWrite(bad), -1);
    EXPECT_EQ(LF_IsUsbDevice(bad), -1);
    EXPECT_EQ(LF_SetKeepUiEnabled(bad, 1), -1);
    EXPECT_EQ(LF_SetOperatingMode(bad, 0), -1);
    EXPECT_EQ(LF_SetUsbMode(bad, 1), -1);
    EXPECT_EQ(LF_SystemCommandF6(bad, 0, 0), -1);
    EXPECT_EQ(LF_GetLastError(bad), 6);
  }
  EXPECT_EQ(sim.CountCommands(0xF0), 0);
}
