// Common memory and default operations of the simulated transponders.
#include "sim/transponders/tag_model.h"

#include <algorithm>
#include <cstring>

namespace tw::sim {

TagModel::TagModel(TagFamily family, Bytes uid, int blockCount)
    : family_(family), uid_(std::move(uid)), mem_(blockCount), present_(blockCount, false),
      locked_(blockCount, false) {
  ClearMemory();
}

bool TagModel::Exists(int block) const {
  return block >= 0 && block < BlockCount() && present_[block];
}

uint32_t TagModel::Word(int block) const {
  return Exists(block) ? LittleEndian(mem_[block].data()) : 0;
}

void TagModel::SetWord(int block, uint32_t value) {
  if (block >= 0 && block < BlockCount()) PutLittleEndian(value, mem_[block].data());
}

Bytes TagModel::BlockBytes(int block) const {
  return Bytes(mem_[block].begin(), mem_[block].end());
}

bool TagModel::SameBytes(int block, const Bytes& value, size_t count) const {
  return value.size() == count && Exists(block) &&
         std::equal(value.begin(), value.end(), mem_[block].begin());
}

void TagModel::SetPresent(int first, int last) {
  for (int b = first; b <= last && b < BlockCount(); ++b) present_[b] = true;
}

void TagModel::ClearMemory() {
  for (auto& m : mem_) m.fill(0);
  std::fill(locked_.begin(), locked_.end(), false);
  loggedIn_ = false;
}

TagReply TagModel::ReadUid() { return Done(uid_); }

TagReply TagModel::ReadBlock(int block) {
  if (!Exists(block)) return Fail(kStatusBadParameter);
  if (uint8_t s = ReadRefusal(block)) return Fail(s);
  return Done(BlockBytes(block));
}

TagReply TagModel::WriteBlock(int block, const uint8_t* data, bool lock) {
  if (!Exists(block)) return Fail(kStatusBadParameter);
  if (uint8_t s = WriteRefusal(block)) return Fail(s);
  StoreBlock(block, data);
  if (lock && HonoursLockFlag()) locked_[block] = true;
  return Done();
}

uint8_t TagModel::ReadRefusal(int) const { return 0; }

uint8_t TagModel::WriteRefusal(int block) const {
  return locked_[block] ? kStatusWriteRefused : 0;
}

void TagModel::StoreBlock(int block, const uint8_t* data) {
  std::memcpy(mem_[block].data(), data, 4);
}

TagReply TagModel::Select(const Bytes&) { return Fail(kStatusBadParameter); }
TagReply TagModel::KeyLogin(const Bytes&) { return Fail(kStatusBadParameter); }
TagReply TagModel::PasswordLogin(int, const Bytes&) { return Fail(kStatusBadParameter); }
TagReply TagModel::ReadWithPassword(int, const Bytes&) { return Fail(kStatusBadParameter); }
TagReply TagModel::WriteWithPassword(int, const Bytes&, const uint8_t*, bool) {
  return Fail(kStatusBadParameter);
}
TagReply TagModel::ReadUidWithPassword(const Bytes&) { return Fail(kStatusBadParameter); }
TagReply TagModel::ChangePassword(const Bytes&, const Bytes&) { return Fail(kStatusBadParameter); }
TagReply TagModel::ProtectWrite(const uint8_t*) { return Fail(kStatusBadParameter); }
TagReply TagModel::LockBlock(int) { return Fail(kStatusBadParameter); }
TagReply TagModel::Reset() { return Fail(kStatusBadParameter); }
TagReply TagModel::IdentityFrame() { return Fail(kStatusBadParameter); }

static int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool HexToKeyBytes(const std::string& text, size_t k, Bytes& out) {
  std::string s = text.substr(0, 2 * k);
  s.append(2 * k - s.size(), '0');
  out.assign(k, 0);
  for (size_t i = 0; i < k; ++i) {
    int hi = HexDigit(s[2 * i]);
    int lo = HexDigit(s[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    out[k - 1 - i] = static_cast<uint8_t>(hi * 16 + lo);
  }
  return true;
}

uint32_t LittleEndian(const uint8_t* b) {
  return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
         static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
}

void PutLittleEndian(uint32_t v, uint8_t* b) {
  for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint8_t GroupLockBit(int block, int lastBlock) {
  if (block > lastBlock) return 0;
  if (block >= 4 && block <= 5) return 0x80;
  if (block >= 6 && block <= 7) return 0x40;
  if (block >= 8 && block <= 11) return 0x20;
  if (block >= 12 && block <= 15) return 0x10;
  if (block >= 16 && block <= 23) return 0x08;
  if (block >= 24 && block <= 31) return 0x04;
  if (block >= 32 && block <= 47) return 0x02;
  if (block >= 48 && block <= 63) return 0x01;
  return 0;
}

}  // namespace tw::sim
