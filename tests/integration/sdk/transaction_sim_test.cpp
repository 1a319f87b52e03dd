// Transactions over a real pseudo-terminal with the simulator's fault injection.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/tick.h"
#include "sdk/lf_sdk.h"
#include "sdk/qz_rw_port.h"
#include "sdk/sdk_app.h"
#include "sim_helpers.h"

using tw::CQZ_RW_Port;
using tw::test::SimProcess;

namespace {
class SimTransaction : public ::testing::Test {
 protected:
  void SetUp() override {
    START_SIM(sim);
    ASSERT_TRUE(port.OpenSerialLink(sim.PtyPath(), 19200, 0));
    port.SetTimeout(100);
  }
  SimProcess sim;
  CQZ_RW_Port port;
  CMyByteArray data;
};
}  // namespace

TEST_F(SimTransaction, GarbageAndExtraBytesAroundTheAnswer) {
  ASSERT_EQ(sim.Control("garbage FF 00 13 37").rfind("ok", 0), 0u);
  ASSERT_EQ(sim.Control("extra 02 01 02").rfind("ok", 0), 0u);
  ASSERT_TRUE(port.Transact(0xF0, {}, data));
  EXPECT_EQ(data.size(), 4u);
  // The next transaction starts clean although extra bytes were left behind.
  ASSERT_TRUE(port.Transact(0xF0, {}, data));
  EXPECT_EQ(data.size(), 4u);
}

TEST_F(SimTransaction, WrongCheckSilenceStatusAndDelay) {
  ASSERT_EQ(sim.Control("bad-check 1").rfind("ok", 0), 0u);
  EXPECT_FALSE(port.Transact(0xF0, {}, data));
  EXPECT_EQ(port.LastError(), 14);

  ASSERT_EQ(sim.Control("silence 1").rfind("ok", 0), 0u);
  EXPECT_FALSE(port.Transact(0xF0, {}, data));
  EXPECT_EQ(port.LastError(), 7);

  EXPECT_FALSE(port.Transact(0x9E, {}, data));  // unknown to every model: non-zero status
  EXPECT_NE(port.LastError(), 0);
  EXPECT_NE(port.LastError(), 7);

  ASSERT_EQ(sim.Control("delay 60").rfind("ok", 0), 0u);
  EXPECT_TRUE(port.Transact(0xF0, {}, data));
  EXPECT_FALSE(port.Transact(0xF0, {}, data, 20));
  EXPECT_EQ(port.LastError(), 7);
}

TEST_F(SimTransaction, HangUpMidSessionTimesOut) {
  ASSERT_TRUE(port.Transact(0xF0, {}, data));
  ASSERT_EQ(sim.Control("hangup").rfind("ok", 0), 0u);
  for (int i = 0; i < 500 && port.IsThreadAlive(); ++i) tw::SleepMs(2);
  EXPECT_FALSE(port.IsThreadAlive());
  EXPECT_TRUE(port.DeviceVanished());
  EXPECT_NE(port.GetHandle(), 0) << "the number stays taken until the port is closed";
  EXPECT_FALSE(port.Transact(0xF0, {}, data));
  EXPECT_EQ(port.LastError(), 7);
}

TEST_F(SimTransaction, CrcFramingOverThePty) {
  port.SetFramingFlag(1);
  ASSERT_TRUE(port.Transact(0xF0, {}, data));
  EXPECT_EQ(data.size(), 4u);
  ASSERT_EQ(sim.Control("garbage 55").rfind("ok", 0), 0u);
  EXPECT_FALSE(port.Transact(0xF0, {}, data));
  EXPECT_TRUE(port.LastError() == 14 || port.LastError() == 7) << port.LastError();
}

// A reader that answers later and later around the timeout, up to a second after it: every call
// either fails or returns its own command's data, never the late answer of the call before.
TEST(LateAnswers, NoCommandReturnsAnotherCommandsData) {
  SimProcess sim;
  START_SIM(sim, "--version", "2439");
  ASSERT_EQ(sim.Control("reader-id 287454020").rfind("ok", 0), 0u);  // 11 22 33 44h
  const int timeout = 400;
  const int h = LF_OpenPort(sim.PtyPath().c_str(), 19200, 0x40, timeout);
  ASSERT_GT(h, 0);
  const std::string version = "2439";
  const std::string id = "\x44\x33\x22\x11";
  for (const int delay : {timeout - 50, timeout + 20, timeout + 250, timeout + 600, timeout + 900}) {
    ASSERT_EQ(sim.Control("delay " + std::to_string(delay)).rfind("ok", 0), 0u);
    int answered = 0;
    for (int i = 0; i < 3; ++i) {
      unsigned char buf[16];
      const bool askVersion = i % 2 == 0;
      const int n = askVersion ? LF_GetVersion(h, buf, sizeof buf, nullptr, 0)
                               : LF_ReadReaderId(h, buf, sizeof buf);
      if (n < 0) {
        EXPECT_EQ(LF_GetLastError(h), 7) << "delay " << delay;
        continue;
      }
      ++answered;
      EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), static_cast<size_t>(n)),
                askVersion ? version : id)
          << "delay " << delay << ", call " << i;
    }
    if (delay < timeout) {
      EXPECT_EQ(answered, 3);
    }
  }
  // The reader back to normal: the next calls are answered, each with its own data.
  ASSERT_EQ(sim.Control("delay 0").rfind("ok", 0), 0u);
  unsigned char buf[16];
  ASSERT_EQ(LF_ReadReaderId(h, buf, sizeof buf), 4);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 4), id);
  ASSERT_EQ(LF_GetVersion(h, buf, sizeof buf, nullptr, 0), 4);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 4), version);
  LF_ClosePort(h);
}

// A command left by an earlier user of the line is answered while the open waits for its version
// answer: that answer is not taken for the reader's identity.
TEST(LateAnswers, OpenDoesNotTakeAnEarlierProgramsAnswerForTheVersion) {
  SimProcess sim;
  START_SIM(sim, "--version", "2439");
  ASSERT_EQ(sim.Control("reader-id 287454020").rfind("ok", 0), 0u);
  ASSERT_EQ(sim.Control("delay 200").rfind("ok", 0), 0u);
  const int fd = open(sim.PtyPath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  const uint8_t readReaderId[] = {0x02, 0x01, 0xF8, 0x00, 0xF9};
  ASSERT_EQ(write(fd, readReaderId, sizeof readReaderId), ssize_t(sizeof readReaderId));
  const int h = LF_OpenPort(sim.PtyPath().c_str(), 19200, 0x40, 500);
  close(fd);  // only now: a terminal's last close may drop what the far side has not read yet
  ASSERT_GT(h, 0);
  EXPECT_EQ(tw::SdkApp().FindPort(h)->DeviceTypeCode(), 0x243);
  LF_ClosePort(h);
}
