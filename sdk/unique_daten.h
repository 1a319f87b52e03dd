// Identity frame codec for the 64-bit EM4100 layout that an ATA5555 sends as its identity:
// 9 header ones, 10 rows of 4 data bits + even parity, 4 column parity bits, stop bit 0.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tw {

// Common base of the SDK's data format classes; it carries no behaviour of its own.
class CFormat {
 public:
  virtual ~CFormat() = default;
};

class CUniqueDaten : public CFormat {
 public:
  static constexpr size_t kFrameBytes = 8;
  static constexpr size_t kIdentityBytes = 5;

  // 8 bytes are taken as the frame, 5 bytes are an identity encoded into a frame; any other length
  // gives a frame of zeros, which never decodes.
  explicit CUniqueDaten(const std::vector<uint8_t>& bytes);

  // The frame, most significant byte first.
  std::vector<uint8_t> FrameBytes() const;
  uint64_t Frame() const { return frame_; }

  // Finds the header by rotating the frame and checks every parity and the stop bit. On success
  // identity holds the 5 identity bytes, least significant first.
  bool Decode(std::vector<uint8_t>& identity) const;

  // The frame for a 40-bit identity given least significant byte first.
  static uint64_t Encode(const uint8_t identity[kIdentityBytes]);

 private:
  uint64_t frame_ = 0;
};

}  // namespace tw
