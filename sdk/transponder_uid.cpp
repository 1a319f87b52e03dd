// UID reads on both reader generations (with the modulation search of legacy readers), the ATA5555
// identity frame, and the authentication commands.
#include <algorithm>
#include <functional>

#include "sdk/qz_rw_port.h"
#include "sdk/transponder_io.h"
#include "sdk/transponder_ops.h"
#include "sdk/type_table.h"
#include "sdk/unique_daten.h"

namespace tw {

using namespace xponder;

namespace {

constexpr uint32_t kUidTimeoutMs = 1000;
constexpr uint32_t kAuthenticateTimeoutMs = 2000;

using Probe = std::function<bool(CMyByteArray& uid)>;

// Tries the probe at the cached modulation and then at each next candidate, until it answers or the
// candidates run out or come back to the start.
// A reader without some modulations folds the sequence back to 0 before it reaches the start
// again: each candidate is tried once at most.
bool ModulationSearch(CQZ_RW_Port& port, int type, const Probe& probe, CMyByteArray& uid) {
  bool tried[256] = {};
  int m = port.ModulationCache();
  for (;;) {
    if (m >= 0 && m <= 0xFF) {
      if (tried[m]) return false;
      tried[m] = true;
    }
    SetModulation(port, m);  // a refused switch still leaves the probe to decide
    if (probe(uid)) return true;
    m = NextCandidate(type, m, Features(port));
    if (m == -1) return false;
  }
}

Probe ReadBlockProbe(CQZ_RW_Port& port, int type, int block) {
  return [&port, type, block](CMyByteArray& uid) { return ReadBlocks(port, type, block, 4, uid); };
}

// ATA5577: the trace data in blocks 9-10 begin E0h 15h; the UID is taken from both blocks.
bool Ata5577TraceProbe(CQZ_RW_Port& port, CMyByteArray& uid) {
  CMyByteArray trace;
  if (!ReadBlocks(port, 9, 9, 8, trace)) return false;
  // Read, but no trace data of an ATA5577: that is the reason, not an older code.
  if (trace.size() != 8 || trace[2] != 0x15 || trace[3] != 0xE0) return Fail(port, kErrNoTransponder);
  uid = {trace[4], trace[5], trace[6], trace[7], trace[0], trace[1]};
  return true;
}

bool PrepareIdentityFrame(CQZ_RW_Port& port) {
  CMyByteArray answer;
  if (IsUnified(port)) return Unified(port, 0xC4, CMyByteArray{3, 5}, answer);
  return Legacy(port, LegacyCommand(3, kLegacyAuthenticate), CMyByteArray{}, answer);
}

bool ReadUidLegacy(CQZ_RW_Port& port, int type, CMyByteArray& out) {
  switch (type) {
    case 2:
      if (!Legacy(port, LegacyCommand(2, kLegacyReadUid), CMyByteArray{}, out)) return false;
      ReverseIf(ReversesAnswers(port, 2), out);
      return true;
    case 3:
      return ReadIdentityFrame(port, out);
    case 4:
    case 12:
    case 5:
      return Legacy(port, LegacyCommand(type, kLegacyReadUid), CMyByteArray{}, out);
    case 6:
      return ReadBlocks(port, 6, 32, 4, out);
    case 7:
    case 8:
    case 16:
    case 18:
      return ModulationSearch(port, type, ReadBlockProbe(port, type, 1), out);
    case 9:
      return ModulationSearch(
          port, 9, [&port](CMyByteArray& uid) { return Ata5577TraceProbe(port, uid); }, out);
    case 10:
      if (!Legacy(port, 0xB0, CMyByteArray{0x00, 2}, out)) return false;
      port.SetIdentityBytes(out);
      return true;
    default:
      return Fail(port, kErrNotSupported);
  }
}

}  // namespace

bool ReadIdentityFrame(CQZ_RW_Port& port, CMyByteArray& out) {
  out.clear();
  // The preparation ends any password session on the tag, whether or not it is answered.
  const bool prepared = PrepareIdentityFrame(port);
  ClearRememberedPassword(port);
  if (!prepared) return false;
  if (IsUnified(port)) return Unified(port, 0xC5, CMyByteArray{0x00, 1}, out);
  if (port.CapabilityWord() & kCapIdentityFrame10) return Legacy(port, 0x10, CMyByteArray{}, out);
  CMyByteArray frame;
  if (!Legacy(port, LegacyCommand(3, kLegacyReadIdentityFrame), CMyByteArray{}, frame)) return false;
  if (CUniqueDaten(frame).Decode(out)) return true;
  return Fail(port, kErrNoTransponder);  // an answer, but no identity frame in it
}

bool ReadUid(CQZ_RW_Port& port, int type, CMyByteArray& out, uint8_t selector) {
  out.clear();
  if (IsUnified(port)) {
    if (!Unified(port, 0xC0, CMyByteArray{static_cast<uint8_t>(type), selector}, out,
                 kUidTimeoutMs)) {
      return false;
    }
    port.SetIdentityBytes(out);
    return true;
  }
  if (!ReadUidLegacy(port, type, out)) {
    out.clear();
    return false;
  }
  return true;
}

bool Authenticate(CQZ_RW_Port& port, int type, const CMyByteArray& params, CMyByteArray& out) {
  out.clear();
  if (type == 10) {
    // Hitag µ: the bytes are the identity the next login refers to; nothing goes to the reader.
    port.SetIdentityBytes(params);
    return true;
  }
  if (IsUnified(port)) {
    return Unified(port, 0xC1, Join({static_cast<uint8_t>(type)}, params), out,
                   kAuthenticateTimeoutMs);
  }
  switch (type) {
    case 2:
      if (!Legacy(port, LegacyCommand(2, kLegacyAuthenticate), params, out)) return false;
      ReverseIf(ReversesAnswers(port, 2), out);
      return true;
    case 4:
    case 12:
    case 5:
      return Legacy(port, LegacyCommand(type, kLegacyAuthenticate), params, out);
    default:
      return Fail(port, kErrNotSupported);
  }
}

namespace {

// The unified C4h sub-function with a fixed number of argument bytes (missing ones 00h).
bool SubFunction(CQZ_RW_Port& port, int type, uint8_t sub, const CMyByteArray& bytes, size_t count,
                 CMyByteArray& out) {
  CMyByteArray fixed(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(
                                                      std::min(count, bytes.size())));
  fixed.resize(count, 0x00);
  return Unified(port, 0xC4, Join({static_cast<uint8_t>(type), sub}, fixed), out);
}

}  // namespace

bool KeyAuthenticate(CQZ_RW_Port& port, int type, const CMyByteArray& key, CMyByteArray& out) {
  return SubFunction(port, type, 1, key, 6, out);
}

bool ReadUidWithPassword(CQZ_RW_Port& port, int type, const CMyByteArray& password,
                         CMyByteArray& out) {
  return SubFunction(port, type, 6, password, 4, out);
}

}  // namespace tw
