#include "transport/usb_sysfs.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "platform/cp1252.h"

namespace tw {
namespace {

// USB strings are shown in a list; longer ones are cut rather than carried along.
constexpr size_t kMaxUsbString = 126;
// A tty sits at most this many folders below its USB device (port device, interface, device).
constexpr int kMaxUsbLevels = 4;

struct DirCloser {
  void operator()(DIR* d) const { closedir(d); }
};
using DirPtr = std::unique_ptr<DIR, DirCloser>;

bool IsDir(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

std::string RealPath(const std::string& path) {
  char buf[PATH_MAX];
  return realpath(path.c_str(), buf) ? std::string(buf) : std::string();
}

// Kernel device names are short and plain; anything else is not taken as a device path.
bool PlainDeviceName(const std::string& name) {
  if (name.empty() || name.size() > 64 || name[0] == '.') return false;
  for (unsigned char c : name)
    if (!std::isalnum(c) && c != '_' && c != '-' && c != '.' && c != '!') return false;
  return true;
}

std::string CleanUsbString(const std::string& utf8) {
  std::string s = Utf8ToCp1252(utf8);
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  while (!s.empty() && s.back() == ' ') s.pop_back();
  if (s.size() > kMaxUsbString) s.resize(kMaxUsbString);
  return s;
}

std::optional<UsbIdentity> UsbDeviceAbove(const std::string& root, const std::string& ttyDir) {
  std::string dir = RealPath(ttyDir + "/device");
  const std::string top = RealPath(UnderRoot(root, "/sys"));
  if (dir.empty() || top.empty()) return std::nullopt;
  for (int level = 0; level < kMaxUsbLevels; ++level) {
    // Never leave the tree we were pointed at.
    if (dir.size() <= top.size() || dir.compare(0, top.size(), top) != 0 || dir[top.size()] != '/')
      return std::nullopt;
    if (Exists(dir + "/idVendor") && Exists(dir + "/idProduct")) {
      UsbIdentity id;
      id.vid = ReadUsbId(dir + "/idVendor");
      id.pid = ReadUsbId(dir + "/idProduct");
      id.manufacturer = CleanUsbString(ReadSysfsAttr(dir + "/manufacturer").value_or(""));
      id.product = CleanUsbString(ReadSysfsAttr(dir + "/product").value_or(""));
      return id;
    }
    const size_t slash = dir.rfind('/');
    if (slash == std::string::npos || slash == 0) return std::nullopt;
    dir.resize(slash);
  }
  return std::nullopt;
}

// Serial-core ports report their UART type; 0 is a placeholder without hardware. A missing or
// unreadable type says nothing either way.
bool PlaceholderPort(const std::string& ttyDir) {
  const auto type = ReadSysfsAttr(ttyDir + "/type", 16);
  if (!type || type->empty()) return false;
  char* end = nullptr;
  const long v = strtol(type->c_str(), &end, 10);
  return end != type->c_str() && *end == 0 && v == 0;
}

// The last part of a link's target ("../../ttyUSB0" → "ttyUSB0"); empty when path is no link.
std::string LinkTargetName(const std::string& path) {
  char buf[PATH_MAX];
  const ssize_t n = readlink(path.c_str(), buf, sizeof buf - 1);
  if (n <= 0) return {};
  const std::string target(buf, static_cast<size_t>(n));
  const size_t slash = target.rfind('/');
  return slash == std::string::npos ? target : target.substr(slash + 1);
}

// udev's stable names of serial devices: tty name → "/dev/serial/by-id/<link>". Where several
// links lead to one tty, the first in name order is taken.
std::map<std::string, std::string> StableTtyNames(const std::string& root) {
  std::map<std::string, std::string> byTty;
  const std::string dirPath = UnderRoot(root, "/dev/serial/by-id");
  DirPtr dir(opendir(dirPath.c_str()));
  if (!dir) return byTty;
  std::vector<std::string> links;
  while (const dirent* e = readdir(dir.get())) {
    const std::string name = e->d_name;
    // udev's characters for these names; anything else (a ':' would read as a device address
    // later) leaves the tty under its kernel name.
    if (!name.empty() && name[0] != '.' && name.size() <= 200 &&
        std::all_of(name.begin(), name.end(), [](char c) {
          return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("_-.+#=@", c);
        }))
      links.push_back(name);
  }
  std::sort(links.begin(), links.end());
  for (const std::string& link : links) {
    const std::string tty = LinkTargetName(dirPath + "/" + link);
    if (PlainDeviceName(tty)) byTty.emplace(tty, "/dev/serial/by-id/" + link);
  }
  return byTty;
}

}  // namespace

std::optional<UsbIdentity> UsbIdentityOfTty(const std::string& root, const std::string& devPath) {
  if (devPath.compare(0, 5, "/dev/") != 0 || devPath.find("..") != std::string::npos)
    return std::nullopt;
  std::string name = LinkTargetName(UnderRoot(root, devPath));
  if (name.empty()) name = devPath.substr(devPath.rfind('/') + 1);
  if (!PlainDeviceName(name)) return std::nullopt;
  const std::string ttyDir = UnderRoot(root, "/sys/class/tty/" + name);
  if (!IsDir(ttyDir + "/device")) return std::nullopt;
  return UsbDeviceAbove(root, ttyDir);
}

std::string UnderRoot(const std::string& root, const std::string& path) {
  if (root.empty() || root == "/") return path;
  if (root.back() == '/') return root.substr(0, root.size() - 1) + path;
  return root + path;
}

std::optional<std::string> ReadSysfsAttr(const std::string& path, size_t maxLen) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  std::string text(maxLen, '\0');
  size_t got = 0;
  bool failed = false;
  while (got < maxLen) {
    const ssize_t n = read(fd, text.data() + got, maxLen - got);
    if (n > 0) {
      got += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    failed = n < 0;
    break;
  }
  close(fd);
  if (failed) return std::nullopt;
  text.resize(got);
  const size_t end = text.find_first_of(std::string("\n\0", 2));
  if (end != std::string::npos) text.resize(end);
  return text;
}

int ReadUsbId(const std::string& path) {
  const auto text = ReadSysfsAttr(path, 16);
  if (!text || text->size() != 4) return -1;
  int v = 0;
  for (unsigned char c : *text) {
    if (!std::isxdigit(c)) return -1;
    v = v * 16 + (std::isdigit(c) ? c - '0' : std::tolower(c) - 'a' + 10);
  }
  return v;
}

bool ListSysfsTtys(const std::string& root, std::vector<SysfsTty>& ttys) {
  const std::string classDir = UnderRoot(root, "/sys/class/tty");
  DirPtr dir(opendir(classDir.c_str()));
  if (!dir) return false;
  const std::map<std::string, std::string> stable = StableTtyNames(root);
  while (const dirent* e = readdir(dir.get())) {
    const std::string name = e->d_name;
    if (!PlainDeviceName(name)) continue;
    const std::string ttyDir = classDir + "/" + name;
    // Virtual consoles, ptmx and the like have no device behind them.
    if (!IsDir(ttyDir + "/device")) continue;
    if (PlaceholderPort(ttyDir)) continue;
    SysfsTty tty;
    tty.name = name;
    std::string devName = name;
    for (char& c : devName)
      if (c == '!') c = '/';  // the kernel's stand-in for a slash in device names
    tty.devPath = "/dev/" + devName;
    if (auto it = stable.find(name); it != stable.end()) tty.stablePath = it->second;
    tty.usb = UsbDeviceAbove(root, ttyDir);
    ttys.push_back(std::move(tty));
  }
  return true;
}

bool ListUsbDevices(const std::string& root, std::vector<UsbDeviceState>& devices) {
  const std::string busDir = UnderRoot(root, "/sys/bus/usb/devices");
  DirPtr dir(opendir(busDir.c_str()));
  if (!dir) return false;
  while (const dirent* e = readdir(dir.get())) {
    const std::string name = e->d_name;
    // Interfaces are named "<device>:<config>.<interface>".
    if (!PlainDeviceName(name) || name.find(':') != std::string::npos) continue;
    const std::string devDir = busDir + "/" + name;
    UsbDeviceState d;
    d.name = name;
    d.vid = ReadUsbId(devDir + "/idVendor");
    d.pid = ReadUsbId(devDir + "/idProduct");
    if (d.vid < 0 || d.pid < 0) continue;
    DirPtr sub(opendir(devDir.c_str()));
    if (sub) {
      const std::string prefix = name + ":";
      while (const dirent* s = readdir(sub.get())) {
        const std::string ifName = s->d_name;
        if (ifName.compare(0, prefix.size(), prefix) != 0) continue;
        // A dangling driver link (driver being unbound) counts as none.
        if (IsDir(devDir + "/" + ifName + "/driver")) {
          d.interfaceDriverBound = true;
          break;
        }
      }
    }
    devices.push_back(std::move(d));
  }
  return true;
}

namespace {

std::vector<std::string> DirNames(const std::string& path) {
  std::vector<std::string> names;
  DirPtr dir(opendir(path.c_str()));
  if (!dir) return names;
  while (const dirent* e = readdir(dir.get()))
    if (e->d_name[0] != '.') names.emplace_back(e->d_name);
  std::sort(names.begin(), names.end());
  return names;
}

// The tty and hidraw device names below the interfaces of a USB device.
std::vector<std::string> ReaderNodes(const std::string& devDir, const std::string& devName) {
  std::vector<std::string> nodes;
  auto add = [&](const std::string& n) {
    if (PlainDeviceName(n)) nodes.push_back("/dev/" + n);
  };
  for (const std::string& ifName : DirNames(devDir)) {
    if (ifName.compare(0, devName.size() + 1, devName + ":") != 0) continue;
    const std::string ifDir = devDir + "/" + ifName;
    for (const std::string& e : DirNames(ifDir)) {
      if (e == "tty") {
        for (const std::string& t : DirNames(ifDir + "/tty")) add(t);  // CDC-ACM
      } else if (e.compare(0, 6, "ttyUSB") == 0) {
        add(e);  // usb-serial: the port device carries the tty's name
      } else if (e.compare(0, 5, "0003:") == 0) {
        for (const std::string& h : DirNames(ifDir + "/" + e + "/hidraw")) add(h);
      }
    }
  }
  return nodes;
}

std::string GroupOf(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return {};
  struct group gr {};
  struct group* found = nullptr;
  char buf[4096];
  if (getgrgid_r(st.st_gid, &gr, buf, sizeof buf, &found) != 0 || !found || !found->gr_name) return {};
  return found->gr_name;
}

int DefaultNodeError(const std::string& path) {
  // access(2) only asks: opening a serial node could toggle its modem lines.
  return access(path.c_str(), R_OK | W_OK) == 0 ? 0 : errno;
}

}  // namespace

std::vector<ReaderAccessProblem> CheckReaderAccess(
    const std::string& root, const ReaderIds& ids, bool d2xxLibrary,
    const std::function<int(const std::string& path)>& nodeError) {
  std::vector<ReaderAccessProblem> problems;
  const auto errorOf = nodeError ? nodeError : DefaultNodeError;
  std::vector<UsbDeviceState> devices;
  if (!ListUsbDevices(root, devices)) return problems;
  const std::string busDir = UnderRoot(root, "/sys/bus/usb/devices");
  for (const UsbDeviceState& d : devices) {
    if (!ids.isReader || !ids.isReader(d.vid, d.pid)) continue;
    const std::string devDir = busDir + "/" + d.name;
    ReaderAccessProblem p;
    p.device = d.name;
    p.vid = d.vid;
    p.pid = d.pid;
    p.product = CleanUsbString(ReadSysfsAttr(devDir + "/product").value_or(""));
    const std::string devnum = ReadSysfsAttr(devDir + "/devnum", 16).value_or("");
    const std::string busnum = ReadSysfsAttr(devDir + "/busnum", 16).value_or("");
    p.plugKey = d.name + "#" + devnum;

    // Nodes that exist, and whether this user may open one of them.
    std::string denied;
    bool usable = false, anyNode = false;
    for (const std::string& node : ReaderNodes(devDir, d.name)) {
      const int err = errorOf(UnderRoot(root, node));
      if (err == ENOENT) continue;
      anyNode = true;
      if (err == 0) {
        usable = true;
        break;
      }
      if (denied.empty()) denied = node;
    }
    if (usable) continue;
    const bool ftdi = ids.isFtdiReader && ids.isFtdiReader(d.vid, d.pid);
    if (ftdi && !anyNode) {
      if (!d2xxLibrary) {
        p.kind = ReaderAccessProblem::NoD2xxLibrary;
        problems.push_back(p);
        continue;
      }
      // libftd2xx opens the USB device node itself.
      char usbfs[64] = {};
      const long bus = std::strtol(busnum.c_str(), nullptr, 10);
      const long dev = std::strtol(devnum.c_str(), nullptr, 10);
      if (bus <= 0 || dev <= 0 || bus > 999 || dev > 999) continue;  // nothing to judge by
      std::snprintf(usbfs, sizeof usbfs, "/dev/bus/usb/%03ld/%03ld", bus, dev);
      const int err = errorOf(UnderRoot(root, usbfs));
      if (err == 0 || err == ENOENT) continue;
      p.kind = ReaderAccessProblem::NoDeviceAccess;
      p.node = usbfs;
      p.group = GroupOf(UnderRoot(root, usbfs));
      problems.push_back(p);
      continue;
    }
    if (anyNode) {
      p.kind = ReaderAccessProblem::NoDeviceAccess;
      p.node = denied;
      p.group = GroupOf(UnderRoot(root, denied));
    } else {
      p.kind = ReaderAccessProblem::NoKernelDriver;
    }
    problems.push_back(p);
  }
  return problems;
}

}  // namespace tw
