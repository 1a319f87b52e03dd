// Pseudo-terminal transport of the simulator: the host opens the slave side like a serial port;
// a thread reads the master side, feeds the reader core and writes its answers back.
#pragma once
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "sim/core/sim_frame.h"
#include "sim/core/sim_transport.h"

namespace tw::sim {

class SimReader;

class SimPtyTransport : public ISimTransport {
 public:
  explicit SimPtyTransport(SimReader& reader);
  ~SimPtyTransport() override;
  SimPtyTransport(const SimPtyTransport&) = delete;
  SimPtyTransport& operator=(const SimPtyTransport&) = delete;

  // Creates the pseudo-terminal in raw mode and starts the thread. False with error on failure.
  bool Start(std::string& error);
  void Stop();
  const std::string& Path() const { return path_; }

  bool Hangup(std::string& detail) override;
  std::string Name() const override { return "pty " + path_; }

 private:
  void Run();
  void Send(const std::vector<uint8_t>& bytes);
  void CloseDevice();

  SimReader& reader_;
  SimFrameDecoder decoder_;
  std::string path_;
  int master_ = -1;
  int slave_ = -1;  // held open so the master side never reports a hang-up of its own
  int wake_[2] = {-1, -1};
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::mutex mu_;
  std::condition_variable cv_;
  bool hangupRequested_ = false;
  bool hungUp_ = false;
};

}  // namespace tw::sim
