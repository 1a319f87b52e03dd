#include "transport/net_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tw::net {

namespace {
bool MakeAddr(const std::string& host, uint32_t port, sockaddr_in& sa) {
  sa = {};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<uint16_t>(port));
  if (host.empty()) {
    sa.sin_addr.s_addr = htonl(INADDR_ANY);
    return true;
  }
  return inet_pton(AF_INET, host.c_str(), &sa.sin_addr) == 1;
}

int BoundSocket(int type, int option, const std::string& host, uint32_t port) {
  sockaddr_in local{};
  if (!MakeAddr(host, port, local)) return -1;
  int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int one = 1;
  setsockopt(fd, SOL_SOCKET, option, &one, sizeof one);  // a failure does not matter
  if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}
}  // namespace

bool Startup() {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  close(fd);
  return true;
}

int TcpSocketBoundTo(const std::string& host, uint32_t port) {
  return BoundSocket(SOCK_STREAM, SO_REUSEADDR, host, port);
}

int UdpSocketBoundTo(const std::string& host, uint32_t port) {
  return BoundSocket(SOCK_DGRAM, SO_BROADCAST, host, port);
}

void Close(int fd) {
  if (fd >= 0) ::close(fd);
}

int ConnectWithin(int fd, const std::string& host, uint32_t port, uint32_t timeoutMs) {
  sockaddr_in to{};
  if (fd < 0 || !MakeAddr(host, port, to) || host.empty() || port == 0 || port > 65535) return EINVAL;
  // A bounded connect: non-blocking, then wait for the outcome.
  int flags = fcntl(fd, F_GETFL, 0);
  fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  int r = connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to);
  if (r == 0) return 0;
  if (errno != EINPROGRESS) return errno;
  pollfd p{fd, POLLOUT, 0};
  if (poll(&p, 1, static_cast<int>(timeoutMs)) != 1) return ETIMEDOUT;
  int soErr = 0;
  socklen_t len = sizeof soErr;
  getsockopt(fd, SOL_SOCKET, SO_ERROR, &soErr, &len);
  return soErr;
}

long Recv(int fd, void* buf, size_t size) {
  ssize_t n = recv(fd, buf, size, MSG_DONTWAIT);
  if (n >= 0) return static_cast<long>(n);
  return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? kWouldBlock : kFailed;
}

long RecvFrom(int fd, void* buf, size_t size, std::string& sender, uint8_t senderBytes[4]) {
  sockaddr_in from{};
  socklen_t fromLen = sizeof from;
  ssize_t n = recvfrom(fd, buf, size, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &fromLen);
  if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? kWouldBlock : kFailed;
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
  sender = text;
  std::memcpy(senderBytes, &from.sin_addr, 4);
  return static_cast<long>(n);
}

bool SendAll(int fd, const uint8_t* data, size_t len, int waitMs) {
  size_t done = 0;
  while (done < len) {
    ssize_t n = send(fd, data + done, len - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd p{fd, POLLOUT, 0};
      if (poll(&p, 1, waitMs) == 1) continue;
    }
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool SendTo(int fd, const uint8_t* data, size_t len, const std::string& host, uint32_t port,
            uint32_t ifIndex) {
  sockaddr_in dst{};
  if (!MakeAddr(host, port, dst) || host.empty()) return false;
  iovec iov{const_cast<uint8_t*>(data), len};
  msghdr msg{};
  msg.msg_name = &dst;
  msg.msg_namelen = sizeof dst;
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
  if (ifIndex != 0) {
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = IPPROTO_IP;
    c->cmsg_type = IP_PKTINFO;
    c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    info.ipi_ifindex = static_cast<int>(ifIndex);
    std::memcpy(CMSG_DATA(c), &info, sizeof info);
  }
  return sendmsg(fd, &msg, MSG_NOSIGNAL) == static_cast<ssize_t>(len);
}

int WaitReadable(int fd, int timeoutMs) {
  pollfd p{fd, POLLIN, 0};
  int r = poll(&p, 1, timeoutMs);
  return r < 0 ? -1 : r;
}

int LastError() { return errno; }
std::string ErrorText(int err) { return std::strerror(err); }

// Events are eventfds: readable while set.
int NewEvent() { return eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK); }

void SetEvent(int event) {
  uint64_t one = 1;
  ssize_t r = write(event, &one, sizeof one);
  (void)r;
}

void ResetEvent(int event) {
  uint64_t v = 0;
  ssize_t n = read(event, &v, sizeof v);
  (void)n;
}

void CloseEvent(int event) {
  if (event >= 0) close(event);
}

void WaitEventOrReadable(int event, int fd, int timeoutMs, bool* eventSet, bool* readable) {
  // poll() skips a negative descriptor.
  pollfd fds[2] = {{event, POLLIN, 0}, {fd, POLLIN, 0}};
  *eventSet = *readable = false;
  int r = poll(fds, 2, timeoutMs);
  if (r <= 0) return;
  *readable = fds[1].revents & (POLLIN | POLLHUP | POLLERR);
  *eventSet = fds[0].revents & POLLIN;
}

}  // namespace tw::net
