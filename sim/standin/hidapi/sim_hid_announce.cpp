#include "sim/standin/hidapi/sim_hid_announce.h"

#include "sim/core/sim_port_registry.h"

#include <algorithm>
#include <cctype>

namespace tw::sim {

bool SimHidAnnouncement::ValidDevice(const std::string& device) {
  int fields = 1;
  for (unsigned char c : device) {
    if (c == ':') ++fields;
    // The entry is one line of a list separated by ';' and '='.
    else if (!std::isprint(c) || c == ';' || c == '=')
      return false;
  }
  if (fields != 3 && fields != 5) return false;
  const size_t a = device.find(':'), b = device.find(':', a + 1);
  auto hex = [](const std::string& t) {
    return !t.empty() && t.size() <= 4 && t.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
  };
  return hex(device.substr(0, a)) && hex(device.substr(a + 1, b - a - 1));
}

bool SimHidAnnouncement::Announce(const std::string& device, const std::string& ptyPath, std::string& error) {
  std::string entry = device;
  if (std::count(device.begin(), device.end(), ':') == 2) entry += ":9:9";
  return WriteAnnouncement(".hid", entry + "=" + ptyPath + "\n", "the HID reader", fd_, path_, error);
}

}  // namespace tw::sim
