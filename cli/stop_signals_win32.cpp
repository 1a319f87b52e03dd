// The console's control events as stop signals: Ctrl+C (SIGINT), Ctrl+Break (SIGBREAK), the
// console closing, logoff and shutdown (SIGTERM). The system calls the handler on a thread of its
// own; the handler only marks the stop and wakes the waiting run.
#include <signal.h>

#include <atomic>

#include "cli/stop_signals.h"
#include "platform/windows_api.h"

namespace tw::cli {
namespace {

std::atomic<int> taken{0};
// Manual reset: once set, every later wait returns at once, as the stop stays taken.
const HANDLE stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);

BOOL WINAPI OnConsoleControl(DWORD type) {
  const int sig = type == CTRL_C_EVENT ? SIGINT : type == CTRL_BREAK_EVENT ? SIGBREAK : SIGTERM;
  int none = 0;
  taken.compare_exchange_strong(none, sig);
  SetEvent(stopEvent);
  if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT) return TRUE;
  // The console closes or the session ends: the system ends the process as soon as this handler
  // returns. Holding it here gives the step in hand the system's grace time to finish; main's
  // return ends the process, this thread with it.
  Sleep(INFINITE);
  return TRUE;
}

}  // namespace

void BlockStopSignals() { SetConsoleCtrlHandler(OnConsoleControl, TRUE); }

int WaitForSignal(int ms) {
  if (const int sig = taken.load()) return sig;
  if (ms > 0) WaitForSingleObject(stopEvent, static_cast<DWORD>(ms));
  return taken.load();
}

}  // namespace tw::cli
