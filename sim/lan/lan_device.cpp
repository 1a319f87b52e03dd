#include "sim/lan/lan_device.h"

#include <algorithm>
#include <cstring>

namespace tw::sim {

namespace {
constexpr size_t kName9 = 84, kProduct = 93, kName1 = 112, kRec3Name9 = 102;
constexpr size_t kMaxRecord = 505;  // what fits into one datagram after the header

void PutText(std::vector<uint8_t>& rec, size_t at, const std::string& s, size_t max) {
  for (size_t i = 0; i < max && at + i < rec.size(); ++i)
    rec[at + i] = i < s.size() ? static_cast<uint8_t>(s[i]) : 0;
}
}  // namespace

SimLanDevice::SimLanDevice(const LanDeviceConfig& cfg) : cfg_(cfg) {
  for (auto& r : records_) {
    r.assign(kRecordSize, 0);
    // Every record carries the product name where record 0 has it; the name check reads record 2.
    PutText(r, kProduct, cfg.productName, kName1 - kProduct);
  }
  auto& r0 = records_[0];
  if (!cfg.dhcp) std::copy(cfg.address.begin(), cfg.address.end(), r0.begin());
  r0[6] = cfg.hostBits;
  std::copy(cfg.gateway.begin(), cfg.gateway.end(), r0.begin() + 12);
  r0[20] = static_cast<uint8_t>(cfg.dataPort & 0xFF);
  r0[21] = static_cast<uint8_t>(cfg.dataPort >> 8);
  SetName(cfg.deviceName);
  active_.address = cfg.address;
  active_.hostBits = cfg.hostBits;
  active_.dataPort = cfg.dataPort;
}

void SimLanDevice::SetName(const std::string& name) {
  std::string n = name.substr(0, std::min<size_t>(name.size(), 16));
  PutText(records_[0], kName1, n.substr(0, std::min<size_t>(n.size(), 8)), 8);
  PutText(records_[0], kName9, n.size() > 8 ? n.substr(8) : std::string(), 8);
  PutText(records_[3], kRec3Name9, n.size() > 8 ? n.substr(8) : std::string(), 8);
}

void SimLanDevice::Handle(const uint8_t* data, size_t len, std::vector<uint8_t>& reply) {
  reply.clear();
  if (len < 4) return;
  const uint8_t code = data[3];
  auto answer = [&](uint8_t c, const std::vector<uint8_t>& payload) {
    reply = {0x00, 0x00, 0x00, c};
    reply.insert(reply.end(), payload.begin(), payload.end());
  };

  if (code == 0xF6) {
    Log("IDENTIFY");
    std::vector<uint8_t> id(32, 0);
    PutText(id, 11, cfg_.makerTag, 3);
    std::copy(cfg_.mac.begin(), cfg_.mac.end(), id.begin() + 20);
    answer(0xF7, id);
    return;
  }
  int readN = code == 0xF8 ? 0 : (code >= 0xE1 && code <= 0xEF ? code - 0xE0 : -1);
  if (readN >= 0) {
    Log("READ " + std::to_string(readN));
    std::vector<uint8_t> rec = records_[static_cast<size_t>(readN)];
    if (readN == 0) {
      rec.resize(cfg_.record0Size, 0);
      // A DHCP device shows 0.0.0.0 in the record but keeps the address it was given.
    }
    answer(readN == 0 ? 0xF9 : static_cast<uint8_t>(0xD0 + readN), rec);
    return;
  }
  int writeN = code == 0xFD ? 0 : (code >= 0xC1 && code <= 0xCF ? code - 0xC0 : -1);
  if (writeN >= 0) {
    Log("WRITE " + std::to_string(writeN));
    size_t n = std::min(len - 4, kMaxRecord);
    records_[static_cast<size_t>(writeN)].assign(data + 4, data + 4 + n);
    if (records_[static_cast<size_t>(writeN)].size() < kRecordSize)
      records_[static_cast<size_t>(writeN)].resize(kRecordSize, 0);
    answer(writeN == 0 ? 0xFB : static_cast<uint8_t>(0xB0 + writeN), {});
    return;
  }
  if (code == 0xFC) {
    if (IpSetup(data + 4, len - 4)) restartPending_ = true;
    return;
  }
  if (code == 0x03 && len >= 6 && data[4] == 'X' && data[5] == '3') {
    Log("RESET");
    restartPending_ = true;
  }
}

bool SimLanDevice::IpSetup(const uint8_t* d, size_t len) {
  static const char kMarker[] = "IP-SETUP";
  if (len < 10 || std::memcmp(d, kMarker, 8) != 0) return false;
  const bool extended = d[8] == 'E' && d[9] == 'X';
  d += 10;
  len -= 10;
  auto& r0 = records_[0];
  if (extended) {
    if (len < 36 || !std::equal(cfg_.mac.begin(), cfg_.mac.end(), d)) return false;
    Log("IPSETUP EXT");
    std::copy(d + 6, d + 10, r0.begin());
    uint16_t port = static_cast<uint16_t>(d[10] | (d[11] << 8));
    if (port != 0) {
      r0[20] = d[10];
      r0[21] = d[11];
    }
    uint32_t mask = (uint32_t(d[12]) << 24) | (uint32_t(d[13]) << 16) | (uint32_t(d[14]) << 8) | d[15];
    if (mask != 0) {
      uint8_t bits = 0;
      while (bits < 32 && !(mask & (1u << bits))) ++bits;
      r0[6] = bits;
    }
    std::copy(d + 16, d + 20, r0.begin() + 12);
    std::string name;
    for (size_t i = 0; i < 16 && d[20 + i]; ++i) name.push_back(static_cast<char>(d[20 + i]));
    if (!name.empty()) SetName(name);
    return true;
  }
  // Short form: the last two bytes of the hardware address, then the new address.
  if (len < 6 || d[0] != cfg_.mac[4] || d[1] != cfg_.mac[5]) return false;
  Log("IPSETUP SHORT");
  std::copy(d + 2, d + 6, r0.begin());
  return true;
}

void SimLanDevice::CompleteRestart() {
  restartPending_ = false;
  const auto& r0 = records_[0];
  bool dhcp = r0[0] == 0 && r0[1] == 0 && r0[2] == 0 && r0[3] == 0;
  // With DHCP the device keeps the address it holds (the lease stays the same).
  if (!dhcp) std::copy(r0.begin(), r0.begin() + 4, active_.address.begin());
  if (r0[6] <= 32) active_.hostBits = r0[6];
  uint16_t port = static_cast<uint16_t>(r0[20] | (r0[21] << 8));
  if (port != 0) active_.dataPort = port;
  Log("UP");
}

}  // namespace tw::sim
