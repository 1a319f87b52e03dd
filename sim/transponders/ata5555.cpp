// ATA5555 (Q5): blocks 0-7, configuration in block 0 (modulation field, 400h password mode, 800h
// answer-on-request), password in block 7; its identity is 5 bytes sent as a 64-bit identity frame.
#include "sim/transponders/ata_tag.h"
#include "sim/transponders/tag_codec.h"

namespace tw::sim {

namespace {

constexpr uint32_t kFactoryConfig = 0x6001F004;
constexpr uint32_t kPasswordMode = 0x400;
constexpr uint32_t kAnswerOnRequest = 0x800;
constexpr uint32_t kModulationBits = 0x0003F0F0;

// Reader modulation value for each setting of the modulation field.
struct ModulationEntry {
  uint32_t field;
  int modulation;
};
constexpr ModulationEntry kModulations[] = {
    {0x1F000, 0},   {0x0F0E0, 1},   {0x18050, 2},   {0x0F000, 5},   {0x1F0E0, 6},   {0x1F050, 7},
    {0x1F080, 128}, {0x0F060, 129}, {0x180D0, 130}, {0x0F080, 133}, {0x1F060, 134}, {0x1F0D0, 135},
};

class Ata5555 : public AtaTag {
 public:
  explicit Ata5555(const Bytes& uid) : AtaTag(kAta5555, uid, 8) {
    SetPresent(0, 7);
    Factory();
  }
  const char* Name() const override { return "ata5555"; }
  bool ReversedOnOldReaders() const override { return true; }

  void Factory() override {
    ClearMemory();
    SetWord(0, kFactoryConfig);
  }
  bool Protect(const std::string& pwHex, std::string& why) override {
    Bytes pw;
    if (!HexToKeyBytes(pwHex, 4, pw)) {
      why = "password is not hex";
      return false;
    }
    for (int i = 0; i < 4; ++i) mem_[7][i] = pw[i];
    SetWord(0, Word(0) | kPasswordMode | kAnswerOnRequest);
    return true;
  }

  int Modulation() const override {
    uint32_t field = Word(0) & kModulationBits;
    for (const auto& e : kModulations)
      if (e.field == field) return e.modulation;
    return kNoModulation;
  }
  TagReply IdentityFrame() override {
    if (PasswordMode() && AnswerOnRequest()) return Fail(kStatusAccessDenied);
    return Done(EncodeIdentityFrame(uid_));
  }

 protected:
  bool PasswordMode() const override { return (Word(0) & kPasswordMode) != 0; }
  bool AnswerOnRequest() const override { return (Word(0) & kAnswerOnRequest) != 0; }
  Bytes Identity() const override { return uid_; }
};

}  // namespace

std::unique_ptr<TagModel> MakeAta5555(const Bytes& uid) { return std::make_unique<Ata5555>(uid); }

}  // namespace tw::sim
