// Output reports written with a time limit. hidapi's write blocks until the device has taken the
// report, with no way to give up; a worker thread per open device does the write so that the
// caller can stop waiting after 50 ms and report failure, as a cancelled write would.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "transport/hid_api_types.h"

namespace tw {

class CHidTimedWriter {
 public:
  enum class Result { kWritten, kFailed, kTimedOut, kBusy };

  CHidTimedWriter(hidapi::hid_write_fn write, hidapi::hid_close_fn close, hidapi::hid_device* dev);
  // Closes the device (see CloseDevice).
  ~CHidTimedWriter();
  CHidTimedWriter(const CHidTimedWriter&) = delete;
  CHidTimedWriter& operator=(const CHidTimedWriter&) = delete;

  // Writes one report and waits for it at most timeoutMs. A write that timed out keeps the device
  // busy until it returns: later writes fail at once with kBusy.
  Result Write(const uint8_t* data, size_t len, uint32_t timeoutMs);
  // Ends the worker and closes the device: at once when no write is in progress, otherwise the
  // worker closes it when the stuck write returns.
  void CloseDevice();

  // Waits until every worker left behind with a stuck write has ended. false on timeout.
  static bool WaitForAbandonedWrites(uint32_t timeoutMs);

 private:
  struct State;
  static void Run(std::shared_ptr<State> s);
  std::shared_ptr<State> state_;
};

}  // namespace tw
