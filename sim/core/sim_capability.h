// What a simulated reader model can do, derived from the version answer it gives: the same rules
// the host applies, kept here in the simulator's own copy so the transponder side knows whether it
// plays a reader with the unified or the legacy command set.
#pragma once
#include <cstdint>
#include <vector>

namespace tw::sim {

// Revision character to number: 0-9, A-Z 10-35, a-z 36-61, anything else 255.
uint8_t SimRevisionValue(uint8_t c);
// Capability word of type code h with revision f.
uint16_t SimCapabilityWord(uint32_t typeCode, uint8_t revision);
// Capability word the host derives from a whole version answer (4 bytes, fewer, more).
uint16_t SimCapabilityFromVersion(const std::vector<uint8_t>& versionAnswer);

}  // namespace tw::sim
