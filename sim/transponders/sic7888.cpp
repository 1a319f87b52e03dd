// SIC7888: UID in block 0, configuration c0-c3 in block 1 (c1 bit 7 password protection: writes need
// the write password login; c0 bit 4: reads need a login too; c2 lock bits per block group), write
// password in block 2, read password in block 3.
#include "sim/transponders/tag_model.h"

namespace tw::sim {

namespace {

constexpr uint8_t kProtection = 0x80;  // in c1
constexpr uint8_t kReadLogin = 0x10;   // in c0
constexpr int kWriteLoginSub = 1;      // login with the write password
constexpr int kReadLoginSub = 2;       // login with the read password

class Sic7888 : public TagModel {
 public:
  explicit Sic7888(const Bytes& uid) : TagModel(kSic7888, uid, 44) {
    SetPresent(0, 43);
    Factory();
  }
  const char* Name() const override { return "sic7888"; }

  void Factory() override {
    ClearMemory();
    readLogin_ = false;
    for (int i = 0; i < 4; ++i) mem_[0][i] = uid_[i];
    Bytes pw;
    HexToKeyBytes("58D2E14F", 4, pw);  // factory password, for writing and reading
    for (int i = 0; i < 4; ++i) mem_[2][i] = mem_[3][i] = pw[i];
  }
  bool Protect(const std::string& pwHex, std::string& why) override {
    Bytes pw;
    if (!HexToKeyBytes(pwHex, 4, pw)) {
      why = "password is not hex";
      return false;
    }
    for (int i = 0; i < 4; ++i) mem_[2][i] = mem_[3][i] = pw[i];
    mem_[1][1] |= kProtection;
    return true;
  }
  void ForgetLogin() override {
    loggedIn_ = false;
    readLogin_ = false;
  }

  TagReply ReadUid() override { return Done(BlockBytes(0)); }
  TagReply Select(const Bytes& params) override {
    if (params.size() != 4) return Fail(kStatusBadParameter);
    if (!SameBytes(0, params)) return Fail(kStatusNoTag);
    return Done(BlockBytes(1));
  }
  TagReply PasswordLogin(int sub, const Bytes& pw) override {
    if (pw.size() != 4 || (sub != kWriteLoginSub && sub != kReadLoginSub))
      return Fail(kStatusBadParameter);
    if (sub == kWriteLoginSub && SameBytes(2, pw)) {
      loggedIn_ = readLogin_ = true;  // the write password opens reading as well
      return Done();
    }
    if (sub == kReadLoginSub && SameBytes(3, pw)) {
      readLogin_ = true;
      return Done();
    }
    ForgetLogin();
    return Fail(kStatusLoginFailed);
  }

 protected:
  bool Protected() const { return (mem_[1][1] & kProtection) != 0; }
  uint8_t ReadRefusal(int block) const override {
    if (!Protected()) return 0;
    if (block == 2 || block == 3) return kStatusAccessDenied;  // passwords stay secret
    if ((mem_[1][0] & kReadLogin) && !readLogin_) return kStatusAccessDenied;
    return 0;
  }
  uint8_t WriteRefusal(int block) const override {
    if (block == 0) return kStatusWriteRefused;
    if (Protected() && !loggedIn_) return kStatusAccessDenied;
    if (mem_[1][2] & GroupLockBit(block, 40)) return kStatusWriteRefused;
    return TagModel::WriteRefusal(block);
  }
  void StoreBlock(int block, const uint8_t* data) override {
    uint8_t oldLocks = mem_[1][2];
    TagModel::StoreBlock(block, data);
    if (block == 1) mem_[1][2] |= oldLocks;  // lock bits are one-way
  }

 private:
  bool readLogin_ = false;
};

}  // namespace

std::unique_ptr<TagModel> MakeSic7888(const Bytes& uid) { return std::make_unique<Sic7888>(uid); }

}  // namespace tw::sim
