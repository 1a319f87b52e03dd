// Hitag 2: UID in block 0, reader password in block 1, tag password and configuration byte in block 3
// (20h locks blocks 4-5, 10h locks 6-7, for good). Every block access needs authentication with the
// reader password in this field session; the authentication answers block 3.
#include "sim/transponders/tag_model.h"

namespace tw::sim {

namespace {

constexpr uint8_t kFactoryConfigByte = 0x06;
constexpr uint8_t kLock45 = 0x20;
constexpr uint8_t kLock67 = 0x10;

class Hitag2 : public TagModel {
 public:
  explicit Hitag2(const Bytes& uid) : TagModel(kHitag2, uid, 8) {
    SetPresent(0, 7);
    Factory();
  }
  const char* Name() const override { return "hitag2"; }
  bool ReversedOnOldReaders() const override { return true; }

  void Factory() override {
    ClearMemory();
    for (int i = 0; i < 4; ++i) mem_[0][i] = uid_[i];
    Bytes pw;
    HexToKeyBytes("5A3C9E17", 4, pw);  // the reader password the chips ship with
    for (int i = 0; i < 4; ++i) mem_[1][i] = pw[i];
    mem_[3] = {0x00, 0x00, 0x00, kFactoryConfigByte};
  }
  bool Protect(const std::string& pwHex, std::string& why) override {
    Bytes pw;
    if (!HexToKeyBytes(pwHex, 4, pw)) {
      why = "password is not hex";
      return false;
    }
    for (int i = 0; i < 4; ++i) mem_[1][i] = pw[i];
    return true;
  }

  TagReply ReadUid() override { return Done(BlockBytes(0)); }
  TagReply Select(const Bytes& password) override {
    if (password.size() != 4) return Fail(kStatusBadParameter);
    if (!SameBytes(1, password)) {
      loggedIn_ = false;
      return Fail(kStatusLoginFailed);
    }
    loggedIn_ = true;
    return Done(BlockBytes(3));
  }

 protected:
  uint8_t ReadRefusal(int) const override { return loggedIn_ ? 0 : kStatusAccessDenied; }
  uint8_t WriteRefusal(int block) const override {
    if (!loggedIn_) return kStatusAccessDenied;
    uint8_t config = mem_[3][3];
    if (block == 0) return kStatusWriteRefused;
    if ((block == 4 || block == 5) && (config & kLock45)) return kStatusWriteRefused;
    if ((block == 6 || block == 7) && (config & kLock67)) return kStatusWriteRefused;
    return TagModel::WriteRefusal(block);
  }
  void StoreBlock(int block, const uint8_t* data) override {
    uint8_t oldLocks = mem_[3][3] & (kLock45 | kLock67);
    TagModel::StoreBlock(block, data);
    if (block == 3) mem_[3][3] |= oldLocks;  // locks are one-way
  }
};

}  // namespace

std::unique_ptr<TagModel> MakeHitag2(const Bytes& uid) { return std::make_unique<Hitag2>(uid); }

}  // namespace tw::sim
