// EM4450: blocks 0-33, password in block 0 (never read, changed only with the old password),
// protection word in block 1 (bytes 0-1 read-protected first-last, bytes 2-3 write-inhibited
// first-last), control word in block 2 (bit 16: writes need login), UID in block 32, device id in 33.
#include "sim/transponders/tag_model.h"

namespace tw::sim {

namespace {

constexpr int kPasswordBlock = 0;
constexpr int kProtectionBlock = 1;
constexpr int kControlBlock = 2;
constexpr int kUidBlock = 32;
constexpr int kDeviceIdBlock = 33;
constexpr uint32_t kPasswordCheck = 0x10000;
constexpr uint32_t kFactoryControl = 0x00001F03;  // autoread 3-31
constexpr uint32_t kDeviceId = 0x00450044;

class Em4450 : public TagModel {
 public:
  explicit Em4450(const Bytes& uid) : TagModel(kEm4450, uid, 34) {
    SetPresent(0, 33);
    Factory();
  }
  const char* Name() const override { return "em4450"; }
  bool ReversedOnOldReaders() const override { return true; }

  void Factory() override {
    ClearMemory();
    Bytes pw;
    HexToKeyBytes("7C1E5A93", 4, pw);
    for (int i = 0; i < 4; ++i) mem_[kPasswordBlock][i] = pw[i];
    SetWord(kControlBlock, kFactoryControl);
    for (int i = 0; i < 4; ++i) mem_[kUidBlock][i] = uid_[i];
    SetWord(kDeviceIdBlock, kDeviceId);
  }
  bool Protect(const std::string& pwHex, std::string& why) override {
    Bytes pw;
    if (!HexToKeyBytes(pwHex, 4, pw)) {
      why = "password is not hex";
      return false;
    }
    for (int i = 0; i < 4; ++i) mem_[kPasswordBlock][i] = pw[i];
    SetWord(kControlBlock, Word(kControlBlock) | kPasswordCheck);
    return true;
  }

  TagReply ReadUid() override { return Done(BlockBytes(kUidBlock)); }
  TagReply PasswordLogin(int, const Bytes& pw) override {
    if (pw.size() != 4) return Fail(kStatusBadParameter);
    loggedIn_ = SameBytes(kPasswordBlock, pw);
    return loggedIn_ ? Done() : Fail(kStatusLoginFailed);
  }
  TagReply ChangePassword(const Bytes& oldPw, const Bytes& newPw) override {
    if (oldPw.size() != 4 || newPw.size() != 4) return Fail(kStatusBadParameter);
    if (!SameBytes(kPasswordBlock, oldPw)) return Fail(kStatusLoginFailed);
    StoreBlock(kPasswordBlock, newPw.data());
    return Done();
  }
  TagReply Reset() override {
    loggedIn_ = false;
    return Done();
  }

 protected:
  static bool InRange(int block, uint8_t first, uint8_t last) {
    return block >= first && block <= last;
  }
  uint8_t ReadRefusal(int block) const override {
    if (block == kPasswordBlock) return kStatusAccessDenied;
    const auto& p = mem_[kProtectionBlock];
    if (block < kUidBlock && !loggedIn_ && InRange(block, p[0], p[1])) return kStatusAccessDenied;
    return 0;
  }
  uint8_t WriteRefusal(int block) const override {
    if (block == kPasswordBlock || block >= kUidBlock) return kStatusWriteRefused;
    if (!loggedIn_ && (Word(kControlBlock) & kPasswordCheck)) return kStatusAccessDenied;
    const auto& p = mem_[kProtectionBlock];
    if (InRange(block, p[2], p[3])) return kStatusWriteRefused;
    return TagModel::WriteRefusal(block);
  }
};

}  // namespace

std::unique_ptr<TagModel> MakeEm4450(const Bytes& uid) { return std::make_unique<Em4450>(uid); }

}  // namespace tw::sim
