// Parsing of LAN target names and configuration datagrams.
#include <gtest/gtest.h>

#include "transport/lan_datagram.h"

namespace tw::lan {
namespace {

Bytes Record0(const std::array<uint8_t, 4>& ip, uint16_t port, const std::string& name,
              const std::string& product, size_t size = 126) {
  Bytes r(size, 0);
  std::copy(ip.begin(), ip.end(), r.begin());
  r[20] = static_cast<uint8_t>(port & 0xFF);
  r[21] = static_cast<uint8_t>(port >> 8);
  for (size_t i = 0; i < name.size() && i < 16; ++i) r[(i < 8 ? 112 + i : 84 + i - 8)] = name[i];
  for (size_t i = 0; i < product.size() && 93 + i < size; ++i) r[93 + i] = product[i];
  return r;
}

TEST(LanTargetName, PortIsTheNumberAfterTheLastHyphen) {
  std::string host;
  uint32_t port = 0;
  SplitTarget("192.168.0.20", host, port);
  EXPECT_EQ(host, "192.168.0.20");
  EXPECT_EQ(port, 10001u);
  SplitTarget("192.168.0.20-4001", host, port);
  EXPECT_EQ(host, "192.168.0.20");
  EXPECT_EQ(port, 4001u);
  SplitTarget("[LINE-7]10.0.0.5-10002", host, port);
  EXPECT_EQ(host, "[LINE-7]10.0.0.5");
  EXPECT_EQ(port, 10002u);
  EXPECT_EQ(EntryHost("[LINE-7]10.0.0.5-10002"), "10.0.0.5");
  EXPECT_EQ(EntryHost("10.0.0.6-10001"), "10.0.0.6");
  EXPECT_EQ(BracketPart("[LINE7]-10001"), "[LINE7]");
  EXPECT_EQ(BracketPart("x[AB]10.1.1.1"), "[AB]");
  EXPECT_EQ(BracketPart("10.1.1.1"), "");
}

TEST(LanTargetName, EthernetNamesAreBracketedOrHoldThreeDots) {
  EXPECT_TRUE(IsLanTargetName("[LINE7]"));
  EXPECT_TRUE(IsLanTargetName("192.168.0.20-4001"));
  EXPECT_FALSE(IsLanTargetName(".1.2.3"));  // the first dot must follow a character
  EXPECT_FALSE(IsLanTargetName("1.2.3"));
  EXPECT_FALSE(IsLanTargetName("COM3"));
  EXPECT_FALSE(IsLanTargetName(""));
}

TEST(LanDatagram, DiscoveryEntryFormsForStaticAndDhcpDevices) {
  Bytes staticRec = Record0({10, 0, 0, 7}, 4001, "LINE7", "QZ-LAN");
  EXPECT_EQ(DiscoveryEntry(staticRec, "10.0.0.7"), "10.0.0.7-4001");
  Bytes dhcpRec = Record0({0, 0, 0, 0}, 10001, "STATION-NUMBER12", "QZ-LAN");
  EXPECT_EQ(DiscoveryEntry(dhcpRec, "10.0.0.8"), "[STATION-NUMBER12]10.0.0.8-10001");
  // A static address that differs from the sender (device behind a NAT, stale record) is
  // named like a DHCP device.
  EXPECT_EQ(DiscoveryEntry(staticRec, "10.0.0.9"), "[LINE7]10.0.0.9-4001");
}

TEST(LanDatagram, ReaderProductCheck) {
  EXPECT_TRUE(IsReaderProduct(Record0({}, 1, "A", "QZ-LAN")));
  EXPECT_TRUE(IsReaderProduct(Record0({}, 1, "A", "qz-lan")));
  EXPECT_FALSE(IsReaderProduct(Record0({}, 1, "A", "XPORT")));
  EXPECT_FALSE(IsReaderProduct(Record0({}, 1, "A", "QZ")));
  // Unterminated product name running to the end of a short record: bounded by the record.
  Bytes r(100, 'Q');
  EXPECT_EQ(RecordProductName(r), std::string(7, 'Q'));
  EXPECT_FALSE(IsReaderProduct(Bytes(50, 0)));
}

TEST(LanDatagram, QueuedEntriesAndRequests) {
  Datagram d;
  const uint8_t shortEntry[] = {10, 0, 0, 1, 0, 0, 0};
  EXPECT_FALSE(DecodeQueued(shortEntry, sizeof shortEntry, d));
  const uint8_t entry[] = {10, 0, 0, 1, 0, 0, 0, 0xF9, 1, 2};
  ASSERT_TRUE(DecodeQueued(entry, sizeof entry, d));
  EXPECT_EQ(d.sender, "10.0.0.1");
  EXPECT_EQ(d.code, 0xF9);
  EXPECT_EQ(d.payload, (Bytes{1, 2}));

  EXPECT_EQ(ReadRecordRequest(0), (Bytes{0, 1, 0, 0xF8}));
  EXPECT_EQ(ReadRecordRequest(3), (Bytes{0, 1, 0, 0xE3}));
  EXPECT_EQ(ReadRecordAnswerCode(3), 0xD3);
  EXPECT_EQ(WriteRecordRequest(0, {9}), (Bytes{0, 0, 0, 0xFD, 9}));
  EXPECT_EQ(WriteRecordRequest(3, {9}), (Bytes{0, 1, 0, 0xC3, 9}));
  EXPECT_EQ(WriteRecordAnswerCode(0), 0xFB);
  EXPECT_EQ(WriteRecordAnswerCode(3), 0xB3);
  Bytes setup = IpSetupRequest(true, {1});
  EXPECT_EQ(std::string(setup.begin() + 4, setup.begin() + 14), "IP-SETUPEX");
  EXPECT_EQ(IpSetupRequest(false, {}).size(), 14u);
  EXPECT_EQ(ResetRequest(), (Bytes{0, 0, 0, 3, 'X', '3'}));
}

TEST(LanDatagram, NameHalvesStopAtZeroAndSortedMerge) {
  Bytes r = Record0({}, 1, "AB", "QZ-");
  EXPECT_EQ(RecordDeviceName(r), "[AB]");
  r[84] = 'Z';  // characters 9-16 follow even when 1-8 are short
  EXPECT_EQ(RecordDeviceName(r), "[ABZ]");
  std::vector<std::string> list;
  for (const char* e : {"b", "a", "b", "c", "a"}) InsertSorted(list, e);
  EXPECT_EQ(list, (std::vector<std::string>{"a", "b", "c"}));
  uint8_t ip[4];
  EXPECT_TRUE(ParseIpv4("10.0.0.255", ip));
  EXPECT_FALSE(ParseIpv4("10.0.0.256", ip));
  EXPECT_FALSE(ParseIpv4("10.0.0", ip));
  EXPECT_FALSE(ParseIpv4("[x]", ip));
}

}  // namespace
}  // namespace tw::lan
