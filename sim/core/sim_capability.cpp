// Capability word of the simulated reader's model.
#include "sim/core/sim_capability.h"

#include <cstddef>

namespace tw::sim {

uint8_t SimRevisionValue(uint8_t c) {
  if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
  if (c >= 'A' && c <= 'Z') return static_cast<uint8_t>(c - 'A' + 10);
  if (c >= 'a' && c <= 'z') return static_cast<uint8_t>(c - 'a' + 36);
  return 255;
}

// Families 020h and 060h share one rule with their "9" variant.
static uint16_t OldFamily(uint32_t h, uint32_t nine, uint8_t f) {
  if (f < 7) return 0x0001;
  if (h != nine) return 0x0003;
  if (f <= 12) return 0x0013;
  if (f == 13) return 0x0033;
  return 0x0073;
}

// Families whose variants 3, 4 (and sometimes 5) are the enhanced units.
static uint16_t Enhanced(uint32_t h, uint32_t family, bool withFive) {
  const uint32_t v = h - family;
  return (v == 3 || v == 4 || (withFive && v == 5)) ? 0x07F3 : 0x0303;
}

uint16_t SimCapabilityWord(uint32_t h, uint8_t f) {
  const uint32_t family = h & 0xFF0;
  if (h == 0x001) return 0x0010;
  if (h <= 0x010) return 0x0000;
  if (family == 0x020) return OldFamily(h, 0x029, f);
  if (h == 0x039) return 0x0073;
  if (family == 0x040) return 0x0073;
  if (family == 0x050) return Enhanced(h, 0x050, false);
  if (family == 0x540) return Enhanced(h, 0x540, false);
  if (family == 0x060) return OldFamily(h, 0x069, f);
  if (h == 0x081) return 0x0003;
  if (family == 0x100) return h == 0x109 ? 0x0073 : 0x0003;
  if (family == 0x210) {
    if (h != 0x219) return 0x0003;
    return f < 14 ? 0x0033 : 0x0073;
  }
  if (family == 0x240) {
    const bool rich = h == 0x243 || h == 0x244 || h == 0x245;
    uint16_t w = rich ? 0x01F3 : 0x0103;
    if (f >= 3) w |= 0x0200;
    if (rich && f >= 38) w |= 0x0400;
    return w;
  }
  if (family == 0x250) {
    uint16_t w = (h == 0x253 || h == 0x254) ? 0x01F3 : 0x0103;
    if (f >= 3) w |= 0x0200;
    return w;
  }
  if (family == 0x520 || family == 0x530) return 0x0103;
  if (h == 0x271) return 0x0003;
  if (h == 0x273) return 0x0103;
  if (h == 0x231) return 0x03F3;
  if (family == 0x280) return (h == 0x283 || h == 0x284) ? 0x03F3 : 0x0303;
  if (family == 0x290) return Enhanced(h, 0x290, false);
  if (family == 0x550) return Enhanced(h, 0x550, true);
  if (family == 0x560) return Enhanced(h, 0x560, true);
  if (family == 0x570) return Enhanced(h, 0x570, true);
  return 0x0000;
}

static int HexDigit(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

uint16_t SimCapabilityFromVersion(const std::vector<uint8_t>& v) {
  if (v.size() < 4) return 0;
  if (v.size() > 4) return 0x0103;  // text answer: taken as type 242h, revision 3
  uint32_t h = 0;
  for (size_t i = 0; i < 3; ++i) {
    const int d = HexDigit(v[i]);
    if (d < 0) break;
    h = h * 16 + static_cast<uint32_t>(d);
  }
  return SimCapabilityWord(h, SimRevisionValue(v[3]));
}

}  // namespace tw::sim
