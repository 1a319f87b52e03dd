// Bare pseudo-terminal client for the simulator tests.
#include "raw_pty_client.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace tw::test {

RawPtyClient::~RawPtyClient() { Close(); }

bool RawPtyClient::Open(const std::string& path) {
  Close();
  fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) return false;
  termios t{};
  if (tcgetattr(fd_, &t) == 0) {
    cfmakeraw(&t);
    tcsetattr(fd_, TCSANOW, &t);
  }
  return true;
}

void RawPtyClient::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

bool RawPtyClient::Write(const std::vector<uint8_t>& bytes) {
  return fd_ >= 0 && write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

std::vector<uint8_t> RawPtyClient::Read(size_t want, uint32_t quietMs) {
  std::vector<uint8_t> got;
  while (fd_ >= 0 && got.size() < want) {
    pollfd p{fd_, POLLIN, 0};
    const int r = poll(&p, 1, static_cast<int>(quietMs));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    uint8_t buf[512];
    const ssize_t n = read(fd_, buf, sizeof buf);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) break;
    got.insert(got.end(), buf, buf + n);
  }
  return got;
}

bool RawPtyClient::WaitHangup(uint32_t timeoutMs) {
  if (fd_ < 0) return false;
  pollfd p{fd_, POLLIN, 0};
  if (poll(&p, 1, static_cast<int>(timeoutMs)) <= 0) return false;
  if (p.revents & (POLLHUP | POLLERR)) return true;
  uint8_t b;
  const ssize_t n = read(fd_, &b, 1);
  return n == 0 || (n < 0 && errno == EIO);
}

}  // namespace tw::test
