// The parts of the listing that are the same on every platform: entry order, reader product
// numbers and the FTDI device list.
#include "transport/port_enum.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "transport/usb_serial_port.h"

namespace tw {
namespace {

// A bogus library could report any count; more FTDI devices than this are not plausible.
constexpr d2xx::DWORD kMaxD2xxDevices = 1024;

std::string DevicePath(const std::string& entry) {
  const size_t cut = entry.find(" [");
  return cut == std::string::npos ? entry : entry.substr(0, cut);
}

}  // namespace

bool StartsWithNoCase(const std::string& s, const char* prefix) {
  const size_t n = std::strlen(prefix);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(s[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  return true;
}

bool IsMakersName(const std::string& s) { return StartsWithNoCase(s, "Velkor") || StartsWithNoCase(s, "Kestrel"); }

bool StartsWithReaderProductNumber(const std::string& entry) {
  if (entry.size() < 4) return false;
  int n = 0;
  for (size_t i = 0; i < 4; ++i) {
    const unsigned char c = static_cast<unsigned char>(entry[i]);
    if (!std::isdigit(c)) return false;
    n = n * 10 + (c - '0');
  }
  return IsReaderProductNumber(n);
}

bool NaturalLess(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const bool da = std::isdigit(static_cast<unsigned char>(a[i]));
    const bool db = std::isdigit(static_cast<unsigned char>(b[j]));
    if (da && db) {
      // Compare digit runs by value: skip leading zeros, then by length, then digit by digit.
      size_t ia = i, jb = j;
      while (ia < a.size() && a[ia] == '0') ++ia;
      while (jb < b.size() && b[jb] == '0') ++jb;
      size_t ea = ia, eb = jb;
      while (ea < a.size() && std::isdigit(static_cast<unsigned char>(a[ea]))) ++ea;
      while (eb < b.size() && std::isdigit(static_cast<unsigned char>(b[eb]))) ++eb;
      if (ea - ia != eb - jb) return ea - ia < eb - jb;
      const int c = a.compare(ia, ea - ia, b, jb, eb - jb);
      if (c != 0) return c < 0;
      i = ea;
      j = eb;
      continue;
    }
    if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
    ++i;
    ++j;
  }
  return a.size() - i < b.size() - j;
}

void SortPortEntries(std::vector<std::string>& entries) {
  std::stable_sort(entries.begin(), entries.end(), [](const std::string& x, const std::string& y) {
    return NaturalLess(DevicePath(x), DevicePath(y));
  });
}

void AppendD2xxSerials(const d2xx::FT_DEVICE_LIST_INFO_NODE* nodes, size_t count,
                       std::vector<std::string>& list) {
  for (size_t i = 0; i < count; ++i) {
    const d2xx::FT_DEVICE_LIST_INFO_NODE& node = nodes[i];
    // A handle means the device is open in this process.
    if (node.ftHandle != nullptr) continue;
    const size_t len = strnlen(node.SerialNumber, sizeof node.SerialNumber);
    if (len == 0) continue;
    list.emplace_back(node.SerialNumber, len);
  }
}

void CUSBSerialPort::EnumerateD2xxSerials(std::vector<std::string>& list) {
  LoadD2xxLibrary();
  d2xx::DWORD count = 0;
  if (FtCreateDeviceInfoList(&count) != d2xx::FT_OK || count == 0) return;
  if (count > kMaxD2xxDevices) count = kMaxD2xxDevices;
  std::vector<d2xx::FT_DEVICE_LIST_INFO_NODE> nodes(count);
  d2xx::DWORD got = count;
  if (FtGetDeviceInfoList(nodes.data(), &got) != d2xx::FT_OK) return;
  // The library reports how many nodes it filled; never read past what was allocated.
  AppendD2xxSerials(nodes.data(), std::min<size_t>(got, nodes.size()), list);
}

}  // namespace tw
