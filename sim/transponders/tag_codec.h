// Bit-level encodings on the air side of the simulated reader: the 64-bit identity frame an ATA5555
// sends (the layout of read-only 125 kHz identity tags) and the packed downlink bit streams that old
// readers take for ATA5555 block commands.
#pragma once
#include <cstdint>
#include <optional>

#include "sim/transponders/tag_model.h"

namespace tw::sim {

// 9 header ones, 10 rows of 4 data bits + even parity, 4 column parity bits, stop bit 0; 8 bytes, most
// significant first. The 40 data bits are the 5 identity bytes read least significant byte first, sent
// from the most significant nibble.
Bytes EncodeIdentityFrame(const Bytes& identity5);

// Packed ATA5555 downlink streams, most significant bit first. Each decoder checks the fixed bits
// (leading 1, 0 and trailing 0, 0) and the stream length; nullopt when they do not fit.
struct PackedCommand {
  int block = 0;
  bool lock = false;
  Bytes password;  // 4 bytes, host byte order (empty when the stream has none)
  Bytes data;      // 4 bytes, host byte order (empty for reads)
};
std::optional<PackedCommand> DecodePackedRead(const Bytes& stream);               // 8 bits
std::optional<PackedCommand> DecodePackedWrite(const Bytes& stream);              // 40 bits
std::optional<PackedCommand> DecodePackedPasswordRead(const Bytes& stream);       // 40 bits
std::optional<PackedCommand> DecodePackedPasswordWrite(const Bytes& stream);      // 72 bits

}  // namespace tw::sim
