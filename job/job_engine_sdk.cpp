#include "job/job_engine_sdk.h"

#include <cstddef>

#include "sdk/lf_sdk.h"
#include "sdk/sdk_app.h"

namespace tw {
namespace {

// Runs a data call into a buffer of size bytes and keeps the bytes it copied.
template <typename Call>
int Data(CMyByteArray& out, int size, Call call) {
  out.assign(size > 0 ? static_cast<std::size_t>(size) : 0u, 0);
  const int r = call(out.empty() ? nullptr : out.data(), size > 0 ? size : 0);
  if (r < 0)
    out.clear();
  else if (static_cast<std::size_t>(r) < out.size())
    out.resize(static_cast<std::size_t>(r));
  return r;
}

int Count(const CMyByteArray& b) { return static_cast<int>(b.size()); }

class LfSdk final : public ITagSdk {
 public:
  int GetLastError(int h) override { return LF_GetLastError(h); }
  int SetKeepUiEnabled(int h, int flag) override { return LF_SetKeepUiEnabled(h, flag); }
  int ReadUid(int h, int type, CMyByteArray& out, int size) override {
    return Data(out, size, [&](unsigned char* b, int n) { return LF_ReadUid(h, type, b, n); });
  }
  int Authenticate(int h, int type, const CMyByteArray& p, CMyByteArray& out, int size) override {
    return Data(out, size, [&](unsigned char* b, int n) {
      return LF_Authenticate(h, type, p.data(), Count(p), b, n);
    });
  }
  int KeyAuthenticate(int h, int type, const CMyByteArray& k, CMyByteArray& out,
                      int size) override {
    return Data(out, size, [&](unsigned char* b, int n) {
      return LF_KeyAuthenticate(h, type, k.data(), Count(k), b, n);
    });
  }
  int PasswordLogin(int h, int type, const CMyByteArray& p) override {
    return LF_PasswordLogin(h, type, p.data(), Count(p));
  }
  int ChangePassword(int h, int type, const CMyByteArray& o, const CMyByteArray& n) override {
    return LF_ChangePassword(h, type, o.data(), Count(o), n.data(), Count(n));
  }
  int ReadUidWithPassword(int h, int type, const CMyByteArray& p, CMyByteArray& out,
                          int size) override {
    return Data(out, size, [&](unsigned char* b, int n) {
      return LF_ReadUidWithPassword(h, type, p.data(), Count(p), b, n);
    });
  }
  int ReadBlocks(int h, int type, int first, CMyByteArray& out, int size) override {
    return Data(out, size,
                [&](unsigned char* b, int n) { return LF_ReadBlocks(h, type, first, b, n); });
  }
  int WriteBlocks(int h, int type, int first, const CMyByteArray& d, int lock) override {
    return LF_WriteBlocks(h, type, first, d.data(), Count(d), lock);
  }
  int ResetTransponder(int h, int type) override { return LF_ResetTransponder(h, type); }
  int DetectModulation(int h, int type, int m) override {
    return LF_DetectModulation(h, type, m);
  }
  int GetModulation(int h) override { return LF_GetModulation(h); }
  int SetModulation(int h, int m) override { return LF_SetModulation(h, m); }
  int LockBlock(int h, int type, int block) override { return LF_LockBlock(h, type, block); }
};

}  // namespace

ITagSdk& LfTagSdk() {
  static LfSdk sdk;
  return sdk;
}

// How long the presence probe after a failed step waits for each part of the version answer.
constexpr int kProbeTimeoutMs = 1000;

bool ReaderLost(int handle) {
  // A reader status (no tag, a refused command) proves the reader is there; a missing answer, a
  // lost link (no error set at all) or a closed port may mean it is gone: ask it for its version.
  auto noAnswer = [](int e) { return e == 0 || e == 6 || e == 7 || e == 14 || e == 16; };
  if (!noAnswer(LF_GetLastError(handle))) return false;
  // The probe waits longer than the job's timeout: a reader that is merely slower than that (its
  // late answers are dropped by the SDK) is still there.
  CQZ_RW_Port* port = SdkApp().FindPort(handle);
  if (!port) return true;
  CMyByteArray answer;
  if (port->Transact(0xF0, {}, answer, kProbeTimeoutMs)) return false;
  // A reader status to the probe also shows the reader is there.
  return noAnswer(port->LastError());
}

}  // namespace tw
