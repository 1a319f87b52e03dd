// A simulated Ethernet reader opened through the SDK by name and by address, identified and used
// for a transponder write over TCP.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lan_netns.h"
#include "sdk/lf_sdk.h"

namespace tw::test {
namespace {

class LanReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::string why = LanTestNet::Unavailable(); !why.empty()) GTEST_SKIP() << why;
    ASSERT_TRUE(net_.Create(3)) << net_.Error();
    const std::vector<std::string> tag{"--control", "tag add hitags A1B2C3D4"};
    std::vector<std::string> dhcp{"--lan-dhcp", "--lan-name", "LINE7"};
    dhcp.insert(dhcp.end(), tag.begin(), tag.end());
    ASSERT_TRUE(net_.StartDevice(0, dhcp)) << net_.Error();
    std::vector<std::string> fixed{"--lan-static", "--lan-name", "OTHER", "--tcp", "4001", "--address", "3"};
    fixed.insert(fixed.end(), tag.begin(), tag.end());
    ASSERT_TRUE(net_.StartDevice(1, fixed)) << net_.Error();
    // The full simulator program serves the same Ethernet side.
    ASSERT_TRUE(net_.StartDevice(2, {"--lan-dhcp", "--lan-name", "FULLSIM", "--lan-mac",
                                     "02:54:57:00:00:09"}, "tagwright-sim"))
        << net_.Error();
    ASSERT_TRUE(net_.EnterHost());
  }
  LanTestNet net_;
};

void WriteAndReadBack(int h) {
  const unsigned char data[4] = {0x11, 0x22, 0x33, 0x44};
  ASSERT_EQ(LF_WriteBlocks(h, 4, 4, data, 4, 0), 0) << LF_GetLastError(h);
  unsigned char back[4] = {};
  ASSERT_EQ(LF_ReadBlocks(h, 4, 4, back, 4), 4) << LF_GetLastError(h);
  EXPECT_EQ(std::vector<unsigned char>(back, back + 4), std::vector<unsigned char>(data, data + 4));
}

TEST_F(LanReaderTest, OpenedByNameIdentifiedAndWritten) {
  const int h = LF_OpenPort("[LINE7]:1", 19200, 0, 500);
  ASSERT_GE(h, 20001);
  unsigned char version[16];
  EXPECT_EQ(LF_GetVersion(h, version, sizeof version, nullptr, 0), 4);
  WriteAndReadBack(h);
  EXPECT_EQ(LF_ClosePort(h), 0);
  EXPECT_EQ(LF_GetLastError(h), 6);  // the handle is gone
}

TEST_F(LanReaderTest, OpenedByAddressWithPortAndDeviceAddress) {
  const int h = LF_OpenPort("10.77.0.11-4001:3", 19200, 0, 500);
  ASSERT_GE(h, 20001);
  WriteAndReadBack(h);
  // A second LAN port takes the next id.
  const int h2 = LF_OpenPort("[LINE7]", 19200, 0, 500);
  ASSERT_GE(h2, 20001);
  EXPECT_NE(h2, h);
  EXPECT_EQ(LF_ClosePort(h2), 0);
  EXPECT_EQ(LF_ClosePort(h), 0);
  const int h3 = LF_OpenPort("[FULLSIM]:1", 19200, 0, 500);
  ASSERT_GE(h3, 20001);
  unsigned char version[16];
  EXPECT_EQ(LF_GetVersion(h3, version, sizeof version, nullptr, 0), 4);
  EXPECT_EQ(LF_ClosePort(h3), 0);
  // Nothing listens on the default port of the static device; a wrong device address gets no answer.
  EXPECT_EQ(LF_OpenPort("10.77.0.11", 19200, 0, 100), -1);
  EXPECT_EQ(LF_OpenPort("10.77.0.11-4001:9", 19200, 0, 100), -15);
}

}  // namespace
}  // namespace tw::test
