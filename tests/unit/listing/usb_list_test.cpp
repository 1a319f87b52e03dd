// The USB reader list: FTDI serial numbers through the stand-in D2XX library, the product-number
// filter, and the list buffer rules of the SDK's list functions.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "sdk/lf_sdk.h"
#include "sys_tree.h"
#include "transport/ftd2xx_port.h"
#include "transport/port_enum.h"
#include "transport/usb_serial_port.h"

using tw::test::Pty;
using tw::test::SysTree;
using Strings = std::vector<std::string>;

namespace {

// HID readers of this machine must not mix into the lists under test.
const bool kNoHid = setenv("TAGWRIGHT_HIDAPI_LIB", "/nonexistent/libhidapi.so", 1) == 0;

Strings Entries(const char* buf, int used) {
  Strings out;
  int pos = 0;
  while (pos < used - 1) {
    out.emplace_back(buf + pos);
    pos += static_cast<int>(out.back().size()) + 1;
  }
  return out;
}

class D2xxList : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(kNoHid);
    const std::string lib = std::string(TW_LIB_DIR) + "/standin/libftd2xx.so";
    if (access(lib.c_str(), R_OK) != 0) GTEST_SKIP() << "stand-in D2XX library not built";
    setenv(tw::kFtd2xxLibEnv, lib.c_str(), 1);
    ASSERT_TRUE(a.Ok() && b.Ok() && c.Ok());
    setenv("TAGWRIGHT_SIM_D2XX",
           ("2100-0001=" + a.SlavePath() + ";2100-0002=" + b.SlavePath() + ";TWSIM0003=" +
            c.SlavePath())
               .c_str(),
           1);
  }
  void TearDown() override {
    unsetenv(tw::kFtd2xxLibEnv);
    unsetenv("TAGWRIGHT_SIM_D2XX");
  }
  Pty a, b, c;
};

TEST_F(D2xxList, DevicesOpenInThisProcessAreLeftOut) {
  tw::CFTD2xxPort holder;
  holder.LoadD2xxLibrary();
  tw::d2xx::FT_HANDLE h = holder.FtW32CreateFile("2100-0001");
  ASSERT_FALSE(tw::d2xx::IsInvalidHandle(h));

  Strings list{"kept"};
  tw::CUSBSerialPort port;
  port.EnumerateD2xxSerials(list);
  EXPECT_EQ(list, (Strings{"kept", "2100-0002", "TWSIM0003"}));

  // The SDK's list keeps reader product numbers only.
  char buf[64];
  const int used = LF_EnumUsbPorts(buf, sizeof buf);
  EXPECT_EQ(Entries(buf, used), (Strings{"2100-0002"}));
  EXPECT_EQ(used, 11);

  holder.FtW32CloseHandle(h);
  EXPECT_EQ(Entries(buf, LF_EnumUsbPorts(buf, sizeof buf)), (Strings{"2100-0001", "2100-0002"}));
}

TEST(D2xxListNoLibrary, FindsNothingAndSaysNothingToTheUser) {
  setenv(tw::kFtd2xxLibEnv, "/nonexistent/libftd2xx.so", 1);
  Strings list;
  tw::CUSBSerialPort port;
  port.EnumerateD2xxSerials(list);
  EXPECT_TRUE(list.empty());
  char buf[8] = {'x', 'x'};
  EXPECT_EQ(LF_EnumUsbPorts(buf, sizeof buf), 1);
  EXPECT_EQ(buf[0], '\0');
  unsetenv(tw::kFtd2xxLibEnv);
}

TEST(D2xxNodes, OpenAndNamelessNodesAreSkippedAndSerialsStayInTheirField) {
  tw::d2xx::FT_DEVICE_LIST_INFO_NODE nodes[4]{};
  std::strcpy(nodes[0].SerialNumber, "2010-0815");
  nodes[1].ftHandle = &nodes[1];  // open here
  std::strcpy(nodes[1].SerialNumber, "2010-0816");
  // nodes[2]: empty serial number
  std::memset(nodes[3].SerialNumber, 'A', sizeof nodes[3].SerialNumber);  // no NUL at all
  std::memset(nodes[3].Description, 'B', sizeof nodes[3].Description);
  Strings list;
  tw::AppendD2xxSerials(nodes, 4, list);
  EXPECT_EQ(list, (Strings{"2010-0815", std::string(16, 'A')}));
}

TEST(ProductNumbers, TheSetHas156NumbersAndHoldsTheHidFallback) {
  int count = 0;
  for (int n = 0; n <= 9999; ++n) count += tw::IsReaderProductNumber(n);
  EXPECT_EQ(count, 156);
  EXPECT_TRUE(tw::StartsWithReaderProductNumber("2010-???? HID"));
  EXPECT_TRUE(tw::StartsWithReaderProductNumber("2100-0815 HID"));
  EXPECT_TRUE(tw::StartsWithReaderProductNumber("5530"));
  EXPECT_FALSE(tw::StartsWithReaderProductNumber("5531-0001"));
  EXPECT_FALSE(tw::StartsWithReaderProductNumber("999"));
  EXPECT_FALSE(tw::StartsWithReaderProductNumber("21a0-0001"));
  EXPECT_FALSE(tw::StartsWithReaderProductNumber(" 2100"));
}

// List buffers, through the serial list of a prepared tree with two ports.
class ListBuffer : public ::testing::Test {
 protected:
  void SetUp() override {
    tree.PlatformTty("ttyS0", 4);
    tree.UsbDevice("1-1", "0403", "6001", nullptr, nullptr);
    tree.UsbSerialTty("1-1", "ttyUSB0");
    tree.Dir("/registry");
    chmod(tree.Path("/registry").c_str(), 0700);
    setenv("TAGWRIGHT_SIM_REGISTRY", tree.Path("/registry").c_str(), 1);
    setenv("TAGWRIGHT_SYSTEM_ROOT", tree.Root().c_str(), 1);
    std::memset(buf, 'x', sizeof buf);
  }
  void TearDown() override {
    unsetenv("TAGWRIGHT_SIM_REGISTRY");
    unsetenv("TAGWRIGHT_SYSTEM_ROOT");
  }
  static constexpr int kExact = 11 + 13 + 1;  // "/dev/ttyS0", "/dev/ttyUSB0", final NUL
  SysTree tree;
  char buf[64];
};

TEST_F(ListBuffer, ExactlyFittingTakesEveryEntry) {
  ASSERT_EQ(LF_EnumSerialPorts(buf, kExact), kExact);
  EXPECT_EQ(Entries(buf, kExact), (Strings{"/dev/ttyS0", "/dev/ttyUSB0"}));
  EXPECT_EQ(buf[kExact - 1], '\0');
  EXPECT_EQ(buf[kExact], 'x');
}

TEST_F(ListBuffer, OneByteShortDropsTheLastEntry) {
  ASSERT_EQ(LF_EnumSerialPorts(buf, kExact - 1), 12);
  EXPECT_EQ(Entries(buf, 12), (Strings{"/dev/ttyS0"}));
  EXPECT_EQ(buf[11], '\0');
  EXPECT_EQ(buf[12], 'x');
}

TEST_F(ListBuffer, SizeOneTakesOnlyTheFinalNulAndNoBufferTakesNothing) {
  EXPECT_EQ(LF_EnumSerialPorts(buf, 1), 1);
  EXPECT_EQ(buf[0], '\0');
  EXPECT_EQ(buf[1], 'x');
  EXPECT_EQ(LF_EnumSerialPorts(nullptr, 100), 0);
  EXPECT_EQ(LF_EnumSerialPorts(buf + 2, 0), 0);
  EXPECT_EQ(buf[2], 'x');
}

}  // namespace
