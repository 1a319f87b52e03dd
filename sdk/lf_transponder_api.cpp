// The transponder functions of the flat C interface: argument checks, the port lookup, the copy into
// caller buffers and the read-back after a write. The commands themselves are in transponder_*.cpp.
#include <cstring>

#include "sdk/lf_sdk.h"
#include "sdk/sdk_app.h"
#include "sdk/transponder_ops.h"
#include "sdk/type_table.h"

using tw::CQZ_RW_Port;

namespace {

CQZ_RW_Port* Find(int h) { return h > 0 ? tw::SdkApp().FindPort(h) : nullptr; }

// Caller bytes as an array; a null pointer or a negative count is an empty array.
CMyByteArray Bytes(const unsigned char* data, int count) {
  if (!data || count <= 0) return {};
  return CMyByteArray(data, data + count);
}

// Copies an answer into a caller buffer; a buffer smaller than the answer is error 8, nothing copied.
int CopyAnswer(CQZ_RW_Port* p, const CMyByteArray& answer, unsigned char* buf, int size) {
  const long room = (buf && size > 0) ? size : 0;
  if (static_cast<long>(answer.size()) > room) {
    p->SetLastError(tw::kErrBufferTooSmall);
    return -1;
  }
  if (!answer.empty()) std::memcpy(buf, answer.data(), answer.size());
  return static_cast<int>(answer.size());
}

int Fail(CQZ_RW_Port* p, int code) {
  p->SetLastError(code);
  return -1;
}

// The type travels as one byte in the unified commands.
bool IsTypeByte(int type) { return type >= 0 && type <= 0xFF; }
// Block functions take types 1-39 in the low byte, options above it.
bool IsBlockType(int typeWord) { return tw::TypeOf(typeWord) >= 1 && tw::TypeOf(typeWord) <= 39; }

}  // namespace

extern "C" {

int LF_ReadUid(int h, int type, unsigned char* buf, int size) {
  CQZ_RW_Port* p = Find(h);
  if (!p) return -1;
  if (!IsTypeByte(type)) return Fail(p, tw::kErrTypeNotAccepted);
  CMyByteArray uid;
  if (!tw::ReadUid(*p, type, uid)) return -1;
  return CopyAnswer(p, uid, buf, size);
}

int LF_Authenticate(int h, int type, const unsigned char* params, int count, unsigned char* buf,
                    int size) {
  CQZ_RW_Port* p = Find(h);
  if (!p) return -1;
  if (!IsTypeByte(type)) return Fail(p, tw::kErrTypeNotAccepted);
  CMyByteArray answer;
  if (!tw::Authenticate(*p, type, Bytes(params, count), answer)) return -1;
  if (!buf) return 0;  // the caller does not want the answer
  return CopyAnswer(p, answer, buf, size);
}

int LF_KeyAuthenticate(int h, int type, const unsigned char* key, int count, unsigned char* buf,
                       int size) {
  CQZ_RW_Port* p = Find(h);
  if (!p) return -1;
  if (type != 2 && type != 4 && type != 14) return Fail(p, tw::kErrTypeNotAccepted);
  CMyByteArray answer;
  if (!tw::KeyAuthenticate(*p, type, Bytes(key, count), answer)) return -1;
  return CopyAnswer(p, answer, buf, size);
}

int LF_ReadUidWithPassword(int h, int type, const unsigned char* password, int count,
                           unsigned char* buf, int size) {
  CQZ_RW_Port* p = Find(h);
  if (!p) return -1;
  if (type != 3 && type != 9) return Fail(p, tw::kErrTypeNotAccepted);
  CMyByteArray answer;
  if (!tw::ReadUidWithPassword(*p, type, Bytes(password, count), answer)) return -1;
  return CopyAnswer(p, answer, buf, size);
}

int LF_PasswordLogin(int h, int type, const unsigned char* password, int count) {
  CQZ_RW_Port* p = Find(h);
  if (!p) return -1;
  if (tw::PasswordLogin(*p, type, Bytes(password, count))) return 0;
  return p->LastError() != 0 ? -1 : 1;
}

int LF_ChangePassword(int h, int type, const unsigned char* oldPassword, int oldCount,
                      const unsigned char* newPassword, int newCount) {
  (void)type;  // the command is the EM4450 one whatever the type
  CQZ_RW_Port* p = Find(h);
  if (!p) return -1;
  return tw::ChangePassword(*p, Bytes(oldPassword, oldCount), Bytes(newPassword, newCount)) ? 0
                                                                                             : -1;
}

int LF_ReadBlocks(int h, int type, int firstBlock, unsigned char* buf, int count) {
  CQZ_RW_Port* p = Find(h);
  if (!p) return -1;
  if (!IsBlockType(type)) return Fail(p, tw::kErrTypeNotAccepted);
  if (count < 0) return Fail(p, tw::kErrWrongDataCount);
  if (!buf && count > 0) return Fail(p, tw::kErrBufferTooSmall);
  CMyByteArray data;
  if (!tw::ReadBlocks(*p, type, firstBlock, count, data)) return -1;
  return CopyAnswer(p, data, buf, count);
}

int LF_WriteBlocks(int h, int type, int firstBlock, const unsigned char* data, int count,
                   int lock) {
  CQZ_RW_Port* p = Find(h);
  if (!p) return -1;
  if (!IsBlockType(type)) return Fail(p, tw::kErrTypeNotAccepted);
  const CMyByteArray bytes = Bytes(data, count);
  if (!tw::WriteBlocks(*p, type, firstBlock, bytes, lock)) return -1;
  const bool verify = (type & tw::kTypeOptionVerify) ||
                      (tw::TypeOf(type) == 3 && (type & tw::kTypeOptionInvertedVerify));
  if (verify && !tw::VerifyWrittenBlocks(*p, type, firstBlock, bytes)) return -1;
  return 0;
}

int LF_ResetTransponder(int h, int type) {
  CQZ_RW_Port* p = Find(h);
  if (!p) return -1;
  return tw::ResetTransponder(*p, type) ? 0 : -1;
}

int LF_LockBlock(int h, int type, int block) {
  CQZ_RW_Port* p = Find(h);
  if (!p) return -1;
  return tw::LockBlock(*p, type, block) ? 0 : -1;
}

int LF_GetModulation(int h) {
  CQZ_RW_Port* p = Find(h);
  if (!p) return 0;
  return tw::GetModulation(*p);
}

int LF_SetModulation(int h, int modulation) {
  CQZ_RW_Port* p = Find(h);
  if (!p) return -1;
  return tw::SetModulation(*p, modulation) ? 0 : -1;
}

int LF_DetectModulation(int h, int type, int modulation) {
  CQZ_RW_Port* p = Find(h);
  if (!p) return -1;
  return tw::DetectModulation(*p, type, modulation);
}

}  // extern "C"
