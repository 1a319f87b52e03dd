#include "app/port_settings.h"

#include <gtest/gtest.h>

#include "fake_port_backend.h"
#include "shell/settings_keys.h"
#include "shell/string_table.h"

namespace tw {
namespace {

using test::FakePortBackend;
namespace keys = settings;

TEST(PortBaudrate, ParityCodeReadBack) {
  LineFormat f = DecodeBaudrate(19203);
  EXPECT_EQ(f.baud, 19200);
  EXPECT_EQ(f.parity, kParityNone);
  EXPECT_EQ(f.stop, kStopTwo);
  f = DecodeBaudrate(9601);
  EXPECT_EQ(f.baud, 9600);
  EXPECT_EQ(f.parity, kParityEven);
  EXPECT_EQ(f.stop, kStopOne);
  f = DecodeBaudrate(115202);
  EXPECT_EQ(f.baud, 115200);
  EXPECT_EQ(f.parity, kParityOdd);
  // Codes above 3 mean the plain format.
  f = DecodeBaudrate(4807);
  EXPECT_EQ(f.baud, 4800);
  EXPECT_EQ(f.parity, kParityNone);
  EXPECT_EQ(f.stop, kStopOne);
}

TEST(PortBaudrate, EvenOrOddParityDropsTheSecondStopBit) {
  EXPECT_EQ(EncodeBaudrate(19200, kParityEven, kStopTwo), 19201);
  EXPECT_EQ(EncodeBaudrate(19200, kParityOdd, kStopTwo), 19202);
  EXPECT_EQ(EncodeBaudrate(230400, kParityNone, kStopTwo), 230403);
  EXPECT_EQ(EncodeBaudrate(2400, kParityNone, kStopOne), 2400);
  for (int b : kBaudRates)
    for (int p = 0; p < 3; ++p) {
      const LineFormat f = DecodeBaudrate(EncodeBaudrate(b, p, kStopOne));
      EXPECT_EQ(f.baud, b);
      EXPECT_EQ(f.parity, p);
    }
}

TEST(InterfaceList, UpdatesInPlace) {
  std::vector<std::string> list = {"A", "B", "C"};
  EXPECT_FALSE(UpdateInterfaceList(list, {"A", "B", "C"}));
  EXPECT_TRUE(UpdateInterfaceList(list, {"A", "X", "C", "D"}));
  EXPECT_EQ(list, (std::vector<std::string>{"A", "X", "C", "D"}));
  EXPECT_TRUE(UpdateInterfaceList(list, {"A", "X"}));
  EXPECT_EQ(list, (std::vector<std::string>{"A", "X"}));
  EXPECT_TRUE(UpdateInterfaceList(list, {}));
  EXPECT_TRUE(list.empty());
  EXPECT_FALSE(UpdateInterfaceList(list, {}));
}

TEST(InterfaceList, SplitsListBuffers) {
  const char buf[] = "COM1\0COM2\0\0";
  EXPECT_EQ(SplitListBuffer(buf, sizeof buf - 1), (std::vector<std::string>{"COM1", "COM2"}));
  EXPECT_TRUE(SplitListBuffer(buf, 0).empty());
  // A count that cuts an entry keeps only what lies inside it.
  EXPECT_EQ(SplitListBuffer(buf, 7), (std::vector<std::string>{"COM1", "CO"}));
  EXPECT_TRUE(SplitListBuffer(nullptr, 10).empty());
}

TEST(InterfaceList, EntryFormsAndPrefixSearch) {
  InterfaceLists lists;
  lists.com = {"\\\\.\\COM1", "\\\\.\\COM4 [Velkor Virtual COM]", "/dev/pts/3"};
  lists.usb = {"2010-0815 HID"};
  lists.lan = {"[LINE7]"};
  const auto entries = BuildEntries(lists);
  EXPECT_EQ(entries, (std::vector<std::string>{"COM1", "COM4 [Velkor Virtual COM]", "/dev/pts/3",
                                               "USB: 2010-0815 HID", "LAN: [LINE7]"}));
  EXPECT_EQ(FindEntryByPrefix(entries, "com4"), 1);
  EXPECT_EQ(FindEntryByPrefix(entries, "usb: 2010"), 3);
  EXPECT_EQ(FindEntryByPrefix(entries, "COM9"), -1);
  EXPECT_EQ(FindEntryByPrefix(entries, ""), -1);
  // Device paths match as whole paths, whatever description either side carries.
  const std::vector<std::string> paths = {
      "/dev/serial/by-id/usb-X-port0 [/dev/ttyUSB0]", "/dev/ttyUSB10", "/dev/ttyUSB1 [b]"};
  EXPECT_EQ(FindEntryByPrefix(paths, "/dev/ttyUSB1"), 2);
  EXPECT_EQ(FindEntryByPrefix(paths, "/dev/ttyUSB1 [a]"), 2);
  EXPECT_EQ(FindEntryByPrefix(paths, "/dev/serial/by-id/usb-X-port0 [/dev/ttyUSB3]"), 0);
  EXPECT_EQ(FindEntryByPrefix(paths, "/dev/ttyUSB"), -1);
}

class PortRepair : public ::testing::Test {
 protected:
  MemorySettingsStore store;
  FakePortBackend backend;
  InterfaceLists lists;
  std::string StoredName() { return store.GetProfileString(keys::kPort, keys::kName, "<none>"); }
};

TEST_F(PortRepair, EmptyNameBecomesCom1AndIsWrittenBack) {
  const PortSettings s = LoadAndRepairPortSettings(store, backend, lists);
  EXPECT_EQ(s.name, "COM1");
  EXPECT_EQ(StoredName(), "COM1");
  EXPECT_EQ(s.baudrate, 19200);
  EXPECT_EQ(s.timeout, 1000);
  EXPECT_EQ(s.address, 1);
  EXPECT_FALSE(s.ethernet);
}

TEST_F(PortRepair, StaleUsbChoiceTakesFirstPresentReader) {
  store.WriteProfileString(keys::kPort, keys::kName, "USB: 2010-0001 HID");
  backend.usb = {"2011-0002 HID", "2012-0003 HID"};
  const PortSettings s = LoadAndRepairPortSettings(store, backend, lists);
  EXPECT_EQ(s.name, "USB: 2011-0002 HID");
  EXPECT_TRUE(s.usb);
  EXPECT_EQ(StoredName(), "USB: 2011-0002 HID");
}

TEST_F(PortRepair, PresentUsbChoiceStaysWithoutWrite) {
  store.WriteProfileString(keys::kPort, keys::kName, "USB: 2012-0003 HID");
  backend.usb = {"2011-0002 HID", "2012-0003 HID"};
  const int writes = store.WriteCount();
  EXPECT_EQ(LoadAndRepairPortSettings(store, backend, lists).name, "USB: 2012-0003 HID");
  EXPECT_EQ(store.WriteCount(), writes);
}

TEST_F(PortRepair, UsbChoiceWithoutReadersIsCleared) {
  store.WriteProfileString(keys::kPort, keys::kName, "USB: 2010-0001 HID");
  const PortSettings s = LoadAndRepairPortSettings(store, backend, lists);
  EXPECT_EQ(s.name, "");
  EXPECT_FALSE(s.usb);
  EXPECT_EQ(StoredName(), "");
}

// A stored kernel name moves to the stable name of the same device; another device under that
// kernel name now is noticed and nothing is written.
TEST_F(PortRepair, StoredKernelNameFollowsItsDeviceOrIsNoticedAsAnother) {
  backend.com = {"/dev/serial/by-id/usb-A-port0 [/dev/ttyUSB1, Velkor Virtual COM]",
                 "/dev/serial/by-id/usb-B-port0 [/dev/ttyUSB0]", "/dev/ttyS0"};
  struct Case {
    const char* stored;
    const char* name;  // after the check
    bool another;
  };
  for (const Case& c : {Case{"/dev/ttyUSB1 [Velkor Virtual COM]", backend.com[0].c_str(), false},
                        Case{"/dev/ttyUSB0", backend.com[1].c_str(), false},
                        Case{"/dev/ttyUSB1", "/dev/ttyUSB1", true},
                        Case{"/dev/ttyUSB0 [Velkor Virtual COM]", "/dev/ttyUSB0 [Velkor Virtual COM]", true},
                        Case{"/dev/ttyS0", "/dev/ttyS0", false},
                        Case{"/dev/ttyUSB7", "/dev/ttyUSB7", false}}) {
    InterfaceLists fresh;
    store.WriteProfileString(keys::kPort, keys::kName, c.stored);
    const PortSettings s = LoadAndRepairPortSettings(store, backend, fresh);
    EXPECT_EQ(s.name, c.name) << c.stored;
    EXPECT_EQ(StoredName(), c.name) << c.stored;
    EXPECT_EQ(s.anotherDevice, c.another) << c.stored;
  }
}

TEST_F(PortRepair, LanChoiceThatAnswersIsKeptWithoutSearch) {
  store.WriteProfileString(keys::kPort, keys::kName, "LAN: 10.0.0.9-10001");
  store.WriteProfileInt(keys::kPort, keys::kEthernetAktiv, 1);
  backend.pingAnswers["10.0.0.9-10001"] = true;
  const PortSettings s = LoadAndRepairPortSettings(store, backend, lists);
  EXPECT_EQ(s.name, "LAN: 10.0.0.9-10001");
  EXPECT_TRUE(s.lan);
  EXPECT_EQ(backend.lanCalls, 0);
}

TEST_F(PortRepair, SilentLanChoiceIsReplacedOrCleared) {
  store.WriteProfileString(keys::kPort, keys::kName, "LAN: 10.0.0.9-10001");
  store.WriteProfileInt(keys::kPort, keys::kEthernetAktiv, 1);
  backend.lanReaders = {"[LINE7]", "10.0.0.12-10001"};
  EXPECT_EQ(LoadAndRepairPortSettings(store, backend, lists).name, "LAN: [LINE7]");
  EXPECT_EQ(StoredName(), "LAN: [LINE7]");

  InterfaceLists fresh;
  backend.lanReaders.clear();
  store.WriteProfileString(keys::kPort, keys::kName, "LAN: 10.0.0.9-10001");
  EXPECT_EQ(LoadAndRepairPortSettings(store, backend, fresh).name, "");
  EXPECT_EQ(StoredName(), "");
}

TEST_F(PortRepair, LanChoiceWithEthernetOffIsLeftAlone) {
  store.WriteProfileString(keys::kPort, keys::kName, "LAN: 10.0.0.9-10001");
  EXPECT_EQ(LoadAndRepairPortSettings(store, backend, lists).name, "LAN: 10.0.0.9-10001");
  EXPECT_TRUE(backend.calls.empty());
}

TEST(ModeButtonRules, SwitchableReadersOnly) {
  EXPECT_EQ(SwitchableHidPrefixes().size(), 14u);
  for (const auto& p : SwitchableHidPrefixes()) {
    ASSERT_EQ(p.size(), 5u);
    EXPECT_EQ(p.back(), '-');
  }
  EXPECT_EQ(ModeButtonsFor("USB: 2010-0815 HID"), ModeButtons::HidChecked);
  EXPECT_EQ(ModeButtonsFor("USB: 1999-0815 HID"), ModeButtons::Disabled);  // not switchable
  EXPECT_EQ(ModeButtonsFor("USB: 2010-0815"), ModeButtons::Disabled);      // D2XX, not HID
  EXPECT_EQ(ModeButtonsFor("COM4 [Velkor Virtual COM]"), ModeButtons::VirtualComChecked);
  EXPECT_EQ(ModeButtonsFor("COM7 [Kestrel Virtual COM (COM7)]"), ModeButtons::VirtualComChecked);
  EXPECT_EQ(ModeButtonsFor("COM1"), ModeButtons::Disabled);
  EXPECT_EQ(ModeButtonsFor("LAN: [LINE7]"), ModeButtons::Disabled);
  EXPECT_EQ(ModeButtonsFor(""), ModeButtons::Disabled);
  EXPECT_EQ(OpenNameOfEntry("COM4 [Velkor Virtual COM]"), "COM4");
  EXPECT_EQ(OpenNameOfEntry("USB: 2010-0815 HID"), "2010-0815 HID");
}

TEST(DriverQuestion, NamesEachMissingDriver) {
  SetLanguage(Language::German);
  EXPECT_EQ(DriverQuestionText(0), "");
  const std::string both = DriverQuestionText(3);
  EXPECT_EQ(both, LoadString(10171) + "\n" + LoadString(10172) + "\n" + LoadString(10173) + "\n");
  EXPECT_EQ(DriverQuestionText(2), LoadString(10172) + "\n" + LoadString(10173) + "\n");
  EXPECT_FALSE(LoadString(10170).empty());
}

TEST(AddressSearch, ResultNames) {
  EXPECT_EQ(NameFromSearchResult("[LINE7]10.0.0.9-10001"), "LAN: [LINE7]");
  EXPECT_EQ(NameFromSearchResult("10.0.0.9-10001"), "LAN: 10.0.0.9-10001");
}

TEST(AddressSearch, MergesDhcpReaderAndMarksOtherDevices) {
  const auto found = MergeFoundDevices({"[LINE7]", "10.0.0.12-10001"},
                                       {"10.0.0.12-10001", "[LINE7]10.0.0.9-10001", "10.0.0.40-80"});
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0].text, "[LINE7]10.0.0.9-10001");
  EXPECT_EQ(found[0].kind, 1);
  EXPECT_EQ(found[1].text, "10.0.0.12-10001");
  EXPECT_EQ(found[1].kind, 1);
  EXPECT_EQ(found[2].text, "10.0.0.40-80");
  EXPECT_EQ(found[2].kind, 2);
}

TEST(LanFieldsTest, ReadsFixedAndDhcpDevices) {
  LanFields f = ParseLanInfo({"[LINE7]-10002", "10.0.0.9-10005", "255.255.255.0", "10.0.0.1"});
  EXPECT_EQ(f.mode, 1);
  EXPECT_EQ(f.ip, "10.0.0.9");
  EXPECT_EQ(f.port, 10005);
  EXPECT_EQ(f.dhcpName, "LINE7");
  f = ParseLanInfo({"[LINE7]-10002", "", "", ""});
  EXPECT_EQ(f.mode, 0);
  EXPECT_EQ(f.ip, "");
  EXPECT_EQ(f.port, 10002);
  f = ParseLanInfo({"plain", "10.0.0.9", "", ""});
  EXPECT_EQ(f.port, 10001);
  EXPECT_EQ(f.dhcpName, "plain");
  f = ParseLanInfo({});
  EXPECT_EQ(f.mode, 0);
  EXPECT_EQ(f.port, 10001);
}

TEST(LanFieldsTest, NewAddressesAndFixedAddressCheck) {
  EXPECT_EQ(NewLanAddress(0, "", "LINE7", 10001), "[LINE7]-10001");
  EXPECT_EQ(NewLanAddress(1, "10.0.0.9", "LINE7", 4001), "10.0.0.9-4001");
  EXPECT_FALSE(IsUsableFixedAddress("0.0.0.0"));
  EXPECT_FALSE(IsUsableFixedAddress(""));
  EXPECT_FALSE(IsUsableFixedAddress("10.0.0"));
  EXPECT_FALSE(IsUsableFixedAddress("10.0.0.256"));
  EXPECT_FALSE(IsUsableFixedAddress("10.0.0.1x"));
  EXPECT_TRUE(IsUsableFixedAddress("10.0.0.9"));
}

TEST(Rescan, DeviceEventIsFollowedByFourRescans) {
  RescanCounter c;
  EXPECT_FALSE(c.Next(DeviceEvent::Refresh));  // the dialog's own first request
  EXPECT_TRUE(c.Next(DeviceEvent::Arrival));
  int timerStarts = 0;
  while (c.Next(DeviceEvent::Refresh)) ++timerStarts;
  EXPECT_EQ(timerStarts, 3);  // timer after the event plus three more: rescans at 1, 2, 3, 4 s
  EXPECT_EQ(c.Count(), 0);
  // A second event during the series starts it over.
  EXPECT_TRUE(c.Next(DeviceEvent::NodesChanged));
  EXPECT_TRUE(c.Next(DeviceEvent::Refresh));
  EXPECT_TRUE(c.Next(DeviceEvent::Arrival));
  EXPECT_EQ(c.Count(), 1);
}

}  // namespace
}  // namespace tw
