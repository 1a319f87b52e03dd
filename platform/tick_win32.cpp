#include <windows.h>
#include <timeapi.h>

#include <atomic>

#include "platform/tick.h"

namespace tw {
namespace {
std::atomic<uint32_t> gOffset{0};

// GetTickCount moves in steps of the scheduler tick (about 16 ms); the performance counter gives
// whole milliseconds, as the POSIX monotonic clock does.
uint64_t CounterFrequency() {
  static const uint64_t f = [] {
    LARGE_INTEGER li;
    QueryPerformanceFrequency(&li);
    return static_cast<uint64_t>(li.QuadPart > 0 ? li.QuadPart : 1000);
  }();
  return f;
}
}  // namespace

uint32_t TickCount() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  const uint64_t f = CounterFrequency(), c = static_cast<uint64_t>(now.QuadPart);
  const uint64_t ms = (c / f) * 1000u + (c % f) * 1000u / f;
  return static_cast<uint32_t>(ms) + gOffset.load(std::memory_order_relaxed);
}

void SleepMs(uint32_t ms) {
  // The default timer resolution would turn every short sleep into a 16 ms one.
  static const bool fine = timeBeginPeriod(1) == TIMERR_NOERROR;
  (void)fine;
  Sleep(ms);
}

void SetTickOffsetForTest(uint32_t offset) { gOffset.store(offset, std::memory_order_relaxed); }

}  // namespace tw
