// Identity frame encoder and packed downlink decoders of the simulated reader.
#include "sim/transponders/tag_codec.h"

namespace tw::sim {

namespace {

class BitWriter {
 public:
  void Put(int bit) {
    if (count_ % 8 == 0) out_.push_back(0);
    if (bit) out_.back() |= static_cast<uint8_t>(0x80 >> (count_ % 8));
    ++count_;
  }
  void PutBits(uint64_t value, int n) {
    for (int i = n - 1; i >= 0; --i) Put(static_cast<int>((value >> i) & 1));
  }
  Bytes Take() { return out_; }

 private:
  Bytes out_;
  int count_ = 0;
};

class BitReader {
 public:
  explicit BitReader(const Bytes& in) : in_(in) {}
  int Get() {
    int bit = (in_[pos_ / 8] >> (7 - pos_ % 8)) & 1;
    ++pos_;
    return bit;
  }
  uint32_t GetBits(int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) v = (v << 1) | static_cast<uint32_t>(Get());
    return v;
  }

 private:
  const Bytes& in_;
  size_t pos_ = 0;
};

Bytes WordBytes(uint32_t v) {
  Bytes b(4);
  PutLittleEndian(v, b.data());
  return b;
}

}  // namespace

Bytes EncodeIdentityFrame(const Bytes& identity5) {
  uint64_t number = 0;
  for (size_t i = 0; i < 5 && i < identity5.size(); ++i)
    number |= static_cast<uint64_t>(identity5[i]) << (8 * i);
  BitWriter w;
  w.PutBits(0x1FF, 9);
  int columns = 0;
  for (int row = 9; row >= 0; --row) {
    int nibble = static_cast<int>((number >> (4 * row)) & 0xF);
    w.PutBits(static_cast<uint64_t>(nibble), 4);
    w.Put(__builtin_popcount(static_cast<unsigned>(nibble)) & 1);
    columns ^= nibble;
  }
  w.PutBits(static_cast<uint64_t>(columns), 4);
  w.Put(0);
  return w.Take();
}

std::optional<PackedCommand> DecodePackedRead(const Bytes& stream) {
  if (stream.size() != 1) return std::nullopt;
  BitReader r(stream);
  if (r.Get() != 1 || r.Get() != 0 || r.Get() != 0) return std::nullopt;
  PackedCommand c;
  c.block = static_cast<int>(r.GetBits(3));
  if (r.GetBits(2) != 0) return std::nullopt;
  return c;
}

std::optional<PackedCommand> DecodePackedWrite(const Bytes& stream) {
  if (stream.size() != 5) return std::nullopt;
  BitReader r(stream);
  if (r.Get() != 1 || r.Get() != 0) return std::nullopt;
  PackedCommand c;
  c.lock = r.Get() != 0;
  c.data = WordBytes(r.GetBits(32));
  c.block = static_cast<int>(r.GetBits(3));
  if (r.GetBits(2) != 0) return std::nullopt;
  return c;
}

std::optional<PackedCommand> DecodePackedPasswordRead(const Bytes& stream) {
  if (stream.size() != 5) return std::nullopt;
  BitReader r(stream);
  if (r.Get() != 1 || r.Get() != 0) return std::nullopt;
  PackedCommand c;
  c.password = WordBytes(r.GetBits(32));
  if (r.Get() != 0) return std::nullopt;
  c.block = static_cast<int>(r.GetBits(3));
  if (r.GetBits(2) != 0) return std::nullopt;
  return c;
}

std::optional<PackedCommand> DecodePackedPasswordWrite(const Bytes& stream) {
  if (stream.size() != 9) return std::nullopt;
  BitReader r(stream);
  if (r.Get() != 1 || r.Get() != 0) return std::nullopt;
  PackedCommand c;
  c.password = WordBytes(r.GetBits(32));
  c.lock = r.Get() != 0;
  c.data = WordBytes(r.GetBits(32));
  c.block = static_cast<int>(r.GetBits(3));
  if (r.GetBits(2) != 0) return std::nullopt;
  return c;
}

}  // namespace tw::sim
