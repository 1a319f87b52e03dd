#include "cli/stop_signals.h"

#include <signal.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <ctime>

#include "platform/tick.h"

namespace tw::cli {
namespace {

sigset_t StopSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  return set;
}

// The signal taken; sigtimedwait consumes it, and the caller that took it may not be the one that
// ends the operation.
std::atomic<int> taken{0};

}  // namespace

void BlockStopSignals() {
  const sigset_t set = StopSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int WaitForSignal(int ms) {
  if (const int sig = taken.load()) return sig;
  const sigset_t set = StopSet();
  const uint32_t start = TickCount();
  for (;;) {
    const long left = ms - static_cast<long>(TicksSince(start));
    timespec ts{left > 0 ? left / 1000 : 0, left > 0 ? (left % 1000) * 1000000L : 0};
    const int sig = sigtimedwait(&set, nullptr, &ts);
    if (sig > 0) {
      taken.store(sig);
      return sig;
    }
    if (errno == EAGAIN || left <= 0) return 0;
    // EINTR from another signal: wait for the rest.
  }
}

}  // namespace tw::cli
