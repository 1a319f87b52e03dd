// Packed ATA5555 downlink bit streams, for readers (capability bits 0Fh clear) that pass the bits
// to the tag as given instead of forming them themselves. Bits are packed most significant first.
#pragma once
#include <cstdint>
#include <vector>

namespace tw {

// Read block (command 32h): 1, 0, 0, 3 block bits, 0, 0 in one byte.
uint8_t PackedReadBlock(int block);

// Write block (command 31h), 40 bits: 1, 0, lock, 32 data bits, 3 block bits, 0, 0.
std::vector<uint8_t> PackedWriteBlock(const uint8_t data[4], bool lock, int block);

// Read block with password (command 33h), 40 bits: 1, 0, 32 password bits, 0, 3 block bits, 0, 0.
std::vector<uint8_t> PackedReadWithPassword(const uint8_t password[4], int block);

// Write block with password (command 30h), 72 bits:
// 1, 0, 32 password bits, lock, 32 data bits, 3 block bits, 0, 0.
std::vector<uint8_t> PackedWriteWithPassword(const uint8_t password[4], bool lock,
                                             const uint8_t data[4], int block);

}  // namespace tw
