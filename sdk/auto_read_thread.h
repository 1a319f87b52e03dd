// Worker that reads a port's receive buffer in the background and hands complete lines (ended by a
// terminator byte) to a callback. The application never starts it; integrators may.
#pragma once
#include <atomic>
#include <memory>
#include <cstdint>
#include <thread>

namespace tw {

class CQZ_RW_Port;

// Receives one line including its terminating NUL; an empty string with length 0 means the port
// lost its link and the worker ended.
using AutoReadLineFn = void (*)(const uint8_t* line, int length, void* context);

class CAutoReadThread {
 public:
  CAutoReadThread() = default;
  ~CAutoReadThread();  // stops itself first
  CAutoReadThread(const CAutoReadThread&) = delete;
  CAutoReadThread& operator=(const CAutoReadThread&) = delete;

  // Starts the worker on the port; false when it already runs or the port is null.
  bool Start(CQZ_RW_Port* port, AutoReadLineFn callback, uint8_t terminator, void* context = nullptr);
  // Sets the stop flag and waits for the worker to end; returns at once when idle. Called from
  // the worker's own callback (which may even close the port), it lets the worker go: the worker
  // ends as soon as the callback returns and touches nothing of this object any more.
  void Stop();
  bool IsRunning() const { return running_.load(); }

 private:
  void Run();

  std::atomic<CQZ_RW_Port*> port_{nullptr};
  AutoReadLineFn callback_ = nullptr;
  void* context_ = nullptr;
  uint8_t terminator_ = 0;
  std::atomic<bool> running_{false};
  std::atomic<bool> stop_{false};
  std::thread thread_;
  // Shared with the running worker: set when the worker was let go from inside its callback.
  std::shared_ptr<std::atomic<bool>> released_;
};

}  // namespace tw
