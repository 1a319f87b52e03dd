// A prepared system tree in a temporary folder: sysfs entries for ttys and USB devices laid out the
// way the kernel lays them out, and a /dev that may hold links to real pseudo-terminals.
#pragma once
#include <string>

namespace tw::test {

class SysTree {
 public:
  SysTree();
  ~SysTree();
  SysTree(const SysTree&) = delete;
  SysTree& operator=(const SysTree&) = delete;

  const std::string& Root() const { return root_; }
  std::string Path(const std::string& rel) const { return root_ + rel; }

  void Dir(const std::string& rel);
  void File(const std::string& rel, const std::string& content);
  // A symbolic link at rel pointing to the tree path target.
  void Link(const std::string& rel, const std::string& target);

  // The tty class folder, present but empty: a system without serial ports.
  void TtyClass() { Dir("/sys/class/tty"); }
  // A USB device at bus path busPath ("1-2") with its ids and strings; nullptr leaves a string out.
  std::string UsbDevice(const std::string& busPath, const char* vid, const char* pid,
                        const char* manufacturer, const char* product);
  // Interface 1.0 of a USB device, optionally with a bound driver.
  std::string UsbInterface(const std::string& busPath, const char* driver);
  // A usb-serial port (ttyUSBn below a port device) or a CDC-ACM tty (ttyACMn on the interface).
  void UsbSerialTty(const std::string& busPath, const std::string& tty);
  void AcmTty(const std::string& busPath, const std::string& tty);
  // A serial-core port on the platform bus with the given UART type (0: no hardware).
  void PlatformTty(const std::string& tty, int type);
  // A tty without a device behind it (virtual console, ptmx).
  void VirtualTty(const std::string& tty);

 private:
  std::string ClassTty(const std::string& tty, const std::string& deviceDir);
  std::string root_;
};

// A pseudo-terminal pair held open for the life of the object.
class Pty {
 public:
  Pty();
  ~Pty();
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;
  const std::string& SlavePath() const { return path_; }
  bool Ok() const { return master_ >= 0; }

 private:
  int master_ = -1;
  std::string path_;
};

}  // namespace tw::test
