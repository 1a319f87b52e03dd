// D2XX mode through the real loading path: the project's stand-in library reaches a simulator.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "sdk/lf_sdk.h"
#include "sim_helpers.h"
#include "transport/ftd2xx_port.h"

using tw::test::SimProcess;

namespace {
class D2xx : public ::testing::Test {
 protected:
  void SetUp() override {
    START_SIM(sim);
    setenv("TAGWRIGHT_SIM_D2XX", ("TWSIM0001=" + sim.PtyPath()).c_str(), 1);
  }
  void TearDown() override {
    unsetenv(tw::kFtd2xxLibEnv);
    unsetenv("TAGWRIGHT_SIM_D2XX");
  }
  bool UseLibrary(const std::string& variant) {
    const std::string path = std::string(TW_LIB_DIR) + "/" + variant + "/libftd2xx.so";
    setenv(tw::kFtd2xxLibEnv, path.c_str(), 1);
    return access(path.c_str(), R_OK) == 0;
  }
  SimProcess sim;
};
}  // namespace

TEST_F(D2xx, OpensBySerialNumberAndTransacts) {
  if (!UseLibrary("standin")) GTEST_SKIP() << "stand-in D2XX library not built";
  const int h = LF_OpenPort("TWSIM0001", 115200, 0, 200);
  ASSERT_GT(h, 0);
  EXPECT_EQ(LF_IsUsbDevice(h), 1);
  unsigned char buf[8];
  EXPECT_EQ(LF_GetVersion(h, buf, sizeof buf, nullptr, 0), 4);
  EXPECT_EQ(LF_ClosePort(h), 0);
  EXPECT_EQ(LF_OpenPort("NOSUCHSERIAL", 0, 0, 100), -1);
}

TEST_F(D2xx, MissingLatencyEntryPointStillOpens) {
  if (!UseLibrary("standin-nolatency")) GTEST_SKIP() << "stand-in D2XX library not built";
  const int h = LF_OpenPort("TWSIM0001", 0, 0, 200);
  ASSERT_GT(h, 0);
  EXPECT_EQ(LF_ClosePort(h), 0);
}

TEST_F(D2xx, WithoutTheLibraryTheOpenFails) {
  setenv(tw::kFtd2xxLibEnv, "/nonexistent/libftd2xx.so", 1);
  EXPECT_EQ(LF_OpenPort("TWSIM0001", 0, 0, 100), -1);
  EXPECT_EQ(sim.CountCommands(0xF0), 0);
}
