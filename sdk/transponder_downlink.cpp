#include "sdk/transponder_downlink.h"

namespace tw {

namespace {

// Appends bits most significant first; the last byte is padded with zeros.
class BitWriter {
 public:
  void Put(uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) PutBit(((value >> i) & 1u) != 0);
  }
  void PutBit(bool bit) {
    if (used_ % 8 == 0) bytes_.push_back(0);
    if (bit) bytes_.back() |= static_cast<uint8_t>(0x80u >> (used_ % 8));
    ++used_;
  }
  std::vector<uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
  int used_ = 0;
};

// A 4-byte word goes on the air as a little-endian number, so byte 3 is sent first.
uint32_t LittleEndian(const uint8_t b[4]) {
  return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
         static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
}

uint32_t BlockBits(int block) { return static_cast<uint32_t>(block) & 7u; }

}  // namespace

uint8_t PackedReadBlock(int block) {
  return static_cast<uint8_t>(0x80u | (BlockBits(block) << 2));
}

std::vector<uint8_t> PackedWriteBlock(const uint8_t data[4], bool lock, int block) {
  BitWriter w;
  w.Put(0b10, 2);
  w.PutBit(lock);
  w.Put(LittleEndian(data), 32);
  w.Put(BlockBits(block), 3);
  w.Put(0, 2);
  return w.Take();
}

std::vector<uint8_t> PackedReadWithPassword(const uint8_t password[4], int block) {
  BitWriter w;
  w.Put(0b10, 2);
  w.Put(LittleEndian(password), 32);
  w.PutBit(false);
  w.Put(BlockBits(block), 3);
  w.Put(0, 2);
  return w.Take();
}

std::vector<uint8_t> PackedWriteWithPassword(const uint8_t password[4], bool lock,
                                             const uint8_t data[4], int block) {
  BitWriter w;
  w.Put(0b10, 2);
  w.Put(LittleEndian(password), 32);
  w.PutBit(lock);
  w.Put(LittleEndian(data), 32);
  w.Put(BlockBits(block), 3);
  w.Put(0, 2);
  return w.Take();
}

}  // namespace tw
