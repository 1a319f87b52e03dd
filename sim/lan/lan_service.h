// The Ethernet side of the simulator as one piece that a simulator program switches on with
// options: --bind ADDR and --tcp PORT plus the device's LAN settings (--lan-name ...). It runs the
// configuration responder and the TCP data port of one reader on a thread of its own.
#pragma once
#include <atomic>
#include <string>
#include <thread>

#include "sim/core/sim_reader.h"
#include "sim/lan/lan_responder.h"

namespace tw::sim {

class LanService {
 public:
  LanService() = default;
  ~LanService() { Stop(); }
  LanService(const LanService&) = delete;
  LanService& operator=(const LanService&) = delete;

  // Takes the option at argv[i] (and its value, advancing i) when it is one of ours. Returns
  // false for a foreign option; error is set when ours has a bad or missing value.
  bool TakeOption(int& i, int argc, char** argv, std::string& error);
  static const char* Help();

  // True once --bind was given: the device has an address to serve on.
  bool Enabled() const { return enabled_; }
  bool Echo() const { return echo_; }
  LanResponderOptions& Options() { return opts_; }

  // Serves the reader's frames on the data port (or echoes with --lan-echo).
  bool Start(SimReader& reader, std::string& error);
  // Runs on the calling thread until stop is set (for a program that does nothing else).
  int Run(SimReader& reader, const std::atomic<bool>& stop);
  void Stop();

 private:
  LanSessionFactory Factory(SimReader& reader);

  LanResponderOptions opts_;
  bool enabled_ = false;
  bool echo_ = false;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace tw::sim
