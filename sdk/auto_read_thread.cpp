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
  thread_ = std::thread(&CAutoReadThread::Run, this);
  return true;
}

void CAutoReadThread::Run() {
  CMyByteArray line, scratch;
  while (!stop_.load()) {
    CQZ_RW_Port* port = port_.load();
    if (port && port->GetHandle() == 0) {
      // The link is gone: tell the callback with an empty line and end.
      if (callback_) callback_(reinterpret_cast<const uint8_t*>(""), 0, context_);
      break;
    }
    if (port) {
      port->TakeReceived(scratch, 50, /*pumpUi=*/false);
      for (uint8_t b : scratch) {
        if (b != terminator_) {
          line.push_back(b);
        } else if (callback_) {
          line.push_back(0);
          callback_(line.data(), static_cast<int>(line.size()), context_);
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
  if (thread_.joinable()) thread_.join();
  running_.store(false);
  port_.store(nullptr);
  stop_.store(false);
}

}  // namespace tw
