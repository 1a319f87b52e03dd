// Hitag µ: 6-byte UID, data blocks 0-53, password at block FEh (write only), configuration at block
// FFh whose bits 3, 4 and 5 make writes to blocks 0-3, 4-15 and 16-255 need the password login.
// Single blocks can be locked for ever.
#include "sim/transponders/tag_model.h"

namespace tw::sim {

namespace {

constexpr int kPasswordBlock = 0xFE;
constexpr int kConfigBlock = 0xFF;
constexpr uint32_t kProtectLow = 0x08;   // blocks 0-3
constexpr uint32_t kProtectMid = 0x10;   // blocks 4-15
constexpr uint32_t kProtectHigh = 0x20;  // blocks 16-255

class HitagMu : public TagModel {
 public:
  explicit HitagMu(const Bytes& uid) : TagModel(kHitagMu, uid, 256) {
    SetPresent(0, 53);
    SetPresent(kPasswordBlock, kConfigBlock);
    Factory();
  }
  const char* Name() const override { return "hitagmu"; }

  void Factory() override {
    ClearMemory();
    Bytes pw;
    HexToKeyBytes("B4F0263D", 4, pw);  // the password the chips ship with
    for (int i = 0; i < 4; ++i) mem_[kPasswordBlock][i] = pw[i];
  }
  bool Protect(const std::string& pwHex, std::string& why) override {
    Bytes pw;
    if (!HexToKeyBytes(pwHex, 4, pw)) {
      why = "password is not hex";
      return false;
    }
    for (int i = 0; i < 4; ++i) mem_[kPasswordBlock][i] = pw[i];
    SetWord(kConfigBlock, Word(kConfigBlock) | kProtectLow | kProtectMid | kProtectHigh);
    return true;
  }

  TagReply PasswordLogin(int, const Bytes& pw) override {
    if (pw.size() != 4) return Fail(kStatusBadParameter);
    loggedIn_ = SameBytes(kPasswordBlock, pw);
    return loggedIn_ ? Done() : Fail(kStatusLoginFailed);
  }
  TagReply LockBlock(int block) override {
    if (!Exists(block)) return Fail(kStatusBadParameter);
    if (NeedsLogin(block)) return Fail(kStatusAccessDenied);
    locked_[block] = true;
    return Done();
  }

 protected:
  bool NeedsLogin(int block) const {
    if (loggedIn_) return false;
    uint32_t config = Word(kConfigBlock);
    if (block >= kPasswordBlock) return (config & (kProtectLow | kProtectMid | kProtectHigh)) != 0;
    if (block <= 3) return (config & kProtectLow) != 0;
    if (block <= 15) return (config & kProtectMid) != 0;
    return (config & kProtectHigh) != 0;
  }
  uint8_t ReadRefusal(int block) const override {
    return block == kPasswordBlock ? kStatusAccessDenied : 0;
  }
  uint8_t WriteRefusal(int block) const override {
    if (NeedsLogin(block)) return kStatusAccessDenied;
    return TagModel::WriteRefusal(block);
  }
};

}  // namespace

std::unique_ptr<TagModel> MakeHitagMu(const Bytes& uid) { return std::make_unique<HitagMu>(uid); }

}  // namespace tw::sim
