#include "sdk/transponder_modulation_tables.h"

#include <initializer_list>

namespace tw {

namespace {

bool OneOf(int v, std::initializer_list<int> set) {
  for (int s : set) {
    if (v == s) return true;
  }
  return false;
}

bool IsAtaLike(int type) { return OneOf(type, {3, 9, 13, 21}); }
bool IsEmLike(int type) { return OneOf(type, {8, 16, 18}); }

// ATA5555: (V AND F003F0F0h) for each modulation.
bool CheckType3(int m, uint32_t v) {
  uint32_t want = 0;
  switch (m) {
    case 0: want = 0x6001F000; break;
    case 1: want = 0x6000F0E0; break;
    case 2: want = 0x60018050; break;
    case 5: want = 0x6000F000; break;
    case 6: want = 0x6001F0E0; break;
    case 7: want = 0x6001F050; break;
    case 128: want = 0x6001F080; break;
    case 129: want = 0x6000F060; break;
    case 130: want = 0x600180D0; break;
    case 133: want = 0x6000F080; break;
    case 134: want = 0x6001F060; break;
    case 135: want = 0x6001F0D0; break;
    default: return false;
  }
  return (v & 0xF003F0F0u) == want;
}

// ATA5577 in its basic mode (bit 17 clear): (V AND 1FF000h) for each modulation.
bool CheckBasicMode(int m, uint32_t v) {
  uint32_t want = 0;
  switch (m) {
    case 0: want = 0x148000; break;
    case 2: want = 0x107000; break;
    case 5: want = 0x088000; break;
    case 7: want = 0x147000; break;
    case 129: want = 0x090000; break;
    case 130: want = 0x105000; break;
    case 134: want = 0x150000; break;
    case 135: want = 0x145000; break;
    default: return false;
  }
  return (v & 0x1FF000u) == want;
}

// ATA5577 in its extended mode (bit 17 set): (V AND FFF002h), one or two accepted values.
bool CheckExtendedMode(int m, uint32_t v) {
  const uint32_t w = v & 0xFFF002u;
  switch (m) {
    case 0: return w == 0x7E8000;
    case 1: return w == 0x3F0002 || w == 0x3F8000;
    case 2: return w == 0x325002;
    case 5: return w == 0x3E8000;
    case 6: return w == 0x7F0002 || w == 0x7F8000;
    case 7: return w == 0x7E5002;
    case 128: return w == 0x7E8002;
    case 129: return w == 0x3F0000 || w == 0x3F8002;
    case 130: return w == 0x325000;
    case 133: return w == 0x3E8002;
    case 134: return w == 0x7F0000 || w == 0x7F8002;
    case 135: return w == 0x7E5000;
    default: return false;
  }
}

}  // namespace

int NormalisedStart(int type, int m, const ReaderFeatures& r) {
  const bool ext = r.Has(kCapExtendedModulation);
  if (IsAtaLike(type)) {
    if (OneOf(m, {0, 1, 134})) return m;
    if (OneOf(m, {2, 5, 7})) return ext ? m : 0;
    if (OneOf(m, {6, 128, 129, 130, 133})) return r.ExtendedModulation() ? m : 0;
    return 0;
  }
  if (type == 7) {
    if (m == 1 && ext) return 1;
    if (m == 5 && ext) return 5;
    if (m == 6) return 6;
    return 0;
  }
  if (IsEmLike(type)) {
    if (m == 1 && r.Has(kCapModulationAll)) return 1;
    if (m == 2 && ext) return 2;
    if (m == 5 && ext) return 5;
    if (m == 6) return 6;
    return 0;
  }
  if (type == 11) {
    if (m == 1 && r.Has(kCapModulationAll)) return 1;
    if (m == 2) return 2;
    return 0;
  }
  if (type == 17 || type == 19) return m == 2 ? 2 : 1;
  return 0;
}

int NextCandidate(int type, int m, const ReaderFeatures& r) {
  const bool all = r.Has(kCapModulationAll);
  const bool ext = r.Has(kCapExtendedModulation);
  const bool extMod = r.ExtendedModulation();
  if (IsAtaLike(type)) {
    switch (m) {
      case 0: return 1;
      case 1: return all ? 2 : 0;
      case 2: return ext ? 7 : 0;
      case 7: return ext ? 5 : 0;
      case 5: return ext ? 6 : 0;
      case 6: return extMod ? 128 : 0;
      case 128: return extMod ? 129 : 0;
      case 129: return extMod ? 130 : 0;
      case 130: return extMod ? 133 : 0;
      case 133: return extMod ? 134 : 0;
      case 134: return 0;
      default: return -1;
    }
  }
  if (type == 7) {
    switch (m) {
      case 0: return 1;
      case 1: return ext ? 5 : 0;
      case 5: return ext ? 6 : 0;
      case 6: return 0;
      default: return -1;
    }
  }
  if (IsEmLike(type)) {
    switch (m) {
      case 0: return 1;
      case 1: return all ? 2 : 0;
      case 2: return ext ? 5 : 0;
      case 5: return ext ? 6 : 0;
      case 6: return 0;
      default: return -1;
    }
  }
  if (type == 11) {
    switch (m) {
      case 0: return 1;
      case 1: return all ? 2 : 0;
      case 2: return 0;
      default: return -1;
    }
  }
  if (type == 17) {
    switch (m) {
      case 0: return 1;
      case 1: return all ? 2 : 5;
      case 2: return 5;
      case 5: return 1;
      case 6: return 5;
      default: return -1;
    }
  }
  if (type == 19) {
    switch (m) {
      case 1: return 2;
      case 2: return 1;
      default: return -1;
    }
  }
  return -1;
}

bool HasConfigurationCheck(int type) { return OneOf(type, {3, 9, 13, 17, 21}); }

bool ConfigurationMatches(int type, int m, const std::vector<uint8_t>& block0) {
  if (!HasConfigurationCheck(type)) return true;
  if (block0.size() != 4) return false;
  const uint32_t v = static_cast<uint32_t>(block0[0]) | static_cast<uint32_t>(block0[1]) << 8 |
                     static_cast<uint32_t>(block0[2]) << 16 |
                     static_cast<uint32_t>(block0[3]) << 24;
  switch (type) {
    case 3:
      return CheckType3(m, v);
    case 9:
      return (v & 0x20000u) != 0 ? CheckExtendedMode(m, v) : CheckBasicMode(m, v);
    case 13:
    case 21:
      return CheckBasicMode(m, v);  // m 128 has no entry there, so it fails
    case 17:
      return m != 0 && CheckBasicMode(m, v);
    default:
      return false;
  }
}

}  // namespace tw
