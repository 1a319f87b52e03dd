// ATA5577: blocks 0-7 (configuration in block 0: modulation field, 10h password mode, 200h
// answer-on-request; password in block 7) and the read-only page 1 as blocks 9-11, whose trace data
// (blocks 9-10, beginning E0h 15h) is the 8-byte UID.
#include "sim/transponders/ata_tag.h"

namespace tw::sim {

namespace {

constexpr uint32_t kFactoryConfig = 0x000880E8;
constexpr uint32_t kPasswordMode = 0x10;
constexpr uint32_t kAnswerOnRequest = 0x200;
constexpr uint32_t kBiphaseSelect = 0x20000;  // bit 17 selects which field layout applies

struct ModulationEntry {
  uint32_t field;
  int modulation;
};
// Bit 17 set: field = word AND FFF002h.
constexpr ModulationEntry kWithBit17[] = {
    {0x7E8000, 0},   {0x3F0002, 1},   {0x3F8000, 1},   {0x325002, 2},   {0x3E8000, 5},
    {0x7F0002, 6},   {0x7F8000, 6},   {0x7E5002, 7},   {0x7E8002, 128}, {0x3F0000, 129},
    {0x3F8002, 129}, {0x325000, 130}, {0x3E8002, 133}, {0x7F0000, 134}, {0x7F8002, 134},
    {0x7E5000, 135},
};
// Bit 17 clear: field = word AND 1FF000h.
constexpr ModulationEntry kWithoutBit17[] = {
    {0x148000, 0},   {0x107000, 2},   {0x088000, 5},   {0x147000, 7},
    {0x090000, 129}, {0x105000, 130}, {0x150000, 134}, {0x145000, 135},
};

class Ata5577 : public AtaTag {
 public:
  explicit Ata5577(const Bytes& uid) : AtaTag(kAta5577, uid, 12) {
    SetPresent(0, 7);
    SetPresent(9, 11);
    Factory();
  }
  const char* Name() const override { return "ata5577"; }

  void Factory() override {
    ClearMemory();
    SetWord(0, kFactoryConfig);
    for (int i = 0; i < 4; ++i) {
      mem_[9][i] = uid_[i];
      mem_[10][i] = uid_[4 + i];
    }
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
    uint32_t v = Word(0);
    if (v & kBiphaseSelect) {
      for (const auto& e : kWithBit17)
        if (e.field == (v & 0xFFF002)) return e.modulation;
    } else {
      for (const auto& e : kWithoutBit17)
        if (e.field == (v & 0x1FF000)) return e.modulation;
    }
    return kNoModulation;
  }

 protected:
  bool PasswordMode() const override { return (Word(0) & kPasswordMode) != 0; }
  bool AnswerOnRequest() const override { return (Word(0) & kAnswerOnRequest) != 0; }
  bool ReadOnly(int block) const override { return block >= 8; }
  Bytes Identity() const override {
    Bytes id = BlockBytes(9);
    Bytes second = BlockBytes(10);
    id.insert(id.end(), second.begin(), second.end());
    return id;
  }
};

}  // namespace

std::unique_ptr<TagModel> MakeAta5577(const Bytes& uid) { return std::make_unique<Ata5577>(uid); }

}  // namespace tw::sim
