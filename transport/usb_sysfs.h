// Reading the kernel's view of serial and USB devices from sysfs under a root folder ("/" on a
// running system, a prepared tree in tests): tty entries with hardware behind them, and the USB
// device above a tty or among the USB devices with its ids, strings and bound interface drivers.
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tw {

// Joins the root folder and an absolute system path ("/" + "/sys/..." → "/sys/...").
std::string UnderRoot(const std::string& root, const std::string& path);

// First line of a sysfs attribute (at most maxLen bytes, cut at a newline or NUL); nothing when it
// cannot be read (missing, a folder, no permission).
std::optional<std::string> ReadSysfsAttr(const std::string& path, size_t maxLen = 256);
// A four-digit hexadecimal id ("1c40"), or -1 when missing or malformed.
int ReadUsbId(const std::string& path);

struct UsbIdentity {
  int vid = -1;
  int pid = -1;
  std::string manufacturer;  // Windows-1252, control characters removed
  std::string product;
};

struct SysfsTty {
  std::string name;     // "ttyUSB0"
  std::string devPath;  // "/dev/ttyUSB0"
  std::string stablePath;  // "/dev/serial/by-id/usb-…-port0" when udev made one, else empty
  std::optional<UsbIdentity> usb;  // the USB device behind it, when there is one
};

// The ttys of /sys/class/tty that have a device behind them, excluding serial-core ports that
// report no hardware (type 0). False when the class folder cannot be read.
bool ListSysfsTtys(const std::string& root, std::vector<SysfsTty>& ttys);

// The USB device behind a serial device path ("/dev/ttyACM0", or a link to it such as a
// /dev/serial/by-id name); nothing when the path is no tty with a USB device behind it.
std::optional<UsbIdentity> UsbIdentityOfTty(const std::string& root, const std::string& devPath);

struct UsbDeviceState {
  std::string name;  // "1-2"
  int vid = -1;
  int pid = -1;
  bool interfaceDriverBound = false;
};

// The USB devices of /sys/bus/usb/devices (interfaces are not listed). False when the folder
// cannot be read.
bool ListUsbDevices(const std::string& root, std::vector<UsbDeviceState>& devices);

// A reader on USB that nothing installed on this system can open, and why.
struct ReaderAccessProblem {
  enum Kind {
    NoD2xxLibrary,   // an FTDI reader without a kernel driver, and no libftd2xx to reach it
    NoDeviceAccess,  // its device node exists, but this user may not open it
    NoKernelDriver,  // no driver bound, so no device node to open at all
  };
  Kind kind = NoKernelDriver;
  std::string device;   // sysfs name, "1-2"
  std::string plugKey;  // changes with every plug-in: sysfs name and USB device number
  std::string node;     // the node that cannot be opened ("/dev/ttyACM0"); empty for the others
  std::string group;    // the group that owns that node (access by joining it), may be empty
  std::string product;  // the reader's USB product text, may be empty
  int vid = -1, pid = -1;
};
struct ReaderIds {
  std::function<bool(int vid, int pid)> isReader;     // every USB identity of the maker's readers
  std::function<bool(int vid, int pid)> isFtdiReader;  // those driven through libftd2xx
};
// Walks the USB devices under root and reports each reader that no installed path can open: a tty
// or hidraw node that this user may open, or for an FTDI reader libftd2xx with access to its USB
// device node. nodeError(path under root) gives 0 when the node may be opened for reading and
// writing, else the errno (by default access(2); ENOENT skips the node).
std::vector<ReaderAccessProblem> CheckReaderAccess(
    const std::string& root, const ReaderIds& ids, bool d2xxLibrary,
    const std::function<int(const std::string& path)>& nodeError = {});

}  // namespace tw
