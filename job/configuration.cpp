#include "job/configuration.h"

#include <array>

#include "job/job_engine_sdk.h"
#include "job/tag_step.h"
#include "job/value_encoding.h"
#include "platform/ui_hooks.h"

namespace tw {
namespace {

struct BlockGroup {
  int first;
  int last;
  uint8_t bit;
};

constexpr std::array<BlockGroup, 8> kHitagSGroups{{{4, 5, 0x80},
                                                   {6, 7, 0x40},
                                                   {8, 11, 0x20},
                                                   {12, 15, 0x10},
                                                   {16, 23, 0x08},
                                                   {24, 31, 0x04},
                                                   {32, 47, 0x02},
                                                   {48, 63, 0x01}}};
constexpr std::array<BlockGroup, 7> kSic7888Groups{{{4, 5, 0x80},
                                                    {6, 7, 0x40},
                                                    {8, 11, 0x20},
                                                    {12, 15, 0x10},
                                                    {16, 23, 0x08},
                                                    {24, 31, 0x04},
                                                    {32, 40, 0x02}}};

constexpr uint32_t kAta5555Values[4] = {0x0001F000u, 0x0000F000u, 0x0001F0E0u, 0x0000F0E0u};
constexpr uint32_t kAta5577Values[4] = {0x00148000u, 0x00088000u, 0x007F8000u, 0x003F8000u};
constexpr uint32_t kEm4305Values[4] = {0x0000005Fu, 0x0000004Fu, 0x0000009Fu, 0x0000008Fu};

// An index outside the table is treated as index 0, as the reader code of the modulation is.
int ModIndex(int index) { return index >= 0 && index < 4 ? index : 0; }

bool Overlaps(int first, int last, int groupFirst, int groupLast) {
  return first <= groupLast && last >= groupFirst;
}

uint32_t Word(const CMyByteArray& b) {
  return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}
CMyByteArray Bytes(uint32_t w) {
  return {uint8_t(w), uint8_t(w >> 8), uint8_t(w >> 16), uint8_t(w >> 24)};
}

class WaitCursor {
 public:
  WaitCursor() { BeginWaitCursor(); }
  ~WaitCursor() { EndWaitCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

class Configurator {
 public:
  explicit Configurator(JobContext& ctx)
      : ctx_(ctx), job_(ctx.job), sdk_(ctx.sdk), h_(ctx.state.portHandle),
        type_(ctx.job.transponderType), first_(ctx.job.startBlock),
        last_(LastBlockWritten(ctx.job)) {}

  bool Run() {
    ctx_.state.accessChanged = false;
    switch (type_) {
      case kTypeHitag1: return Hitag1();
      case kTypeHitag2: return Hitag2();
      case kTypeHitagS: return HitagS();
      case kTypeHitagMu: return HitagMu();
      case kTypeAta5555: return Ata(kAta5555ModulationMask, Ata5555ModulationValue(job_.modulation),
                                    0x00000C00u);
      case kTypeAta5577: return Ata(kAta5577ModulationMask, Ata5577ModulationValue(job_.modulation),
                                    0x00000210u);
      case kTypeEm4305: return Em4305();
      case kTypeEm4450: return Em4450();
      case kTypeSic7888: return Sic7888();
      default: return true;
    }
  }

 private:
  // What the tag step or the write guard learnt about a block, unless the data write covered it.
  const CMyByteArray* Known(int block) const {
    const auto it = ctx_.state.knownBlocks.find(block);
    if (it == ctx_.state.knownBlocks.end() || it->second.size() != 4) return nullptr;
    if (block >= first_ && block <= last_) return nullptr;
    return &it->second;
  }
  // Reads one configuration block (or takes what is known of it); true with exactly 4 bytes.
  bool Read(int block, CMyByteArray& out) {
    if (const CMyByteArray* k = Known(block)) {
      out = *k;
      return true;
    }
    return sdk_.ReadBlocks(h_, type_, block, out, 4) == 4 && out.size() == 4;
  }
  // Writes one block; a failure shows the SDK's message.
  bool Write(int block, const CMyByteArray& data) {
    if (sdk_.WriteBlocks(h_, type_, block, data, 0) != -1) return true;
    AddSdkErrorMessage(ctx_);
    return false;
  }
  // Writes a block that is not known to hold the value already. written tells which it was.
  bool Update(int block, const CMyByteArray& data, bool& written) {
    const CMyByteArray* k = Known(block);
    written = !k || *k != data;
    return !written || Write(block, data);
  }
  // Sets the reader to the job's modulation. resync: the tag is about to change its own and will be
  // read in it before the next UID request; the reader is asked where it stands first, because a
  // UID request may have retuned it to the tag's old modulation behind the SDK's back, and the
  // switch must not be skipped on that stale value.
  void FollowModulation(bool resync) {
    if (resync) sdk_.GetModulation(h_);
    sdk_.SetModulation(h_, ModulationReaderCode(job_.modulation));
  }
  // A write that changes what the check after writing depends on.
  void AccessChanged() { ctx_.state.accessChanged = true; }
  bool Overlap(int a, int b) const { return Overlaps(first_, last_, a, b); }

  // Only the lock bits change: the tag is reached as before.
  bool Hitag1() {
    if (!job_.lockUsedBlocks) return true;
    CMyByteArray b;
    if (!Read(1, b)) return true;
    const uint32_t old = Word(b);
    uint32_t w = old;
    // A cleared bit locks its group for good.
    if (Overlap(16, 19)) w &= ~0x8u;
    if (Overlap(20, 23)) w &= ~0x4u;
    if (Overlap(24, 27)) w &= ~0x2u;
    if (Overlap(28, 31)) w &= ~0x1u;
    if (w != old) return Write(1, Bytes(w));
    return true;
  }

  bool Hitag2() {
    uint8_t c = ctx_.state.hitag2ConfigByte;
    if (job_.lockUsedBlocks) {
      if (Overlap(4, 5)) c |= 0x20;
      if (Overlap(6, 7)) c |= 0x10;
    }
    // Block 1 is the reader password the tag step authenticated with.
    bool written = false;
    if (!Update(1, HexToBytes(job_.password, 4), written)) return false;
    CMyByteArray b3 = HexToBytes(job_.tagPassword, 3);
    b3.push_back(c);
    AccessChanged();  // block 3 carries the tag password and the mode bits
    return Write(3, b3);
  }

  bool HitagS() {
    CMyByteArray c;
    if (!Read(1, c)) return true;
    const CMyByteArray old = c;
    c[1] &= 0xF3;
    if (job_.authMode) {
      const CMyByteArray k = HexToBytes(job_.authKey, 6);
      const CMyByteArray t = HexToBytes(job_.tagPassword, 3);
      c[1] |= 0x80;
      c[3] = t[2];
      AccessChanged();
      if (!Write(2, {t[0], t[1], k[4], k[5]})) return false;
      if (!Write(3, {k[0], k[1], k[2], k[3]})) return false;
    }
    if (job_.lockUsedBlocks) c[2] |= HitagSLockBits(first_, last_);
    if (c == old) return true;
    if ((c[1] ^ old[1]) & 0x80) AccessChanged();
    return Write(1, c);
  }

  bool HitagMu() {
    CMyByteArray b;
    if (!Read(0xFF, b)) return true;
    const uint32_t old = Word(b);
    uint32_t w = old;
    if (job_.passwordActive) {
      bool written = false;
      if (!Update(0xFE, HexToBytes(job_.password, 4), written)) return false;
      if (written) AccessChanged();
      if (Overlap(0, 3)) w |= 0x08;
      if (Overlap(4, 15)) w |= 0x10;
      if (Overlap(16, 255)) w |= 0x20;
      if (w != old) {
        AccessChanged();
        if (!Write(0xFF, Bytes(w))) return false;
      }
    } else if (w & 0x78) {
      AccessChanged();
      if (!Write(0xFF, Bytes(w & ~0x78u))) return false;
    }
    if (job_.lockUsedBlocks) {
      for (int b = first_; b <= last_; ++b) sdk_.LockBlock(h_, kTypeHitagMu, b);
    }
    return true;
  }

  // ATA5555 and ATA5577; the written blocks were already locked by the data write itself.
  bool Ata(uint32_t mask, uint32_t value, uint32_t passwordBits) {
    CMyByteArray b;
    if (!Read(0, b)) return true;
    const uint32_t old = Word(b);
    uint32_t w = (old & mask) | value;
    // The password write may fail silently: the password-mode bits are then left clear.
    if (job_.passwordActive) {
      AccessChanged();
      if (sdk_.WriteBlocks(h_, type_, 7, HexToBytes(job_.password, 4), 0) != -1) w |= passwordBits;
    }
    // The tag answers in its new modulation from the next command on. Also when the word stays as
    // it is: later steps compare the reader's modulation with the job's (costs nothing when the
    // reader is set to it already). Nothing is read from the tag before the next UID request,
    // which finds the tag's modulation by itself.
    FollowModulation(false);
    if (w == old) return true;
    AccessChanged();
    return Write(0, Bytes(w));
  }

  bool Em4305() {
    CMyByteArray b;
    if (Read(4, b)) {
      const uint32_t old = Word(b);
      uint32_t w = (old & kEm4305ModulationMask) | Em4305ModulationValue(job_.modulation);
      if (job_.passwordActive) {
        bool written = false;
        if (!Update(2, HexToBytes(job_.password, 4), written)) return false;
        if (written) AccessChanged();
        w |= 0x00100000u;
        if (job_.readWithPassword) w |= 0x00040000u;
      }
      // The reader follows the job's modulation even when the word stays as it is (see Ata); the
      // protection word is read in the tag's new modulation.
      FollowModulation(job_.lockUsedBlocks &&
                       (old & ~kEm4305ModulationMask) != Em4305ModulationValue(job_.modulation));
      if (w != old) {
        AccessChanged();
        if (!Write(4, Bytes(w))) return false;
      }
    }
    if (!job_.lockUsedBlocks) return true;
    CMyByteArray p;
    int r = sdk_.ReadBlocks(h_, type_, 14, p, 4);
    if (r == 4 && p.size() == 4 && !(Word(p) & 0x8000u)) {
      // Word 14 is not the active protection word: word 15 is.
      r = sdk_.ReadBlocks(h_, type_, 15, p, 4);
    }
    if (r != 4 || p.size() != 4) {
      if (r != -1) return true;
      AddSdkErrorMessage(ctx_);
      return false;
    }
    const uint32_t old = Word(p) & 0x00003FE8u;
    uint32_t now = 0;
    for (int blk : {3, 5, 6, 7, 8, 9, 10, 11, 12, 13})
      if (blk >= first_ && blk <= last_) now |= 1u << blk;
    if (now != old) return Write(14, Bytes(now));
    return true;
  }

  bool Em4450() {
    const CMyByteArray protection{uint8_t(job_.readProtectFirst), uint8_t(job_.readProtectLast),
                                  uint8_t(job_.writeProtectFirst), uint8_t(job_.writeProtectLast)};
    bool written = false;
    if (!Update(1, protection, written)) return false;
    if (written) AccessChanged();
    CMyByteArray b;
    if (!Read(2, b)) {
      AddSdkErrorMessage(ctx_);
      return false;
    }
    const uint32_t old = Word(b);
    uint32_t w = old & 0xFFFC0000u;
    if (job_.passwordActive) w |= 0x00010000u;
    if (job_.readAfterWrite) w |= 0x00020000u;
    w |= (job_.autoreadLast & 0xFFu) << 8 | (job_.autoreadFirst & 0xFFu);
    if (w != old) {
      if ((w ^ old) & 0x00010000u) AccessChanged();  // password check
      if (!Write(2, Bytes(w))) return false;
    }
    if (!job_.passwordActive) return true;
    const CMyByteArray pw = HexToBytes(job_.password, 4);
    // The tag step logged in with the job's password: the tag carries it already.
    if (const CMyByteArray* k = Known(0); k && *k == pw) return true;
    AccessChanged();
    if (sdk_.ChangePassword(h_, kTypeEm4450, Em4450FactoryPassword(), pw) == 0) return true;
    // The tag already carries the job's password.
    sdk_.ChangePassword(h_, kTypeEm4450, pw, pw);
    return true;
  }

  bool Sic7888() {
    CMyByteArray c;
    if (!Read(1, c)) return true;
    const CMyByteArray old = c;
    c[1] &= 0x73;
    c[0] &= 0xEF;
    if (job_.passwordActive) {
      c[1] |= 0x80;
      if (job_.readWithPassword) c[0] |= 0x10;
      AccessChanged();
      if (!Write(3, HexToBytes(job_.tagPassword, 4))) return false;  // "Passwort Read:"
      if (!Write(2, HexToBytes(job_.password, 4))) return false;     // "Passwort Write:"
    }
    if (job_.lockUsedBlocks) c[2] |= Sic7888LockBits(first_, last_);
    if (c == old) return true;
    if ((c[1] ^ old[1]) & 0x80 || (c[0] ^ old[0]) & 0x10) AccessChanged();
    return Write(1, c);
  }

  JobContext& ctx_;
  const JobParams& job_;
  ITagSdk& sdk_;
  const int h_;
  const int type_;
  const int first_;
  const int last_;
};

template <size_t N>
uint8_t LockBits(const std::array<BlockGroup, N>& groups, int first, int last) {
  uint8_t bits = 0;
  for (const BlockGroup& g : groups)
    if (Overlaps(first, last, g.first, g.last)) bits |= g.bit;
  return bits;
}

}  // namespace

uint32_t Ata5555ModulationValue(int index) { return kAta5555Values[ModIndex(index)]; }
uint32_t Ata5577ModulationValue(int index) { return kAta5577Values[ModIndex(index)]; }
uint32_t Em4305ModulationValue(int index) { return kEm4305Values[ModIndex(index)]; }

uint8_t HitagSLockBits(int first, int last) { return LockBits(kHitagSGroups, first, last); }
uint8_t Sic7888LockBits(int first, int last) { return LockBits(kSic7888Groups, first, last); }

CMyByteArray Em4450FactoryPassword() {
  // Same factory password that the tag step tries for a fresh tag.
  return HexToBytes(kEm4xDefaultPassword, 4);
}

bool ApplyConfiguration(JobContext& ctx) {
  WaitCursor cursor;
  return Configurator(ctx).Run();
}

}  // namespace tw
