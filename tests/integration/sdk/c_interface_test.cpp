// The shared library as an integrator sees it: loaded with dlopen, only LF_ names exported.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "sim_helpers.h"

using tw::test::SimProcess;

TEST(CInterface, LoadsWithDlopenAndOpensTheSimulator) {
  SimProcess sim;
  START_SIM(sim);
  const std::string lib = std::string(TW_LIB_DIR) + "/libtagwright_sdk.so";
  void* h = dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(h, nullptr) << dlerror();
  using OpenFn = int (*)(const char*, int, int, int);
  using VersionFn = int (*)(int, unsigned char*, int, char*, int);
  using IntFn = int (*)(int);
  auto open = reinterpret_cast<OpenFn>(dlsym(h, "LF_OpenPort"));
  auto version = reinterpret_cast<VersionFn>(dlsym(h, "LF_GetVersion"));
  auto close = reinterpret_cast<IntFn>(dlsym(h, "LF_ClosePort"));
  auto lastError = reinterpret_cast<IntFn>(dlsym(h, "LF_GetLastError"));
  ASSERT_TRUE(open && version && close && lastError);
  // Nothing but the LF_ functions is visible.
  EXPECT_EQ(dlsym(h, "_ZN2tw6SdkAppEv"), nullptr);
  EXPECT_EQ(dlsym(h, "_ZN2tw11CQZ_RW_Port6Crc16EPKhm"), nullptr);

  const int port = open(sim.PtyPath().c_str(), 19200, 0, 200);
  ASSERT_GT(port, 0);
  unsigned char buf[16];
  char name[80] = "";
  EXPECT_EQ(version(port, buf, sizeof buf, name, sizeof name), 4);
  EXPECT_STREQ(name, "QZ-243 read/write unit enh.");
  EXPECT_EQ(close(port), 0);
  EXPECT_EQ(lastError(port), 6);
  dlclose(h);
}
