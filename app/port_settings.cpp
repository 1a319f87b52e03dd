#include "app/port_settings.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "shell/settings_keys.h"
#include "shell/string_table.h"

namespace tw {
namespace {

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}
// Found, and not at position 0: the tests of the original compare the find result against 0.
bool ContainsAfterStart(const std::string& text, const std::string& part) {
  const auto pos = text.find(part);
  return pos != std::string::npos && pos > 0;
}

}  // namespace

LineFormat DecodeBaudrate(int value) {
  LineFormat f;
  const int code = value % 100;
  f.baud = value - code;
  switch (code) {
    case 1: f.parity = kParityEven; break;
    case 2: f.parity = kParityOdd; break;
    case 3: f.stop = kStopTwo; break;
    default: break;
  }
  return f;
}

int EncodeBaudrate(int baud, int parity, int stop) {
  if (parity == kParityEven) return baud + 1;
  if (parity == kParityOdd) return baud + 2;
  return baud + (stop == kStopTwo ? 3 : 0);
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  }
  return true;
}

PortKind KindOfName(const std::string& name) {
  if (StartsWith(name, kUsbPrefix)) return PortKind::Usb;
  if (StartsWith(name, kLanPrefix)) return PortKind::Lan;
  return PortKind::Com;
}

void PortSettings::Load(ISettingsView& store) {
  using namespace settings;
  name = store.GetProfileString(kPort, kName, "");
  baudrate = store.GetProfileInt(kPort, kBaudrate, kDefaultBaudrate);
  timeout = store.GetProfileInt(kPort, kTimeout, 1000);
  address = store.GetProfileInt(kPort, kAdresse, 1);
  ethernet = store.GetProfileInt(kPort, kEthernetAktiv, 0) != 0;
  SetKindFromName();
}

void PortSettings::SetKindFromName() {
  const PortKind k = KindOfName(name);
  usb = k == PortKind::Usb;
  lan = k == PortKind::Lan;
}

std::vector<std::string> SplitListBuffer(const char* buf, int used) {
  std::vector<std::string> out;
  int i = 0;
  while (buf && i < used && buf[i] != '\0') {
    int end = i;
    while (end < used && buf[end] != '\0') ++end;
    out.emplace_back(buf + i, buf + end);
    i = end + 1;
  }
  return out;
}

std::vector<std::string>& InterfaceLists::Of(PortKind kind) {
  return kind == PortKind::Usb ? usb : kind == PortKind::Lan ? lan : com;
}

bool UpdateInterfaceList(std::vector<std::string>& list, const std::vector<std::string>& fresh) {
  size_t same = 0;
  while (same < list.size() && same < fresh.size() && list[same] == fresh[same]) ++same;
  if (same == list.size() && same == fresh.size()) return false;
  list.resize(same);
  list.insert(list.end(), fresh.begin() + static_cast<long>(same), fresh.end());
  return true;
}

bool RefreshInterfaceList(PortKind kind, InterfaceLists& lists, IPortBackend& backend) {
  std::vector<std::string> fresh;
  switch (kind) {
    case PortKind::Com: fresh = backend.EnumSerialPorts(); break;
    case PortKind::Usb: fresh = backend.EnumUsbPorts(); break;
    case PortKind::Lan: fresh = backend.SearchLanReaders(); break;
  }
  return UpdateInterfaceList(lists.Of(kind), fresh);
}

PortSettings LoadAndRepairPortSettings(ISettingsView& store, IPortBackend& backend,
                                       InterfaceLists& lists) {
  using namespace settings;
  PortSettings s;
  s.Load(store);
  auto writeName = [&](const std::string& n) {
    s.name = n;
    store.WriteProfileString(kPort, kName, n);
    s.SetKindFromName();
  };
  if (s.name.empty()) writeName("COM1");

  // A stale choice of kind k is replaced by the first present entry of that kind, or cleared.
  auto repair = [&](PortKind k, const std::string& prefix) {
    auto& list = lists.Of(k);
    const std::string target = s.name.substr(prefix.size());
    if (list.empty()) {
      writeName("");
    } else if (std::find(list.begin(), list.end(), target) == list.end()) {
      writeName(prefix + list.front());
    }
  };
  if (StartsWith(s.name, "/dev/") && !StartsWith(s.name, kStableSerialDir)) {
    // Kernel names follow the order of plugging in: make sure the stored one still names the
    // device that was chosen, and move a choice that has a stable name now over to it.
    RefreshInterfaceList(PortKind::Com, lists, backend);
    const StoredDeviceCheck check = CheckStoredDevicePath(s.name, lists.com);
    if (check.anotherDevice)
      s.anotherDevice = true;
    else if (!check.entry.empty() && check.entry != s.name)
      writeName(check.entry);
  } else if (StartsWith(s.name, kUsbPrefix)) {
    RefreshInterfaceList(PortKind::Usb, lists, backend);
    repair(PortKind::Usb, kUsbPrefix);
  } else if (StartsWith(s.name, kLanPrefix) && s.ethernet) {
    if (!backend.PingLanDevice(s.name.substr(std::string(kLanPrefix).size()))) {
      RefreshInterfaceList(PortKind::Lan, lists, backend);
      repair(PortKind::Lan, kLanPrefix);
    }
  }
  return s;
}

StoredDeviceCheck CheckStoredDevicePath(const std::string& stored,
                                        const std::vector<std::string>& com) {
  StoredDeviceCheck r;
  const std::string path = DevicePathOfEntry(stored);
  auto descriptionOf = [](const std::string& entry) {
    const auto open = entry.find(" [");
    if (open == std::string::npos || entry.back() != ']') return std::string();
    return entry.substr(open + 2, entry.size() - open - 3);
  };
  const std::string storedDesc = descriptionOf(stored);
  for (const std::string& e : com) {
    std::string desc = descriptionOf(e);
    if (DevicePathOfEntry(e) != path) {
      // A stable name carries the kernel name first in its description.
      if (desc == path)
        desc.clear();
      else if (StartsWith(desc, path + ", "))
        desc = desc.substr(path.size() + 2);
      else
        continue;
    }
    r.entry = e;
    r.anotherDevice = desc != storedDesc;
    return r;
  }
  return r;
}

std::vector<std::string> BuildEntries(const InterfaceLists& lists) {
  std::vector<std::string> out;
  for (const auto& c : lists.com) out.push_back(StartsWith(c, "\\\\.\\") ? c.substr(4) : c);
  for (const auto& u : lists.usb) out.push_back(kUsbPrefix + u);
  for (const auto& l : lists.lan) out.push_back(kLanPrefix + l);
  return out;
}

std::string DevicePathOfEntry(const std::string& entry) {
  const auto pos = entry.find(" [");
  return pos == std::string::npos ? entry : entry.substr(0, pos);
}

int FindEntryByPrefix(const std::vector<std::string>& entries, const std::string& name) {
  if (name.empty()) return -1;
  if (name[0] == '/') {
    const std::string path = DevicePathOfEntry(name);
    for (size_t i = 0; i < entries.size(); ++i)
      if (DevicePathOfEntry(entries[i]) == path) return static_cast<int>(i);
    return -1;
  }
  for (size_t i = 0; i < entries.size(); ++i)
    if (StartsWithNoCase(entries[i], name)) return static_cast<int>(i);
  return -1;
}

const std::vector<std::string>& SwitchableHidPrefixes() {
  // Reader families whose firmware offers both USB modes (serial numbers begin with the product
  // number and a hyphen).
  static const std::vector<std::string> prefixes = {
      "2010-", "2011-", "2012-", "2015-", "2016-", "2020-", "2021-",
      "2030-", "2031-", "2040-", "2041-", "2050-", "2060-", "2070-"};
  return prefixes;
}

bool IsSwitchableHidEntry(const std::string& name) {
  if (!StartsWith(name, kUsbPrefix) || !ContainsAfterStart(name, " HID")) return false;
  for (const auto& p : SwitchableHidPrefixes())
    if (ContainsAfterStart(name, p)) return true;
  return false;
}

bool IsVirtualComEntry(const std::string& name, bool vcomIdentity) {
  // Device paths carry no such text reliably (a product string may replace it): the USB identity
  // behind the path decides.
  if (StartsWith(name, "/")) return vcomIdentity;
  return StartsWith(name, "COM") && name.size() > 3 &&
         (ContainsAfterStart(name, " [Velkor Virtual COM") ||
          ContainsAfterStart(name, " [Kestrel Virtual COM"));
}

ModeButtons ModeButtonsFor(const std::string& name, bool vcomIdentity) {
  if (IsSwitchableHidEntry(name)) return ModeButtons::HidChecked;
  if (IsVirtualComEntry(name, vcomIdentity)) return ModeButtons::VirtualComChecked;
  return ModeButtons::Disabled;
}

std::string OpenNameOfEntry(const std::string& entry) {
  std::string n = entry;
  if (KindOfName(n) != PortKind::Com) n = n.substr(5);
  // A COM entry carries its description in brackets; the port itself is the part before it.
  if (KindOfName(entry) == PortKind::Com) {
    const auto pos = n.find(" [");
    if (pos != std::string::npos && pos > 0) n.resize(pos);
  }
  return n;
}

std::string DriverQuestionText(int mask) {
  if (mask == 0) return {};
  std::string text;
  if (mask & 1) text += LoadString(10171) + "\n";
  if (mask & 2) text += LoadString(10172) + "\n";
  text += LoadString(10173) + "\n";
  return text;
}

std::string ReaderAccessQuestionText(const std::vector<ReaderAccessProblem>& problems) {
  if (problems.empty()) return {};
  std::string text;
  for (const ReaderAccessProblem& p : problems) {
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x:%04x", p.vid & 0xFFFF, p.pid & 0xFFFF);
    const std::string reader = (p.product.empty() ? std::string() : p.product + " ") + "(" + ids +
                               ", USB " + p.device + ")";
    text += FormatString(10174, reader.c_str()) + "\n";
    switch (p.kind) {
      case ReaderAccessProblem::NoD2xxLibrary: text += LoadString(10175); break;
      case ReaderAccessProblem::NoDeviceAccess:
        text += p.group.empty() || p.group == "root"
                    ? FormatString(10177, p.node.c_str())
                    : FormatString(10176, p.node.c_str(), p.group.c_str());
        break;
      case ReaderAccessProblem::NoKernelDriver: text += LoadString(10178); break;
    }
    text += "\n\n";
  }
  return text + LoadString(10179);
}

std::string NameFromSearchResult(const std::string& address) {
  const auto pos = address.find(']');
  if (pos != std::string::npos && pos > 0) return kLanPrefix + address.substr(0, pos + 1);
  return kLanPrefix + address;
}

std::vector<FoundDevice> MergeFoundDevices(const std::vector<std::string>& readers,
                                           const std::vector<std::string>& devices) {
  std::vector<FoundDevice> out;
  for (const auto& r : readers) out.push_back({r, 1});
  for (const auto& d : devices) {
    std::string key = d;
    if (StartsWith(d, "[")) {
      const auto pos = d.find(']');
      if (pos != std::string::npos) key = d.substr(0, pos + 1);
    }
    auto it = std::find_if(out.begin(), out.end(), [&](const FoundDevice& f) { return f.text == key; });
    if (it != out.end())
      *it = {d, 1};
    else
      out.push_back({d, 2});
  }
  return out;
}

namespace {
int PortAfter(const std::string& text, size_t pos) {
  if (pos >= text.size()) return 10001;
  char* end = nullptr;
  const long v = std::strtol(text.c_str() + pos, &end, 10);
  return (end == text.c_str() + pos || v <= 0 || v > 65535) ? 10001 : static_cast<int>(v);
}
}  // namespace

LanFields ParseLanInfo(const IPortBackend::LanInfo& info) {
  LanFields f;
  if (!info.address.empty()) {
    f.mode = 1;
    const auto dash = info.address.find('-');
    f.ip = info.address.substr(0, dash);
    f.port = dash == std::string::npos ? 10001 : PortAfter(info.address, dash + 1);
  }
  const auto close = info.name.find("]-");
  if (StartsWith(info.name, "[") && close != std::string::npos) {
    f.dhcpName = info.name.substr(1, close - 1);
    if (f.mode == 0) f.port = PortAfter(info.name, close + 2);
  } else {
    f.dhcpName = info.name;
  }
  return f;
}

bool IsUsableFixedAddress(const std::string& text) {
  unsigned a, b, c, d;
  char tail;
  if (std::sscanf(text.c_str(), "%3u.%3u.%3u.%3u%c", &a, &b, &c, &d, &tail) != 4) return false;
  if (a > 255 || b > 255 || c > 255 || d > 255) return false;
  for (char ch : text)
    if (!(std::isdigit(static_cast<unsigned char>(ch)) || ch == '.')) return false;
  return (a | b | c | d) != 0;
}

std::string NewLanAddress(int mode, const std::string& ip, const std::string& dhcpName, int port) {
  const std::string base = mode == 1 ? ip : "[" + dhcpName + "]";
  return base + "-" + std::to_string(port);
}

bool RescanCounter::Next(DeviceEvent event) {
  if (event == DeviceEvent::Arrival || event == DeviceEvent::NodesChanged) {
    count_ = 1;
    return true;
  }
  // Counts 1-3 start the timer again: with the event's own scan that makes four rescans after it.
  if (count_ >= 1 && count_ <= 3) {
    ++count_;
    return true;
  }
  count_ = 0;
  return false;
}

}  // namespace tw
