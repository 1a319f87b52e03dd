// The serial link over a real pseudo-terminal held by the test: names, open, receive, the write
// buffer, re-open, hang-up; and D2XX mode without the vendor library.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "transport/usb_serial_port.h"

using namespace tw;

namespace {

class RecordingPort : public CUSBSerialPort {
 public:
  void OnByteReceived(uint8_t b) override {
    std::lock_guard<std::mutex> l(lock);
    bytes.push_back(b);
  }
  std::vector<uint8_t> Bytes() {
    std::lock_guard<std::mutex> l(lock);
    return bytes;
  }
  std::mutex lock;
  std::vector<uint8_t> bytes;
};

struct Pty {
  int master = -1;
  std::string path;
  Pty() {
    int slave = -1;
    char name[128];
    if (openpty(&master, &slave, name, nullptr, nullptr) == 0) {
      path = name;
      close(slave);  // the port under test opens it by name
    }
  }
  ~Pty() {
    if (master >= 0) close(master);
  }
  // Everything the port sent within the given time.
  std::vector<uint8_t> Read(int ms) {
    std::vector<uint8_t> out;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      pollfd p{master, POLLIN, 0};
      if (poll(&p, 1, 5) > 0 && (p.revents & POLLIN)) {
        uint8_t buf[1024];
        ssize_t n = read(master, buf, sizeof buf);
        if (n > 0) out.insert(out.end(), buf, buf + n);
      }
    }
    return out;
  }
};

template <typename Pred>
bool WaitFor(Pred pred, int ms = 1000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return pred();
}

bool OpenOn(CUSBSerialPort& port, const std::string& path) {
  return port.OpenPort(nullptr, path, 19200, 'N', 8, 1, 9, 512);
}

}  // namespace

TEST(PortName, ComNamesPathsAndSerialNumbers) {
  for (const char* n : {"COM7", "com7", "\\\\.\\COM7", "COM7 [Velkor Virtual COM]"}) {
    const NormalizedPortName r = NormalizePortName(n);
    EXPECT_TRUE(r.isComPort) << n;
    EXPECT_EQ(r.name, "/dev/ttyS6") << n;
    EXPECT_EQ(r.portNumber, 7) << n;
  }
  for (const char* n : {"COM0", "COMX", "\\\\.\\FT12AB", "FT12AB", "12AB"}) {
    const NormalizedPortName r = NormalizePortName(n);
    EXPECT_FALSE(r.isComPort) << n;
    EXPECT_EQ(r.name, n);
  }
  EXPECT_EQ(NormalizePortName("12AB").portNumber, 12);
  const NormalizedPortName pts = NormalizePortName("/dev/pts/13");
  EXPECT_TRUE(pts.isComPort);
  EXPECT_EQ(pts.portNumber, 13);
  EXPECT_EQ(pts.name, "/dev/pts/13");
}

TEST(SerialPort, OpensReceivesAndSends) {
  Pty pty;
  ASSERT_FALSE(pty.path.empty());
  RecordingPort port;
  ASSERT_TRUE(OpenOn(port, pty.path));
  EXPECT_FALSE(port.IsD2xxMode());
  ASSERT_TRUE(port.StartPortThread());
  EXPECT_TRUE(port.IsThreadAlive());

  const uint8_t in[] = {0x02, 0x01, 0x00, 0x00, 0x01, 0xFF};
  ASSERT_EQ(write(pty.master, in, sizeof in), static_cast<ssize_t>(sizeof in));
  ASSERT_TRUE(WaitFor([&] { return port.Bytes().size() == sizeof in; }));
  EXPECT_EQ(port.Bytes(), std::vector<uint8_t>(in, in + sizeof in));

  const uint8_t out[] = {0x02, 0x01, 0xF0, 0x00, 0xF1};
  port.QueueWrite(out, sizeof out);
  EXPECT_EQ(pty.Read(100), std::vector<uint8_t>(out, out + sizeof out));

  // Length -1: up to, not including, the terminating zero.
  port.QueueWrite(reinterpret_cast<const uint8_t*>("AB\0C"), -1);
  EXPECT_EQ(pty.Read(100), (std::vector<uint8_t>{'A', 'B'}));
  port.ClosePort();
  EXPECT_FALSE(port.IsPortOpen());
}

TEST(SerialPort, WriteThatDoesNotFitIsDroppedWhole) {
  Pty pty;
  RecordingPort port;
  ASSERT_TRUE(OpenOn(port, pty.path));
  ASSERT_TRUE(port.StartPortThread());
  std::vector<uint8_t> big(600, 0x55);
  port.QueueWrite(big.data(), static_cast<int>(big.size()));
  EXPECT_TRUE(pty.Read(50).empty());
  std::vector<uint8_t> small(10, 0x66);
  port.QueueWrite(small.data(), 10);
  EXPECT_EQ(pty.Read(100), small);
}

TEST(SerialPort, SecondOpenEndsTheFirstThread) {
  Pty pty;
  RecordingPort port;
  ASSERT_TRUE(OpenOn(port, pty.path));
  ASSERT_TRUE(port.StartPortThread());
  ASSERT_TRUE(OpenOn(port, pty.path));
  EXPECT_FALSE(port.IsThreadAlive());
  EXPECT_FALSE(port.StartPortThread()) << "the old thread object stays until ClosePort";
  port.ClosePort();
  ASSERT_TRUE(OpenOn(port, pty.path));
  EXPECT_TRUE(port.StartPortThread());
  const uint8_t b = 0x42;
  ASSERT_EQ(write(pty.master, &b, 1), 1);
  EXPECT_TRUE(WaitFor([&] { return port.Bytes().size() == 1; }));
}

TEST(SerialPort, HangUpEndsThePortThread) {
  auto pty = std::make_unique<Pty>();
  RecordingPort port;
  ASSERT_TRUE(OpenOn(port, pty->path));
  ASSERT_TRUE(port.StartPortThread());
  pty.reset();  // the other side goes away
  ASSERT_TRUE(WaitFor([&] { return !port.IsThreadAlive(); }));
  EXPECT_FALSE(port.IsPortOpen());
  EXPECT_TRUE(port.LinkLost());
  const uint8_t b[] = {1, 2, 3};
  port.QueueWrite(b, 3);  // accepted, never sent, no crash
  port.ClosePort();
  EXPECT_FALSE(port.LinkLost());
}

TEST(SerialPort, ClosingANeverOpenedPortAndFailedOpens) {
  RecordingPort port;
  const auto start = std::chrono::steady_clock::now();
  port.ClosePort();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
  EXPECT_FALSE(OpenOn(port, "/dev/does-not-exist-7"));
  EXPECT_FALSE(port.IsPortOpen());
  EXPECT_FALSE(OpenOn(port, "/etc/hostname")) << "a regular file is no serial device";
}

TEST(SerialPort, ParityThatThePtyRefusesStillOpens) {
  Pty pty;
  RecordingPort port;
  ASSERT_TRUE(port.OpenPort(nullptr, pty.path, 9600, 'E', 8, 2, 9, 512));
  ASSERT_TRUE(port.StartPortThread());
  const uint8_t b = 0x10;
  port.QueueWrite(&b, 1);
  EXPECT_EQ(pty.Read(100), std::vector<uint8_t>{0x10});
}

TEST(D2xx, WithoutTheLibraryNothingOpensAndListsAreEmpty) {
  setenv(kFtd2xxLibEnv, "/nonexistent/libftd2xx.so", 1);
  RecordingPort port;
  EXPECT_FALSE(port.OpenPort(nullptr, "FT12AB", 19200, 'N', 8, 1, 9, 512));
  EXPECT_TRUE(port.IsD2xxMode());
  d2xx::DWORD count = 7;
  EXPECT_EQ(port.FtCreateDeviceInfoList(&count), d2xx::FT_INVALID_HANDLE);
  EXPECT_FALSE(port.IsD2xxLoaded());
  unsetenv(kFtd2xxLibEnv);
}
