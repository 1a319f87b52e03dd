// The socket of an Ethernet link: a TCP connection to a reader's data port, or, in datagram
// mode, a UDP socket on one local adapter for the configuration protocol (discovery, identify,
// setup records, IP setup, reset). Received TCP bytes go to the owner's byte sink.
#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "transport/adapters.h"
#include "transport/byte_sink.h"
#include "transport/lan_datagram.h"

namespace tw {

class CTCPSocket {
 public:
  using CAdapter = tw::CAdapter;
  using Bytes = std::vector<uint8_t>;

  static constexpr uint32_t kAnswerQuietMs = 500;   // a UDP answer must come this soon after its request
  static constexpr uint32_t kConnectTimeoutMs = 5000;

  CTCPSocket();
  ~CTCPSocket();
  CTCPSocket(const CTCPSocket&) = delete;
  CTCPSocket& operator=(const CTCPSocket&) = delete;

  // --- Socket-level ----------------------------------------------------------------------------
  bool IsValid() const { return fd_.load() >= 0; }
  int Fd() const { return fd_.load(); }
  void Close();
  // Reads what is waiting (at most 513 bytes): datagrams are queued, TCP bytes go to the receiver.
  void OnReceive();
  void OnConnect() {}
  // The peer closed or a send failed: not connected, socket closed.
  void OnClose();
  // Waits at most waitMs for the socket to become readable and handles what arrived; with
  // pumpUi the application's events are processed first (only on the UI thread).
  void DispatchEvents(int waitMs, bool pumpUi);

  // --- TCP link --------------------------------------------------------------------------------
  bool ConnectTarget(const std::string& name);
  bool SendBytes(const uint8_t* data, size_t len);
  // "[name]" → "a.b.c.d-port" of the DHCP device carrying that name, or empty.
  std::string ResolveIdentity(const std::string& bracketName, uint32_t collectMs,
                              bool pumpUi = false);

  // --- Adapters ----------------------------------------------------------------------------------
  bool EnumerateAdapters();
  bool SelectAdapterFor(const std::string& host);
  bool FirstAdapter();
  bool NextAdapter();
  const std::vector<CAdapter>& Adapters() const { return adapters_; }

  // --- Datagram mode -----------------------------------------------------------------------------
  bool OpenDatagramMode(const std::string& targetHost);
  void CloseDatagramMode();
  bool IdentifyDevice(Bytes& answer, bool pumpUi = true);
  bool QueryRecord(int n, bool broadcast, Bytes& record, bool pumpUi = true);
  bool WriteRecord(int n, const Bytes& record, bool pumpUi = true);
  bool SendIpSetup(bool extended, const Bytes& data);
  bool SendReset();
  bool PopDatagram(lan::Datagram& out);
  int DiscoverDevices(std::vector<std::string>& result, uint32_t quietMs, bool nameCheck,
                      bool pumpUi = true);

  // --- State -------------------------------------------------------------------------------------
  void SetReceiver(IByteSink* r) { receiver_.store(r); }
  bool Connected() const { return connected_.load(); }
  bool DatagramMode() const { return datagramMode_; }
  const std::string& TargetHost() const { return targetHost_; }
  uint32_t TargetPort() const { return targetPort_; }
  const std::string& BindAddress() const { return bindAddress_; }
  uint32_t LastActivity() const { return lastActivity_.load(); }

 private:
  bool CreateTcpSocket();
  bool ConnectOnce(int* err);
  bool SendDatagram(const Bytes& datagram, bool broadcast);
  // Waits for an answer with the given code and minimum payload; from the target host when
  // checkSender is set.
  bool WaitAnswer(uint8_t code, size_t minPayload, bool checkSender, Bytes& payload, bool pumpUi);
  const CAdapter* BoundAdapter() const;
  void BindTo(const CAdapter& a) { bindAddress_ = a.ipAddress; }

  std::deque<Bytes> datagramQueue_;
  bool datagramMode_ = false;
  std::string targetHost_;
  uint32_t targetPort_ = lan::kDefaultDataPort;
  std::atomic<bool> connected_{false};
  std::string bindAddress_;
  std::vector<CAdapter> adapters_;
  std::atomic<IByteSink*> receiver_{nullptr};
  std::mutex datagramLock_;
  std::atomic<uint32_t> lastActivity_{0};
  std::atomic<int> fd_{-1};
};

}  // namespace tw
