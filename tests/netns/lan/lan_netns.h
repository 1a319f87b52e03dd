// A private network for LAN tests: one namespace holding a bridge, a host-under-test namespace
// with two adapters on that bridge, and one namespace per simulated device running
// tagwright-sim-lan. Nothing here touches the machine's own interfaces; everything is removed
// when the object goes, and leftovers of crashed runs are removed on the next start.
#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

namespace tw::test {

class LanTestNet {
 public:
  static constexpr const char* kSubnet = "10.77.0";  // host adapters .1 and .2, devices from .10

  LanTestNet();
  ~LanTestNet();
  LanTestNet(const LanTestNet&) = delete;
  LanTestNet& operator=(const LanTestNet&) = delete;

  // Why the tests cannot run here (not root, no `ip netns`); empty when they can.
  static std::string Unavailable();

  // Builds the bridge, the host with two adapters and deviceCount device namespaces.
  bool Create(int deviceCount);
  // Moves the calling thread (and every thread it starts later) into the host namespace.
  bool EnterHost();
  void LeaveHost();
  void Destroy();

  std::string HostAdapter(int k) const { return std::string(kSubnet) + "." + std::to_string(1 + k); }
  std::string DeviceAddress(int i) const {
    return std::string(kSubnet) + "." + std::to_string(10 + i);
  }
  // Starts tagwright-sim-lan in device namespace i bound to its address, with extra options.
  // program: "tagwright-sim-lan" or "tagwright-sim" (both take the same LAN options).
  bool StartDevice(int i, const std::vector<std::string>& args,
                   const std::string& program = "tagwright-sim-lan");
  void StopDevice(int i);
  // Event lines the device has logged so far ("READ 0", "IPSETUP SHORT", "RESET", "UP", ...).
  std::vector<std::string> DeviceEvents(int i) const;
  int CountEvents(int i, const std::string& event) const;
  const std::string& Error() const { return error_; }

 private:
  std::string Ns(const std::string& role) const;
  bool Ip(const std::vector<std::string>& args);
  std::string LogPath(int i) const;

  std::string prefix_;
  std::vector<std::string> namespaces_;
  std::vector<pid_t> devices_;
  int deviceCount_ = 0;
  int savedNs_ = -1;
  std::string dir_;
  std::string error_;
};

}  // namespace tw::test
