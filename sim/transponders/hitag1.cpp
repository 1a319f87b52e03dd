// Hitag 1: UID in block 0, configuration in block 1 whose bits 3-0 keep the block groups 16-19,
// 20-23, 24-27 and 28-31 writable; a cleared bit locks its group for good.
#include "sim/transponders/tag_model.h"

namespace tw::sim {

namespace {

constexpr uint32_t kFactoryConfig = 0x0000000F;

class Hitag1 : public TagModel {
 public:
  explicit Hitag1(const Bytes& uid) : TagModel(kHitag1, uid, 64) {
    SetPresent(0, 63);
    Factory();
  }
  const char* Name() const override { return "hitag1"; }

  void Factory() override {
    ClearMemory();
    for (int i = 0; i < 4; ++i) mem_[0][i] = uid_[i];
    SetWord(1, kFactoryConfig);
  }
  bool Protect(const std::string&, std::string& why) override {
    why = "hitag1 has no password";
    return false;
  }

  // Selection by UID answers the configuration block.
  TagReply ReadUid() override { return Done(BlockBytes(0)); }
  TagReply Select(const Bytes& params) override {
    if (params.size() != 4) return Fail(kStatusBadParameter);
    if (!SameBytes(0, params)) return Fail(kStatusNoTag);
    return Done(BlockBytes(1));
  }

 protected:
  uint8_t WriteRefusal(int block) const override {
    if (block == 0) return kStatusWriteRefused;
    if (block >= 16 && block <= 31) {
      uint32_t groupBit = 1u << (3 - (block - 16) / 4);
      if (!(Word(1) & groupBit)) return kStatusWriteRefused;
    }
    return TagModel::WriteRefusal(block);
  }
  void StoreBlock(int block, const uint8_t* data) override {
    uint8_t old = mem_[1][0];
    TagModel::StoreBlock(block, data);
    // The group bits can be cleared, never set again.
    if (block == 1) mem_[1][0] = static_cast<uint8_t>(data[0] & (0xF0 | old));
  }
};

}  // namespace

std::unique_ptr<TagModel> MakeHitag1(const Bytes& uid) { return std::make_unique<Hitag1>(uid); }

}  // namespace tw::sim
