// Hitag S: UID in block 0, configuration c0-c3 in block 1 (c1 bit 7 authentication mode, c2 lock bits
// per block group, c3 tag password byte 2), tag password bytes 0-1 and key bytes 4-5 in block 2, key
// bytes 0-3 in block 3. In authentication mode every block access needs the 6-byte key login.
#include <algorithm>

#include "sim/transponders/tag_model.h"

namespace tw::sim {

namespace {

constexpr uint8_t kAuthMode = 0x80;

class HitagS : public TagModel {
 public:
  explicit HitagS(const Bytes& uid) : TagModel(kHitagS, uid, 64) {
    SetPresent(0, 63);
    Factory();
  }
  const char* Name() const override { return "hitags"; }

  void Factory() override {
    ClearMemory();
    for (int i = 0; i < 4; ++i) mem_[0][i] = uid_[i];
  }
  // Authentication mode with the given 6-byte key.
  bool Protect(const std::string& keyHex, std::string& why) override {
    Bytes k;
    if (!HexToKeyBytes(keyHex, 6, k)) {
      why = "key is not hex";
      return false;
    }
    mem_[3] = {k[0], k[1], k[2], k[3]};
    mem_[2][2] = k[4];
    mem_[2][3] = k[5];
    mem_[1][1] |= kAuthMode;
    return true;
  }

  TagReply ReadUid() override { return Done(BlockBytes(0)); }
  TagReply Select(const Bytes& params) override {
    if (params.size() != 4) return Fail(kStatusBadParameter);
    if (!SameBytes(0, params)) return Fail(kStatusNoTag);
    return Done(BlockBytes(1));
  }
  TagReply KeyLogin(const Bytes& key) override {
    if (key.size() != 6) return Fail(kStatusBadParameter);
    bool match = std::equal(key.begin(), key.begin() + 4, mem_[3].begin()) &&
                 key[4] == mem_[2][2] && key[5] == mem_[2][3];
    loggedIn_ = match;
    if (!match) return Fail(kStatusLoginFailed);
    return Done(BlockBytes(1));
  }

 protected:
  bool AuthMode() const { return (mem_[1][1] & kAuthMode) != 0; }
  uint8_t ReadRefusal(int block) const override {
    if (!AuthMode()) return 0;
    if (!loggedIn_ || block == 2 || block == 3) return kStatusAccessDenied;  // the key stays secret
    return 0;
  }
  uint8_t WriteRefusal(int block) const override {
    if (block == 0) return kStatusWriteRefused;
    if (AuthMode() && !loggedIn_) return kStatusAccessDenied;
    if (mem_[1][2] & GroupLockBit(block, 63)) return kStatusWriteRefused;
    return TagModel::WriteRefusal(block);
  }
  void StoreBlock(int block, const uint8_t* data) override {
    uint8_t oldLocks = mem_[1][2];
    TagModel::StoreBlock(block, data);
    if (block == 1) mem_[1][2] |= oldLocks;  // lock bits are one-way
  }
};

}  // namespace

std::unique_ptr<TagModel> MakeHitagS(const Bytes& uid) { return std::make_unique<HitagS>(uid); }

}  // namespace tw::sim
