// tagwright-sim --hid: announces the simulator as a HID reader to the stand-in hidapi library. A
// file "<pid>.hid" in the simulator registry folder holds one device entry ("VID:PID:SERIAL:IN:
// OUT=<terminal>"), locked while the simulator runs; the stand-in lists every live one.
#pragma once
#include <string>

#include "sim/core/sim_port_registry.h"

namespace tw::sim {

class SimHidAnnouncement {
 public:
  SimHidAnnouncement() = default;
  ~SimHidAnnouncement() { Withdraw(); }
  SimHidAnnouncement(const SimHidAnnouncement&) = delete;
  SimHidAnnouncement& operator=(const SimHidAnnouncement&) = delete;

  // device: "VID:PID:SERIAL" with optional ":IN:OUT" report lengths (default 9 and 9).
  static bool ValidDevice(const std::string& device);
  bool Announce(const std::string& device, const std::string& ptyPath, std::string& error);
  void Withdraw() { RemoveAnnouncement(fd_, path_); }

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace tw::sim
