#include "sdk/auto_read_thread.h"

#include "platform/tick.h"
#include "sdk/qz_rw_port.h"

namespace tw {

CAutoReadThread::~CAutoReadThread() { Stop(); }

bool CAutoReadThread::Start(CQZ_RW_Port* port, AutoReadLineFn callback, uint8_t terminator,
                            void* context) {
  if (!port || running_.load() || thread_.joinable()) return false;
  port_.store(port);
  callback_ = callback;
  context_ = context;
  terminator_ = terminator;
  stop_.store(false);
  running_.store(true);
  released_ = std::make_shared<std::atomic<bool>>(false);
  thread_ = std::thread(&CAutoReadThread::Run, this);
  return true;
}

void CAutoReadThread::Run() {
  // Copies: after a callback that stopped (and perhaps destroyed) this object, only locals remain.
  const std::shared_ptr<std::atomic<bool>> released = released_;
  const AutoReadLineFn callback = callback_;
  void* const context = context_;
  const uint8_t terminator = terminator_;
  CMyByteArray line, scratch;
  while (!stop_.load()) {
    CQZ_RW_Port* port = port_.load();
    if (port && port->LinkGone()) {
      // The link is gone: tell the callback with an empty line and end.
      if (callback) callback(reinterpret_cast<const uint8_t*>(""), 0, context);
      if (released->load()) return;
      break;
    }
    if (port) {
      port->TakeReceived(scratch, 50, /*pumpUi=*/false);
      for (uint8_t b : scratch) {
        if (b != terminator) {
          line.push_back(b);
        } else if (callback) {
          line.push_back(0);
          callback(line.data(), static_cast<int>(line.size()), context);
          if (released->load()) return;
          line.clear();
        }
      }
      scratch.clear();
    }
    SleepMs(1);
  }
  running_.store(false);
}

void CAutoReadThread::Stop() {
  stop_.store(true);
  if (thread_.joinable()) {
    if (thread_.get_id() == std::this_thread::get_id()) {
      // Inside the callback: a thread cannot wait for itself. Let it go; it ends on return.
      released_->store(true);
      thread_.detach();
    } else {
      thread_.join();
    }
  }
  running_.store(false);
  port_.store(nullptr);
  stop_.store(false);
}

}  // namespace tw
