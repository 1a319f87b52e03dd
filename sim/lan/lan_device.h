// A simulated Ethernet reader's configuration side: the setup records, the identify answer and
// the reactions to record writes, IP-SETUP and reset on UDP port 30718. Pure state: the responder
// feeds it datagrams and carries out the restarts it asks for.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tw::sim {

// The maker tag our devices send in the identify answer; it selects the extended IP-SETUP.
inline constexpr char kLanMakerTag[] = "TWG";

struct LanDeviceConfig {
  std::string deviceName = "LINE7";        // up to 16 characters
  std::string productName = "QZ-LAN";      // "QZ-..." for readers, anything else for other devices
  std::array<uint8_t, 6> mac{{0x02, 0x54, 0x57, 0x00, 0x00, 0x01}};
  bool dhcp = false;                       // record 0 then shows 0.0.0.0
  std::array<uint8_t, 4> address{{0, 0, 0, 0}};  // the address the device holds
  uint8_t hostBits = 8;
  std::array<uint8_t, 4> gateway{{0, 0, 0, 0}};
  uint16_t dataPort = 10001;
  std::string makerTag = kLanMakerTag;
  size_t record0Size = 126;                // fewer than 120 makes a broken device
};

// The network settings the device is running with.
struct LanActiveSettings {
  std::array<uint8_t, 4> address{};
  uint8_t hostBits = 8;
  uint16_t dataPort = 10001;
};

class SimLanDevice {
 public:
  static constexpr size_t kRecordSize = 126;

  explicit SimLanDevice(const LanDeviceConfig& cfg);

  // Handles one datagram; reply stays empty when the device does not answer. After a datagram
  // that restarts the device, RestartPending() is true.
  void Handle(const uint8_t* data, size_t len, std::vector<uint8_t>& reply);

  bool RestartPending() const { return restartPending_; }
  // Takes the stored records into effect (the device has restarted).
  void CompleteRestart();

  const LanActiveSettings& Active() const { return active_; }
  const std::vector<uint8_t>& Record(int n) const { return records_[static_cast<size_t>(n)]; }
  // One line per handled request, e.g. "READ 0", "WRITE 3", "IPSETUP SHORT", "RESET".
  const std::vector<std::string>& Events() const { return events_; }
  void ClearEvents() { events_.clear(); }

 private:
  void SetName(const std::string& name);
  void Log(const std::string& line) { events_.push_back(line); }
  bool IpSetup(const uint8_t* data, size_t len);

  LanDeviceConfig cfg_;
  std::array<std::vector<uint8_t>, 16> records_;
  LanActiveSettings active_;
  bool restartPending_ = false;
  std::vector<std::string> events_;
};

}  // namespace tw::sim
