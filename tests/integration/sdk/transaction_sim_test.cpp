// Transactions over a real pseudo-terminal with the simulator's fault injection.
#include <gtest/gtest.h>

#include "platform/tick.h"
#include "sdk/qz_rw_port.h"
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
  EXPECT_EQ(port.GetHandle(), 0);
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
