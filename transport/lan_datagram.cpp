#include "transport/lan_datagram.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace tw::lan {

uint8_t ReadRecordCode(int n) { return n == 0 ? kReadRecord0 : static_cast<uint8_t>(0xE0 + n); }
uint8_t ReadRecordAnswerCode(int n) {
  return n == 0 ? kReadRecord0Answer : static_cast<uint8_t>(0xD0 + n);
}
uint8_t WriteRecordCode(int n) { return n == 0 ? kWriteRecord0 : static_cast<uint8_t>(0xC0 + n); }
uint8_t WriteRecordAnswerCode(int n) {
  return n == 0 ? kWriteRecord0Answer : static_cast<uint8_t>(0xB0 + n);
}

Bytes ReadRecordRequest(int n) { return {0x00, 0x01, 0x00, ReadRecordCode(n)}; }

Bytes WriteRecordRequest(int n, const Bytes& record) {
  // Record 0 is written with the "00 00 00" header, the others with "00 01 00".
  Bytes req{0x00, static_cast<uint8_t>(n == 0 ? 0x00 : 0x01), 0x00, WriteRecordCode(n)};
  req.insert(req.end(), record.begin(), record.end());
  return req;
}

Bytes IdentifyRequest() { return {0x00, 0x01, 0x00, kIdentify}; }

Bytes IpSetupRequest(bool extended, const Bytes& data) {
  Bytes req{0x00, 0x00, 0x00, kIpSetup, 'I', 'P', '-', 'S', 'E', 'T', 'U', 'P'};
  if (extended) {
    req.push_back('E');
    req.push_back('X');
  } else {
    req.push_back(0x00);
    req.push_back(0x00);
  }
  req.insert(req.end(), data.begin(), data.end());
  return req;
}

Bytes ResetRequest() { return {0x00, 0x00, 0x00, kReset, 'X', '3'}; }

std::string Ipv4Text(const uint8_t* b) {
  char buf[20];
  std::snprintf(buf, sizeof buf, "%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
  return buf;
}

bool DecodeQueued(const uint8_t* data, size_t len, Datagram& out) {
  if (len < 4 + kHeaderSize) return false;
  out.sender = Ipv4Text(data);
  out.code = data[4 + 3];
  out.payload.assign(data + 4 + kHeaderSize, data + len);
  return true;
}

bool ParseIpv4(const std::string& text, uint8_t out[4]) {
  int part = 0;
  unsigned value = 0;
  int digits = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    char c = i < text.size() ? text[i] : '\0';
    if (c >= '0' && c <= '9') {
      value = value * 10 + static_cast<unsigned>(c - '0');
      if (++digits > 3 || value > 255) return false;
    } else if (c == '.' || c == '\0') {
      if (digits == 0 || part > 3) return false;
      out[part++] = static_cast<uint8_t>(value);
      value = 0;
      digits = 0;
      if (c == '\0') break;
    } else {
      return false;
    }
  }
  return part == 4;
}

std::string RecordAddress(const Bytes& rec) {
  if (rec.size() < kRecAddress + 4) return "0.0.0.0";
  return Ipv4Text(rec.data() + kRecAddress);
}

uint32_t RecordPort(const Bytes& rec) {
  if (rec.size() < kRecPort + 2) return 0;
  return static_cast<uint32_t>(rec[kRecPort]) | (static_cast<uint32_t>(rec[kRecPort + 1]) << 8);
}

bool RecordIsDhcp(const Bytes& rec) {
  if (rec.size() < 4) return true;
  return rec[0] == 0 && rec[1] == 0 && rec[2] == 0 && rec[3] == 0;
}

namespace {
// Up to max characters from offset, stopping at the first zero byte or the record's end.
std::string Field(const Bytes& rec, size_t offset, size_t max) {
  std::string s;
  for (size_t i = offset; i < rec.size() && i < offset + max && rec[i] != 0; ++i)
    s.push_back(static_cast<char>(rec[i]));
  return s;
}
}  // namespace

std::string RecordNameChars(const Bytes& rec) {
  return Field(rec, kRecNameLow, 8) + Field(rec, kRecNameHigh, 8);
}

std::string RecordDeviceName(const Bytes& rec) { return "[" + RecordNameChars(rec) + "]"; }

std::string RecordProductName(const Bytes& rec) {
  // An unterminated name ends with the record rather than running past it.
  return Field(rec, kRecProduct, rec.size());
}

bool IsReaderProduct(const Bytes& rec) {
  std::string p = RecordProductName(rec);
  if (p.size() < 3) return false;
  return std::toupper(static_cast<unsigned char>(p[0])) == 'Q' &&
         std::toupper(static_cast<unsigned char>(p[1])) == 'Z' && p[2] == '-';
}

std::string DiscoveryEntry(const Bytes& rec, const std::string& sender) {
  std::string addr = RecordAddress(rec);
  std::string port = "-" + std::to_string(RecordPort(rec));
  if (addr == sender) return addr + port;
  return RecordDeviceName(rec) + sender + port;
}

void SplitTarget(const std::string& name, std::string& host, uint32_t& port) {
  size_t dash = name.rfind('-');
  if (dash == std::string::npos) {
    host = name;
    port = kDefaultDataPort;
    return;
  }
  host = name.substr(0, dash);
  // Like atoi: leading digits only; anything else reads as 0 and fails to connect later.
  uint32_t v = 0;
  for (size_t i = dash + 1; i < name.size() && name[i] >= '0' && name[i] <= '9'; ++i) {
    v = v * 10 + static_cast<uint32_t>(name[i] - '0');
    if (v > 0xFFFFFF) break;  // far beyond any port; stop before it can wrap
  }
  port = v;
}

std::string BracketPart(const std::string& name) {
  size_t open = name.find('[');
  if (open == std::string::npos) return {};
  size_t close = name.find(']', open);
  if (close == std::string::npos) return name.substr(open);
  return name.substr(open, close - open + 1);
}

std::string EntryHost(const std::string& entry) {
  std::string host;
  uint32_t port = 0;
  SplitTarget(entry, host, port);
  if (!host.empty() && host[0] == '[') {
    size_t close = host.find(']');
    host = close == std::string::npos ? std::string() : host.substr(close + 1);
  }
  return host;
}

bool IsLanTargetName(const std::string& name) {
  if (name.empty()) return false;
  if (name[0] == '[') return true;
  size_t dot = name.find('.', 1);
  for (int more = 0; more < 2 && dot != std::string::npos; ++more) dot = name.find('.', dot + 1);
  return dot != std::string::npos;
}

void InsertSorted(std::vector<std::string>& list, const std::string& entry) {
  auto it = std::lower_bound(list.begin(), list.end(), entry);
  if (it != list.end() && *it == entry) return;
  list.insert(it, entry);
}

}  // namespace tw::lan
