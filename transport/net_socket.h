// The socket primitives of one platform for the Ethernet link (net_socket_posix.cpp: BSD sockets and
// eventfds; net_socket_win32.cpp: Winsock 2 and events). Sockets and events are ints, -1 is none;
// every socket is non-blocking. Error numbers are errno values on every platform.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace tw::net {

// Makes the socket library usable (once per process); false when the system has no IPv4 sockets.
bool Startup();

// A TCP or UDP socket bound to host ("" = any address) and port; -1 when it cannot be made or bound.
// The UDP socket may send broadcasts.
int TcpSocketBoundTo(const std::string& host, uint32_t port);
int UdpSocketBoundTo(const std::string& host, uint32_t port);
void Close(int fd);

// Connects within timeoutMs: 0, or the error number (EINVAL for a bad address, ETIMEDOUT, ...).
int ConnectWithin(int fd, const std::string& host, uint32_t port, uint32_t timeoutMs);

// Results of Recv and RecvFrom besides a byte count.
inline constexpr long kWouldBlock = -1;
inline constexpr long kFailed = -2;
// > 0 bytes; 0 the peer closed; kWouldBlock nothing waiting; kFailed an error.
long Recv(int fd, void* buf, size_t size);
// A datagram: its length (0 is an empty datagram), kWouldBlock or kFailed; the sender's dotted
// address and its four address bytes in network order.
long RecvFrom(int fd, void* buf, size_t size, std::string& sender, uint8_t senderBytes[4]);
// Sends all bytes, waiting at most waitMs each time the send queue is full.
bool SendAll(int fd, const uint8_t* data, size_t len, int waitMs);
// One datagram to host:port; on a broadcast, ifIndex (when not 0) picks the interface it leaves by.
bool SendTo(int fd, const uint8_t* data, size_t len, const std::string& host, uint32_t port,
            uint32_t ifIndex);
// 1 readable (or closed), 0 time is up, -1 error.
int WaitReadable(int fd, int timeoutMs);

// The error number of the last failed call, and its text.
int LastError();
std::string ErrorText(int err);

// Manual-reset events for the socket thread.
int NewEvent();
void SetEvent(int event);
void ResetEvent(int event);
void CloseEvent(int event);
// Waits at most timeoutMs for the event or for the socket (skipped when -1) to be readable.
void WaitEventOrReadable(int event, int fd, int timeoutMs, bool* eventSet, bool* readable);

}  // namespace tw::net
