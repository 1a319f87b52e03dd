// The whole USB list: FTDI serial numbers first, then HID reader names, each kept only with a
// reader product number. Both vendor libraries are the project's stand-ins.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "sdk/lf_sdk.h"
#include "sys_tree.h"
#include "transport/ftd2xx_port.h"
#include "transport/hid_library.h"

using tw::test::Pty;
using Strings = std::vector<std::string>;

TEST(UsbList, FtdiSerialsThenHidNamesWithReaderProductNumbersOnly) {
  const char* hidLib = getenv(tw::kHidapiLibEnv);
  const std::string d2xxLib = std::string(TW_LIB_DIR) + "/standin/libftd2xx.so";
  if (!hidLib || access(hidLib, R_OK) != 0 || access(d2xxLib.c_str(), R_OK) != 0)
    GTEST_SKIP() << "stand-in vendor libraries not built";
  Pty a, b, c, d;
  ASSERT_TRUE(a.Ok() && b.Ok() && c.Ok() && d.Ok());
  setenv(tw::kFtd2xxLibEnv, d2xxLib.c_str(), 1);
  setenv("TAGWRIGHT_SIM_D2XX", ("2100-0002=" + a.SlavePath() + ";TWSIM0003=" + b.SlavePath()).c_str(), 1);
  setenv("TAGWRIGHT_SIM_HID", ("16C0:2913:9999-0001:9:9=" + c.SlavePath() +
                               ";16C0:2913:2010-0815:9:9=" + d.SlavePath()).c_str(), 1);
  char buf[128];
  const int used = LF_EnumUsbPorts(buf, sizeof buf);
  Strings got;
  for (int pos = 0; pos < used - 1; pos += static_cast<int>(got.back().size()) + 1)
    got.emplace_back(buf + pos);
  EXPECT_EQ(got, (Strings{"2100-0002", "2010-0815 HID"}));
  unsetenv("TAGWRIGHT_SIM_HID");
  unsetenv("TAGWRIGHT_SIM_D2XX");
  unsetenv(tw::kFtd2xxLibEnv);
}
