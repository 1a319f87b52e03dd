// The Ethernet link of a reader port: a socket thread that connects to the reader, sends queued
// command frames and hands received bytes to the owner; plus the UDP configuration exchanges,
// which run on the calling thread. Link ids are handed out from 20001 upwards.
#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "transport/byte_sink.h"
#include "transport/tcp_socket.h"

namespace tw {

class CTCPSocketThread {
 public:
  using Bytes = std::vector<uint8_t>;
  static constexpr int kFirstLinkId = 20001;

  explicit CTCPSocketThread(IByteSink* owner = nullptr);
  ~CTCPSocketThread();
  CTCPSocketThread(const CTCPSocketThread&) = delete;
  CTCPSocketThread& operator=(const CTCPSocketThread&) = delete;

  void SetOwner(IByteSink* owner) { socket_.SetReceiver(owner); }

  // Connects to "a.b.c.d[-port]" or "[name][-port]" on a socket thread of its own.
  bool OpenLink(const std::string& targetName);
  void CloseLink();
  // Queues one frame for the socket thread; always true.
  bool QueueSend(const Bytes& bytes);

  // Broadcast discovery on every adapter; entries ascending, no duplicates.
  int DiscoverDevices(std::vector<std::string>& result, uint32_t quietMs, bool nameCheck);

  // Datagram mode for configuration: resolves the name, finds the adapter through which the
  // device answers record 0, and takes a link id.
  bool OpenDatagramLink(const std::string& targetName);
  bool IdentifyDevice(Bytes& answer);
  bool QueryRecord(int n, Bytes& record, bool broadcast = false);
  bool WriteRecord(int n, const Bytes& record);
  bool SendIpSetup(bool extended, const Bytes& data);
  bool SendReset();
  void CloseDatagramMode();

  // 0 when no link was opened.
  int LinkId() const { return linkId_.load(); }
  bool Started() const { return started_.load() != 0; }
  CTCPSocket& Socket() { return socket_; }
  const std::string& TargetName() const { return targetName_; }

 private:
  void Run();
  void TakeLinkId();

  std::mutex sendLock_;
  int sendEvent_ = -1;  // set while sends are queued
  std::atomic<int> linkId_{0};
  CTCPSocket socket_;
  std::deque<Bytes> sendQueue_;
  std::atomic<uint8_t> started_{0};
  std::atomic<uint8_t> stop_{0};
  std::string targetName_;
  std::thread thread_;
};

// Process-wide list of LAN link ids: the smallest free number from 20001, and its release.
int AcquireLanLinkId();
void ReleaseLanLinkId(int id);

}  // namespace tw
