// Network side of a simulated Ethernet reader: the UDP configuration responder on port 30718
// and the TCP data port. Restarts after IP-SETUP or reset close both, wait, move the interface
// to the new address (inside the device's own network namespace) and open them again.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sim/lan/lan_device.h"

namespace tw::sim {

// One TCP connection's byte handler: bytes in, answer bytes out.
class ILanDataSession {
 public:
  virtual ~ILanDataSession() = default;
  virtual void OnBytes(const uint8_t* data, size_t len, std::vector<uint8_t>& out) = 0;
};
using LanSessionFactory = std::function<std::unique_ptr<ILanDataSession>()>;

struct LanResponderOptions {
  LanDeviceConfig device;
  std::string iface;           // interface whose address follows the device's settings; empty: none
  uint32_t restartMs = 300;    // unreachable this long after IP-SETUP or reset
  bool neverReturn = false;    // stays down after the first restart
  bool tcp = true;             // serve the TCP data port
  int closeAfterAnswers = 0;   // close each TCP connection after this many answers (0: never)
  std::string logPath;         // event lines appended here
  uint32_t floodMs = 0;        // answer a search with made-up devices for this long (0: never)
};

class LanResponder {
 public:
  LanResponder(const LanResponderOptions& opts, LanSessionFactory factory);
  ~LanResponder();
  // Serves until stop is set; returns a process exit code.
  int Run(const std::atomic<bool>& stop);

 private:
  bool OpenSockets();
  void CloseSockets();
  void ApplyAddress();
  void FlushEvents();
  void ServeUdp();
  void AcceptClient();

  const std::atomic<bool>* stop_ = nullptr;

  struct Client {
    int fd = -1;
    int answers = 0;
    std::unique_ptr<ILanDataSession> session;
  };

  LanResponderOptions opts_;
  LanSessionFactory factory_;
  SimLanDevice device_;
  int udp_ = -1;
  int listener_ = -1;
  std::vector<Client> clients_;
};

// Echoes every byte back: a data port for link tests that need no reader behind it.
std::unique_ptr<ILanDataSession> MakeEchoSession();

}  // namespace tw::sim
