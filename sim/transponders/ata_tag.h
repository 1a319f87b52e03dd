// What the ATA5555 and ATA5577 share: configuration in block 0, password in block 7, password mode
// (reads and writes carry the password), answer-on-request (in password mode the identity is sent only
// after a wake-up with the password), per-block lock bits, and answers only in the configured modulation.
#pragma once
#include "sim/transponders/tag_model.h"

namespace tw::sim {

class AtaTag : public TagModel {
 public:
  AtaTag(TagFamily family, const Bytes& uid, int blockCount) : TagModel(family, uid, blockCount) {}

  TagReply ReadUid() override;
  TagReply ReadWithPassword(int block, const Bytes& pw) override;
  TagReply WriteWithPassword(int block, const Bytes& pw, const uint8_t* data, bool lock) override;
  TagReply ReadUidWithPassword(const Bytes& pw) override;
  TagReply Reset() override { return Done(); }

 protected:
  virtual bool PasswordMode() const = 0;
  virtual bool AnswerOnRequest() const = 0;
  virtual bool ReadOnly(int block) const { (void)block; return false; }
  // The identity as a unified reader answers it.
  virtual Bytes Identity() const = 0;

  bool PasswordMatches(const Bytes& pw) const { return SameBytes(7, pw); }
  uint8_t ReadRefusal(int block) const override;
  uint8_t WriteRefusal(int block) const override;
  bool HonoursLockFlag() const override { return true; }
};

}  // namespace tw::sim
