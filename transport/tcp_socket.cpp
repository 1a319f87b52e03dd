#include "transport/tcp_socket.h"

#include <cerrno>
#include <cstring>

#include "platform/tick.h"
#include "platform/trace.h"
#include "platform/ui_hooks.h"
#include "transport/net_socket.h"

namespace tw {

namespace {
constexpr int kCreateRetries = 5;
constexpr int kConnectRetries = 5;
constexpr uint32_t kCreateRetryMs = 200;
constexpr uint32_t kCollectMaxMs = 3000;  // collecting on one adapter ends even if answers never stop
constexpr uint32_t kSearchMaxMs = 8000;   // the whole search, name checks included
constexpr size_t kMaxEntries = 256;       // devices kept per adapter
}  // namespace

CTCPSocket::CTCPSocket() = default;

CTCPSocket::~CTCPSocket() { Close(); }

void CTCPSocket::Close() {
  net::Close(fd_.exchange(-1));
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
    std::string sender;
    uint8_t senderBytes[4] = {};
    long n = net::RecvFrom(fd, buf, sizeof buf, sender, senderBytes);
    if (n < 0) {
      if (n == net::kFailed) Close();
      return;
    }
    if (bindAddress_ == sender) return;  // our own broadcast coming back
    Bytes entry(4 + static_cast<size_t>(n));
    std::memcpy(entry.data(), senderBytes, 4);
    if (n > 0) std::memcpy(entry.data() + 4, buf, static_cast<size_t>(n));
    std::lock_guard<std::mutex> lock(datagramLock_);
    datagramQueue_.push_back(std::move(entry));
    return;
  }
  long n = net::Recv(fd, buf, sizeof buf);
  if (n > 0) {
    if (IByteSink* r = receiver_.load()) r->OnBytesReceived(buf, static_cast<size_t>(n));
    lastActivity_ = TickCount();
    return;
  }
  if (n == net::kWouldBlock) return;
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
    if (net::WaitReadable(fd, round == 0 ? waitMs : 0) <= 0) return;
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
  int fd = net::TcpSocketBoundTo(bindAddress_, 0);
  if (fd < 0) return false;
  Close();
  fd_ = fd;
  return true;
}

bool CTCPSocket::ConnectOnce(int* err) {
  *err = net::ConnectWithin(fd_.load(), targetHost_, targetPort_, kConnectTimeoutMs);
  if (*err != 0) return false;
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
    Trace("lan: connect to %s-%u failed: %s", targetHost_.c_str(), targetPort_, net::ErrorText(err).c_str());
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
    ok = net::SendAll(fd, data, len, 1000);
  }
  if (!ok) OnClose();
  lastActivity_ = TickCount();
  return ok;
}

// --- Datagram mode ---------------------------------------------------------------------------------

bool CTCPSocket::OpenDatagramMode(const std::string& targetHost) {
  targetHost_ = targetHost;
  int fd = net::UdpSocketBoundTo(bindAddress_, 0);
  if (fd < 0) return false;
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
  if (to.empty()) return false;
  const uint32_t ifIndex = broadcast && adapter ? adapter->interfaceIndex : 0;
  if (!net::SendTo(fd, datagram.data(), datagram.size(), to, lan::kConfigPort, ifIndex)) {
    Trace("lan: datagram to %s failed: %s", to.c_str(), net::ErrorText(net::LastError()).c_str());
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
  // The answer has kAnswerQuietMs from the request. Unrelated datagrams do not extend that: a
  // flood of them would otherwise hold the caller for as long as it lasts.
  const uint32_t start = TickCount();
  while (TicksSince(start) < kAnswerQuietMs) {
    DispatchEvents(1, pumpUi);
    lan::Datagram d;
    while (PopDatagram(d)) {
      if (d.code == code && d.payload.size() >= minPayload &&
          (!checkSender || d.sender == targetHost_)) {
        payload = std::move(d.payload);
        return true;
      }
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
  // One bound for the whole search, however many adapters and answers (a flood of answers from
  // made-up devices would otherwise keep collecting, and each needs a name check).
  const uint32_t searchStart = TickCount();
  while (NextAdapter() && TicksSince(searchStart) < kSearchMaxMs) {
    std::vector<std::string> entries;
    if (OpenDatagramMode("255.255.255.255") && SendDatagram(lan::ReadRecordRequest(0), true)) {
      uint32_t start = TickCount();
      uint32_t lastAnswer = start;
      while (TicksSince(lastAnswer) < quietMs && TicksSince(start) < kCollectMaxMs &&
             TicksSince(searchStart) < kSearchMaxMs) {
        DispatchEvents(1, pumpUi);
        lan::Datagram d;
        while (PopDatagram(d)) {
          if (d.code != lan::kReadRecord0Answer || d.payload.size() < lan::kRecordMinSize) continue;
          lastAnswer = TickCount();
          if (entries.size() < kMaxEntries) lan::InsertSorted(entries, lan::DiscoveryEntry(d.payload, d.sender));
        }
        if (!IsValid()) break;
      }
      if (nameCheck) {
        std::vector<std::string> kept;
        for (const auto& e : entries) {
          // Entries left unchecked when the search ran out of time are not shown as readers.
          if (TicksSince(searchStart) >= kSearchMaxMs) break;
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
