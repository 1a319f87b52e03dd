#include "sdk/unique_daten.h"

namespace tw {

namespace {

constexpr uint64_t kHeaderMask = 0x1FFull << 55;  // top 9 bits
// A frame with its header anywhere can be turned to the front within this many left rotations.
constexpr int kMaxRotations = 57;

uint64_t RotateLeft(uint64_t v) { return (v << 1) | (v >> 63); }

uint8_t Parity4(uint8_t nibble) {
  return static_cast<uint8_t>((nibble ^ (nibble >> 1) ^ (nibble >> 2) ^ (nibble >> 3)) & 1);
}

}  // namespace

CUniqueDaten::CUniqueDaten(const std::vector<uint8_t>& bytes) {
  if (bytes.size() == kFrameBytes) {
    for (uint8_t b : bytes) frame_ = (frame_ << 8) | b;
  } else if (bytes.size() == kIdentityBytes) {
    frame_ = Encode(bytes.data());
  }
}

std::vector<uint8_t> CUniqueDaten::FrameBytes() const {
  std::vector<uint8_t> out(kFrameBytes);
  for (size_t i = 0; i < kFrameBytes; ++i) {
    out[i] = static_cast<uint8_t>(frame_ >> (8 * (kFrameBytes - 1 - i)));
  }
  return out;
}

uint64_t CUniqueDaten::Encode(const uint8_t identity[kIdentityBytes]) {
  uint64_t id = 0;
  for (size_t i = 0; i < kIdentityBytes; ++i) id |= static_cast<uint64_t>(identity[i]) << (8 * i);

  uint64_t frame = 0x1FF;  // header
  uint8_t columns = 0;
  for (int row = 0; row < 10; ++row) {
    const uint8_t nibble = static_cast<uint8_t>((id >> (36 - 4 * row)) & 0xF);
    columns ^= nibble;
    frame = (frame << 5) | (static_cast<uint64_t>(nibble) << 1) | Parity4(nibble);
  }
  frame = (frame << 5) | (static_cast<uint64_t>(columns) << 1);  // column parity, stop bit 0
  return frame;
}

bool CUniqueDaten::Decode(std::vector<uint8_t>& identity) const {
  uint64_t v = frame_;
  int rotations = 0;
  while ((v & kHeaderMask) != kHeaderMask) {
    if (rotations == kMaxRotations) return false;
    v = RotateLeft(v);
    ++rotations;
  }

  uint64_t id = 0;
  uint8_t columns = 0;
  int bit = 55;  // next unread bit below the header
  for (int row = 0; row < 10; ++row) {
    bit -= 5;
    const uint8_t group = static_cast<uint8_t>((v >> bit) & 0x1F);
    const uint8_t nibble = static_cast<uint8_t>(group >> 1);
    if ((group & 1) != Parity4(nibble)) return false;
    columns ^= nibble;
    id |= static_cast<uint64_t>(nibble) << (36 - 4 * row);
  }
  // Remaining 5 bits: column parity nibble and a stop bit of 0.
  if ((v & 0x1F) != static_cast<uint64_t>(columns) << 1) return false;

  identity.resize(kIdentityBytes);
  for (size_t i = 0; i < kIdentityBytes; ++i) identity[i] = static_cast<uint8_t>(id >> (8 * i));
  return true;
}

}  // namespace tw
