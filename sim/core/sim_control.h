// Control channel of the simulator: one line in, one reply line out ("ok ..." or "error ...").
// The same commands arrive on standard input and on a Unix socket; see ControlHelp().
#pragma once
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/core/sim_transport.h"

namespace tw::sim {

class SimReader;

const char* ControlHelp();

class SimControl {
 public:
  explicit SimControl(SimReader& reader) : reader_(reader) {}
  void AddTransport(ISimTransport* transport);  // not owned
  // Runs one command line and returns its reply line (no line end).
  std::string Execute(const std::string& line);
  bool QuitRequested() const { return quit_; }

 private:
  SimReader& reader_;
  std::mutex mu_;
  std::vector<ISimTransport*> transports_;
  std::atomic<bool> quit_{false};
};

// Unix stream socket that serves control lines to any number of clients.
class SimControlSocket {
 public:
  explicit SimControlSocket(SimControl& control) : control_(control) {}
  ~SimControlSocket();
  SimControlSocket(const SimControlSocket&) = delete;
  SimControlSocket& operator=(const SimControlSocket&) = delete;

  bool Start(const std::string& path, std::string& error);
  void Stop();

 private:
  void Run();
  SimControl& control_;
  std::string path_;
  int listen_ = -1;
  int wake_[2] = {-1, -1};
  std::thread thread_;
  std::atomic<bool> stop_{false};
};

}  // namespace tw::sim
