#include "job/tag_step.h"

#include "job/job_engine_sdk.h"
#include "job/value_encoding.h"
#include "platform/tick.h"

namespace tw {
namespace {

constexpr uint32_t kForgetAfterMs = 1000;
constexpr int kSdkNotSupported = 24;

// One run of a type's variant. Holds the job's credentials and the helpers every variant shares.
class Variant {
 public:
  Variant(JobContext& ctx, bool first, bool skipSame)
      : s_(ctx.state), job_(ctx.job), sdk_(ctx.sdk), first_(first), skipSame_(skipSame) {}

  bool Run() {
    switch (job_.transponderType) {
      case kTypeHitag1: return Hitag1();
      case kTypeHitagS: return HitagS();
      case kTypeHitag2: return Hitag2();
      case kTypeAta5555: return Ata(kTypeAta5555);
      case kTypeAta5577: return Ata(kTypeAta5577);
      case kTypeEm4305: return Em4305();
      case kTypeEm4450: return PasswordTag(kTypeEm4450, kEm4xDefaultPassword);
      case kTypeHitagMu: return PasswordTag(kTypeHitagMu, kHitagMuDefaultPassword);
      case kTypeSic7888: return Sic7888();
      default: return false;
    }
  }

 private:
  int H() const { return s_.portHandle; }
  CMyByteArray Pw(const char* text) const { return HexToBytes(text, 4); }
  CMyByteArray JobPw() const { return HexToBytes(job_.password, 4); }
  int ModCode() const { return ModulationReaderCode(job_.modulation); }

  // A UID request into a cleared buffer of the type's full length; a failure means no tag.
  bool ReadUid(int type, CMyByteArray& uid) {
    const int n = UidLength(type);
    CMyByteArray got;
    const int r = sdk_.ReadUid(H(), type, got, n);
    uid.assign(n, 0);
    if (r == -1) {
      s_.sameTag = 0;
      return false;
    }
    for (size_t i = 0; i < got.size() && i < uid.size(); ++i) uid[i] = got[i];
    return true;
  }

  // Answer of a selection or authentication, cleared to 4 bytes so that bytes the reader did not
  // send read as 0.
  static CMyByteArray Answer4(const CMyByteArray& got) {
    CMyByteArray a(4, 0);
    for (size_t i = 0; i < got.size() && i < a.size(); ++i) a[i] = got[i];
    return a;
  }

  // A tag that rests on the antenna after it was handled is known by its UID alone: inside a cycle
  // nothing more is sent to it (no selection, no login). True when the variant stops here.
  bool Resting(const CMyByteArray& uid) {
    if (!skipSame_ || uid != s_.lastUid) return false;
    s_.currentUid = uid;
    s_.sameTag = 1;
    return true;
  }

  // Remembers what a selection answered or a login proved about a block of the tag.
  void Learn(int block, const CMyByteArray& content) {
    if (content.size() == 4) s_.knownBlocks[block] = content;
  }

  // The same-tag test; true when the variant must stop here because the tag is to be skipped.
  bool SkipSame(const CMyByteArray& uid) {
    s_.currentUid = uid;
    if (s_.currentUid == s_.lastUid) {
      if (skipSame_) {
        s_.sameTag = 1;
        return true;
      }
      return false;
    }
    s_.sameTag = 0;
    return false;
  }

  bool Hitag1() {
    CMyByteArray uid, got;
    if (!ReadUid(kTypeHitag1, uid)) return false;
    if (Resting(uid)) return false;
    if (sdk_.Authenticate(H(), kTypeHitag1, uid, got, 4) == -1) return false;
    return !SkipSame(uid);
  }

  bool HitagS() {
    CMyByteArray uid, got;
    if (!ReadUid(kTypeHitagS, uid)) return false;
    if (Resting(uid)) return false;
    if (sdk_.Authenticate(H(), kTypeHitagS, uid, got, 4) == -1) return false;
    Learn(1, got);  // the selection answers the configuration block
    const CMyByteArray config = Answer4(got);
    if (SkipSame(uid)) return false;
    if (config[1] & 0x80) {  // the tag is in authentication mode
      CMyByteArray ans;
      if (sdk_.KeyAuthenticate(H(), kTypeHitagS, HexToBytes(job_.authKey, 6), ans, 4) == -1) {
        s_.loginFailed = 1;
        return false;
      }
    }
    return true;
  }

  bool Hitag2() {
    CMyByteArray uid, got;
    if (!ReadUid(kTypeHitag2, uid)) return false;
    if (Resting(uid)) return false;
    bool loggedIn = false;
    if (first_) {
      loggedIn = sdk_.Authenticate(H(), kTypeHitag2, Pw(kHitag2DefaultPassword), got, 4) != -1;
      if (loggedIn) Learn(1, Pw(kHitag2DefaultPassword));  // block 1 is the reader password
      // A failed attempt resets the tag; it has to be selected again before the next one.
      if (!loggedIn && !ReadUid(kTypeHitag2, uid)) {
        s_.loginFailed = 1;
        return false;
      }
    }
    if (!loggedIn) {
      if (sdk_.Authenticate(H(), kTypeHitag2, JobPw(), got, 4) == -1) {
        s_.sameTag = 0;
        s_.loginFailed = 1;
        return false;
      }
      Learn(1, JobPw());
    }
    s_.hitag2ConfigByte = Answer4(got)[3];
    return !SkipSame(uid);
  }

  // ATA5555 (Q5) and ATA5577: identified with the password when the job uses one.
  bool Ata(int type) {
    const CMyByteArray p = JobPw();
    const int n = UidLength(type);
    CMyByteArray uid(n, 0), got;
    if (job_.passwordActive) {
      if (sdk_.ReadUidWithPassword(H(), type, p, got, n) == -1) {
        if (sdk_.GetLastError(H()) != kSdkNotSupported) {
          s_.sameTag = 0;
          return false;
        }
        // The reader has no such request: switch to the job's modulation and take the UID with
        // the plain request, so that tags stay apart; if even that fails the UID stays all zero.
        sdk_.SetModulation(H(), ModCode());
        got.clear();
        if (sdk_.ReadUid(H(), type, got, n) == -1) got.clear();
      }
    } else if (sdk_.ReadUid(H(), type, got, n) == -1) {
      s_.sameTag = 0;
      return false;
    }
    for (size_t i = 0; i < got.size() && i < uid.size(); ++i) uid[i] = got[i];
    if (SkipSame(uid)) return false;

    if (type == kTypeAta5555) {
      if (job_.passwordActive) {
        // With a password the tag's own modulation decides nothing: the reader is set to the job's.
        // Asking the reader first keeps the switch from being skipped on a value it no longer has
        // (a UID request may have retuned it).
        sdk_.GetModulation(H());
        sdk_.SetModulation(H(), ModCode());
        return Login(type, p);
      }
      // Before writing every modulation is accepted, so the tag's own is only looked for after.
      if (!first_ && sdk_.DetectModulation(H(), kTypeAta5555, 0) != ModCode()) return false;
      sdk_.ResetTransponder(H(), kTypeAta5555);
      return true;
    }
    if (!first_ && sdk_.GetModulation(H()) != ModCode()) return false;
    if (!job_.passwordActive) {
      sdk_.ResetTransponder(H(), kTypeAta5577);
      return true;
    }
    return Login(type, p);
  }

  // Password login of the ATA types: tolerated before writing, where a fresh tag has none yet.
  bool Login(int type, const CMyByteArray& p) {
    if (sdk_.PasswordLogin(H(), type, p) == 0) return true;
    s_.loginFailed = 1;
    return first_;
  }

  bool Em4305() {
    CMyByteArray uid;
    if (!ReadUid(kTypeEm4305, uid)) return false;
    if (SkipSame(uid)) return false;
    if (!first_ && sdk_.GetModulation(H()) != ModCode()) return false;
    if (!job_.passwordActive) return true;
    // A login proves what the password block (2) holds.
    if (sdk_.PasswordLogin(H(), kTypeEm4305, JobPw()) == 0) {
      Learn(2, JobPw());
      return true;
    }
    if (first_ && sdk_.PasswordLogin(H(), kTypeEm4305, Pw(kEm4xDefaultPassword)) == 0) {
      Learn(2, Pw(kEm4xDefaultPassword));
      return true;
    }
    s_.loginFailed = 1;
    return false;
  }

  // EM4450 and Hitag µ: identical apart from type, UID length and default password.
  bool PasswordTag(int type, const char* defaultPassword) {
    CMyByteArray uid;
    if (!ReadUid(type, uid)) return false;
    if (SkipSame(uid)) return false;
    if (!job_.passwordActive) return true;
    // A login proves what the password block (EM4450 0, Hitag µ FEh) holds.
    const int passwordBlock = type == kTypeEm4450 ? 0 : 0xFE;
    const int r = sdk_.PasswordLogin(H(), type, JobPw());
    if (r == 0) {
      Learn(passwordBlock, JobPw());
      return true;
    }
    s_.loginFailed = 1;
    if (r == 1 || !first_) return false;
    if (sdk_.PasswordLogin(H(), type, Pw(defaultPassword)) == 0) {
      Learn(passwordBlock, Pw(defaultPassword));
      s_.loginFailed = 0;
      return true;
    }
    return false;
  }

  bool Sic7888Select(bool useDefault) {
    CMyByteArray uid, got;
    if (!ReadUid(kTypeSic7888, uid)) return false;
    if (Resting(uid)) return false;
    if (sdk_.Authenticate(H(), kTypeSic7888, uid, got, 4) == -1) return false;
    Learn(1, got);  // the selection answers the configuration block
    const CMyByteArray config = Answer4(got);
    if (SkipSame(uid)) return false;
    if (config[1] & 0x80) {  // password protection is on
      const CMyByteArray p = useDefault ? Pw(kSic7888DefaultPassword) : JobPw();
      // 1 (the tag needed no password) counts as logged in.
      const int r = sdk_.PasswordLogin(H(), kTypeSic7888, p);
      if (r == -1) {
        s_.loginFailed = 1;
        return false;
      }
      if (r == 0) Learn(2, p);  // the write password
    }
    return true;
  }

  bool Sic7888() {
    if (!first_) return Sic7888Select(false);
    if (Sic7888Select(true)) return true;
    // Only a refused factory password calls for a second selection with the job's password; no tag
    // or the resting tag would give the same answer again.
    return s_.loginFailed && Sic7888Select(false);
  }

  JobEngineState& s_;
  const JobParams& job_;
  ITagSdk& sdk_;
  const bool first_;
  const bool skipSame_;
};

}  // namespace

int UidLength(int type) {
  switch (type) {
    case kTypeHitag1:
    case kTypeHitag2:
    case kTypeHitagS:
    case kTypeEm4305:
    case kTypeEm4450:
    case kTypeSic7888: return 4;
    case kTypeAta5555: return 5;
    case kTypeAta5577: return 8;
    case kTypeHitagMu: return 6;
    default: return 0;
  }
}

bool TagStep(JobContext& ctx, bool first, bool skipSame) {
  JobEngineState& s = ctx.state;
  s.loginFailed = 0;
  s.knownBlocks.clear();
  const bool ok = Variant(ctx, first, skipSame).Run();
  if (ok) {
    s.lastSeenTick = TickCount();
    return true;
  }
  if (s.sameTag) {
    s.lastSeenTick = TickCount();
  } else {
    if (s.lastSeenTick != 0 && !s.lastUid.empty()) ctx.view.SetLamps(LampState::Red);
    // Unsigned difference: right across the wrap of the tick counter.
    if (TicksSince(s.lastSeenTick) > kForgetAfterMs) {
      s.lastUid.clear();
      s.lastSeenTick = 0;
    }
  }
  if (s.loginFailed) ctx.status.AddStatusMessage(kMsgLoginFailed);
  return false;
}

}  // namespace tw
