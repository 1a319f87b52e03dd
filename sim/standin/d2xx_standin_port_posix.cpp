// The stand-in's device on POSIX: a pseudo-terminal, normally a tagwright-sim instance. It has no
// line settings and no modem lines; a hang-up of the far side is a device that is gone.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <string.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "sim/standin/d2xx_standin_port.h"

namespace standin {
namespace {

bool Gone(int fd) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL));
}

bool Fail(DWORD code, DWORD* error) {
  *error = code;
  return false;
}

}  // namespace

int OpenPort(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  termios t{};
  if (tcgetattr(fd, &t) == 0) {
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
  }
  return fd;
}

void ClosePort(int fd) { close(fd); }

bool ReadPort(int fd, void* buffer, DWORD size, const FTTIMEOUTS& t, DWORD* got, DWORD* error) {
  const bool immediate = t.ReadIntervalTimeout == 0xFFFFFFFFu && t.ReadTotalTimeoutConstant == 0 &&
                         t.ReadTotalTimeoutMultiplier == 0;
  *got = 0;
  while (*got < size) {
    const ssize_t n = ::read(fd, static_cast<uint8_t*>(buffer) + *got, size - *got);
    if (n > 0) {
      *got += static_cast<DWORD>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      if (immediate) break;
      const DWORD wait = t.ReadTotalTimeoutConstant + t.ReadTotalTimeoutMultiplier * size;
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(wait > 60000 ? 60000 : wait)) <= 0) break;
      if (p.revents & (POLLHUP | POLLERR)) return Fail(kErrorDeviceGone, error);
      continue;
    }
    // EIO or end of file: the far side is gone.
    return Fail(kErrorDeviceGone, error);
  }
  return true;
}

bool WritePort(int fd, const void* buffer, DWORD size, DWORD* done, DWORD* error) {
  *done = 0;
  while (*done < size) {
    const ssize_t n = ::write(fd, static_cast<const uint8_t*>(buffer) + *done, size - *done);
    if (n > 0) {
      *done += static_cast<DWORD>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      pollfd p{fd, POLLOUT, 0};
      if (poll(&p, 1, 1000) > 0 && !(p.revents & (POLLHUP | POLLERR))) continue;
    }
    return Fail(kErrorDeviceGone, error);
  }
  return true;
}

bool PortStatus(int fd, DWORD* errors, FTCOMSTAT* stat, DWORD* error) {
  if (errors) *errors = 0;
  if (stat) memset(stat, 0, sizeof *stat);
  if (Gone(fd)) return Fail(kErrorDeviceGone, error);
  int queued = 0;
  if (stat && ioctl(fd, FIONREAD, &queued) == 0 && queued > 0) stat->cbInQue = static_cast<DWORD>(queued);
  return true;
}

bool PortModemStatus(int fd, DWORD* status, DWORD* error) {
  if (status) *status = 0;  // a pseudo-terminal has no modem lines
  return !Gone(fd) || Fail(kErrorDeviceGone, error);
}

bool SetPortState(int, const FTDCB&, DWORD*) { return true; }

bool SetPortMask(int, ULONG, DWORD*) { return true; }

bool PurgePort(int fd, DWORD flags, DWORD*) {
  const bool rx = flags & 0x0A, tx = flags & 0x05;  // RXABORT|RXCLEAR, TXABORT|TXCLEAR
  if (rx || tx) tcflush(fd, rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH);
  return true;
}

}  // namespace standin
