// Millisecond tick counter with the semantics of a 32-bit counter that wraps after ~49.7 days.
// Elapsed time is always the unsigned difference now - start, which stays right across the wrap.
#pragma once
#include <cstdint>

namespace tw {

// Milliseconds since an arbitrary start, modulo 2^32.
uint32_t TickCount();

// Unsigned, wrap-safe elapsed milliseconds since start.
inline uint32_t TicksSince(uint32_t start) { return TickCount() - start; }

void SleepMs(uint32_t ms);

// Test hook: when set, TickCount returns offset + real ticks (to exercise the wrap).
void SetTickOffsetForTest(uint32_t offset);

}  // namespace tw
