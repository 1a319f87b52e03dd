// Modulation tables of the transponder layer: the normalised start value and the next candidate of
// a modulation search, and the block-0 configuration check that tells whether a tag's configuration
// matches a modulation. Pure functions of the reader's capability word and firmware byte.
#pragma once
#include <cstdint>
#include <vector>

namespace tw {

// Capability bits that act on modulation.
constexpr uint16_t kCapModulationLow = 0x0040;   // FCh accepts 0 and 1
constexpr uint16_t kCapModulationAll = 0x0080;   // FCh accepts every value
constexpr uint16_t kCapUnified = 0x0100;         // unified command set C0h-C5h
constexpr uint16_t kCapExtendedModulation = 0x0200;
constexpr uint16_t kCapIdentityFrame10 = 0x0002;  // ATA5555 identity frame through command 10h
constexpr uint16_t kCapNotPacked = 0x000F;        // all clear: packed ATA5555 downlink streams

struct ReaderFeatures {
  uint16_t capability = 0;
  uint8_t firmware = 0;

  bool Has(uint16_t bits) const { return (capability & bits) != 0; }
  // Bit 200h together with a firmware byte above 4 also offers 6 and 128-134.
  bool ExtendedModulation() const { return Has(kCapExtendedModulation) && firmware > 4; }
};

// The value a modulation detection for this type starts from.
int NormalisedStart(int type, int m, const ReaderFeatures& reader);

// The modulation tried after m, or -1 when the sequence has no successor for m.
int NextCandidate(int type, int m, const ReaderFeatures& reader);

// Types whose block 0 is checked against the modulation during detection.
bool HasConfigurationCheck(int type);

// True when block 0 (exactly 4 bytes) of the type is configured for modulation m. Types without a
// configuration check pass any answer.
bool ConfigurationMatches(int type, int m, const std::vector<uint8_t>& block0);

}  // namespace tw
