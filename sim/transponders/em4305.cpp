// EM4305: blocks 0-15, UID in block 1, password in block 2 (write only), configuration in block 4
// (modulation field, 100000h writes need login, 40000h reads need login), protection words in blocks
// 14 and 15 (bit n locks block n, bit 15 marks the active word; locks are permanent, set only with the
// protect command). Answers only in the configured modulation.
#include "sim/transponders/tag_model.h"

namespace tw::sim {

namespace {

constexpr uint32_t kFactoryConfig = 0x0000005F;  // Manchester, RF/64
constexpr uint32_t kWriteLogin = 0x100000;
constexpr uint32_t kReadLogin = 0x40000;
constexpr uint32_t kActiveWord = 0x8000;
constexpr int kUidBlock = 1;
constexpr int kPasswordBlock = 2;
constexpr int kConfigBlock = 4;

struct ModulationEntry {
  uint32_t field;
  int modulation;
};
// Encoder and data rate bits (word AND 3FFh).
constexpr ModulationEntry kModulations[] = {{0x5F, 0}, {0x4F, 5}, {0x9F, 6}, {0x8F, 1}};

class Em4305 : public TagModel {
 public:
  explicit Em4305(const Bytes& uid) : TagModel(kEm4305, uid, 16) {
    SetPresent(0, 15);
    Factory();
  }
  const char* Name() const override { return "em4305"; }

  void Factory() override {
    ClearMemory();
    for (int i = 0; i < 4; ++i) mem_[kUidBlock][i] = uid_[i];
    Bytes pw;
    HexToKeyBytes("7C1E5A93", 4, pw);
    for (int i = 0; i < 4; ++i) mem_[kPasswordBlock][i] = pw[i];
    SetWord(kConfigBlock, kFactoryConfig);
    SetWord(14, kActiveWord);
  }
  bool Protect(const std::string& pwHex, std::string& why) override {
    Bytes pw;
    if (!HexToKeyBytes(pwHex, 4, pw)) {
      why = "password is not hex";
      return false;
    }
    for (int i = 0; i < 4; ++i) mem_[kPasswordBlock][i] = pw[i];
    SetWord(kConfigBlock, Word(kConfigBlock) | kWriteLogin);
    return true;
  }

  int Modulation() const override {
    uint32_t field = Word(kConfigBlock) & 0x3FF;
    for (const auto& e : kModulations)
      if (e.field == field) return e.modulation;
    return kNoModulation;
  }

  TagReply ReadUid() override { return Done(BlockBytes(kUidBlock)); }
  TagReply PasswordLogin(int, const Bytes& pw) override {
    if (pw.size() != 4) return Fail(kStatusBadParameter);
    loggedIn_ = SameBytes(kPasswordBlock, pw);
    return loggedIn_ ? Done() : Fail(kStatusLoginFailed);
  }
  // New locks are added to the active ones; the result becomes the active word 14.
  TagReply ProtectWrite(const uint8_t* data) override {
    if (NeedsWriteLogin()) return Fail(kStatusAccessDenied);
    uint32_t locks = (ActiveLocks() | LittleEndian(data)) & ~kActiveWord;
    SetWord(14, locks | kActiveWord);
    SetWord(15, Word(15) & ~kActiveWord);
    return Done();
  }

 protected:
  uint32_t ActiveLocks() const { return (Word(14) & kActiveWord) ? Word(14) : Word(15); }
  bool NeedsWriteLogin() const { return !loggedIn_ && (Word(kConfigBlock) & kWriteLogin); }
  uint8_t ReadRefusal(int block) const override {
    if (block == kPasswordBlock) return kStatusAccessDenied;
    // The UID stays readable so that a reader can find the tag before it logs in.
    if (block != kUidBlock && !loggedIn_ && (Word(kConfigBlock) & kReadLogin))
      return kStatusAccessDenied;
    return 0;
  }
  uint8_t WriteRefusal(int block) const override {
    if (block == kUidBlock || block == 14 || block == 15) return kStatusWriteRefused;
    if (NeedsWriteLogin()) return kStatusAccessDenied;
    if (ActiveLocks() & (1u << block)) return kStatusWriteRefused;
    return TagModel::WriteRefusal(block);
  }
};

}  // namespace

std::unique_ptr<TagModel> MakeEm4305(const Bytes& uid) { return std::make_unique<Em4305>(uid); }

}  // namespace tw::sim
