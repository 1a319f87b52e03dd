// The simulated device's configuration side: which requests it answers and what a restart takes
// into effect. Tests elsewhere rely on it behaving like a device.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/lan/lan_device.h"
#include "transport/lan_datagram.h"

namespace tw::sim {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Ask(SimLanDevice& d, const Bytes& req) {
  Bytes reply;
  d.Handle(req.data(), req.size(), reply);
  return reply;
}

LanDeviceConfig Config() {
  LanDeviceConfig c;
  c.address = {{10, 77, 0, 10}};
  c.deviceName = "STATION-NUMBER12";
  return c;
}

TEST(SimLanDevice, AnswersRecordsAndIdentify) {
  SimLanDevice d(Config());
  Bytes r0 = Ask(d, lan::ReadRecordRequest(0));
  ASSERT_EQ(r0.size(), 4u + 126u);
  EXPECT_EQ(r0[3], 0xF9);
  Bytes rec(r0.begin() + 4, r0.end());
  EXPECT_EQ(lan::RecordAddress(rec), "10.77.0.10");
  EXPECT_EQ(lan::RecordDeviceName(rec), "[STATION-NUMBER12]");
  EXPECT_EQ(lan::RecordPort(rec), 10001u);
  Bytes r3 = Ask(d, lan::ReadRecordRequest(3));
  EXPECT_EQ(r3[3], 0xD3);
  EXPECT_EQ(std::string(r3.begin() + 4 + 102, r3.begin() + 4 + 110), "NUMBER12");
  Bytes id = Ask(d, lan::IdentifyRequest());
  ASSERT_GE(id.size(), 4u + 26u);
  EXPECT_EQ(std::string(id.begin() + 4 + 11, id.begin() + 4 + 14), kLanMakerTag);
  EXPECT_TRUE(Ask(d, {0, 1, 0}).empty());      // no header
  EXPECT_TRUE(Ask(d, {0, 1, 0, 0x42}).empty());  // unknown code
}

TEST(SimLanDevice, IpSetupOnlyForItsOwnHardwareAddress) {
  SimLanDevice d(Config());
  Bytes wrongMac{0x00, 0x99, 10, 77, 0, 20};
  Ask(d, lan::IpSetupRequest(false, wrongMac));
  EXPECT_FALSE(d.RestartPending());
  Bytes mine{0x00, 0x01, 10, 77, 0, 20};
  Ask(d, lan::IpSetupRequest(false, mine));
  ASSERT_TRUE(d.RestartPending());
  d.CompleteRestart();
  EXPECT_EQ(d.Active().address, (std::array<uint8_t, 4>{{10, 77, 0, 20}}));
}

TEST(SimLanDevice, RecordWriteTakesEffectAfterReset) {
  SimLanDevice d(Config());
  Bytes rec(126, 0);
  rec[0] = 10, rec[1] = 77, rec[2] = 0, rec[3] = 30, rec[6] = 16, rec[20] = 0xA1, rec[21] = 0x0F;
  Bytes ack = Ask(d, lan::WriteRecordRequest(0, rec));
  ASSERT_EQ(ack.size(), 4u);
  EXPECT_EQ(ack[3], 0xFB);
  EXPECT_FALSE(d.RestartPending());
  EXPECT_EQ(d.Active().address[3], 10);  // not before the restart
  Ask(d, lan::ResetRequest());
  ASSERT_TRUE(d.RestartPending());
  d.CompleteRestart();
  EXPECT_EQ(d.Active().address[3], 30);
  EXPECT_EQ(d.Active().hostBits, 16);
  EXPECT_EQ(d.Active().dataPort, 4001);
  // A DHCP record keeps the address the device holds.
  rec[0] = rec[1] = rec[2] = rec[3] = 0;
  Ask(d, lan::WriteRecordRequest(0, rec));
  Ask(d, lan::ResetRequest());
  d.CompleteRestart();
  EXPECT_EQ(d.Active().address[3], 30);
}

}  // namespace
}  // namespace tw::sim
