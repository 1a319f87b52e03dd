#include "transport/serial_device.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tw::serial_device {

using namespace d2xx;

namespace {

speed_t BaudToSpeed(uint32_t baud) {
  switch (baud) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    default: return B0;
  }
}

uint32_t SpeedToBaud(speed_t s) {
  static const uint32_t bauds[] = {50,    75,     110,    134,    150,    200,    300,    600,
                                   1200,  1800,   2400,   4800,   9600,   19200,  38400,  57600,
                                   115200, 230400, 460800, 500000, 576000, 921600, 1000000};
  for (uint32_t b : bauds)
    if (BaudToSpeed(b) == s) return b;
  return 0;
}

// The kernel's termios2 (asm/termbits.h cannot be included beside termios.h): any rate in
// c_ispeed/c_ospeed with BOTHER in place of a Bnnn constant.
struct KernelTermios2 {
  tcflag_t c_iflag, c_oflag, c_cflag, c_lflag;
  cc_t c_line;
  cc_t c_cc[19];
  speed_t c_ispeed, c_ospeed;
};
constexpr unsigned long kTcGets2 = _IOR('T', 0x2A, KernelTermios2);
constexpr unsigned long kTcSets2 = _IOW('T', 0x2B, KernelTermios2);
constexpr tcflag_t kBother = 0010000;
constexpr tcflag_t kCbaud = 0010017;

// Sets a rate without a Bnnn constant and checks what the driver made of it: a driver that
// cannot come within 2 % of it refuses the rate.
bool SetOtherSpeed(int fd, uint32_t baud) {
  KernelTermios2 t{};
  if (ioctl(fd, kTcGets2, &t) != 0) return false;
  t.c_cflag = (t.c_cflag & ~kCbaud) | kBother;
  t.c_cflag &= ~(kCbaud << 16);  // input speed follows the output speed
  t.c_cflag |= kBother << 16;
  t.c_ispeed = t.c_ospeed = baud;
  if (ioctl(fd, kTcSets2, &t) != 0) return false;
  KernelTermios2 got{};
  if (ioctl(fd, kTcGets2, &got) != 0) return false;
  const uint64_t diff = got.c_ospeed > baud ? got.c_ospeed - baud : baud - got.c_ospeed;
  if (diff * 50 > baud) {
    errno = EINVAL;
    return false;
  }
  return true;
}

uint32_t OtherSpeed(int fd) {
  KernelTermios2 t{};
  return ioctl(fd, kTcGets2, &t) == 0 ? t.c_ospeed : 0;
}

}  // namespace

std::string ComPortDevice(long n) { return "/dev/ttyS" + std::to_string(n - 1); }

int Create(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  if (!isatty(fd)) {
    // Only terminal devices are serial ports; a regular file would "open" and never answer.
    ::close(fd);
    errno = ENOTTY;
    return -1;
  }
  // One reader, one user: answers would cross between two openers of the same line. The lock
  // keeps out other processes (and other ports of this one, each with its own open file); the
  // exclusive mode keeps out programs that do not lock.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno == EWOULDBLOCK ? EBUSY : errno;
    ::close(fd);
    errno = err;
    return -1;
  }
  (void)::ioctl(fd, TIOCEXCL);
  termios tio{};
  if (tcgetattr(fd, &tio) == 0) {
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    tcsetattr(fd, TCSANOW, &tio);
  }
  return fd;
}

bool Close(int fd) {
  // The exclusive mode belongs to the terminal, not to this descriptor: give it back.
  (void)::ioctl(fd, TIOCNXCL);
  return ::close(fd) == 0;
}

bool Read(int fd, void* buf, uint32_t size, uint32_t* got) {
  *got = 0;
  ssize_t n = ::read(fd, buf, size);
  if (n > 0) {
    *got = static_cast<uint32_t>(n);
    return true;
  }
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
  if (n == 0) errno = EIO;  // the other side of the line is gone
  return false;
}

bool Write(int fd, const void* buf, uint32_t size, uint32_t* written) {
  *written = 0;
  const uint8_t* p = static_cast<const uint8_t*>(buf);
  uint32_t done = 0;
  int spins = 0;
  // The device is non-blocking; a full output queue is waited out briefly like a blocking write.
  while (done < size) {
    ssize_t n = ::write(fd, p + done, size - done);
    if (n > 0) {
      done += static_cast<uint32_t>(n);
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR) && ++spins < 1000) {
      usleep(1000);
      continue;
    }
    *written = done;
    return false;
  }
  *written = done;
  return true;
}

uint32_t LastError() { return static_cast<uint32_t>(errno); }

bool ClearCommError(int fd, DWORD* errors, FTCOMSTAT* stat) {
  int in = 0, out = 0;
  if (ioctl(fd, FIONREAD, &in) != 0) return false;
  if (ioctl(fd, TIOCOUTQ, &out) != 0) out = 0;
  if (stat) {
    std::memset(stat, 0, sizeof *stat);
    stat->cbInQue = static_cast<DWORD>(in < 0 ? 0 : in);
    stat->cbOutQue = static_cast<DWORD>(out < 0 ? 0 : out);
  }
  DWORD flags = 0;
  // Line error counters where the driver offers them; report what grew since the last call.
  serial_icounter_struct ic{};
  static thread_local int lastFd = -1;
  static thread_local serial_icounter_struct last{};
  if (ioctl(fd, TIOCGICOUNT, &ic) == 0) {
    if (lastFd == fd) {
      if (ic.frame != last.frame) flags |= CE_FRAME;
      if (ic.overrun != last.overrun) flags |= CE_OVERRUN;
      if (ic.parity != last.parity) flags |= CE_RXPARITY;
      if (ic.brk != last.brk) flags |= CE_BREAK;
      if (ic.buf_overrun != last.buf_overrun) flags |= CE_RXOVER;
    }
    lastFd = fd;
    last = ic;
  }
  if (errors) *errors = flags;
  return true;
}

bool GetCommModemStatus(int fd, DWORD* status) {
  int bits = 0;
  *status = 0;
  if (ioctl(fd, TIOCMGET, &bits) != 0) {
    // A pseudo-terminal has no modem lines: that is "all lines off", not a failure.
    return errno == ENOTTY || errno == EINVAL;
  }
  if (bits & TIOCM_CTS) *status |= MS_CTS_ON;
  if (bits & TIOCM_DSR) *status |= MS_DSR_ON;
  if (bits & TIOCM_RI) *status |= MS_RING_ON;
  if (bits & TIOCM_CD) *status |= MS_RLSD_ON;
  return true;
}

bool GetCommState(int fd, FTDCB* dcb) {
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) return false;
  std::memset(dcb, 0, sizeof *dcb);
  dcb->DCBlength = sizeof *dcb;
  dcb->BaudRate = SpeedToBaud(cfgetospeed(&tio));
  if (dcb->BaudRate == 0) dcb->BaudRate = OtherSpeed(fd);
  dcb->fBinary = 1;
  switch (tio.c_cflag & CSIZE) {
    case CS5: dcb->ByteSize = 5; break;
    case CS6: dcb->ByteSize = 6; break;
    case CS7: dcb->ByteSize = 7; break;
    default: dcb->ByteSize = 8; break;
  }
  if (tio.c_cflag & PARENB) {
    dcb->fParity = 1;
    dcb->Parity = (tio.c_cflag & PARODD) ? ODDPARITY : EVENPARITY;
  }
  dcb->StopBits = (tio.c_cflag & CSTOPB) ? TWOSTOPBITS : ONESTOPBIT;
  dcb->fOutxCtsFlow = (tio.c_cflag & CRTSCTS) ? 1 : 0;
  dcb->fOutX = (tio.c_iflag & IXON) ? 1 : 0;
  dcb->fInX = (tio.c_iflag & IXOFF) ? 1 : 0;
  return true;
}

bool SetCommState(int fd, const FTDCB* dcb) {
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) return false;
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  if (dcb->BaudRate == 0) {
    errno = EINVAL;
    return false;
  }
  // Rates without a Bnnn constant go through termios2 once the rest is set.
  const speed_t sp = BaudToSpeed(dcb->BaudRate);
  const speed_t base = sp == B0 ? B38400 : sp;
  cfsetispeed(&tio, base);
  cfsetospeed(&tio, base);
  tio.c_cflag &= ~CSIZE;
  switch (dcb->ByteSize) {
    case 5: tio.c_cflag |= CS5; break;
    case 6: tio.c_cflag |= CS6; break;
    case 7: tio.c_cflag |= CS7; break;
    default: tio.c_cflag |= CS8; break;
  }
  tio.c_cflag &= ~(PARENB | PARODD);
  if (dcb->Parity == EVENPARITY) tio.c_cflag |= PARENB;
  if (dcb->Parity == ODDPARITY) tio.c_cflag |= PARENB | PARODD;
  if (dcb->StopBits == TWOSTOPBITS) tio.c_cflag |= CSTOPB; else tio.c_cflag &= ~CSTOPB;
  if (dcb->fOutxCtsFlow) tio.c_cflag |= CRTSCTS; else tio.c_cflag &= ~CRTSCTS;
  tio.c_iflag &= ~(IXON | IXOFF | IXANY);
  if (dcb->fOutX) tio.c_iflag |= IXON;
  if (dcb->fInX) tio.c_iflag |= IXOFF;
  if (tcsetattr(fd, TCSANOW, &tio) != 0) return false;
  if (sp == B0 && !SetOtherSpeed(fd, dcb->BaudRate)) return false;
  // RTS and DTR on; a device without modem lines refuses, which is not a configuration fault.
  int lines = TIOCM_RTS | TIOCM_DTR;
  if (ioctl(fd, TIOCMBIS, &lines) != 0 && errno != ENOTTY && errno != EINVAL) return false;
  return true;
}

bool SetCommTimeouts(int fd, const FTTIMEOUTS*) {
  // Reads are non-blocking ("return at once with what is queued") by the open flags already.
  return fcntl(fd, F_GETFL) >= 0;
}

bool SetCommMask(int fd, DWORD) {
  // The port thread polls; there is no event mask to hand to the driver.
  return fcntl(fd, F_GETFL) >= 0;
}

bool PurgeComm(int fd, DWORD flags) {
  int which = -1;
  const bool rx = flags & (PURGE_RXCLEAR | PURGE_RXABORT);
  const bool tx = flags & (PURGE_TXCLEAR | PURGE_TXABORT);
  if (rx && tx) which = TCIOFLUSH;
  else if (rx) which = TCIFLUSH;
  else if (tx) which = TCOFLUSH;
  return which < 0 || tcflush(fd, which) == 0;
}

std::string ErrorText(uint32_t err) { return std::strerror(static_cast<int>(err)); }

uint32_t InvalidArgumentError() { return EINVAL; }

// Events are eventfds: readable while set.
int NewEvent() { return eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC); }

void SetEvent(int event) {
  if (event < 0) return;
  uint64_t one = 1;
  ssize_t n = ::write(event, &one, sizeof one);
  (void)n;
}

void ResetEvent(int event) {
  if (event < 0) return;
  uint64_t v;
  ssize_t n = ::read(event, &v, sizeof v);
  (void)n;
}

void CloseEvent(int event) {
  if (event >= 0) ::close(event);
}

void WaitForEvents(int shutdownEvent, int writeEvent, int fd, int timeoutMs, bool* shutdown,
                   bool* write, bool* deviceFailed) {
  pollfd fds[3];
  int n = 0;
  fds[n++] = {shutdownEvent, POLLIN, 0};
  fds[n++] = {writeEvent, POLLIN, 0};
  if (fd >= 0) fds[n++] = {fd, POLLIN, 0};
  *shutdown = *write = *deviceFailed = false;
  int r = ::poll(fds, n, timeoutMs);
  if (r <= 0) return;
  *shutdown = fds[0].revents & POLLIN;
  *write = fds[1].revents & POLLIN;
  if (n == 3 && (fds[2].revents & (POLLHUP | POLLERR | POLLNVAL))) *deviceFailed = true;
}

}  // namespace tw::serial_device
