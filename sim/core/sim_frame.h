// The simulated reader's own frame code: check codes, answer frames in both framings, and a stream
// decoder that finds command frames in the bytes a host sends. Kept apart from the SDK's frame code
// on purpose, so that one mistake cannot hide in both sides of a test.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace tw::sim {

enum class SimFraming { kStxBcc, kCrc16 };

struct SimCommandFrame {
  SimFraming framing = SimFraming::kStxBcc;
  uint8_t address = 0;
  uint8_t command = 0;
  std::vector<uint8_t> params;
  std::vector<uint8_t> raw;  // the frame as received
};

// CRC-16 with reflected polynomial A001h, start FFFFh, no final XOR.
uint16_t SimCrc16(const uint8_t* data, size_t len);
// XOR of every byte in [data, data+len).
uint8_t SimXor(const uint8_t* data, size_t len);

// Answer frame: STX/BCC: 02h, echo, status, N, data, BCC over echo..data.
//               CRC-16:  echo, status, N, data, CRC low, CRC high.
// Data longer than 255 bytes is cut to 255 (N is one byte).
std::vector<uint8_t> EncodeAnswer(SimFraming framing, uint8_t echo, uint8_t status,
                                  const std::vector<uint8_t>& data);
// Command frame in either framing (used by tests and the raw client side).
std::vector<uint8_t> EncodeCommand(SimFraming framing, uint8_t address, uint8_t command,
                                   const std::vector<uint8_t>& params);

// Result of looking at the start of a byte buffer.
enum class SimParse { kFrame, kNeedMore, kGarbage };
// Tries both framings at the start of buf. kFrame fills frame and consumed; kGarbage means the first
// byte cannot start any valid frame; kNeedMore means a frame may still complete.
SimParse ParseCommandFrame(const std::vector<uint8_t>& buf, SimCommandFrame& frame, size_t& consumed);

// Collects received bytes and yields whole command frames. Bytes that cannot start a frame are
// dropped one by one; a partial frame left alone longer than the gap limit is dropped as well, so a
// stray byte cannot swallow the next command.
class SimFrameDecoder {
 public:
  explicit SimFrameDecoder(uint32_t gapLimitMs = 200) : gapLimitMs_(gapLimitMs) {}
  // Feeds bytes received at time nowMs; returns the frames completed by them, in order.
  std::vector<SimCommandFrame> Feed(const uint8_t* data, size_t len, uint32_t nowMs);
  size_t Pending() const { return buf_.size(); }
  size_t DroppedBytes() const { return dropped_; }

 private:
  std::vector<uint8_t> buf_;
  uint32_t lastMs_ = 0;
  uint32_t gapLimitMs_;
  size_t dropped_ = 0;
};

}  // namespace tw::sim
