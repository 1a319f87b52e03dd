// Reading and changing network settings of simulated devices inside the test network.
#include <gtest/gtest.h>

#include <string>

#include "lan_netns.h"
#include "sdk/lf_sdk.h"

namespace tw::test {
namespace {

class LanConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::string why = LanTestNet::Unavailable(); !why.empty()) GTEST_SKIP() << why;
    ASSERT_TRUE(net_.Create(2)) << net_.Error();
  }
  void Start(int i, const std::vector<std::string>& args) {
    ASSERT_TRUE(net_.StartDevice(i, args)) << net_.Error();
  }
  void Enter() { ASSERT_TRUE(net_.EnterHost()); }
  LanTestNet net_;
};

TEST_F(LanConfigTest, DeviceInfoTexts) {
  Start(0, {"--lan-static", "--lan-name", "LINE7", "--lan-host-bits", "16", "--lan-gateway", "10.77.0.1"});
  Start(1, {"--lan-dhcp", "--lan-name", "STATION-NUMBER12", "--tcp", "4001"});
  Enter();
  char name[32], addr[32], mask[32], gw[32];
  ASSERT_EQ(LF_GetLanDeviceInfo("10.77.0.10-10001", name, addr, mask, gw), 0);
  EXPECT_STREQ(addr, "10.77.0.10-10001");
  EXPECT_STREQ(name, "[LINE7]-10001");
  EXPECT_STREQ(mask, "255.255.0.0");
  EXPECT_STREQ(gw, "10.77.0.1");
  // A DHCP device with no name buffer: its name goes into the address buffer.
  ASSERT_EQ(LF_GetLanDeviceInfo("[STATION-NUMBER12]", nullptr, addr, nullptr, nullptr), 0);
  EXPECT_STREQ(addr, "[STATION-NUMBER12]-4001");
  EXPECT_EQ(LF_GetLanDeviceInfo("10.77.0.99", name, addr, mask, gw), -1);
  EXPECT_EQ(net_.CountEvents(0, "RESET"), 0);
}

TEST_F(LanConfigTest, ShortRecordFailsInfoAndChange) {
  Start(0, {"--lan-static", "--lan-record0-size", "119"});
  Enter();
  char addr[32];
  EXPECT_EQ(LF_GetLanDeviceInfo("10.77.0.10", nullptr, addr, nullptr, nullptr), -1);
  // The datagram link needs a whole record 0 to open, so the change fails at the open.
  EXPECT_EQ(LF_SetLanDeviceConfig("10.77.0.10", "10.77.0.20", "", ""), -1);
  EXPECT_EQ(net_.CountEvents(0, "WRITE 0"), 0);
}

TEST_F(LanConfigTest, AddressOnlyChangeUsesTheShortDatagramAndNoReset) {
  Start(0, {"--lan-static", "--lan-name", "LINE7", "--lan-restart-ms", "300"});
  Enter();
  ASSERT_EQ(LF_SetLanDeviceConfig("10.77.0.10", "10.77.0.20", "", ""), 0);
  EXPECT_EQ(net_.CountEvents(0, "IPSETUP SHORT"), 1);
  EXPECT_EQ(net_.CountEvents(0, "WRITE 0"), 0);
  EXPECT_EQ(net_.CountEvents(0, "RESET"), 0);
  EXPECT_EQ(LF_PingLanDevice("10.77.0.20"), 1);
  EXPECT_EQ(LF_PingLanDevice("10.77.0.10"), 0);
}

TEST_F(LanConfigTest, NameChangeToDhcpGoesThroughTheExtendedDatagram) {
  Start(0, {"--lan-static", "--lan-name", "OLDNAME"});
  Enter();
  ASSERT_EQ(LF_SetLanDeviceConfig("10.77.0.10", "[LINE7]-10001", "", ""), 0);
  EXPECT_EQ(net_.CountEvents(0, "IPSETUP EXT"), 1);
  EXPECT_EQ(net_.CountEvents(0, "WRITE 0"), 0);
  EXPECT_EQ(net_.CountEvents(0, "RESET"), 0);
  char name[32], addr[32];
  ASSERT_EQ(LF_GetLanDeviceInfo("[LINE7]", name, addr, nullptr, nullptr), 0);
  EXPECT_STREQ(addr, "");  // DHCP now
  EXPECT_STREQ(name, "[LINE7]-10001");
}

TEST_F(LanConfigTest, ForeignDeviceIsMovedThenWrittenAndReset) {
  Start(0, {"--lan-static", "--lan-name", "LINE7", "--lan-maker", "ABC"});
  Enter();
  ASSERT_EQ(LF_SetLanDeviceConfig("10.77.0.10", "10.77.0.30-4001", "255.255.0.0", "10.77.0.1"), 0);
  EXPECT_EQ(net_.CountEvents(0, "IPSETUP SHORT"), 1);
  EXPECT_EQ(net_.CountEvents(0, "WRITE 0"), 1);
  EXPECT_EQ(net_.CountEvents(0, "RESET"), 1);
  // After its restart the device runs with everything that was written.
  char name[32], addr[32], mask[32], gw[32];
  int r = -1;
  for (int i = 0; i < 30 && r != 0; ++i) r = LF_GetLanDeviceInfo("10.77.0.30-4001", name, addr, mask, gw);
  ASSERT_EQ(r, 0);
  EXPECT_STREQ(addr, "10.77.0.30-4001");
  EXPECT_STREQ(mask, "255.255.0.0");
  EXPECT_STREQ(gw, "10.77.0.1");
}

TEST_F(LanConfigTest, DeviceThatNeverComesBack) {
  Start(0, {"--lan-static", "--lan-maker", "ABC", "--lan-never-return"});
  Enter();
  // Settings change besides the address: the device is awaited at the new address, 21 times.
  EXPECT_LT(LF_SetLanDeviceConfig("10.77.0.10", "10.77.0.20-4001", "", ""), 0);
  EXPECT_EQ(net_.CountEvents(0, "WRITE 0"), 0);
}

}  // namespace
}  // namespace tw::test
