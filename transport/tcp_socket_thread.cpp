#include "transport/tcp_socket_thread.h"

#include <set>

#include "platform/tick.h"
#include "platform/ui_hooks.h"
#include "transport/net_socket.h"

namespace tw {

namespace {
std::mutex& IdLock() {
  static std::mutex m;
  return m;
}
std::set<int>& Ids() {
  static std::set<int> ids;
  return ids;
}

// Wait cursor and disabled main window for the length of a scope.
class BusyScope {
 public:
  BusyScope() {
    BeginWaitCursor();
    token_ = DisableAppWindow(&wasEnabled_);
  }
  ~BusyScope() {
    RestoreAppWindow(token_, wasEnabled_);
    EndWaitCursor();
  }

 private:
  void* token_ = nullptr;
  bool wasEnabled_ = false;
};
}  // namespace

int AcquireLanLinkId() {
  std::lock_guard<std::mutex> lock(IdLock());
  int id = CTCPSocketThread::kFirstLinkId;
  while (Ids().count(id)) ++id;
  Ids().insert(id);
  return id;
}

void ReleaseLanLinkId(int id) {
  std::lock_guard<std::mutex> lock(IdLock());
  Ids().erase(id);
}

CTCPSocketThread::CTCPSocketThread(IByteSink* owner) {
  sendEvent_ = net::NewEvent();
  socket_.SetReceiver(owner);
}

CTCPSocketThread::~CTCPSocketThread() {
  stop_ = 1;
  if (thread_.joinable()) thread_.join();
  socket_.Close();
  int id = linkId_.exchange(0);
  if (id) ReleaseLanLinkId(id);
  net::CloseEvent(sendEvent_);
}

void CTCPSocketThread::TakeLinkId() {
  int old = linkId_.exchange(AcquireLanLinkId());
  if (old) ReleaseLanLinkId(old);
}

bool CTCPSocketThread::OpenLink(const std::string& targetName) {
  BusyScope busy;
  if (thread_.joinable()) {
    stop_ = 1;
    thread_.join();
  }
  targetName_ = targetName;
  started_ = 0;
  stop_ = 0;
  thread_ = std::thread([this] { Run(); });
  while (!started_) SleepMs(1);
  if (!socket_.IsValid()) {
    thread_.join();
    return false;
  }
  TakeLinkId();
  return true;
}

void CTCPSocketThread::Run() {
  bool ok = socket_.ConnectTarget(targetName_);
  started_ = 1;
  if (!ok) return;
  while (!stop_) {
    // The socket may be replaced by a reconnect, so its descriptor is looked up every turn.
    bool sendQueued = false, readable = false;
    net::WaitEventOrReadable(sendEvent_, socket_.Fd(), 1, &sendQueued, &readable);
    if (readable) socket_.OnReceive();
    if (sendQueued) {
      std::lock_guard<std::mutex> lock(sendLock_);
      if (!sendQueue_.empty()) {
        Bytes frame = std::move(sendQueue_.front());
        sendQueue_.pop_front();
        socket_.SendBytes(frame.data(), frame.size());  // a failure closes the socket
      }
      if (sendQueue_.empty()) net::ResetEvent(sendEvent_);
    }
  }
  socket_.Close();
}

void CTCPSocketThread::CloseLink() {
  stop_ = 1;
  uint32_t start = TickCount();
  while (socket_.IsValid() && TicksSince(start) < 1000) {
    PumpUiEvents();
    SleepMs(1);
  }
  SleepMs(10);
  if (thread_.joinable()) thread_.join();
  socket_.Close();
}

bool CTCPSocketThread::QueueSend(const Bytes& bytes) {
  std::lock_guard<std::mutex> lock(sendLock_);
  sendQueue_.push_back(bytes);
  net::SetEvent(sendEvent_);
  return true;
}

int CTCPSocketThread::DiscoverDevices(std::vector<std::string>& result, uint32_t quietMs,
                                      bool nameCheck) {
  BusyScope busy;
  return socket_.DiscoverDevices(result, quietMs, nameCheck, true);
}

bool CTCPSocketThread::OpenDatagramLink(const std::string& targetName) {
  BusyScope busy;
  targetName_ = targetName;
  std::string name = targetName;
  if (name.find('[') != std::string::npos) {
    name = socket_.ResolveIdentity(lan::BracketPart(name), 200, true);
    if (name.empty()) return false;
  }
  std::string host;
  uint32_t port = 0;
  lan::SplitTarget(name, host, port);
  if (socket_.Adapters().empty()) socket_.EnumerateAdapters();
  if (!socket_.FirstAdapter()) return false;
  do {
    if (socket_.OpenDatagramMode(host)) {
      Bytes rec;
      if (socket_.QueryRecord(0, true, rec, true)) {
        TakeLinkId();
        return true;
      }
    }
    socket_.CloseDatagramMode();
  } while (socket_.NextAdapter());
  return false;
}

bool CTCPSocketThread::IdentifyDevice(Bytes& answer) {
  BusyScope busy;
  return socket_.IdentifyDevice(answer, true);
}

bool CTCPSocketThread::QueryRecord(int n, Bytes& record, bool broadcast) {
  BusyScope busy;
  return socket_.QueryRecord(n, broadcast, record, true);
}

bool CTCPSocketThread::WriteRecord(int n, const Bytes& record) {
  BusyScope busy;
  return socket_.WriteRecord(n, record, true);
}

bool CTCPSocketThread::SendIpSetup(bool extended, const Bytes& data) {
  BusyScope busy;
  return socket_.SendIpSetup(extended, data);
}

bool CTCPSocketThread::SendReset() {
  BusyScope busy;
  return socket_.SendReset();
}

void CTCPSocketThread::CloseDatagramMode() {
  BusyScope busy;
  socket_.CloseDatagramMode();
}

}  // namespace tw
