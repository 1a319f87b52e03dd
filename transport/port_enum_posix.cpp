// Listing of serial ports, FTDI devices and missing USB drivers on Linux: sysfs takes the place of
// the device manager, the open test of the usual device names stays as the fallback.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>

#include "platform/trace.h"
#include "transport/port_enum.h"
#include "transport/usb_serial_port.h"
#include "transport/usb_sysfs.h"

namespace tw {
namespace {

// The description a device manager would show: the maker's own product text, or a marker for
// the virtual COM identity; empty for anybody else's device.
std::string Description(const UsbIdentity& usb) {
  if (IsMakersName(usb.product)) return usb.product;
  if (IsMakersName(usb.manufacturer))
    return usb.product.empty() ? usb.manufacturer : usb.manufacturer + " " + usb.product;
  if (usb.vid == kVirtualComVid && usb.pid == kVirtualComPid) return "Velkor Virtual COM";
  return "";
}

// A tty with a stable name is listed by it, with the kernel name it has now in the description,
// so that a stored choice survives re-plugging and reboots.
std::string PortEntry(const SysfsTty& tty) {
  const std::string desc = tty.usb ? Description(*tty.usb) : std::string();
  if (!tty.stablePath.empty())
    return tty.stablePath + " [" + tty.devPath + (desc.empty() ? "" : ", " + desc) + "]";
  return desc.empty() ? tty.devPath : tty.devPath + " [" + desc + "]";
}

std::string DevicePath(const std::string& entry) {
  const size_t cut = entry.find(" [");
  return cut == std::string::npos ? entry : entry.substr(0, cut);
}

struct ProbeFamily {
  const char* prefix;
  int count;
};
const ProbeFamily kProbeFamilies[] = {{"/dev/ttyS", 32}, {"/dev/ttyUSB", 256}, {"/dev/ttyACM", 256}};

}  // namespace

void ProbeSerialDevices(const std::string& root, std::vector<std::string>& list) {
  for (const ProbeFamily& f : kProbeFamilies) {
    for (int n = 0; n < f.count; ++n) {
      const std::string path = f.prefix + std::to_string(n);
      // Non-blocking so that a modem line cannot hold the open; busy or absent ports fail.
      const int fd = open(UnderRoot(root, path).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
      if (fd < 0) continue;
      termios t{};
      if (tcgetattr(fd, &t) == 0) list.push_back(path);
      close(fd);
    }
  }
}

bool CUSBSerialPort::EnumerateComPorts(std::vector<std::string>& list, const std::string& root) {
  list.clear();
  std::vector<SysfsTty> ttys;
  if (ListSysfsTtys(root, ttys)) {
    for (const SysfsTty& tty : ttys) list.push_back(PortEntry(tty));
  } else {
    Trace("sysfs tty class not readable under %s; probing device names", root.c_str());
    list.clear();
    ProbeSerialDevices(root, list);
  }
  SortPortEntries(list);
  std::vector<std::string> sims;
  AppendSimulatorPorts(sims);
  for (std::string& s : sims) {
    // A simulator terminal is listed once, even if a tree lists it too.
    const std::string path = DevicePath(s);
    if (std::none_of(list.begin(), list.end(),
                     [&](const std::string& e) { return DevicePath(e) == path; }))
      list.push_back(std::move(s));
  }
  return true;
}

bool CUSBSerialPort::D2xxAvailable() {
  LoadD2xxLibrary();
  return IsD2xxLoaded();
}

// The kernel's CDC-ACM driver serves the virtual COM readers; there is nothing to install.
bool IsVirtualComDriverInstalled() { return true; }

uint32_t CUSBSerialPort::CheckUsbDriverState(const std::string& root) {
  std::vector<UsbDeviceState> devices;
  if (!ListUsbDevices(root, devices)) return 0;
  uint32_t mask = 0;
  for (const UsbDeviceState& d : devices) {
    if (d.interfaceDriverBound) continue;
    if (d.vid == kVirtualComVid && d.pid == kVirtualComPid)
      mask |= kMissingVirtualComDriver;
    else if (d.vid == kFtdiReaderVid && d.pid == kFtdiReaderPid && !D2xxAvailable())
      mask |= kMissingFtdiDriver;  // no kernel driver is the normal state for libftd2xx
  }
  return mask;
}

}  // namespace tw
