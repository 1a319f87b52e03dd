// The LAN configuration sequence against a scripted device: which datagrams go out, when the
// device is waited for, and what the caller gets back.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sdk/lan_config.h"

namespace tw {
namespace {

CMyByteArray MakeRecord0(const std::array<uint8_t, 4>& ip, uint8_t hostBits, uint16_t port,
                         const std::string& name, size_t size = 126) {
  CMyByteArray r(size, 0);
  std::copy(ip.begin(), ip.end(), r.begin());
  if (size > 6) r[6] = hostBits;
  if (size > 21) {
    r[20] = static_cast<uint8_t>(port & 0xFF);
    r[21] = static_cast<uint8_t>(port >> 8);
  }
  for (size_t i = 0; i < name.size() && i < 16; ++i) {
    size_t at = i < 8 ? 112 + i : 84 + i - 8;
    if (at < size) r[at] = static_cast<uint8_t>(name[i]);
  }
  return r;
}

// Scripted device behind the configuration port.
class FakeOps : public ILanConfigOps {
 public:
  CMyByteArray record0 = MakeRecord0({10, 0, 0, 10}, 8, 10001, "LINE7");
  CMyByteArray record3 = CMyByteArray(126, 0);
  CMyByteArray identify;
  int openFailuresAfterFirst = 0;  // opens after the first one that fail
  int openFailResult = -1;
  int writeFailures = 0;
  bool comesBack = true;

  std::vector<std::string> log;
  CMyByteArray lastSetupData;
  bool lastSetupExtended = false;
  CMyByteArray written0;
  uint32_t clock = 0;

  FakeOps() {
    identify.assign(32, 0);
    std::memcpy(identify.data() + 11, kLanMakerTag, 3);
    for (int i = 0; i < 6; ++i) identify[20 + i] = static_cast<uint8_t>(0xA0 + i);
  }

  int OpenConfigPort(const std::string& name) override {
    log.push_back("open " + name);
    if (opens_++ > 0 && openFailuresAfterFirst-- > 0) return openFailResult;
    return 20001;
  }
  void CloseConfigPort(int, bool reset) override { log.push_back(reset ? "close+reset" : "close"); }
  bool QueryRecord(int, int n, CMyByteArray& rec) override {
    log.push_back("read " + std::to_string(n));
    rec = n == 0 ? record0 : record3;
    return true;
  }
  bool WriteRecord(int, int n, const CMyByteArray& rec) override {
    log.push_back("write " + std::to_string(n));
    if (n == 0) {
      if (writeFailures-- > 0) return false;
      written0 = rec;
    } else {
      record3 = rec;
    }
    return true;
  }
  bool IdentifyDevice(int, CMyByteArray& answer) override {
    log.push_back("identify");
    answer = identify;
    return !identify.empty();
  }
  bool SendIpSetup(int, bool extended, const CMyByteArray& data) override {
    log.push_back(extended ? "ipsetup ex" : "ipsetup short");
    lastSetupExtended = extended;
    lastSetupData = data;
    return true;
  }
  int PingLanDevice(const std::string&) override {
    ++pings;
    return comesBack ? 1 : 0;
  }
  void Sleep(uint32_t ms) override { clock += ms; }
  uint32_t Now() override { return clock; }

  int pings = 0;
  int Count(const std::string& what) const {
    return static_cast<int>(std::count(log.begin(), log.end(), what));
  }

 private:
  int opens_ = 0;
};

TEST(LanAddressParser, Forms) {
  LanAddressText a = ParseLanAddress("192.168.0.20-4001");
  EXPECT_EQ(std::vector<int>(a.ip, a.ip + 4), (std::vector<int>{192, 168, 0, 20}));
  EXPECT_EQ(a.port, 4001u);
  EXPECT_TRUE(a.name.empty());
  a = ParseLanAddress("10.1.2.3");
  EXPECT_EQ(a.ip[3], 3);
  EXPECT_EQ(a.port, 0u);
  a = ParseLanAddress("[LINE7]-10001");
  EXPECT_EQ(a.name, "LINE7");
  EXPECT_EQ(a.port, 10001u);
  EXPECT_EQ(a.ip[0] | a.ip[1] | a.ip[2] | a.ip[3], 0);
  a = ParseLanAddress("[LINE7]");
  EXPECT_EQ(a.port, 0u);
  a = ParseLanAddress("10.1.2");  // too few dots: nothing
  EXPECT_EQ(a.ip[0], 0);
  a = ParseLanAddress(".1.2.3");  // first dot at position 0: nothing
  EXPECT_EQ(a.ip[1], 0);
  a = ParseLanAddress("[UNCLOSED");
  EXPECT_EQ(a.name, "UNCLOSED");
}

TEST(LanAddressParser, TextsThatAreAddresses) {
  for (const char* ok : {"10.9.0.30", "0.0.0.0", "255.255.255.255", "010.9.0.3"})
    EXPECT_TRUE(IsDottedQuad(ok)) << ok;
  for (const char* bad : {"", "10.9.0.300", "255.255.255", "255.255.255.0.", "1.2.3.4.5", "a.b.c.d",
                          "10.9.0.3x", " 10.9.0.3", "10..0.3", "1000.1.1.1", "10.9.0.3-4001", "-1.2.3.4"})
    EXPECT_FALSE(IsDottedQuad(bad)) << bad;
  for (const char* ok : {"10.9.0.30", "10.9.0.30-4001", "[LINE7]", "[LINE7]-10001", "[STATION-NUMBER12]"})
    EXPECT_TRUE(IsLanAddressText(ok)) << ok;
  for (const char* bad : {"10.9.0.300-4001", "10.9.0.30-", "10.9.0.30-0", "10.9.0.30-65536",
                          "10.9.0.30-40x", "[]", "[LINE7", "[LINE7]x", "[SEVENTEEN-LETTERS]", "LINE7"})
    EXPECT_FALSE(IsLanAddressText(bad)) << bad;
}

TEST(LanAddressParser, MaskHostBits) {
  const uint8_t m24[4] = {255, 255, 255, 0}, m16[4] = {255, 255, 0, 0}, m0[4] = {0, 0, 0, 0},
                m32[4] = {255, 255, 255, 255}, m25[4] = {255, 255, 255, 128};
  EXPECT_EQ(CountHostBits(m24), 8);
  EXPECT_EQ(CountHostBits(m16), 16);
  EXPECT_EQ(CountHostBits(m0), 32);
  EXPECT_EQ(CountHostBits(m32), 0);
  EXPECT_EQ(CountHostBits(m25), 7);
  EXPECT_EQ(NetMaskText(8), "255.255.255.0");
  EXPECT_EQ(NetMaskText(16), "255.255.0.0");
  EXPECT_EQ(NetMaskText(32), "0.0.0.0");
  EXPECT_EQ(NetMaskText(0), "255.255.255.255");
}

TEST(LanDeviceInfo, TextsOfAStaticDevice) {
  FakeOps ops;
  ops.record0[12] = 10;
  ops.record0[15] = 1;
  char name[32], addr[32], mask[32], gw[32];
  ASSERT_EQ(GetLanDeviceInfo(ops, "10.0.0.10", name, addr, mask, gw), 0);
  EXPECT_STREQ(addr, "10.0.0.10-10001");
  EXPECT_STREQ(name, "[LINE7]-10001");
  EXPECT_STREQ(mask, "255.255.255.0");
  EXPECT_STREQ(gw, "10.0.0.1");
  EXPECT_EQ(ops.log.back(), "close");  // never a reset for reading
}

TEST(LanDeviceInfo, DhcpDeviceWithoutNameBufferGetsTheNameAsAddress) {
  FakeOps ops;
  ops.record0 = MakeRecord0({0, 0, 0, 0}, 16, 4001, "STATION-NUMBER12");
  char addr[32];
  ASSERT_EQ(GetLanDeviceInfo(ops, "[STATION-NUMBER12]", nullptr, addr, nullptr, nullptr), 0);
  EXPECT_STREQ(addr, "[STATION-NUMBER12]-4001");
}

TEST(LanDeviceInfo, ShortRecordAndFailedOpen) {
  FakeOps ops;
  ops.record0.resize(119);
  char addr[32] = "untouched";
  EXPECT_EQ(GetLanDeviceInfo(ops, "10.0.0.10", nullptr, addr, nullptr, nullptr), -1);
  EXPECT_STREQ(addr, "untouched");
  EXPECT_EQ(ops.log.back(), "close");

  FakeOps set;
  set.record0.resize(119);
  EXPECT_EQ(SetLanDeviceConfig(set, "10.0.0.10", "10.0.0.20", "", ""), -1);
  EXPECT_EQ(set.Count("identify"), 0);
  EXPECT_EQ(set.Count("write 0"), 0);
}

TEST(LanDeviceConfig, TextsThatAreNoAddressAreRefusedBeforeAnythingIsSent) {
  const struct {
    const char* address;
    const char* mask;
    const char* gateway;
  } cases[] = {{"10.9.0.300", "", ""},  {"10.9.0.3", "255.255.255", ""}, {"", "", "gateway"},
               {"10.9.0", "", ""},      {"", "255.255.255.0", "10.0.0.256"}, {"[LINE7", "", ""}};
  for (const auto& c : cases) {
    FakeOps ops;
    EXPECT_EQ(SetLanDeviceConfig(ops, "10.0.0.10", c.address, c.mask, c.gateway), kLanBadText)
        << c.address << " " << c.mask << " " << c.gateway;
    EXPECT_TRUE(ops.log.empty()) << testing::PrintToString(ops.log);
  }
}

TEST(LanDeviceConfig, EmptyTextsLeaveTheirSettingsAlone) {
  FakeOps ops;
  ops.record0[12] = 10, ops.record0[15] = 1;  // gateway 10.0.0.1
  ASSERT_EQ(SetLanDeviceConfig(ops, "10.0.0.10", "", "", ""), 0);
  EXPECT_EQ(ops.Count("identify"), 0) << "nothing to change";
  EXPECT_EQ(ops.Count("write 0"), 0);

  // Only the name changes: address, gateway and mask travel as the device has them.
  ASSERT_EQ(SetLanDeviceConfig(ops, "10.0.0.10", "[LINE8]", "", ""), 0);
  ASSERT_EQ(ops.lastSetupData.size(), 36u);
  const CMyByteArray& d = ops.lastSetupData;
  EXPECT_EQ(CMyByteArray(d.begin() + 12, d.begin() + 16), (CMyByteArray{255, 255, 255, 0}));
  EXPECT_EQ(CMyByteArray(d.begin() + 16, d.begin() + 20), (CMyByteArray{10, 0, 0, 1}));

  // A new gateway alone keeps the static address; the device is looked for where it is.
  FakeOps gwOnly;
  gwOnly.identify.clear();  // a device that does not identify: the record is written
  ASSERT_EQ(SetLanDeviceConfig(gwOnly, "10.0.0.10", "", "", "10.0.0.254"), 0);
  ASSERT_EQ(gwOnly.written0.size(), 126u);
  EXPECT_EQ(CMyByteArray(gwOnly.written0.begin(), gwOnly.written0.begin() + 4),
            (CMyByteArray{10, 0, 0, 10}));
  EXPECT_EQ(gwOnly.written0[15], 254);
  EXPECT_EQ(gwOnly.written0[6], 8);
}

TEST(LanDeviceConfig, AddressOnlyChangeWithOurMakerTagUsesTheShortDatagram) {
  FakeOps ops;
  ASSERT_EQ(SetLanDeviceConfig(ops, "10.0.0.10", "10.0.0.20", "", ""), 0);
  EXPECT_EQ(ops.Count("ipsetup short"), 1);
  EXPECT_EQ(ops.lastSetupData, (CMyByteArray{0xA4, 0xA5, 10, 0, 0, 20}));
  EXPECT_EQ(ops.Count("write 0"), 0);
  EXPECT_EQ(ops.Count("close+reset"), 0);
  EXPECT_GE(ops.pings, 1);
}

TEST(LanDeviceConfig, NameChangeToDhcpGoesThroughTheExtendedDatagram) {
  FakeOps ops;
  ASSERT_EQ(SetLanDeviceConfig(ops, "10.0.0.10", "[LINE8]-10001", "", ""), 0);
  ASSERT_EQ(ops.Count("ipsetup ex"), 1);
  const CMyByteArray& d = ops.lastSetupData;
  ASSERT_EQ(d.size(), 36u);
  EXPECT_EQ(CMyByteArray(d.begin(), d.begin() + 6), (CMyByteArray{0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5}));
  EXPECT_EQ(CMyByteArray(d.begin() + 6, d.begin() + 10), (CMyByteArray{0, 0, 0, 0}));
  EXPECT_EQ(d[10], 0x11);  // 10001 low byte first
  EXPECT_EQ(d[11], 0x27);
  EXPECT_EQ(std::string(d.begin() + 20, d.begin() + 25), "LINE8");
  EXPECT_EQ(d[25], 0);
  // Everything went through the datagram: no record write, no reset.
  EXPECT_EQ(ops.Count("write 0"), 0);
  EXPECT_EQ(ops.Count("close+reset"), 0);
}

TEST(LanDeviceConfig, ForeignDeviceGetsShortDatagramThenRecordWritesAndReset) {
  FakeOps ops;
  std::memcpy(ops.identify.data() + 11, "ABC", 3);
  ASSERT_EQ(SetLanDeviceConfig(ops, "10.0.0.10", "10.0.0.20-4001", "255.255.0.0", "10.0.0.1"), 0);
  EXPECT_EQ(ops.Count("ipsetup short"), 1);
  EXPECT_EQ(ops.Count("open 10.0.0.20-4001"), 1);
  ASSERT_EQ(ops.written0.size(), 126u);
  EXPECT_EQ(ops.written0[3], 20);
  EXPECT_EQ(ops.written0[6], 16);
  EXPECT_EQ(ops.written0[12], 10);
  EXPECT_EQ(ops.written0[15], 1);
  EXPECT_EQ(ops.written0[20] | (ops.written0[21] << 8), 4001);
  EXPECT_EQ(ops.Count("write 3"), 0);  // no new name
  EXPECT_EQ(ops.log.back(), "close+reset");
}

TEST(LanDeviceConfig, NewNameIsWrittenIntoBothRecordsWhenIdentifyFails) {
  FakeOps ops;
  ops.identify.clear();
  ASSERT_EQ(SetLanDeviceConfig(ops, "10.0.0.10", "[STATION-NUMBER12]", "", ""), 0);
  EXPECT_EQ(ops.Count("ipsetup short") + ops.Count("ipsetup ex"), 0);
  ASSERT_EQ(ops.written0.size(), 126u);
  EXPECT_EQ(std::string(ops.written0.begin() + 112, ops.written0.begin() + 120), "STATION-");
  EXPECT_EQ(std::string(ops.written0.begin() + 84, ops.written0.begin() + 92), "NUMBER12");
  EXPECT_EQ(std::string(ops.record3.begin() + 102, ops.record3.begin() + 110), "NUMBER12");
  EXPECT_EQ(ops.log.back(), "close+reset");
}

TEST(LanDeviceConfig, FailuresAreReported) {
  {  // the device does not come back: 21 opens at the new address, the last result returned
    FakeOps ops;
    std::memcpy(ops.identify.data() + 11, "ABC", 3);
    ops.comesBack = false;
    ops.openFailuresAfterFirst = 100;
    ops.openFailResult = -1;
    EXPECT_EQ(SetLanDeviceConfig(ops, "10.0.0.10", "10.0.0.20-4001", "", ""), -1);
    EXPECT_EQ(ops.Count("open 10.0.0.20-4001"), 21);
    EXPECT_GE(ops.clock, 5000u);
  }
  {  // record 0 write fails six times
    FakeOps ops;
    ops.identify.clear();
    ops.writeFailures = 6;
    EXPECT_EQ(SetLanDeviceConfig(ops, "10.0.0.10", "10.0.0.10-4001", "", ""), -1);
    EXPECT_EQ(ops.Count("write 0"), 6);
  }
  {  // five failures, the sixth attempt succeeds
    FakeOps ops;
    ops.identify.clear();
    ops.writeFailures = 5;
    EXPECT_EQ(SetLanDeviceConfig(ops, "10.0.0.10", "10.0.0.10-4001", "", ""), 0);
  }
  {  // address-only change that never answers at the new address
    FakeOps ops;
    ops.comesBack = false;
    EXPECT_EQ(SetLanDeviceConfig(ops, "10.0.0.10", "10.0.0.20", "", ""), -1);
  }
  {  // address-only change, device does not identify: nothing could be sent
    FakeOps ops;
    ops.identify.clear();
    EXPECT_EQ(SetLanDeviceConfig(ops, "10.0.0.10", "10.0.0.20", "", ""), -1);
  }
  {  // nothing to change
    FakeOps ops;
    EXPECT_EQ(SetLanDeviceConfig(ops, "10.0.0.10", "10.0.0.10-10001", "255.255.255.0", ""), 0);
    EXPECT_EQ(ops.Count("identify"), 0);
  }
}

}  // namespace
}  // namespace tw
