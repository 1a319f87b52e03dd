// Timing model of the simulated reader (see sim_timing.h for the table and its reasons).
#include "sim/core/sim_timing.h"

namespace tw::sim {

namespace {

struct RadioTimes {
  int family;
  uint16_t uid, select, read, write, other;  // milliseconds
};

constexpr RadioTimes kRadio[] = {
    {5, 8, 6, 8, 14, 6},      // Hitag 1
    {2, 8, 10, 8, 14, 8},     // Hitag 2
    {4, 8, 6, 8, 14, 8},      // Hitag S
    {10, 10, 8, 8, 16, 8},    // Hitag µ (no selection of its own; login figure)
    {3, 14, 12, 12, 20, 12},  // ATA5555
    {9, 16, 12, 12, 20, 12},  // ATA5577
    {8, 12, 10, 12, 22, 10},  // EM4305
    {6, 12, 10, 12, 22, 10},  // EM4450
    {12, 8, 6, 8, 14, 8},     // SIC7888
};

}  // namespace

uint32_t WireMicros(size_t bytes, const SimLine& line) {
  if (line.baud == 0) return 0;
  const uint64_t bits = static_cast<uint64_t>(bytes) * static_cast<uint64_t>(line.bitsPerChar);
  return static_cast<uint32_t>(bits * 1000000u / line.baud);
}

uint32_t RadioMicros(int family, RadioOp op, int blocks) {
  if (blocks < 1) blocks = 1;
  for (const RadioTimes& t : kRadio) {
    if (t.family != family) continue;
    uint32_t ms = 0;
    switch (op) {
      case RadioOp::kNone: return 0;
      case RadioOp::kUid: ms = t.uid; break;
      case RadioOp::kSelect: ms = t.select; break;
      case RadioOp::kRead: ms = t.read * static_cast<uint32_t>(blocks); break;
      case RadioOp::kWrite: ms = t.write * static_cast<uint32_t>(blocks); break;
      case RadioOp::kOther: ms = t.other; break;
    }
    return ms * 1000u;
  }
  return 0;
}

}  // namespace tw::sim
