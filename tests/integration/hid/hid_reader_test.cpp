// HID readers through the SDK: the stand-in hidapi library presents tagwright-sim instances as
// HID readers, loaded through the same path as the system's library.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/tick.h"
#include "sdk/lf_sdk.h"
#include "tests/support/sim_process.h"
#include "transport/hid_port.h"

using tw::test::SimProcess;

namespace {

using Bytes = std::vector<uint8_t>;

class HidReader : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* lib = getenv(tw::kHidapiLibEnv);
    if (!lib || access(lib, R_OK) != 0) {
      GTEST_SKIP() << "stand-in hidapi library not built";
    }
    ASSERT_TRUE(sim.Start()) << "tagwright-sim did not start";
    logPath_ = sim.TempDir() + "/hid-reports.log";
    setenv("TAGWRIGHT_SIM_HID_LOG", logPath_.c_str(), 1);
    // Simulators announced elsewhere on this machine stay out of these lists.
    setenv("TAGWRIGHT_SIM_REGISTRY", sim.TempDir().c_str(), 1);
    Devices("16C0:2913:2010-0815:9:9=" + sim.PtyPath());
  }
  void TearDown() override {
    unsetenv("TAGWRIGHT_SIM_HID");
    unsetenv("TAGWRIGHT_SIM_HID_LOG");
    unsetenv("TAGWRIGHT_SIM_REGISTRY");
  }
  static void Devices(const std::string& list) { setenv("TAGWRIGHT_SIM_HID", list.c_str(), 1); }
  // Link control reports written so far ("00 82 10 aa ...": the aa bytes in order).
  std::vector<int> ControlReports() const {
    std::vector<int> out;
    std::ifstream f(logPath_);
    for (std::string l; std::getline(f, l);) {
      const size_t sp = l.find(' ');
      if (l.compare(sp + 1, 9, "00 82 10 ") == 0) out.push_back(std::stoi(l.substr(sp + 10, 2), nullptr, 16));
    }
    return out;
  }
  static std::vector<std::string> UsbNames() {
    std::vector<std::string> list;
    tw::CHidPort::EnumerateHidReaders(list);
    return list;
  }
  SimProcess sim;
  std::string logPath_;
};

TEST_F(HidReader, ListedOpenedIdentifiedAndClosed) {
  EXPECT_EQ(UsbNames(), std::vector<std::string>{"2010-0815 HID"});
  const int h = LF_OpenPort("2010-0815 HID:1", 19200, 0, 500);
  ASSERT_GE(h, 10001);
  EXPECT_LT(h, 20001);
  EXPECT_EQ(LF_IsUsbDevice(h), 1);
  unsigned char buf[32];
  char model[64];
  EXPECT_EQ(LF_GetVersion(h, buf, sizeof buf, model, sizeof model), 4);
  EXPECT_EQ(ControlReports(), std::vector<int>{0});
  EXPECT_EQ(LF_ClosePort(h), 0);
  EXPECT_EQ(ControlReports(), (std::vector<int>{0, 1}));
  EXPECT_EQ(LF_ClosePort(h), -1);
  EXPECT_EQ(LF_GetLastError(h), 6);
}

TEST_F(HidReader, TransponderBlocksWrittenAndReadBack) {
  const int h = LF_OpenPort("2010-0815 HID", 19200, 0, 500);
  ASSERT_GT(h, 0);
  ASSERT_EQ(sim.Control("tag add em4305 A1B2C3D4").rfind("ok", 0), 0u);
  unsigned char uid[16];
  ASSERT_EQ(LF_ReadUid(h, 8, uid, sizeof uid), 4) << LF_GetLastError(h);
  EXPECT_EQ(Bytes(uid, uid + 4), (Bytes{0xA1, 0xB2, 0xC3, 0xD4}));
  // 16 bytes: the command frame spans several output reports and the answer several input ones.
  const Bytes data{0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE,
                   0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  ASSERT_EQ(LF_WriteBlocks(h, 8 | 0x100, 5, data.data(), 16, 0), 0) << LF_GetLastError(h);
  Bytes back(16);
  ASSERT_EQ(LF_ReadBlocks(h, 8, 5, back.data(), 16), 16) << LF_GetLastError(h);
  EXPECT_EQ(back, data);
  EXPECT_EQ(LF_ClosePort(h), 0);
}

TEST_F(HidReader, OpenWithSerialReaderHandlesFromOwnRanges) {
  SimProcess serialSim;
  ASSERT_TRUE(serialSim.Start());
  const int hid = LF_OpenPort("2010-0815 HID", 19200, 0, 500);
  const int serial = LF_OpenPort(serialSim.PtyPath().c_str(), 115200, 0, 500);
  ASSERT_GT(hid, 0);
  ASSERT_GT(serial, 0);
  EXPECT_EQ(hid, 10001);
  EXPECT_GE(serial, 1);
  EXPECT_LT(serial, 10001);
  EXPECT_EQ(LF_IsUsbDevice(serial), 0);
  unsigned char buf[32];
  EXPECT_EQ(LF_GetVersion(hid, buf, sizeof buf, nullptr, 0), 4);
  EXPECT_EQ(LF_GetVersion(serial, buf, sizeof buf, nullptr, 0), 4);
  EXPECT_EQ(LF_ClosePort(hid), 0);
  EXPECT_EQ(LF_GetVersion(serial, buf, sizeof buf, nullptr, 0), 4);
  EXPECT_EQ(LF_ClosePort(serial), 0);
}

TEST_F(HidReader, OpenFailures) {
  Devices("16C0:2913:2010-0815:9:9:ctlfail=" + sim.PtyPath() +
          ";16C0:2913:SLOW:9:9:ctlstall=" + sim.PtyPath() + ";1234:5678:FOREIGN:9:9=" + sim.PtyPath());
  EXPECT_EQ(LF_OpenPort("2010-0815 HID", 19200, 0, 500), -18);
  EXPECT_EQ(LF_OpenPort("SLOW HID", 19200, 0, 500), -18);
  EXPECT_EQ(LF_OpenPort("FOREIGN HID", 19200, 0, 500), -1);
  EXPECT_EQ(LF_OpenPort("NOSUCH HID", 19200, 0, 500), -1);
  EXPECT_EQ(sim.CountCommands(0xF0), 0);
}

TEST_F(HidReader, DeviceVanishingKeepsTheHandleUntilClosed) {
  const int h = LF_OpenPort("2010-0815 HID", 19200, 0, 200);
  ASSERT_GT(h, 0);
  ASSERT_EQ(sim.Control("hangup").rfind("ok", 0), 0u);
  unsigned char buf[32];
  EXPECT_EQ(LF_GetVersion(h, buf, sizeof buf, nullptr, 0), -1);
  EXPECT_EQ(LF_GetLastError(h), 7);
  // Every further call fails at once with 7; the number stays the caller's until closed.
  const uint32_t start = tw::TickCount();
  EXPECT_EQ(LF_GetVersion(h, buf, sizeof buf, nullptr, 0), -1);
  EXPECT_LT(tw::TicksSince(start), 100u);
  EXPECT_EQ(LF_GetLastError(h), 7);
  EXPECT_EQ(LF_IsUsbDevice(h), 1);
  EXPECT_EQ(LF_ClosePort(h), 0);
  EXPECT_EQ(LF_GetLastError(h), 6);
  EXPECT_EQ(LF_ClosePort(h), -1);
}

// A second opener of a HID reader, in this process or another, is refused at once with a reason.
TEST_F(HidReader, ReaderHeldElsewhereIsRefused) {
  const int h = LF_OpenPort("2010-0815 HID", 19200, 0, 200);
  ASSERT_GT(h, 0);
  char why[256] = {};
  EXPECT_EQ(LF_OpenPort("2010-0815 HID", 19200, 0, 200), -1);
  ASSERT_GT(LF_GetOpenError(why, sizeof why), 0);
  EXPECT_NE(std::string(why).find("is already open in this program"), std::string::npos) << why;
  ASSERT_EQ(LF_ClosePort(h), 0);

  int ready[2], done[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(done), 0);
  const pid_t child = fork();
  if (child == 0) {
    close(done[1]);
    tw::CHidPort held;
    const char ok = held.OpenHidDevice("2010-0815 HID") ? '1' : '0';
    if (write(ready[1], &ok, 1) != 1) _exit(1);
    char c;
    (void)!read(done[0], &c, 1);  // until the parent has tried
    _exit(0);
  }
  close(ready[1]);
  close(done[0]);
  char ok = 0;
  ASSERT_EQ(read(ready[0], &ok, 1), 1);
  ASSERT_EQ(ok, '1');
  const uint32_t start = tw::TickCount();
  EXPECT_EQ(LF_OpenPort("2010-0815 HID", 19200, 0, 200), -1);
  EXPECT_LT(tw::TicksSince(start), 100u);
  ASSERT_GT(LF_GetOpenError(why, sizeof why), 0);
  EXPECT_NE(std::string(why).find("in use by another program (pid " + std::to_string(child) + ")"),
            std::string::npos)
      << why;
  EXPECT_EQ(sim.CountCommands(0xF0), 1) << "only the first open asked the reader";
  close(done[1]);
  waitpid(child, nullptr, 0);
  close(ready[0]);
  const int again = LF_OpenPort("2010-0815 HID", 19200, 0, 200);
  EXPECT_GT(again, 0) << "free once the holder has ended";
  LF_ClosePort(again);
}

TEST_F(HidReader, WithoutTheLibraryNothingIsFound) {
  const std::string standin = getenv(tw::kHidapiLibEnv);
  LF_GetLastError(1);  // the SDK is up and has loaded its HID library
  setenv(tw::kHidapiLibEnv, "/nonexistent/libhidapi-hidraw.so.0", 1);
  tw::CHidPort::LoadHidLibraries();
  EXPECT_TRUE(UsbNames().empty());
  EXPECT_EQ(LF_OpenPort("2010-0815 HID", 19200, 0, 500), -1);
  setenv(tw::kHidapiLibEnv, standin.c_str(), 1);
  ASSERT_TRUE(tw::CHidPort::LoadHidLibraries());
  EXPECT_EQ(UsbNames(), std::vector<std::string>{"2010-0815 HID"});
}

}  // namespace

namespace {

// tagwright-sim --hid announces itself; the stand-in library finds it without any configuration.
TEST(HidSimulator, AnnouncedReaderIsListedAndOpened) {
  const char* lib = getenv(tw::kHidapiLibEnv);
  if (!lib || access(lib, R_OK) != 0) {
    GTEST_SKIP() << "stand-in hidapi library not built";
  }
  char tmpl[] = "/tmp/tw-hid-registry-XXXXXX";
  ASSERT_TRUE(mkdtemp(tmpl));
  setenv("TAGWRIGHT_SIM_REGISTRY", tmpl, 1);
  unsetenv("TAGWRIGHT_SIM_HID");
  {
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--hid", "39C2:1001:2010-4711:65:65"}));
    std::vector<std::string> list;
    tw::CHidPort::EnumerateHidReaders(list);
    EXPECT_EQ(list, std::vector<std::string>{"2010-4711 HID"});
    const int h = LF_OpenPort("2010-4711 HID:1", 0, 0, 500);
    ASSERT_GT(h, 0);
    unsigned char buf[32];
    EXPECT_EQ(LF_GetVersion(h, buf, sizeof buf, nullptr, 0), 4);
    EXPECT_EQ(LF_ClosePort(h), 0);
  }
  // Once the simulator has ended, its reader is gone.
  std::vector<std::string> list;
  tw::CHidPort::EnumerateHidReaders(list);
  EXPECT_TRUE(list.empty());
  unsetenv("TAGWRIGHT_SIM_REGISTRY");
  EXPECT_EQ(system((std::string("rm -rf '") + tmpl + "'").c_str()), 0);
}

}  // namespace
