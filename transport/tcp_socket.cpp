#include "transport/tcp_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/tick.h"
#include "platform/trace.h"
#include "platform/ui_hooks.h"

namespace tw {

namespace {
constexpr int kCreateRetries = 5;
constexpr int kConnectRetries = 5;
constexpr uint32_t kCreateRetryMs = 200;
constexpr uint32_t kCollectMaxMs = 10000;  // discovery ends even if answers never stop

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
}  // namespace

CTCPSocket::CTCPSocket() = default;

CTCPSocket::~CTCPSocket() { Close(); }

void CTCPSocket::Close() {
  int fd = fd_.exchange(-1);
  if (fd >= 0) ::close(fd);
}

void CTCPSocket::OnClose() {
  connected_ = false;
  Close();
}

void CTCPSocket::OnReceive() {
  int fd = fd_.load();
  if (fd < 0) return;
  uint8_t buf[lan::kMaxDatagram];
  if (datagramMode_) {
    sockaddr_in from{};
    socklen_t fromLen = sizeof from;
    ssize_t n = recvfrom(fd, buf, sizeof buf, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from),
                         &fromLen);
    if (n < 0) {
      if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) Close();
      return;
    }
    char sender[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &from.sin_addr, sender, sizeof sender);
    if (bindAddress_ == sender) return;  // our own broadcast coming back
    Bytes entry(4 + static_cast<size_t>(n));
    std::memcpy(entry.data(), &from.sin_addr, 4);
    if (n > 0) std::memcpy(entry.data() + 4, buf, static_cast<size_t>(n));
    std::lock_guard<std::mutex> lock(datagramLock_);
    datagramQueue_.push_back(std::move(entry));
    return;
  }
  ssize_t n = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
  if (n > 0) {
    if (IByteSink* r = receiver_.load()) r->OnBytesReceived(buf, static_cast<size_t>(n));
    lastActivity_ = TickCount();
    return;
  }
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
  Trace("lan: connection to %s closed by the peer", targetHost_.c_str());
  OnClose();
}

void CTCPSocket::DispatchEvents(int waitMs, bool pumpUi) {
  if (pumpUi) PumpUiEvents();
  int fd = fd_.load();
  if (fd < 0) {
    if (waitMs > 0) SleepMs(static_cast<uint32_t>(waitMs));
    return;
  }
  // Handle everything that is already waiting, but only wait once.
  for (int round = 0; round < 64; ++round) {
    pollfd p{fd, POLLIN, 0};
    int r = poll(&p, 1, round == 0 ? waitMs : 0);
    if (r <= 0) return;
    OnReceive();
    fd = fd_.load();
    if (fd < 0) return;
  }
}

// --- Adapters ------------------------------------------------------------------------------------

bool CTCPSocket::EnumerateAdapters() {
  adapters_ = ListAdapters();
  return !adapters_.empty();
}

bool CTCPSocket::SelectAdapterFor(const std::string& host) {
  if (adapters_.empty()) EnumerateAdapters();
  std::string local;
  if (BestLocalAddress(host, local)) {
    // The kernel's route decides; that source address is the adapter to use, even when it is
    // not in the list (loopback).
    bindAddress_ = local;
    return true;
  }
  if (adapters_.empty()) {
    bindAddress_.clear();
    return false;
  }
  BindTo(adapters_.front());
  return true;
}

bool CTCPSocket::FirstAdapter() {
  if (adapters_.empty()) return false;
  BindTo(adapters_.front());
  return true;
}

bool CTCPSocket::NextAdapter() {
  if (adapters_.empty()) return false;
  if (bindAddress_.empty()) return FirstAdapter();
  for (size_t i = 0; i < adapters_.size(); ++i) {
    if (adapters_[i].ipAddress == bindAddress_) {
      if (i + 1 >= adapters_.size()) return false;
      BindTo(adapters_[i + 1]);
      return true;
    }
  }
  return false;
}

const CAdapter* CTCPSocket::BoundAdapter() const {
  for (const auto& a : adapters_)
    if (a.ipAddress == bindAddress_) return &a;
  return nullptr;
}

// --- TCP -------------------------------------------------------------------------------------------

bool CTCPSocket::CreateTcpSocket() {
  sockaddr_in local{};
  if (!MakeAddr(bindAddress_, 0, local)) return false;
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);  // a failure does not matter
  if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    ::close(fd);
    return false;
  }
  Close();
  fd_ = fd;
  return true;
}

bool CTCPSocket::ConnectOnce(int* err) {
  *err = 0;
  int fd = fd_.load();
  sockaddr_in to{};
  if (fd < 0 || !MakeAddr(targetHost_, targetPort_, to) || targetHost_.empty() ||
      targetPort_ == 0 || targetPort_ > 65535) {
    *err = EINVAL;
    return false;
  }
  // A bounded connect: non-blocking, then wait for the outcome.
  int flags = fcntl(fd, F_GETFL, 0);
  fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  int r = connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to);
  if (r != 0 && errno == EINPROGRESS) {
    pollfd p{fd, POLLOUT, 0};
    r = poll(&p, 1, static_cast<int>(kConnectTimeoutMs));
    if (r == 1) {
      int soErr = 0;
      socklen_t len = sizeof soErr;
      getsockopt(fd, SOL_SOCKET, SO_ERROR, &soErr, &len);
      if (soErr != 0) {
        *err = soErr;
        return false;
      }
      r = 0;
    } else {
      *err = ETIMEDOUT;
      return false;
    }
  } else if (r != 0) {
    *err = errno;
    return false;
  }
  OnConnect();
  return true;
}

bool CTCPSocket::ConnectTarget(const std::string& nameIn) {
  std::string name = nameIn;
  if (name.find('[') != std::string::npos) {
    name = ResolveIdentity(lan::BracketPart(name), 200);
    if (name.empty()) {
      Trace("lan: %s not found", nameIn.c_str());
      return false;
    }
  }
  lan::SplitTarget(name, targetHost_, targetPort_);
  SelectAdapterFor(targetHost_);

  bool created = false;
  for (int attempt = 0; attempt <= kCreateRetries && !created; ++attempt) {
    if (attempt > 0) SleepMs(kCreateRetryMs);
    created = CreateTcpSocket();
  }
  if (!created) return false;

  for (int attempt = 0;; ++attempt) {
    int err = 0;
    if (ConnectOnce(&err)) break;
    if ((err == EADDRINUSE || err == EADDRNOTAVAIL) && attempt < kConnectRetries) {
      // The local port is still taken; a fresh socket gets another one.
      DispatchEvents(1, false);
      if (!CreateTcpSocket()) return false;
      continue;
    }
    Trace("lan: connect to %s-%u failed: %s", targetHost_.c_str(), targetPort_, strerror(err));
    Close();
    return false;
  }
  connected_ = true;
  lastActivity_ = TickCount();
  return true;
}

bool CTCPSocket::SendBytes(const uint8_t* data, size_t len) {
  if (!connected_ && !targetHost_.empty()) {
    // The reader closed the connection since the last command: one reconnect, no retries.
    int err = 0;
    if (CreateTcpSocket() && ConnectOnce(&err)) {
      connected_ = true;
    } else {
      Close();
    }
  }
  int fd = fd_.load();
  bool ok = false;
  if (fd >= 0 && connected_) {
    size_t done = 0;
    ok = true;
    while (done < len) {
      ssize_t n = send(fd, data + done, len - done, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, 1000) == 1) continue;
      }
      if (n <= 0) {
        ok = false;
        break;
      }
      done += static_cast<size_t>(n);
    }
  }
  if (!ok) OnClose();
  lastActivity_ = TickCount();
  return ok;
}

// --- Datagram mode ---------------------------------------------------------------------------------

bool CTCPSocket::OpenDatagramMode(const std::string& targetHost) {
  targetHost_ = targetHost;
  sockaddr_in local{};
  if (!MakeAddr(bindAddress_, 0, local)) return false;
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
  if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    ::close(fd);
    return false;
  }
  Close();
  {
    std::lock_guard<std::mutex> lock(datagramLock_);
    datagramQueue_.clear();
  }
  fd_ = fd;
  datagramMode_ = true;
  return true;
}

void CTCPSocket::CloseDatagramMode() {
  Close();
  datagramMode_ = false;
}

bool CTCPSocket::SendDatagram(const Bytes& datagram, bool broadcast) {
  int fd = fd_.load();
  if (fd < 0) return false;
  const CAdapter* adapter = BoundAdapter();
  std::string to = targetHost_;
  if (broadcast || to == "255.255.255.255") {
    broadcast = true;
    // The limited broadcast reaches devices whatever subnet they are set to; the adapter it
    // leaves through is chosen per datagram below.
    to = "255.255.255.255";
  }
  sockaddr_in dst{};
  if (!MakeAddr(to, lan::kConfigPort, dst) || to.empty()) return false;

  iovec iov{const_cast<uint8_t*>(datagram.data()), datagram.size()};
  msghdr msg{};
  msg.msg_name = &dst;
  msg.msg_namelen = sizeof dst;
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
  if (broadcast && adapter) {
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = IPPROTO_IP;
    c->cmsg_type = IP_PKTINFO;
    c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    info.ipi_ifindex = static_cast<int>(adapter->interfaceIndex);
    std::memcpy(CMSG_DATA(c), &info, sizeof info);
  }
  ssize_t n = sendmsg(fd, &msg, MSG_NOSIGNAL);
  if (n != static_cast<ssize_t>(datagram.size())) {
    Trace("lan: datagram to %s failed: %s", to.c_str(), strerror(errno));
    return false;
  }
  return true;
}

bool CTCPSocket::PopDatagram(lan::Datagram& out) {
  for (;;) {
    Bytes entry;
    {
      std::lock_guard<std::mutex> lock(datagramLock_);
      if (datagramQueue_.empty()) return false;
      entry = std::move(datagramQueue_.front());
      datagramQueue_.pop_front();
    }
    // A datagram without a whole header carries no code: skip it.
    if (lan::DecodeQueued(entry.data(), entry.size(), out)) return true;
  }
}

bool CTCPSocket::WaitAnswer(uint8_t code, size_t minPayload, bool checkSender, Bytes& payload,
                            bool pumpUi) {
  uint32_t start = TickCount();
  uint32_t lastSeen = start;
  while (TicksSince(lastSeen) < kAnswerQuietMs && TicksSince(start) < kAnswerMaxMs) {
    DispatchEvents(1, pumpUi);
    lan::Datagram d;
    while (PopDatagram(d)) {
      if (d.code == code && d.payload.size() >= minPayload &&
          (!checkSender || d.sender == targetHost_)) {
        payload = std::move(d.payload);
        return true;
      }
      lastSeen = TickCount();  // an unrelated datagram starts the wait over
    }
    if (!IsValid()) return false;
  }
  return false;
}

bool CTCPSocket::IdentifyDevice(Bytes& answer, bool pumpUi) {
  if (!SendDatagram(lan::IdentifyRequest(), false)) return false;
  return WaitAnswer(lan::kIdentifyAnswer, lan::kIdentifyMinSize, true, answer, pumpUi);
}

bool CTCPSocket::QueryRecord(int n, bool broadcast, Bytes& record, bool pumpUi) {
  if (n < 0 || n > 15) return false;
  if (!SendDatagram(lan::ReadRecordRequest(n), broadcast)) return false;
  return WaitAnswer(lan::ReadRecordAnswerCode(n), lan::kRecordMinSize, true, record, pumpUi);
}

bool CTCPSocket::WriteRecord(int n, const Bytes& record, bool pumpUi) {
  if (n < 0 || n > 15) return false;
  if (!SendDatagram(lan::WriteRecordRequest(n, record), false)) return false;
  Bytes ignored;
  return WaitAnswer(lan::WriteRecordAnswerCode(n), 0, false, ignored, pumpUi);
}

bool CTCPSocket::SendIpSetup(bool extended, const Bytes& data) {
  return SendDatagram(lan::IpSetupRequest(extended, data), true);
}

bool CTCPSocket::SendReset() { return SendDatagram(lan::ResetRequest(), false); }

// --- Discovery ---------------------------------------------------------------------------------------

int CTCPSocket::DiscoverDevices(std::vector<std::string>& result, uint32_t quietMs, bool nameCheck,
                                bool pumpUi) {
  EnumerateAdapters();
  result.clear();
  bindAddress_.clear();
  while (NextAdapter()) {
    std::vector<std::string> entries;
    if (OpenDatagramMode("255.255.255.255") && SendDatagram(lan::ReadRecordRequest(0), true)) {
      uint32_t start = TickCount();
      uint32_t lastAnswer = start;
      while (TicksSince(lastAnswer) < quietMs && TicksSince(start) < kCollectMaxMs) {
        DispatchEvents(1, pumpUi);
        lan::Datagram d;
        while (PopDatagram(d)) {
          if (d.code != lan::kReadRecord0Answer || d.payload.size() < lan::kRecordMinSize) continue;
          lastAnswer = TickCount();
          lan::InsertSorted(entries, lan::DiscoveryEntry(d.payload, d.sender));
        }
        if (!IsValid()) break;
      }
      if (nameCheck) {
        std::vector<std::string> kept;
        for (const auto& e : entries) {
          targetHost_ = lan::EntryHost(e);
          Bytes rec2;
          if (!QueryRecord(2, false, rec2, pumpUi) || rec2.size() < lan::kNameCheckSize ||
              !lan::IsReaderProduct(rec2))
            continue;
          std::string prefix = e[0] == '[' ? lan::BracketPart(e) : std::string();
          lan::InsertSorted(kept, prefix.empty() ? e : prefix);
        }
        entries.swap(kept);
      }
    }
    CloseDatagramMode();
    for (const auto& e : entries) lan::InsertSorted(result, e);
  }
  return static_cast<int>(result.size());
}

std::string CTCPSocket::ResolveIdentity(const std::string& bracketName, uint32_t collectMs,
                                        bool pumpUi) {
  if (adapters_.empty()) EnumerateAdapters();
  std::string found;
  bindAddress_.clear();
  while (found.empty() && NextAdapter()) {
    if (OpenDatagramMode("255.255.255.255") && SendDatagram(lan::ReadRecordRequest(0), true)) {
      uint32_t start = TickCount();
      while (found.empty() && TicksSince(start) < collectMs) {
        DispatchEvents(1, pumpUi);
        lan::Datagram d;
        while (found.empty() && PopDatagram(d)) {
          if (d.code != lan::kReadRecord0Answer || d.payload.size() < lan::kRecordMinSize) continue;
          // A device with a static address is reached by that address, never by name.
          if (lan::RecordAddress(d.payload) == d.sender) continue;
          if (lan::RecordDeviceName(d.payload) == bracketName)
            found = d.sender + "-" + std::to_string(lan::RecordPort(d.payload));
        }
        if (!IsValid()) break;
      }
    }
    CloseDatagramMode();
  }
  return found;
}

}  // namespace tw
