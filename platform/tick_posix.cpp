#include "platform/tick.h"

#include <atomic>
#include <ctime>
#include <thread>

namespace tw {
namespace {
std::atomic<uint32_t> gOffset{0};
}

uint32_t TickCount() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms) + gOffset.load(std::memory_order_relaxed);
}

void SleepMs(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void SetTickOffsetForTest(uint32_t offset) { gOffset.store(offset, std::memory_order_relaxed); }

}  // namespace tw
