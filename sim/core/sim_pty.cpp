// Pseudo-terminal transport of the simulator.
#include "sim/core/sim_pty.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>

#include "sim/core/sim_reader.h"

namespace tw::sim {

namespace {

uint32_t BaudOf(speed_t s) {
  switch (s) {
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    case B230400: return 230400;
    case B460800: return 460800;
    case B921600: return 921600;
    default: return 19200;
  }
}

// The serial settings the host made on its side of the terminal (the timing model's line).
SimLine LineOf(int fd) {
  SimLine line;
  termios t{};
  if (fd < 0 || tcgetattr(fd, &t) != 0) return line;
  line.baud = BaudOf(cfgetospeed(&t));
  int data = 8;
  switch (t.c_cflag & CSIZE) {
    case CS5: data = 5; break;
    case CS6: data = 6; break;
    case CS7: data = 7; break;
    default: break;
  }
  line.bitsPerChar = 1 + data + ((t.c_cflag & PARENB) ? 1 : 0) + ((t.c_cflag & CSTOPB) ? 2 : 1);
  return line;
}

}  // namespace

SimPtyTransport::SimPtyTransport(SimReader& reader) : reader_(reader) {}

SimPtyTransport::~SimPtyTransport() { Stop(); }

bool SimPtyTransport::Start(std::string& error) {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
    error = std::string("cannot create a pseudo-terminal: ") + strerror(errno);
    CloseDevice();
    return false;
  }
  char name[128];
  if (ptsname_r(master_, name, sizeof name) != 0) {
    error = std::string("ptsname: ") + strerror(errno);
    CloseDevice();
    return false;
  }
  path_ = name;
  slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  // Raw mode from the start: with the default line discipline our own answers would be echoed
  // back to us as if the host had sent them, and CR/LF bytes would be rewritten.
  termios t{};
  if (slave_ < 0 || tcgetattr(slave_, &t) != 0) {
    error = std::string("cannot open ") + name + ": " + strerror(errno);
    CloseDevice();
    return false;
  }
  cfmakeraw(&t);
  cfsetspeed(&t, B19200);
  tcsetattr(slave_, TCSANOW, &t);
  if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
    error = std::string("pipe: ") + strerror(errno);
    CloseDevice();
    return false;
  }
  thread_ = std::thread([this] { Run(); });
  return true;
}

void SimPtyTransport::Stop() {
  if (thread_.joinable()) {
    stop_ = true;
    const char b = 's';
    (void)!write(wake_[1], &b, 1);
    thread_.join();
  }
  CloseDevice();
  for (int& fd : wake_) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

void SimPtyTransport::CloseDevice() {
  if (master_ >= 0) close(master_);
  if (slave_ >= 0) close(slave_);
  master_ = slave_ = -1;
}

bool SimPtyTransport::Hangup(std::string& detail) {
  std::unique_lock<std::mutex> lock(mu_);
  if (hungUp_ || !thread_.joinable()) {
    detail = "pty already closed";
    return false;
  }
  hangupRequested_ = true;
  const char b = 'h';
  (void)!write(wake_[1], &b, 1);
  // The thread closes the device itself (it may be inside poll on it); wait until it has.
  if (!cv_.wait_for(lock, std::chrono::seconds(5), [this] { return hungUp_; })) {
    detail = "pty close pending";
    return true;
  }
  detail = "pty closed " + path_;
  return true;
}

void SimPtyTransport::Send(const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  int idle = 0;
  while (done < bytes.size() && master_ >= 0) {
    const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return;
    // The host is not reading: wait a little, give up after a second rather than hang.
    pollfd p{master_, POLLOUT, 0};
    if (poll(&p, 1, 100) <= 0 && ++idle > 10) return;
  }
}

void SimPtyTransport::Run() {
  uint8_t buf[4096];
  while (!stop_) {
    pollfd fds[2] = {{wake_[0], POLLIN, 0}, {master_, POLLIN, 0}};
    const nfds_t count = master_ >= 0 ? 2 : 1;
    if (poll(fds, count, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents) {
      char drain[16];
      while (read(wake_[0], drain, sizeof drain) > 0) {
      }
      std::lock_guard<std::mutex> lock(mu_);
      if (hangupRequested_ && !hungUp_) {
        CloseDevice();
        hungUp_ = true;
        cv_.notify_all();
      }
      continue;
    }
    if (count < 2 || !fds[1].revents) continue;
    const ssize_t n = read(master_, buf, sizeof buf);
    if (n > 0) {
      reader_.ServeBytes(decoder_, buf, static_cast<size_t>(n),
                         [this](const std::vector<uint8_t>& bytes) { Send(bytes); }, LineOf(slave_));
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      // EIO: no slave side open for the moment; do not spin on it.
      poll(nullptr, 0, 10);
    }
  }
}

}  // namespace tw::sim
