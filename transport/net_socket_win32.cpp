// Winsock 2. Sockets are non-blocking from the start; the socket thread waits on its send event and
// on a network event tied to the socket (WSAEventSelect) instead of an eventfd and poll().
#include "transport/net_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <mswsock.h>
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "platform/wide_text.h"

namespace tw::net {

namespace {

thread_local int tLastError = 0;

int ToErrno(int wsa) {
  switch (wsa) {
    case 0: return 0;
    case WSAEWOULDBLOCK: return EWOULDBLOCK;
    case WSAEINPROGRESS: return EINPROGRESS;
    case WSAEINVAL: return EINVAL;
    case WSAEADDRINUSE: return EADDRINUSE;
    case WSAEADDRNOTAVAIL: return EADDRNOTAVAIL;
    case WSAECONNREFUSED: return ECONNREFUSED;
    case WSAECONNRESET: return ECONNRESET;
    case WSAECONNABORTED: return ECONNABORTED;
    case WSAETIMEDOUT: return ETIMEDOUT;
    case WSAENETUNREACH: return ENETUNREACH;
    case WSAEHOSTUNREACH: return EHOSTUNREACH;
    case WSAENOTCONN: return ENOTCONN;
    case WSAEACCES: return EACCES;
    case WSAEMFILE: return EMFILE;
    case WSAENOBUFS: return ENOBUFS;
    default: return EIO;
  }
}

int Fail() {
  tLastError = ToErrno(WSAGetLastError());
  return tLastError;
}

SOCKET S(int fd) { return static_cast<SOCKET>(static_cast<unsigned>(fd)); }

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
  if (!Startup()) return -1;
  sockaddr_in local{};
  if (!MakeAddr(host, port, local)) return -1;
  SOCKET s = WSASocketW(AF_INET, type, 0, nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) {
    Fail();
    return -1;
  }
  BOOL one = TRUE;
  setsockopt(s, SOL_SOCKET, option, reinterpret_cast<const char*>(&one), sizeof one);
  u_long nonBlocking = 1;
  ioctlsocket(s, FIONBIO, &nonBlocking);
  if (bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    Fail();
    closesocket(s);
    return -1;
  }
  // Socket handles are kernel handles, which fit in 32 bits on 64-bit Windows.
  return static_cast<int>(s);
}

// The network event the calling thread waits on. It is tied to the socket on every wait: a
// reconnect makes a new socket, which may well get the old one's handle value.
struct SocketWait {
  WSAEVENT event = WSA_INVALID_EVENT;
  ~SocketWait() {
    if (event != WSA_INVALID_EVENT) WSACloseEvent(event);
  }
};
thread_local SocketWait tWait;

}  // namespace

bool Startup() {
  static const bool ok = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return ok;
}

int TcpSocketBoundTo(const std::string& host, uint32_t port) {
  return BoundSocket(SOCK_STREAM, SO_REUSEADDR, host, port);
}

int UdpSocketBoundTo(const std::string& host, uint32_t port) {
  return BoundSocket(SOCK_DGRAM, SO_BROADCAST, host, port);
}

void Close(int fd) {
  if (fd >= 0) closesocket(S(fd));
}

int ConnectWithin(int fd, const std::string& host, uint32_t port, uint32_t timeoutMs) {
  sockaddr_in to{};
  if (fd < 0 || !MakeAddr(host, port, to) || host.empty() || port == 0 || port > 65535) return EINVAL;
  if (connect(S(fd), reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) return 0;
  const int err = WSAGetLastError();
  if (err != WSAEWOULDBLOCK && err != WSAEINPROGRESS) return ToErrno(err);
  WSAPOLLFD p{S(fd), POLLWRNORM, 0};
  const int r = WSAPoll(&p, 1, static_cast<int>(timeoutMs));
  if (r != 1) return ETIMEDOUT;
  int soErr = 0;
  int len = sizeof soErr;
  getsockopt(S(fd), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soErr), &len);
  if (soErr == 0 && (p.revents & (POLLERR | POLLHUP))) soErr = WSAECONNREFUSED;
  return ToErrno(soErr);
}

long Recv(int fd, void* buf, size_t size) {
  const int n = recv(S(fd), static_cast<char*>(buf), static_cast<int>(size), 0);
  if (n >= 0) return n;
  const int err = WSAGetLastError();
  tLastError = ToErrno(err);
  return err == WSAEWOULDBLOCK || err == WSAEINTR ? kWouldBlock : kFailed;
}

long RecvFrom(int fd, void* buf, size_t size, std::string& sender, uint8_t senderBytes[4]) {
  sockaddr_in from{};
  int fromLen = sizeof from;
  const int n = recvfrom(S(fd), static_cast<char*>(buf), static_cast<int>(size), 0,
                         reinterpret_cast<sockaddr*>(&from), &fromLen);
  if (n < 0) {
    const int err = WSAGetLastError();
    tLastError = ToErrno(err);
    // A datagram larger than the buffer arrives cut; an ICMP "port unreachable" for an earlier
    // datagram shows up as a reset. Neither ends the socket.
    if (err == WSAEWOULDBLOCK || err == WSAEINTR || err == WSAECONNRESET) return kWouldBlock;
    if (err != WSAEMSGSIZE) return kFailed;
  }
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
  sender = text;
  std::memcpy(senderBytes, &from.sin_addr, 4);
  return n < 0 ? static_cast<long>(size) : n;
}

bool SendAll(int fd, const uint8_t* data, size_t len, int waitMs) {
  size_t done = 0;
  while (done < len) {
    const int n = send(S(fd), reinterpret_cast<const char*>(data + done), static_cast<int>(len - done), 0);
    if (n < 0 && WSAGetLastError() == WSAEWOULDBLOCK) {
      WSAPOLLFD p{S(fd), POLLWRNORM, 0};
      if (WSAPoll(&p, 1, waitMs) == 1) continue;
    }
    if (n <= 0) {
      Fail();
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

bool SendTo(int fd, const uint8_t* data, size_t len, const std::string& host, uint32_t port,
            uint32_t ifIndex) {
  sockaddr_in dst{};
  if (!MakeAddr(host, port, dst) || host.empty()) return false;
  if (ifIndex != 0) {
    // The interface a broadcast leaves by (IP_UNICAST_IF takes the index in network order).
    DWORD index = htonl(ifIndex);
    setsockopt(S(fd), IPPROTO_IP, IP_UNICAST_IF, reinterpret_cast<const char*>(&index), sizeof index);
  }
  const int n = sendto(S(fd), reinterpret_cast<const char*>(data), static_cast<int>(len), 0,
                       reinterpret_cast<sockaddr*>(&dst), sizeof dst);
  if (n != static_cast<int>(len)) {
    Fail();
    return false;
  }
  return true;
}

int WaitReadable(int fd, int timeoutMs) {
  WSAPOLLFD p{S(fd), POLLRDNORM, 0};
  const int r = WSAPoll(&p, 1, timeoutMs);
  if (r < 0) {
    Fail();
    return -1;
  }
  return r > 0 ? 1 : 0;
}

int LastError() { return tLastError; }
std::string ErrorText(int err) { return std::strerror(err); }

int NewEvent() {
  HANDLE h = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return h ? static_cast<int>(HandleToLong(h)) : -1;
}

void SetEvent(int event) {
  if (event >= 0) ::SetEvent(LongToHandle(event));
}

void ResetEvent(int event) {
  if (event >= 0) ::ResetEvent(LongToHandle(event));
}

void CloseEvent(int event) {
  if (event >= 0) CloseHandle(LongToHandle(event));
}

void WaitEventOrReadable(int event, int fd, int timeoutMs, bool* eventSet, bool* readable) {
  *eventSet = *readable = false;
  HANDLE hs[2];
  DWORD n = 0;
  hs[n++] = LongToHandle(event);
  if (fd >= 0) {
    if (tWait.event == WSA_INVALID_EVENT) tWait.event = WSACreateEvent();
    WSAEventSelect(S(fd), tWait.event, FD_READ | FD_CLOSE);
    hs[n++] = tWait.event;
  }
  const DWORD r = WaitForMultipleObjects(n, hs, FALSE, static_cast<DWORD>(timeoutMs));
  if (r == WAIT_OBJECT_0) {
    *eventSet = true;
    if (n == 2) *readable = WaitForSingleObject(hs[1], 0) == WAIT_OBJECT_0;
  } else if (r == WAIT_OBJECT_0 + 1) {
    *readable = true;
  }
  if (*readable) {
    // Takes the recorded events and clears the event; a read that leaves data behind posts
    // FD_READ again.
    WSANETWORKEVENTS ne{};
    WSAEnumNetworkEvents(S(fd), tWait.event, &ne);
  }
}

}  // namespace tw::net
