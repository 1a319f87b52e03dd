// Password mode, lock bits and identity rules shared by the ATA5555 and ATA5577 models.
#include "sim/transponders/ata_tag.h"

namespace tw::sim {

uint8_t AtaTag::ReadRefusal(int) const {
  return PasswordMode() ? kStatusAccessDenied : 0;
}

uint8_t AtaTag::WriteRefusal(int block) const {
  if (ReadOnly(block)) return kStatusWriteRefused;
  if (PasswordMode()) return kStatusAccessDenied;
  return TagModel::WriteRefusal(block);
}

TagReply AtaTag::ReadUid() {
  if (PasswordMode() && AnswerOnRequest()) return Fail(kStatusAccessDenied);
  return Done(Identity());
}

TagReply AtaTag::ReadUidWithPassword(const Bytes& pw) {
  if (pw.size() != 4) return Fail(kStatusBadParameter);
  if (PasswordMode() && !PasswordMatches(pw)) return Fail(kStatusLoginFailed);
  return Done(Identity());
}

// Without password mode the chip does not check the password bits.
TagReply AtaTag::ReadWithPassword(int block, const Bytes& pw) {
  if (pw.size() != 4 || !Exists(block)) return Fail(kStatusBadParameter);
  if (PasswordMode() && !PasswordMatches(pw)) return Fail(kStatusLoginFailed);
  return Done(BlockBytes(block));
}

TagReply AtaTag::WriteWithPassword(int block, const Bytes& pw, const uint8_t* data, bool lock) {
  if (pw.size() != 4 || !Exists(block)) return Fail(kStatusBadParameter);
  if (PasswordMode() && !PasswordMatches(pw)) return Fail(kStatusLoginFailed);
  if (ReadOnly(block) || locked_[block]) return Fail(kStatusWriteRefused);
  StoreBlock(block, data);
  if (lock) locked_[block] = true;
  return Done();
}

}  // namespace tw::sim
