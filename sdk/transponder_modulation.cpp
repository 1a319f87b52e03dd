// Modulation query, switching (without traffic when nothing would change) and detection by reading
// block 0 at each candidate modulation.
#include "sdk/qz_rw_port.h"
#include "sdk/transponder_io.h"
#include "sdk/transponder_ops.h"

namespace tw {

using namespace xponder;

namespace {

bool OneOf(int v, std::initializer_list<int> set) {
  for (int s : set) {
    if (v == s) return true;
  }
  return false;
}

}  // namespace

int GetModulation(CQZ_RW_Port& port) {
  if (!IsUnified(port)) return port.ModulationCache();
  CMyByteArray answer;
  if (!Unified(port, 0xFC, CMyByteArray{}, answer)) {
    port.SetModulationCache(-1);
  } else if (!answer.empty()) {
    port.SetModulationCache(answer[0]);
  }
  return port.ModulationCache();
}

bool SetModulation(CQZ_RW_Port& port, int m) {
  const uint16_t cap = port.CapabilityWord();
  const bool accepted = (cap & kCapModulationAll) || ((cap & kCapModulationLow) && m < 2);
  if (!accepted) return true;
  if (m == port.ModulationCache()) return true;
  // FCh carries one byte; any other value would switch the reader to something else.
  if (m < 0 || m > 0xFF) return Fail(port, kErrOptionRange);
  CMyByteArray answer;
  if (!Unified(port, 0xFC, CMyByteArray{static_cast<uint8_t>(m)}, answer)) return false;
  port.SetModulationCache(m);
  return true;
}

int DetectModulation(CQZ_RW_Port& port, int type, int m) {
  if ((m & ~0x80) > 6) return Fail(port, kErrOptionRange), -1;
  if (OneOf(type, {0, 2, 4, 5, 6, 10, 12, 14, 15})) return m;
  if (type == 20) return 1;
  if (type >= 33 && type <= 39) return 3;
  if (!OneOf(type, {3, 7, 8, 9, 11, 13, 16, 17, 18, 19, 21})) return Fail(port, kErrTypeNotAccepted), -1;

  const ReaderFeatures features = Features(port);
  // The walk starts at the normalised value: a start the reader cannot switch to, or one that
  // lies outside the type's sequence, would otherwise end the walk before the others are tried.
  // A reader without some modulations folds the sequence back to 0 before it reaches the start
  // again, so every candidate is tried once at most.
  bool tried[256] = {};
  m = NormalisedStart(type, m, features);
  bool readAny = false;
  while (m >= 0 && m <= 0xFF && !tried[m]) {
    tried[m] = true;
    SetModulation(port, m);
    CMyByteArray block0;
    if (ReadBlocks(port, type, 0, 4, block0)) {
      if (ConfigurationMatches(type, m, block0)) return m;
      readAny = true;
    }
    m = NextCandidate(type, m, features);
  }
  // A tag answered, but at no modulation with its own configuration: not the expected transponder.
  // Otherwise the last read's own error says why.
  if (readAny) Fail(port, kErrNoTransponder);
  return -1;
}

}  // namespace tw
