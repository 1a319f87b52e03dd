#include "transport/hid_report_descriptor.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>

namespace tw {

namespace {

// A descriptor is at most this long (the kernel's own limit); anything longer is not trusted.
constexpr size_t kMaxDescriptor = 4096;
// Push may nest; a descriptor that pushes deeper than this is broken.
constexpr size_t kMaxPushDepth = 16;

struct GlobalState {
  uint32_t reportSize = 0;
  uint32_t reportCount = 0;
  uint32_t reportId = 0;
};

uint32_t ItemValue(const uint8_t* p, size_t size) {
  uint32_t v = 0;
  for (size_t i = 0; i < size; ++i) v |= static_cast<uint32_t>(p[i]) << (8 * i);
  return v;
}

int BytesOf(const std::map<uint32_t, uint64_t>& bits) {
  uint64_t longest = 0;
  for (const auto& [id, b] : bits) longest = std::max(longest, b);
  if (longest == 0) return 0;
  // Size times count comes from the device: clamp so that a hostile descriptor cannot overflow.
  const uint64_t bytes = std::min<uint64_t>((longest + 7) / 8, 1u << 20);
  return static_cast<int>(bytes) + 1;
}

}  // namespace

bool ParseHidReportDescriptor(const uint8_t* data, size_t len, HidReportLengths& out) {
  out = HidReportLengths{};
  if (!data || len == 0 || len > kMaxDescriptor) return false;
  GlobalState g;
  std::vector<GlobalState> stack;
  std::map<uint32_t, uint64_t> inputBits, outputBits;  // per report id
  size_t i = 0;
  while (i < len) {
    const uint8_t prefix = data[i];
    if (prefix == 0xFE) {  // long item: size byte, tag byte, data
      if (i + 1 >= len) return false;
      const size_t size = data[i + 1];
      if (i + 3 + size > len) return false;
      i += 3 + size;
      continue;
    }
    static constexpr size_t kSizes[4] = {0, 1, 2, 4};
    const size_t size = kSizes[prefix & 0x03];
    if (i + 1 + size > len) return false;
    const uint32_t value = ItemValue(data + i + 1, size);
    const uint8_t type = (prefix >> 2) & 0x03;  // 0 main, 1 global, 2 local
    const uint8_t tag = prefix >> 4;
    if (type == 1) {
      switch (tag) {
        case 0x7:
          g.reportSize = value;
          break;
        case 0x8:
          g.reportId = value;
          out.numbered = true;
          break;
        case 0x9:
          g.reportCount = value;
          break;
        case 0xA:
          if (stack.size() >= kMaxPushDepth) return false;
          stack.push_back(g);
          break;
        case 0xB:
          if (!stack.empty()) {
            g = stack.back();
            stack.pop_back();
          }
          break;
        default:
          break;
      }
    } else if (type == 0 && (tag == 0x8 || tag == 0x9)) {
      // Sizes come from the device: saturate far above any real report instead of wrapping.
      constexpr uint64_t kCap = uint64_t{1} << 40;
      const uint64_t bits = std::min(static_cast<uint64_t>(g.reportSize) * g.reportCount, kCap);
      uint64_t& total = (tag == 0x8 ? inputBits : outputBits)[g.reportId];
      total = std::min(total + bits, kCap);
    }
    i += 1 + size;
  }
  // Every report reaches us with its id byte first: the real id for numbered reports, 0 otherwise.
  out.input = BytesOf(inputBits);
  out.output = BytesOf(outputBits);
  return true;
}

std::vector<uint8_t> HidDescriptorForLengths(int input, int output) {
  // Usage page vendor-defined, usage 1, application collection, 8-bit fields.
  std::vector<uint8_t> d = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08};
  const auto report = [&](int length, uint8_t mainItem) {
    if (length <= 1) return;
    const int count = std::min(length - 1, 0xFFFF);
    d.insert(d.end(), {0x96, static_cast<uint8_t>(count), static_cast<uint8_t>(count >> 8), 0x09, 0x01,
                       mainItem, 0x02});
  };
  report(input, 0x81);
  report(output, 0x91);
  d.push_back(0xC0);
  return d;
}

bool ReadSysfsReportDescriptor(const std::string& devicePath, std::vector<uint8_t>& out,
                               const std::string& sysRoot) {
  out.clear();
  const size_t slash = devicePath.rfind('/');
  const std::string node = slash == std::string::npos ? devicePath : devicePath.substr(slash + 1);
  // Only a plain hidraw node name may become part of a sysfs path.
  if (node.rfind("hidraw", 0) != 0 || node.size() == 6 ||
      !std::all_of(node.begin() + 6, node.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  std::ifstream f(sysRoot + "/sys/class/hidraw/" + node + "/device/report_descriptor", std::ios::binary);
  if (!f) return false;
  char buf[kMaxDescriptor + 1];
  f.read(buf, sizeof buf);
  const std::streamsize got = f.gcount();
  if (got <= 0 || static_cast<size_t>(got) > kMaxDescriptor) return false;
  out.assign(buf, buf + got);
  return true;
}

}  // namespace tw
