#include "sdk/device_types.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace tw {

uint8_t RevisionFromChar(uint8_t c) {
  if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
  if (c >= 'A' && c <= 'Z') return static_cast<uint8_t>(c - 'A' + 10);
  if (c >= 'a' && c <= 'z') return static_cast<uint8_t>(c - 'a' + 36);
  return 255;
}

int HexTypeCode(const uint8_t* data, size_t len) {
  int v = 0;
  for (size_t i = 0; i < len && i < 3; ++i) {
    const uint8_t c = data[i];
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else break;
    v = v * 16 + d;
  }
  return v;
}

uint16_t CapabilityWord(int h, int f) {
  const int family = h & 0xFF0;
  const int variant = h & 0x00F;
  (void)variant;
  auto legacyFamily = [&](int extendedCode) -> uint16_t {
    if (f < 7) return 0x0001;
    if (h != extendedCode) return 0x0003;
    if (f <= 12) return 0x0013;
    if (f == 13) return 0x0033;
    return 0x0073;
  };
  if (h == 0x001) return 0x0010;
  if (h <= 0x010) return 0x0000;
  if (family == 0x020) return legacyFamily(0x029);
  if (h == 0x039) return 0x0073;
  if (family == 0x040) return 0x0073;
  if (family == 0x050) return (h == 0x053 || h == 0x054) ? 0x07F3 : 0x0303;
  if (family == 0x540) return (h == 0x543 || h == 0x544) ? 0x07F3 : 0x0303;
  if (family == 0x060) return legacyFamily(0x069);
  if (h == 0x081) return 0x0003;
  if (family == 0x100) return h == 0x109 ? 0x0073 : 0x0003;
  if (family == 0x210) {
    if (h != 0x219) return 0x0003;
    return f < 14 ? 0x0033 : 0x0073;
  }
  if (family == 0x240) {
    const bool enhanced = h == 0x243 || h == 0x244 || h == 0x245;
    uint16_t w = enhanced ? 0x01F3 : 0x0103;
    if (f >= 3) w |= 0x0200;
    if (enhanced && f >= 38) w |= 0x0400;
    return w;
  }
  if (family == 0x250) {
    uint16_t w = (h == 0x253 || h == 0x254) ? 0x01F3 : 0x0103;
    if (f >= 3) w |= 0x0200;
    return w;
  }
  if (family == 0x520 || family == 0x530) return 0x0103;
  if (h == 0x271) return 0x0003;
  if (h == 0x273) return 0x0103;
  if (h == 0x231) return 0x03F3;
  if (family == 0x280) return (h == 0x283 || h == 0x284) ? 0x03F3 : 0x0303;
  if (family == 0x290) return (h == 0x293 || h == 0x294) ? 0x07F3 : 0x0303;
  if (family == 0x550) return (h == 0x553 || h == 0x554 || h == 0x555) ? 0x07F3 : 0x0303;
  if (family == 0x560) return (h == 0x563 || h == 0x564 || h == 0x565) ? 0x07F3 : 0x0303;
  if (family == 0x570) return (h == 0x573 || h == 0x574 || h == 0x575) ? 0x07F3 : 0x0303;
  return 0x0000;
}

bool CanWrite(int h) {
  const int family = h & 0xFF0;
  const int variant = h & 0x00F;
  const bool odd = h & 1;
  const bool rwVariant = variant >= 2 && variant <= 4;
  if (h == 0x001 || h <= 0x010) return true;
  if (family == 0x020) return odd;
  if (h == 0x039) return true;
  if (family == 0x040) return odd;
  if (family == 0x050) return rwVariant;
  if (family == 0x060) return odd;
  if (h == 0x081) return true;
  if (family == 0x100 || family == 0x210) return odd;
  if (family == 0x230) return variant > 1;
  if (family == 0x240 || family == 0x250 || family == 0x520 || family == 0x530) return rwVariant;
  if (h == 0x271 || h == 0x273) return true;
  if (family == 0x280 || family == 0x290 || family == 0x550 || family == 0x560 ||
      family == 0x570)
    return rwVariant;
  return false;
}

ReaderIdentity EvaluateVersion(const CMyByteArray& answer) {
  ReaderIdentity id;
  if (answer.size() == 4) {
    id.revision = RevisionFromChar(answer[3]);
    id.typeCode = HexTypeCode(answer.data(), 3);
    id.capabilityWord = CapabilityWord(id.typeCode, id.revision);
  } else if (answer.size() > 4) {
    // A text answer comes from a read/write unit of the 240 family.
    id.typeCode = 0x242;
    id.revision = 3;
    id.capabilityWord = 0x0103;
  }
  return id;
}

bool IsWellFormedVersionAnswer(const CMyByteArray& a) {
  const auto hex = [](uint8_t c) { return std::isxdigit(c) != 0; };
  if (a.size() == 4) return std::all_of(a.begin(), a.begin() + 3, hex) && RevisionFromChar(a[3]) != 255;
  return a.size() > 4 && std::all_of(a.begin(), a.end(), [](uint8_t c) {
           return (c >= 0x20 && c < 0x7F) || c == '\r' || c == '\n' || c == '\t';
         });
}

namespace {
// Each name fits the 30-byte buffer (29 characters and the NUL) that the application passes.
const ModelRow kModels[] = {
    {0x001, "QZ-001 desktop programmer"},
    {0x002, "QZ-002 desktop programmer 2"},
    {0x003, "QZ-003 desktop programmer 3"},
    {0x010, "QZ-010 base module"},
    {0x011, "QZ-011 compact reader"},
    {0x021, "QZ-021 OEM R/W module"},
    {0x022, "QZ-022 OEM reader"},
    {0x023, "QZ-023 OEM R/W module rev."},
    {0x024, "QZ-024 OEM reader rev."},
    {0x025, "QZ-025 OEM R/W module 134kHz"},
    {0x029, "QZ-029 OEM R/W module multi"},
    {0x031, "QZ-031 panel R/W unit"},
    {0x039, "QZ-039 panel R/W unit multi"},
    {0x041, "QZ-041 housing R/W unit"},
    {0x044, "QZ-044 housing reader"},
    {0x045, "QZ-045 housing R/W 134kHz"},
    {0x049, "QZ-049 housing R/W multi"},
    {0x050, "QZ-050 base unit (no RF)"},
    {0x051, "QZ-051 reader"},
    {0x052, "QZ-052 read/write unit"},
    {0x053, "QZ-053 read/write unit enh."},
    {0x054, "QZ-054 read/write unit 134kHz"},
    {0x055, "QZ-055 reader 134kHz"},
    {0x061, "QZ-061 industrial R/W head"},
    {0x064, "QZ-064 industrial reader head"},
    {0x065, "QZ-065 ind. R/W head 134kHz"},
    {0x069, "QZ-069 ind. R/W head multi"},
    {0x071, "QZ-071 antenna reader"},
    {0x081, "QZ-081 handheld R/W unit"},
    {0x109, "QZ-109 module R/W unit multi"},
    {0x211, "QZ-211 USB R/W stick"},
    {0x214, "QZ-214 USB reader stick"},
    {0x215, "QZ-215 USB R/W stick 134kHz"},
    {0x219, "QZ-219 USB R/W stick multi"},
    {0x231, "QZ-231 desktop R/W station"},
    {0x240, "QZ-240 base unit (no RF)"},
    {0x241, "QZ-241 reader"},
    {0x242, "QZ-242 read/write unit"},
    {0x243, "QZ-243 read/write unit enh."},
    {0x244, "QZ-244 read/write unit 134kHz"},
    {0x245, "QZ-245 reader 134kHz"},
    {0x250, "QZ-250 compact base (no RF)"},
    {0x251, "QZ-251 compact reader"},
    {0x252, "QZ-252 compact R/W unit"},
    {0x253, "QZ-253 compact R/W unit enh."},
    {0x254, "QZ-254 compact R/W 134kHz"},
    {0x255, "QZ-255 compact reader 134kHz"},
    {0x522, "QZ-522 serial R/W unit"},
    {0x532, "QZ-532 RS-485 R/W unit"},
    {0x271, "QZ-271 wall R/W terminal"},
    {0x273, "QZ-273 wall R/W terminal enh."},
    {0x284, "QZ-284 gate R/W unit"},
    {0x290, "QZ-290 network base unit"},
    {0x291, "QZ-291 network reader"},
    {0x293, "QZ-293 network R/W unit enh."},
    {0x294, "QZ-294 network R/W 134kHz"},
    {0x541, "QZ-541 HID reader"},
    {0x542, "QZ-542 HID R/W unit"},
    {0x543, "QZ-543 HID R/W unit enh."},
    {0x544, "QZ-544 HID R/W unit 134kHz"},
    {0x545, "QZ-545 HID reader 134kHz"},
    {0x550, "QZ-550 Ethernet base (no RF)"},
    {0x551, "QZ-551 Ethernet reader"},
    {0x552, "QZ-552 Ethernet R/W unit"},
    {0x553, "QZ-553 Ethernet R/W unit enh."},
    {0x554, "QZ-554 Ethernet R/W 134kHz"},
    {0x555, "QZ-555 Ethernet reader 134kHz"},
    {0x560, "QZ-560 long-range base unit"},
    {0x561, "QZ-561 long-range reader"},
    {0x562, "QZ-562 long-range R/W unit"},
    {0x563, "QZ-563 long-range R/W enh."},
    {0x564, "QZ-564 long-range R/W 134kHz"},
    {0x565, "QZ-565 long-range rdr 134kHz"},
    {0x570, "QZ-570 ind. Ethernet base"},
    {0x571, "QZ-571 ind. Ethernet reader"},
    {0x572, "QZ-572 ind. Ethernet R/W unit"},
    {0x573, "QZ-573 ind. Ethernet R/W enh."},
};
static_assert(sizeof(kModels) / sizeof(kModels[0]) == 77, "the model table has 77 rows");
}  // namespace

const ModelRow* ModelTable(size_t* count) {
  *count = sizeof(kModels) / sizeof(kModels[0]);
  return kModels;
}

std::string ModelName(const CMyByteArray& answer) {
  if (answer.size() < 3) return "---";
  const int code = HexTypeCode(answer.data(), 3);
  for (const ModelRow& row : kModels)
    if (row.code == code) return row.name;
  return std::string("QZ-#") + std::string(answer.begin(), answer.begin() + 3);
}

std::string FirmwareText(int revision) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "FW V%d.%02d", 1, revision);
  return buf;
}

}  // namespace tw
