// The Windows HID device functions (overlapped reads and writes with their time limits), with a
// named pipe in message mode standing in for the device: the test plays the device.
#include "transport/device_node_lock.h"
#include "transport/hid_library.h"
#include "transport/hid_port.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/tick.h"

namespace tw {
namespace {

using Bytes = std::vector<uint8_t>;

struct Peer {
  HANDLE pipe = INVALID_HANDLE_VALUE;
  std::string path;
  explicit Peer(DWORD buffer = 4096) {
    static int serial = 0;
    path = "\\\\.\\pipe\\tw-hid-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial);
    pipe = CreateNamedPipeA(path.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1,
                            buffer, buffer, 0, nullptr);
  }
  ~Peer() { Close(); }
  void Close() {
    if (pipe != INVALID_HANDLE_VALUE) CloseHandle(pipe);
    pipe = INVALID_HANDLE_VALUE;
  }
  void Answer(const Bytes& b) {
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(pipe, b.data(), static_cast<DWORD>(b.size()), &n, nullptr));
  }
  Bytes Sent() {
    uint8_t buf[256];
    DWORD n = 0;
    if (!ReadFile(pipe, buf, sizeof buf, &n, nullptr)) return {};
    return Bytes(buf, buf + n);
  }
};

class HidDevice : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(LoadHidLibraries()) << "hid.dll and SetupAPI belong to the system"; }
  void TearDown() override { FreeHidLibraries(); }
  hidapi::hid_device* Open(Peer& peer) {
    hidapi::hid_device* d = Hid().openPath(peer.path.c_str());
    ConnectNamedPipe(peer.pipe, nullptr);  // the device side is connected already
    return d;
  }
  static int Read(hidapi::hid_device* d, Bytes& out, int waitMs = 1) {
    out.assign(CHidPort::kMaxInputReport, 0);
    const int n = Hid().readTimeout(d, out.data(), out.size(), waitMs);
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return n;
  }
};

TEST_F(HidDevice, ReportsBothWays) {
  Peer peer;
  hidapi::hid_device* d = Open(peer);
  ASSERT_NE(d, nullptr);
  // A report is written as it is; without a known output length nothing is added.
  const Bytes control = {0x00, 0x82, 0x10, 0x00, 0, 0, 0, 0, 0};
  EXPECT_EQ(Hid().write(d, control.data(), control.size()), 9);
  EXPECT_EQ(peer.Sent(), control);

  // Polls return at once while nothing came; the read stays outstanding between them, and the
  // report that arrives is handed over without its id byte.
  Bytes got;
  const uint32_t t0 = TickCount();
  for (int i = 0; i < 20; ++i) EXPECT_EQ(Read(d, got), 0);
  EXPECT_LT(TicksSince(t0), 500u);
  peer.Answer({0x00, 0x03, 0x41, 0x42, 0x43, 0, 0, 0, 0});
  EXPECT_EQ(Read(d, got, 1000), 8);
  EXPECT_EQ(got, (Bytes{0x03, 0x41, 0x42, 0x43, 0, 0, 0, 0}));
  // An empty report carries nothing.
  peer.Answer({0x00});
  EXPECT_EQ(Read(d, got, 1000), 0);
  // A buffer smaller than the report takes what fits.
  peer.Answer({0x00, 0x02, 0x51, 0x52});
  got.assign(2, 0);
  EXPECT_EQ(Hid().readTimeout(d, got.data(), 2, 1000), 2);
  EXPECT_EQ(got, (Bytes{0x02, 0x51}));

  // The device goes away: the next read fails; closing with a read in flight is safe.
  EXPECT_EQ(Read(d, got), 0);
  peer.Close();
  EXPECT_EQ(Read(d, got, 1000), -1);
  Hid().close(d);
}

TEST_F(HidDevice, WriteNotTakenIsCancelled) {
  Peer peer(16);
  hidapi::hid_device* d = Open(peer);
  ASSERT_NE(d, nullptr);
  // Nobody reads the device's side: once its buffer is full a write waits 50 ms, then fails.
  const Bytes report(64, 0x55);
  int result = 0;
  uint32_t took = 0;
  for (int i = 0; i < 16 && result >= 0; ++i) {
    const uint32_t t0 = TickCount();
    result = Hid().write(d, report.data(), report.size());
    took = TicksSince(t0);
  }
  EXPECT_EQ(result, -1);
  EXPECT_GE(took, CHidPort::kWriteTimeoutMs - 5);
  EXPECT_LT(took, 1000u);
  // A read in flight does not stand in the way of closing.
  Bytes got;
  EXPECT_EQ(Read(d, got), 0);
  Hid().close(d);
}

TEST_F(HidDevice, OpenFailureSaysWhy) {
  errno = 0;
  EXPECT_EQ(Hid().openPath("\\\\.\\pipe\\tw-hid-nobody-here"), nullptr);
  EXPECT_EQ(errno, ENODEV);
  // Held exclusively elsewhere: refused for want of access.
  char dir[MAX_PATH] = {};
  ASSERT_GT(GetTempPathA(MAX_PATH, dir), 0u);
  const std::string file = std::string(dir) + "tw-hid-held-" + std::to_string(GetCurrentProcessId());
  HANDLE held = CreateFileA(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  errno = 0;
  EXPECT_EQ(Hid().openPath(file.c_str()), nullptr);
  EXPECT_EQ(errno, EACCES);
  CloseHandle(held);
}

// Devices are opened shared: a second link to the same reader is refused by the claim on its path,
// whatever the letter case of the path.
TEST(HidDeviceClaim, OneLinkPerDevicePath) {
  const std::string path = "\\\\?\\hid#vid_16c0&pid_2913#tw-" + std::to_string(GetCurrentProcessId());
  CDeviceNodeLock first, second;
  EXPECT_EQ(first.Acquire(path), 0);
  std::string upper = path;
  for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(second.Acquire(upper), EBUSY);
  first.Release();
  EXPECT_EQ(second.Acquire(path), 0);
}

}  // namespace
}  // namespace tw
