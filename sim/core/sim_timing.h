// Timing model of the simulated reader (option --timing): a real reader answers a command only
// after the command frame and its answer have crossed the serial line at the host's baud rate and
// after the reader has talked to the transponder over the air. With the model on, every answer is
// held back by that much, so that speed measurements against the simulator mean something.
//
// Air time per command and transponder family is a table in sim_timing.cpp (the README lists it).
// The figures are typical for a 125 kHz reader: Hitag 1/2/S, SIC7888 and Hitag µ at 4 kbit/s both
// ways, the ATA and EM families answering at RF/32-RF/64 after a slower pulse-interval downlink;
// writes include the chip's programming time. An empty field costs the reader the time it waits for
// an answer to the UID request; commands the reader answers itself (version, modulation, field)
// cost no air time. A read or write of n blocks costs n times the block figure.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tw::sim {

enum class RadioOp { kNone, kUid, kSelect, kRead, kWrite, kOther };

// Serial line as the host has set it up.
struct SimLine {
  uint32_t baud = 19200;
  int bitsPerChar = 10;  // start bit, data bits, parity bit, stop bits
};

// Time the bytes take on the line, in microseconds.
uint32_t WireMicros(size_t bytes, const SimLine& line);

// Air time of one command for a transponder family (host type code); blocks counts reads and
// writes. 0 for kNone and for codes the table does not have.
uint32_t RadioMicros(int family, RadioOp op, int blocks = 1);

}  // namespace tw::sim
