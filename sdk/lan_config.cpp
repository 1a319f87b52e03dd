#include "sdk/lan_config.h"

#include <cstdio>
#include <cstring>

#include "transport/lan_datagram.h"

namespace tw {

namespace {
constexpr size_t kOutSize = 32;
constexpr uint32_t kPingPeriodMs = 100;
constexpr uint32_t kComeBackMs = 5000;
constexpr int kReopenAttempts = 21;
constexpr uint32_t kReopenPauseMs = 100;
constexpr int kWriteAttempts = 6;
constexpr uint32_t kWritePauseMs = 500;

// Decimal number at pos, like atoi (digits only, no sign); stops before it could overflow.
uint32_t Number(const std::string& s, size_t pos) {
  uint32_t v = 0;
  while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
    if (v < 100000000) v = v * 10 + static_cast<uint32_t>(s[pos] - '0');
    ++pos;
  }
  return v;
}
}  // namespace

LanAddressText ParseLanAddress(const std::string& text) {
  LanAddressText r;
  if (!text.empty() && text[0] == '[') {
    size_t close = text.find(']');
    r.name = text.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    if (close != std::string::npos) {
      size_t dash = text.find('-', close);
      if (dash != std::string::npos) r.port = Number(text, dash + 1);
    }
    return r;
  }
  size_t d1 = text.find('.');
  if (d1 == std::string::npos || d1 == 0) return r;
  size_t d2 = text.find('.', d1 + 1);
  if (d2 == std::string::npos) return r;
  size_t d3 = text.find('.', d2 + 1);
  if (d3 == std::string::npos) return r;
  r.ip[0] = static_cast<uint8_t>(Number(text, 0));
  r.ip[1] = static_cast<uint8_t>(Number(text, d1 + 1));
  r.ip[2] = static_cast<uint8_t>(Number(text, d2 + 1));
  r.ip[3] = static_cast<uint8_t>(Number(text, d3 + 1));
  size_t dash = text.find('-', d3);
  if (dash != std::string::npos) r.port = Number(text, dash + 1);
  return r;
}

namespace {
// Digits of one number from pos: 1 to maxDigits of them, value at most maxValue; pos moves on.
bool TakeNumber(const std::string& s, size_t& pos, size_t maxDigits, uint32_t minValue, uint32_t maxValue) {
  const size_t begin = pos;
  uint32_t v = 0;
  while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9' && pos - begin < maxDigits)
    v = v * 10 + static_cast<uint32_t>(s[pos++] - '0');
  return pos > begin && (pos == s.size() || s[pos] < '0' || s[pos] > '9') && v >= minValue &&
         v <= maxValue;
}

bool TakeQuad(const std::string& s, size_t& pos) {
  for (int part = 0; part < 4; ++part) {
    if (part > 0 && (pos >= s.size() || s[pos++] != '.')) return false;
    if (!TakeNumber(s, pos, 3, 0, 255)) return false;
  }
  return true;
}

bool TakePortOrEnd(const std::string& s, size_t pos) {
  if (pos == s.size()) return true;
  return s[pos] == '-' && TakeNumber(s, ++pos, 5, 1, 65535) && pos == s.size();
}
}  // namespace

bool IsDottedQuad(const std::string& text) {
  size_t pos = 0;
  return TakeQuad(text, pos) && pos == text.size();
}

bool IsLanAddressText(const std::string& text) {
  if (!text.empty() && text[0] == '[') {
    const size_t close = text.find(']');
    return close != std::string::npos && close > 1 && close - 1 <= 16 &&
           TakePortOrEnd(text, close + 1);
  }
  size_t pos = 0;
  return TakeQuad(text, pos) && TakePortOrEnd(text, pos);
}

int CountHostBits(const uint8_t mask[4]) {
  int bits = 0;
  for (int octet = 3; octet >= 0; --octet) {
    for (int bit = 0; bit < 8; ++bit) {
      if (mask[octet] & (1u << bit)) return bits;
      ++bits;
    }
  }
  return 32;
}

std::string NetMaskText(int hostBits) {
  uint32_t mask = 0;
  for (int bit = hostBits < 0 ? 0 : hostBits; bit < 32; ++bit) mask |= 1u << bit;
  char buf[20];
  std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", mask >> 24, (mask >> 16) & 0xFF, (mask >> 8) & 0xFF,
                mask & 0xFF);
  return buf;
}

bool FormatLanDeviceTexts(const CMyByteArray& rec, LanDeviceTexts& out) {
  if (rec.size() < lan::kRecordMinSize) return false;
  const std::string port = "-" + std::to_string(lan::RecordPort(rec));
  out.address = lan::RecordIsDhcp(rec) ? std::string() : lan::RecordAddress(rec) + port;
  out.name = lan::RecordDeviceName(rec) + port;
  out.netMask = NetMaskText(rec[lan::kRecHostBits]);
  out.gateway = lan::Ipv4Text(rec.data() + lan::kRecGateway);
  return true;
}

void CopyLanText(char* out, const std::string& text) {
  if (!out) return;
  size_t n = text.size() < kOutSize - 1 ? text.size() : kOutSize - 1;
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

int GetLanDeviceInfo(ILanConfigOps& ops, const std::string& name, char* outName, char* outAddress,
                     char* outNetMask, char* outGateway) {
  int h = ops.OpenConfigPort(name);
  if (h < 0) return h;
  int result = -1;
  CMyByteArray rec;
  LanDeviceTexts t;
  if (ops.QueryRecord(h, 0, rec) && FormatLanDeviceTexts(rec, t)) {
    CopyLanText(outAddress, t.address);
    if (outName)
      CopyLanText(outName, t.name);
    else if (t.address.empty() && outAddress)
      CopyLanText(outAddress, t.name);  // a DHCP device is known by its name
    CopyLanText(outNetMask, t.netMask);
    CopyLanText(outGateway, t.gateway);
    result = 0;
  }
  ops.CloseConfigPort(h, false);
  return result;
}

int SetLanDeviceConfig(ILanConfigOps& ops, const std::string& name, const std::string& newAddress,
                       const std::string& netMask, const std::string& gateway) {
  // A text that is not an address would be sent as some other address (300 wraps to 44, a part
  // missing makes 0.0.0.0): refused before anything goes out.
  if ((!newAddress.empty() && !IsLanAddressText(newAddress)) ||
      (!netMask.empty() && !IsDottedQuad(netMask)) || (!gateway.empty() && !IsDottedQuad(gateway)))
    return kLanBadText;
  int h = ops.OpenConfigPort(name);
  if (h < 0) return h;
  bool portOpen = true;
  int result = 0;

  LanAddressText target = ParseLanAddress(newAddress);
  // Where the device is found after the change: its new address, or its old name if that stays.
  const std::string reachAt = newAddress.empty() ? name : newAddress;
  uint8_t gw[4] = {0, 0, 0, 0};
  if (!gateway.empty()) std::memcpy(gw, ParseLanAddress(gateway).ip, 4);
  uint8_t mask[4] = {0, 0, 0, 0};
  bool maskGiven = false;
  int hostBits = 0;
  if (!netMask.empty()) {
    std::memcpy(mask, ParseLanAddress(netMask).ip, 4);
    hostBits = CountHostBits(mask);
    maskGiven = true;
  }

  CMyByteArray rec;
  if (!ops.QueryRecord(h, 0, rec) || rec.size() < lan::kRecordMinSize) {
    result = -1;
  } else {
    // Empty texts mean unchanged: the address and the gateway stay as the record holds them.
    if (newAddress.empty()) std::memcpy(target.ip, rec.data(), 4);
    if (gateway.empty()) std::memcpy(gw, rec.data() + lan::kRecGateway, 4);
    if (!maskGiven) {
      // The extended IP-SETUP carries a mask in any case: the one the device has.
      const int bits = rec[lan::kRecHostBits];
      const uint32_t m = bits >= 32 ? 0 : ~uint32_t{0} << bits;
      for (int i = 0; i < 4; ++i) mask[i] = static_cast<uint8_t>(m >> (24 - 8 * i));
    }
    const bool addressChanged = std::memcmp(target.ip, rec.data(), 4) != 0;
    const std::string currentName = lan::RecordNameChars(rec);
    bool settingsChanged = (target.port != 0 && target.port != lan::RecordPort(rec)) ||
                           (maskGiven && hostBits != rec[lan::kRecHostBits]) ||
                           std::memcmp(gw, rec.data() + lan::kRecGateway, 4) != 0 ||
                           (!target.name.empty() && target.name != currentName);

    if (addressChanged || settingsChanged) {
      CMyByteArray id;
      if (ops.IdentifyDevice(h, id) && id.size() >= lan::kIdentifyMinSize) {
        const bool ourMaker = std::memcmp(id.data() + lan::kIdMakerTag, kLanMakerTag, 3) == 0;
        if (ourMaker && settingsChanged) {
          // hardware address, IP, port (low byte first), mask, gateway, name (16, zero-padded)
          CMyByteArray data(36, 0);
          std::memcpy(data.data(), id.data() + lan::kIdHardwareAddress, 6);
          std::memcpy(data.data() + 6, target.ip, 4);
          data[10] = static_cast<uint8_t>(target.port & 0xFF);
          data[11] = static_cast<uint8_t>((target.port >> 8) & 0xFF);
          std::memcpy(data.data() + 12, mask, 4);
          std::memcpy(data.data() + 16, gw, 4);
          const std::string n = target.name.empty() ? currentName : target.name;
          std::memcpy(data.data() + 20, n.data(), n.size() < 16 ? n.size() : 16);
          ops.SendIpSetup(h, true, data);
          settingsChanged = false;
        } else {
          CMyByteArray data(6, 0);
          data[0] = id[24];
          data[1] = id[25];
          std::memcpy(data.data() + 2, target.ip, 4);
          ops.SendIpSetup(h, false, data);
        }
        ops.CloseConfigPort(h, false);
        portOpen = false;
        const uint32_t start = ops.Now();
        bool back = false;
        while (!(back = ops.PingLanDevice(reachAt) != 0) && ops.Now() - start < kComeBackMs)
          ops.Sleep(kPingPeriodMs);
        // Without a further step the answer at the new address is the only proof of success.
        if (!back && !settingsChanged) result = -1;
        if (settingsChanged) {
          for (int attempt = 0; attempt < kReopenAttempts; ++attempt) {
            if (attempt > 0) ops.Sleep(kReopenPauseMs);
            h = ops.OpenConfigPort(reachAt);
            if (h > 0) break;
          }
          if (h <= 0) return h < 0 ? h : -1;
          portOpen = true;
        }
      } else if (!settingsChanged) {
        // Only the address was to change and the device did not identify: nothing was sent.
        result = -1;
      }
      if (settingsChanged) {
        std::memcpy(rec.data(), target.ip, 4);
        if (maskGiven) rec[lan::kRecHostBits] = static_cast<uint8_t>(hostBits);
        std::memcpy(rec.data() + lan::kRecGateway, gw, 4);
        if (target.port != 0) {
          rec[lan::kRecPort] = static_cast<uint8_t>(target.port & 0xFF);
          rec[lan::kRecPort + 1] = static_cast<uint8_t>((target.port >> 8) & 0xFF);
        }
        if (!target.name.empty()) {
          std::string n = target.name;
          n.resize(16, '\0');
          std::memcpy(rec.data() + lan::kRecNameLow, n.data(), 8);
          std::memcpy(rec.data() + lan::kRecNameHigh, n.data() + 8, 8);
          CMyByteArray rec3;
          if (ops.QueryRecord(h, 3, rec3) && rec3.size() == lan::kNameCheckSize) {
            std::memcpy(rec3.data() + lan::kRec3NameHigh, n.data() + 8, 8);
            ops.WriteRecord(h, 3, rec3);  // the second name copy is best effort
          }
        }
        result = -1;
        for (int attempt = 0; attempt < kWriteAttempts; ++attempt) {
          if (attempt > 0) ops.Sleep(kWritePauseMs);
          if (ops.WriteRecord(h, 0, rec)) {
            result = 0;
            break;
          }
        }
      }
    }
  }
  if (portOpen) ops.CloseConfigPort(h, true);
  return result;
}

}  // namespace tw
