// The transponder calls the job engine makes, as one small interface: the production side forwards
// each call to the LF_ function of the same name (sdk/lf_sdk.h); tests put a scripted fake in its
// place to check the exact order of calls a step makes.
#pragma once
#include <cstdint>

#include "sdk/my_byte_array.h"

namespace tw {

// Each call mirrors its LF_ function: same arguments (buffers as byte arrays, the size given
// separately where the SDK takes one) and the same results (0/-1, a length or -1, ...). A data call
// resizes `out` to the bytes copied (empty on -1).
class ITagSdk {
 public:
  virtual ~ITagSdk() = default;
  virtual int GetLastError(int h) = 0;
  virtual int SetKeepUiEnabled(int h, int flag) = 0;
  virtual int ReadUid(int h, int type, CMyByteArray& out, int size) = 0;
  virtual int Authenticate(int h, int type, const CMyByteArray& params, CMyByteArray& out,
                           int size) = 0;
  virtual int KeyAuthenticate(int h, int type, const CMyByteArray& key, CMyByteArray& out,
                              int size) = 0;
  virtual int PasswordLogin(int h, int type, const CMyByteArray& password) = 0;
  virtual int ChangePassword(int h, int type, const CMyByteArray& oldPassword,
                             const CMyByteArray& newPassword) = 0;
  virtual int ReadUidWithPassword(int h, int type, const CMyByteArray& password,
                                  CMyByteArray& out, int size) = 0;
  virtual int ReadBlocks(int h, int type, int firstBlock, CMyByteArray& out, int size) = 0;
  virtual int WriteBlocks(int h, int type, int firstBlock, const CMyByteArray& data, int lock) = 0;
  virtual int ResetTransponder(int h, int type) = 0;
  virtual int DetectModulation(int h, int type, int m) = 0;
  virtual int GetModulation(int h) = 0;
  virtual int SetModulation(int h, int m) = 0;
  virtual int LockBlock(int h, int type, int block) = 0;
};

// The real reader SDK.
ITagSdk& LfTagSdk();

// Whether the reader still answers after a step that failed (a vanished device, a pulled cable):
// asks it for its version when the step's error leaves it open.
bool ReaderLost(int handle);

}  // namespace tw
