// CHidPort against the stand-in hidapi library, with pseudo-terminals as the devices' far side so
// that each test controls exactly which bytes come back in input reports.
#include "transport/hid_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/tick.h"

namespace tw {
namespace {

using Bytes = std::vector<uint8_t>;

// One simulated device's far side: the test writes what the reader answers and reads what the
// host sent.
struct FarSide {
  int master = -1, slave = -1;
  std::string path;
  FarSide() {
    char name[128];
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&master, &slave, name, &raw, nullptr) == 0) path = name;
  }
  ~FarSide() { Close(); }
  void Close() {
    if (master >= 0) close(master);
    if (slave >= 0) close(slave);
    master = slave = -1;
  }
  void Answer(const Bytes& b) { ASSERT_EQ(write(master, b.data(), b.size()), ssize_t(b.size())); }
  Bytes Sent(size_t want) {
    Bytes out;
    for (int i = 0; i < 200 && out.size() < want; ++i) {
      pollfd p{master, POLLIN, 0};
      if (poll(&p, 1, 10) <= 0) continue;
      uint8_t buf[256];
      const ssize_t n = read(master, buf, sizeof buf);
      if (n > 0) out.insert(out.end(), buf, buf + n);
    }
    return out;
  }
};

class HidPort : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tw-hid-XXXXXX";
    ASSERT_TRUE(mkdtemp(tmpl));
    dir_ = tmpl;
    logPath_ = dir_ + "/reports.log";
    setenv("TAGWRIGHT_SIM_HID_LOG", logPath_.c_str(), 1);
    // Simulators announced elsewhere on this machine stay out of these lists.
    setenv("TAGWRIGHT_SIM_REGISTRY", dir_.c_str(), 1);
    standin_ = getenv(kHidapiLibEnv) ? getenv(kHidapiLibEnv) : "";
    if (access(standin_.c_str(), R_OK) != 0) {
      GTEST_SKIP() << "stand-in hidapi library not built";
    }
    ASSERT_TRUE(CHidPort::LoadHidLibraries());
  }
  void TearDown() override {
    unsetenv("TAGWRIGHT_SIM_HID");
    unsetenv("TAGWRIGHT_SIM_HID_LOG");
    unsetenv("TAGWRIGHT_SIM_REGISTRY");
    unsetenv(kHidSysfsRootEnv);
    if (!standin_.empty()) setenv(kHidapiLibEnv, standin_.c_str(), 1);
    CHidPort::FreeHidLibraries();
    if (!dir_.empty()) {
      EXPECT_EQ(system(("rm -rf '" + dir_ + "'").c_str()), 0);
    }
  }
  static void Devices(const std::string& list) { setenv("TAGWRIGHT_SIM_HID", list.c_str(), 1); }
  // Written reports, one line each: "<serial> <hex bytes>".
  std::vector<std::string> Reports() const {
    std::vector<std::string> lines;
    std::ifstream f(logPath_);
    for (std::string l; std::getline(f, l);) lines.push_back(l);
    return lines;
  }
  Bytes ReadSome(CHidPort& port, int capacity = 100) {
    Bytes buf(static_cast<size_t>(capacity));
    for (int i = 0; i < 200; ++i) {
      const int n = port.ReadHidInput(buf.data(), capacity);
      if (n > 0) return Bytes(buf.begin(), buf.begin() + n);
    }
    return {};
  }
  std::string dir_, logPath_, standin_;
};

TEST(HidName, SerialNumberAndFallback) {
  EXPECT_EQ(CHidPort::HidReaderName(L"2010-0815"), "2010-0815 HID");
  EXPECT_EQ(CHidPort::HidReaderName(nullptr), "2010-???? HID");
  EXPECT_EQ(CHidPort::HidReaderName(L""), kHidFallbackName);
  EXPECT_EQ(CHidPort::HidReaderName(L"M\u00fcller\u20ac"), "M\xFCller\x80 HID");
  EXPECT_EQ(CHidPort::HidReaderName(L"\u4e00"), "? HID");
  // The serial number was read into 50 bytes: 24 characters at most.
  EXPECT_EQ(CHidPort::HidReaderName(L"ABCDEFGHIJKLMNOPQRSTUVWXYZ"), "ABCDEFGHIJKLMNOPQRSTUVWX HID");
  EXPECT_TRUE(CHidPort::IsAcceptedDevice(0x16C0, 0x2913));
  EXPECT_TRUE(CHidPort::IsAcceptedDevice(0x1C40, 0x05B0));
  EXPECT_FALSE(CHidPort::IsAcceptedDevice(0x1C40, 0x05AC));
  EXPECT_FALSE(CHidPort::IsAcceptedDevice(0x16C0, 0x05AB));
}

TEST_F(HidPort, ListsAcceptedReadersOnceEach) {
  FarSide a, b, c, d;
  Devices("16C0:2913:2010-0815:9:9=" + a.path + ";1234:5678:OTHER:9:9=" + b.path +
          ";1C40:05AB:2010-0815:9:9=" + c.path + ";39C2:1001::9:9=" + d.path +
          ";1C40:05AD:LOCKED:9:9:noopen=" + d.path);
  std::vector<std::string> list{"2010-???? HID"};  // already there: not added again
  CHidPort::EnumerateHidReaders(list);
  // A reader refused for want of permission is named with the reason, not left out.
  EXPECT_EQ(list, (std::vector<std::string>{"2010-???? HID", "2010-0815 HID",
                                            "LOCKED HID (no access) " + dir_ + "/hidraw904: Permission denied"}));

  // Of two readers with one serial number the first in interface order is opened.
  CHidPort port;
  ASSERT_TRUE(port.OpenHidDevice("2010-0815 HID"));
  EXPECT_EQ(port.Name(), "2010-0815 HID");
  ASSERT_TRUE(port.WriteHidFrame(Bytes{0x41}.data(), 1));
  EXPECT_EQ(a.Sent(1), Bytes{0x41});
  EXPECT_TRUE(c.Sent(1).empty());

  CHidPort none;
  EXPECT_FALSE(none.OpenHidDevice("OTHER HID"));      // not an accepted device
  EXPECT_FALSE(none.OpenHidDevice("2010-0815 hid"));  // names compare case-sensitively
  EXPECT_FALSE(none.OpenHidDevice("LOCKED HID"));     // cannot be opened
  EXPECT_EQ(none.LinkId(), 0);
  EXPECT_TRUE(none.OpenHidDevice("2010-???? HID"));
}

TEST_F(HidPort, FramesAreCutIntoFullLengthReports) {
  FarSide a;
  Devices("16C0:2913:2010-0815:9:9=" + a.path);
  CHidPort port;
  ASSERT_TRUE(port.OpenHidDevice("2010-0815 HID"));
  EXPECT_EQ(port.OutputReportLength(), 9);
  ASSERT_TRUE(port.SendHidControl(0));
  Bytes frame(15);
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(0xA0 + i);
  ASSERT_TRUE(port.WriteHidFrame(frame.data(), frame.size()));
  EXPECT_EQ(a.Sent(15), frame);
  EXPECT_EQ(Reports(), (std::vector<std::string>{
                           "2010-0815 00 82 10 00 00 00 00 00 00",
                           "2010-0815 00 07 A0 A1 A2 A3 A4 A5 A6",
                           "2010-0815 00 07 A7 A8 A9 AA AB AC AD",
                           "2010-0815 00 01 AE 00 00 00 00 00 00",
                       }));
  port.CloseHidDevice();
  EXPECT_FALSE(port.WriteHidFrame(frame.data(), frame.size()));
  EXPECT_FALSE(port.SendHidControl(1));
}

TEST_F(HidPort, InputReports) {
  FarSide a, b, c;
  Devices("16C0:2913:PLAIN:9:9=" + a.path + ";16C0:2913:COUNT:9:9:count=255=" + b.path +
          ";16C0:2913:SHORT:9:9:short=" + c.path);
  CHidPort plain, count, shortReports;
  ASSERT_TRUE(plain.OpenHidDevice("PLAIN HID"));
  ASSERT_TRUE(count.OpenHidDevice("COUNT HID"));
  ASSERT_TRUE(shortReports.OpenHidDevice("SHORT HID"));

  uint8_t buf[16];
  EXPECT_EQ(plain.ReadHidInput(buf, sizeof buf), 0);  // nothing there
  a.Answer({1, 2, 3});
  EXPECT_EQ(ReadSome(plain), (Bytes{1, 2, 3}));
  // More than one report's worth arrives in 7-byte pieces; a small buffer takes what fits.
  a.Answer({1, 2, 3, 4, 5, 6, 7, 8, 9});
  EXPECT_EQ(ReadSome(plain, 4), (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(ReadSome(plain), (Bytes{8, 9}));

  // A count byte larger than the report can hold yields only the bytes that came.
  b.Answer({1, 2, 3, 4, 5, 6, 7});
  EXPECT_EQ(ReadSome(count), (Bytes{1, 2, 3, 4, 5, 6, 7}));

  // A report shorter than the input report length yields nothing.
  c.Answer({1, 2, 3});
  for (int i = 0; i < 20; ++i) EXPECT_EQ(shortReports.ReadHidInput(buf, sizeof buf), 0);
  EXPECT_TRUE(shortReports.IsOpen());
}

TEST_F(HidPort, ReadErrorLetsTheDeviceGoButKeepsItsId) {
  FarSide a, b;
  Devices("16C0:2913:2010-0815:9:9=" + a.path + ";16C0:2913:2010-0816:9:9=" + b.path);
  CHidPort port;
  ASSERT_TRUE(port.OpenHidDevice("2010-0815 HID"));
  const int id = port.LinkId();
  a.Close();  // the device vanishes
  uint8_t buf[16];
  for (int i = 0; i < 50 && !port.Lost(); ++i) EXPECT_EQ(port.ReadHidInput(buf, sizeof buf), 0);
  EXPECT_TRUE(port.Lost());
  EXPECT_TRUE(port.IsOpen());
  EXPECT_EQ(port.LinkId(), id);
  EXPECT_FALSE(port.WriteHidFrame(buf, 3));
  EXPECT_FALSE(port.SendHidControl(1));
  // While the port holds it, the id names nothing else; once closed it is free again.
  CHidPort next;
  ASSERT_TRUE(next.OpenHidDevice("2010-0816 HID"));
  EXPECT_NE(next.LinkId(), id);
  next.CloseHidDevice();
  port.CloseHidDevice();
  EXPECT_FALSE(port.IsOpen());
  ASSERT_TRUE(next.OpenHidDevice("2010-0816 HID"));
  EXPECT_EQ(next.LinkId(), id);
}

TEST_F(HidPort, LinkIdsTakeTheSmallestFreeNumber) {
  FarSide a, b, c;
  Devices("16C0:2913:A:9:9=" + a.path + ";16C0:2913:B:9:9=" + b.path + ";16C0:2913:C:9:9=" + c.path);
  CHidPort p1, p2, p3;
  ASSERT_TRUE(p1.OpenHidDevice("A HID"));
  ASSERT_TRUE(p2.OpenHidDevice("B HID"));
  EXPECT_EQ(p1.LinkId(), 10001);
  EXPECT_EQ(p2.LinkId(), 10002);
  p1.CloseHidDevice();
  ASSERT_TRUE(p3.OpenHidDevice("C HID"));
  EXPECT_EQ(p3.LinkId(), 10001);
  // Reopening under another name closes the old device and takes an id anew.
  ASSERT_TRUE(p2.OpenHidDevice("A HID"));
  EXPECT_EQ(p2.LinkId(), 10002);
}

// One reader, one port: a second opener of the same node is refused, also when the first one is
// another process, until the holder closes it or loses the device.
TEST_F(HidPort, NodeIsHeldByOnePortAtATime) {
  FarSide a;
  Devices("16C0:2913:2010-0815:9:9=" + a.path);
  CHidPort first, second;
  ASSERT_TRUE(first.OpenHidDevice("2010-0815 HID"));
  EXPECT_FALSE(second.OpenHidDevice("2010-0815 HID"));
  EXPECT_EQ(second.LastOpenErrno(), EBUSY);
  EXPECT_EQ(second.LastOpenNode(), dir_ + "/hidraw900");
  EXPECT_FALSE(second.IsOpen());
  const pid_t child = fork();
  if (child == 0) {
    CHidPort other;
    _exit(!other.OpenHidDevice("2010-0815 HID") && other.LastOpenErrno() == EBUSY ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "another process opened it too";
  first.CloseHidDevice();
  ASSERT_TRUE(second.OpenHidDevice("2010-0815 HID"));
  a.Close();
  uint8_t buf[16];
  for (int i = 0; i < 50 && !second.Lost(); ++i) second.ReadHidInput(buf, sizeof buf);
  ASSERT_TRUE(second.Lost());
  CDeviceNodeLock probe;
  EXPECT_EQ(probe.Acquire(dir_ + "/hidraw900"), 0) << "a vanished device holds no node";
}

TEST_F(HidPort, ReportsTheDeviceDoesNotTakeFail) {
  FarSide a, b, c;
  Devices("16C0:2913:FAIL:9:9:ctlfail=" + a.path + ";16C0:2913:SLOW:9:9:ctlstall=" + b.path +
          ";16C0:2913:STUCK:9:9:stall=" + c.path);
  CHidPort fail, slow, stuck;
  ASSERT_TRUE(fail.OpenHidDevice("FAIL HID"));
  ASSERT_TRUE(slow.OpenHidDevice("SLOW HID"));
  ASSERT_TRUE(stuck.OpenHidDevice("STUCK HID"));
  EXPECT_FALSE(fail.SendHidControl(0));
  EXPECT_FALSE(slow.SendHidControl(0));  // not taken within 50 ms
  const Bytes frame{1, 2, 3};
  EXPECT_FALSE(stuck.WriteHidFrame(frame.data(), frame.size()));
  // While the device still holds the stuck report, further reports fail at once.
  EXPECT_FALSE(stuck.WriteHidFrame(frame.data(), frame.size()));
  SleepMs(250);
  // Closing with a write in flight leaves the closing to the writer; nothing hangs or leaks.
  EXPECT_FALSE(stuck.WriteHidFrame(frame.data(), frame.size()));
  stuck.CloseHidDevice();
  EXPECT_TRUE(fail.WriteHidFrame(frame.data(), frame.size()));  // data reports still go
}

TEST_F(HidPort, ReportLengthsFromTheDescriptor) {
  FarSide a;
  Devices("16C0:2913:BIG:65:33=" + a.path + ";16C0:2913:NODESC:65:33:nodesc=" + a.path);  // two nodes
  CHidPort big, nodesc;
  ASSERT_TRUE(big.OpenHidDevice("BIG HID"));
  EXPECT_EQ(big.InputReportLength(), 65);
  EXPECT_EQ(big.OutputReportLength(), 33);
  ASSERT_TRUE(nodesc.OpenHidDevice("NODESC HID"));
  EXPECT_EQ(nodesc.InputReportLength(), 9);
  EXPECT_EQ(nodesc.OutputReportLength(), 9);
  // 31 data bytes a report.
  Bytes frame(40, 0x55);
  ASSERT_TRUE(big.WriteHidFrame(frame.data(), frame.size()));
  const auto reports = Reports();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].size(), std::string("BIG").size() + 33 * 3);
  EXPECT_EQ(reports[0].substr(0, 10), "BIG 00 1F ");
  EXPECT_EQ(reports[1].substr(0, 10), "BIG 00 09 ");
}

TEST_F(HidPort, OlderLibraryReadsTheDescriptorFromSysfs) {
  const std::string v013 = std::string(TW_LIB_DIR) + "/standin-hid013/libhidapi-hidraw.so.0";
  setenv(kHidapiLibEnv, v013.c_str(), 1);
  ASSERT_TRUE(CHidPort::LoadHidLibraries());
  FarSide a;
  Devices("16C0:2913:2010-0815:65:65=" + a.path);
  CHidPort port;
  ASSERT_TRUE(port.OpenHidDevice("2010-0815 HID"));
  EXPECT_EQ(port.InputReportLength(), 9);  // no descriptor anywhere: 9 and 9
  port.CloseHidDevice();

  // The stand-in hands out <registry>/hidraw900 for its first device.
  const std::string dir = dir_ + "/sys/class/hidraw/hidraw900/device";
  ASSERT_EQ(system(("mkdir -p '" + dir + "'").c_str()), 0);
  const Bytes desc = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x40,
                      0x09, 0x01, 0x81, 0x02, 0x95, 0x10, 0x09, 0x01, 0x91, 0x02, 0xC0};
  std::ofstream(dir + "/report_descriptor", std::ios::binary)
      .write(reinterpret_cast<const char*>(desc.data()), static_cast<long>(desc.size()));
  setenv(kHidSysfsRootEnv, dir_.c_str(), 1);
  ASSERT_TRUE(port.OpenHidDevice("2010-0815 HID"));
  EXPECT_EQ(port.InputReportLength(), 65);
  EXPECT_EQ(port.OutputReportLength(), 17);
}

TEST_F(HidPort, MissingLibraryOrEntryPointFindsNothing) {
  FarSide a;
  Devices("16C0:2913:2010-0815:9:9=" + a.path);
  for (const std::string& lib : {std::string(TW_LIB_DIR) + "/standin-hid-noread/libhidapi-hidraw.so.0",
                                 std::string("/nonexistent/libhidapi-hidraw.so.0")}) {
    setenv(kHidapiLibEnv, lib.c_str(), 1);
    EXPECT_FALSE(CHidPort::LoadHidLibraries()) << lib;
    EXPECT_FALSE(HidUsable());
    std::vector<std::string> list;
    CHidPort::EnumerateHidReaders(list);
    EXPECT_TRUE(list.empty());
    CHidPort port;
    EXPECT_FALSE(port.OpenHidDevice("2010-0815 HID"));
    uint8_t buf[8];
    EXPECT_EQ(port.ReadHidInput(buf, sizeof buf), 0);
  }
}

}  // namespace
}  // namespace tw
