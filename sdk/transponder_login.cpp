// Password login (including the remembered password of the ATA5555 family and its protection test),
// password change, transponder reset and Hitag µ block locking.
#include "platform/tick.h"
#include "sdk/qz_rw_port.h"
#include "sdk/transponder_io.h"
#include "sdk/transponder_ops.h"
#include "sdk/type_table.h"

namespace tw {

using namespace xponder;

namespace {

constexpr uint32_t kFieldSwitchWaitMs = 100;

// Whether the tag needs the password, judged by reading blocks 0 and 2 without it: a tag in
// password mode refuses block 0; an open tag answers both, and they differ.
bool IsProtected(CQZ_RW_Port& port, int type) {
  CMyByteArray block0;
  if (!ReadBlocks(port, type, 0, 4, block0)) return true;
  if (block0.size() != 4) {
    port.SetLastError(kErrNoTransponder);
    return true;
  }
  CMyByteArray block2;
  if (!ReadBlocks(port, type, 2, 4, block2)) return false;
  if (block2.size() == 4 && block2 != block0) return false;
  port.SetLastError(kErrNoTransponder);
  return true;
}

bool RememberPassword(CQZ_RW_Port& port, int type, const CMyByteArray& password) {
  if (password.size() != 4) return false;
  ClearRememberedPassword(port);
  // A tag that reads without the password is not in password mode: sending the password with every
  // command would then fail, so the login fails (without an error code of its own).
  if (!IsProtected(port, type)) return false;
  port.SetRememberedPassword(password);
  port.SetPasswordMode(true);
  return true;
}

}  // namespace

bool PasswordLogin(CQZ_RW_Port& port, int typeWord, const CMyByteArray& password) {
  const int type = TypeOf(typeWord);
  const bool unified = IsUnified(port);
  CMyByteArray answer;
  switch (type) {
    case 3:
    case 9:
    case 13:
      return RememberPassword(port, type, password);
    case 6:
      return unified ? Unified(port, 0xC4, Join({6, 2}, password), answer)
                     : Legacy(port, 0x67, password, answer);
    case 7:
      return unified ? Unified(port, 0xC4, Join({7, 2}, password), answer)
                     : Legacy(port, 0x77, password, answer);
    case 8:
    case 16:
    case 19:
      return unified ? Unified(port, 0xC4, Join({static_cast<uint8_t>(type), 2}, password), answer)
                     : Legacy(port, 0xA7, password, answer);
    case 10: {
      // The identity byte the login refers to: byte 5 of the stored identity when there is one.
      const CMyByteArray& id = port.IdentityBytes();
      const uint8_t x = id.size() > 5 ? id[5] : 4;
      return unified ? Unified(port, 0xC4, Join({10, 40, 0x00, x}, password), answer)
                     : Legacy(port, 0xB0, Join({0x00, 40, x}, password), answer);
    }
    case 12:
      if (!unified) return Fail(port, kErrNotSupported);
      return Unified(port, 0xC4,
                     Join({12, static_cast<uint8_t>((typeWord & 0x100) ? 2 : 1)}, password),
                     answer);
    default:
      return Fail(port, kErrNotSupported);
  }
}

bool ChangePassword(CQZ_RW_Port& port, const CMyByteArray& oldPassword,
                    const CMyByteArray& newPassword) {
  if (oldPassword.size() != 4 || newPassword.size() != 4) return Fail(port, kErrWrongDataCount);
  CMyByteArray answer;
  if (IsUnified(port)) return Unified(port, 0xC4, Join({6, 3}, oldPassword, newPassword), answer);
  return Legacy(port, 0x60, Join({}, oldPassword, newPassword), answer);
}

bool ResetTransponder(CQZ_RW_Port& port, int type) {
  ClearRememberedPassword(port);
  CMyByteArray answer;
  if (HasLockBitInBlock(type)) {  // 3, 9, 13, 17, 21
    return IsUnified(port) ? Unified(port, 0xC4, CMyByteArray{static_cast<uint8_t>(type), 1}, answer)
                           : Legacy(port, 0x36, CMyByteArray{}, answer);
  }
  if (type == 6) {
    return IsUnified(port) ? Unified(port, 0xC4, CMyByteArray{6, 1}, answer)
                           : Legacy(port, 0x66, CMyByteArray{}, answer);
  }
  // Field off and on again; the answers do not matter.
  Unified(port, 0xF5, CMyByteArray{0}, answer);
  SleepMs(kFieldSwitchWaitMs);
  Unified(port, 0xF5, CMyByteArray{1}, answer);
  SleepMs(kFieldSwitchWaitMs);
  return true;
}

bool LockBlock(CQZ_RW_Port& port, int type, int block) {
  if (type != 10) return Fail(port, kErrNotSupported);
  if (!BlockInRange(type, block)) return Fail(port, kErrBlockRange);
  CMyByteArray answer;
  if (IsUnified(port)) {
    return Unified(port, 0xC4, CMyByteArray{10, 22, 0x00, static_cast<uint8_t>(block)}, answer);
  }
  return Legacy(port, 0xB0, CMyByteArray{0x00, 22, static_cast<uint8_t>(block)}, answer);
}

}  // namespace tw
