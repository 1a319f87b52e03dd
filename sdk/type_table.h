// Transponder type codes as the reader commands see them: the highest valid block of each type and
// the base code from which the legacy (per-type) command codes are formed.
#pragma once
#include <cstdint>

namespace tw {

// Operation codes of the legacy command set; a legacy command is the type's base code OR one of them.
enum LegacyOperation : uint8_t {
  kLegacyWriteBlock = 0x01,
  kLegacyReadBlock = 0x02,
  kLegacyReadIdentityFrame = 0x04,
  kLegacyReadUid = 0x08,
  kLegacyAuthenticate = 0x09,
};

// Option bits carried above the low byte of a type word.
constexpr int kTypeOptionVerify = 0x100;          // LF_WriteBlocks: read back and compare
constexpr int kTypeOptionInvertedVerify = 0x200;  // LF_WriteBlocks, type 3: inverted read-back
constexpr int kTypeOptionInvert = 0x400;          // LF_ReadBlocks: invert every byte of the result

// The type without its option bits; only this selects commands.
inline int TypeOf(int typeWord) { return typeWord & 0xFF; }

// Highest valid block of the type, or -1 when the type has no block limit (codes 0, 1, 22 and above).
int HighestBlock(int type);

// True when block lies between 0 and the type's highest valid block.
bool BlockInRange(int type, int block);

// Base code of the legacy command set (00h for codes without an entry of their own).
uint8_t LegacyBaseCode(int type);

// Legacy command code for an operation on a type.
inline uint8_t LegacyCommand(int type, LegacyOperation op) {
  return static_cast<uint8_t>(LegacyBaseCode(type) | op);
}

// Types of the ATA5555 family that use the remembered password (3, 9, 13).
inline bool UsesRememberedPassword(int type) { return type == 3 || type == 9 || type == 13; }

// Types whose block byte carries the lock bit 80h (3, 9, 13, 17, 21).
inline bool HasLockBitInBlock(int type) {
  return type == 3 || type == 9 || type == 13 || type == 17 || type == 21;
}

}  // namespace tw
