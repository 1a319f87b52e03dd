#include "sys_tree.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace tw::test {
namespace {
const std::string kUsbHost = "/sys/devices/pci0000:00/0000:00:14.0/usb1";
}

SysTree::SysTree() {
  char tmpl[] = "/tmp/tw-listing-XXXXXX";
  root_ = mkdtemp(tmpl) ? tmpl : "";
}

SysTree::~SysTree() {
  std::error_code ec;
  if (!root_.empty()) fs::remove_all(root_, ec);
}

void SysTree::Dir(const std::string& rel) { fs::create_directories(root_ + rel); }

void SysTree::File(const std::string& rel, const std::string& content) {
  fs::create_directories(fs::path(root_ + rel).parent_path());
  std::ofstream(root_ + rel, std::ios::binary) << content;
}

void SysTree::Link(const std::string& rel, const std::string& target) {
  fs::create_directories(fs::path(root_ + rel).parent_path());
  std::error_code ec;
  fs::remove(root_ + rel, ec);
  fs::create_symlink(root_ + target, root_ + rel);
}

std::string SysTree::UsbDevice(const std::string& busPath, const char* vid, const char* pid,
                               const char* manufacturer, const char* product) {
  const std::string dir = kUsbHost + "/" + busPath;
  Dir(dir);
  if (vid) File(dir + "/idVendor", std::string(vid) + "\n");
  if (pid) File(dir + "/idProduct", std::string(pid) + "\n");
  if (manufacturer) File(dir + "/manufacturer", std::string(manufacturer) + "\n");
  if (product) File(dir + "/product", std::string(product) + "\n");
  Link("/sys/bus/usb/devices/" + busPath, dir);
  return dir;
}

std::string SysTree::UsbInterface(const std::string& busPath, const char* driver) {
  const std::string dir = kUsbHost + "/" + busPath + "/" + busPath + ":1.0";
  Dir(dir);
  if (driver) {
    Dir(std::string("/sys/bus/usb/drivers/") + driver);
    Link(dir + "/driver", std::string("/sys/bus/usb/drivers/") + driver);
  }
  return dir;
}

std::string SysTree::ClassTty(const std::string& tty, const std::string& deviceDir) {
  const std::string dir = deviceDir + "/tty/" + tty;
  File(dir + "/dev", "188:0\n");
  Link(dir + "/device", deviceDir);
  Link("/sys/class/tty/" + tty, dir);
  return dir;
}

void SysTree::UsbSerialTty(const std::string& busPath, const std::string& tty) {
  const std::string port = kUsbHost + "/" + busPath + "/" + busPath + ":1.0/" + tty;
  Dir(port);
  ClassTty(tty, port);
}

void SysTree::AcmTty(const std::string& busPath, const std::string& tty) {
  ClassTty(tty, kUsbHost + "/" + busPath + "/" + busPath + ":1.0");
}

void SysTree::PlatformTty(const std::string& tty, int type) {
  const std::string dir = ClassTty(tty, "/sys/devices/platform/serial8250/serial8250:0." + tty);
  File(dir + "/type", std::to_string(type) + "\n");
}

void SysTree::VirtualTty(const std::string& tty) {
  const std::string dir = "/sys/devices/virtual/tty/" + tty;
  File(dir + "/dev", "4:1\n");
  Link("/sys/class/tty/" + tty, dir);
}

Pty::Pty() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  char name[128];
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 ||
      ptsname_r(master_, name, sizeof name) != 0) {
    if (master_ >= 0) close(master_);
    master_ = -1;
    return;
  }
  path_ = name;
}

Pty::~Pty() {
  if (master_ >= 0) close(master_);
}

}  // namespace tw::test
