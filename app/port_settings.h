// What the interface dialog and the LAN dialogs decide without any widget: the stored "Port"
// choice and the repair of a stale USB or LAN choice, the parity code inside "Baudrate", the list
// entries and their in-place update, the mode-switch tests, field checks and LAN address forms.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "shell/settings_store.h"
#include "transport/usb_sysfs.h"

namespace tw {

// Offered baud rates, in list order; all are multiples of 100 so the parity code fits below them.
inline constexpr int kBaudRates[] = {2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400};
// Indexes into the parity list "keine", "gerade", "ungerade" and the stop-bit list "1", "2".
enum ParityIndex { kParityNone = 0, kParityEven = 1, kParityOdd = 2 };
enum StopIndex { kStopOne = 0, kStopTwo = 1 };

struct LineFormat {
  int baud = 0;
  int parity = kParityNone;
  int stop = kStopOne;
};
// "Baudrate" value → baud rate (value minus code) and the lists' choice from code = value % 100.
LineFormat DecodeBaudrate(int value);
// Baud rate plus parity code; even or odd parity always means one stop bit.
int EncodeBaudrate(int baud, int parity, int stop);

inline constexpr char kUsbPrefix[] = "USB: ";
inline constexpr char kLanPrefix[] = "LAN: ";
inline constexpr char kStableSerialDir[] = "/dev/serial/by-id/";
enum class PortKind { Com, Usb, Lan };
PortKind KindOfName(const std::string& name);
bool StartsWithNoCase(const std::string& text, const std::string& prefix);

// Field ranges checked by OK.
inline constexpr int kTimeoutMin = 10, kTimeoutMax = 300000;
inline constexpr int kAddressMin = 1, kAddressMax = 255;

// The "Port" section as the dialog holds it.
struct PortSettings {
  std::string name;
  int baudrate = 19200;
  int timeout = 1000;
  int address = 1;
  bool ethernet = false;
  bool usb = false;  // kind of the selection; both clear for a COM port
  bool lan = false;
  // The stored kernel device name now belongs to a different device: nothing is chosen silently.
  bool anotherDevice = false;
  void Load(ISettingsView& store);
  void SetKindFromName();
};

// Everything the dialogs ask of the reader SDK, so tests can stand in for readers and networks.
class IPortBackend {
 public:
  virtual ~IPortBackend() = default;
  virtual std::vector<std::string> EnumSerialPorts() = 0;
  virtual std::vector<std::string> EnumUsbPorts() = 0;
  virtual std::vector<std::string> SearchLanReaders() = 0;
  virtual std::vector<std::string> SearchLanDevices() = 0;
  virtual bool PingLanDevice(const std::string& name) = 0;
  virtual int GetMissingUsbDrivers() = 0;
  virtual bool IsVirtualComDriverInstalled() = 0;
  virtual int OpenPort(const std::string& name, int baud, int flags, int timeoutMs) = 0;
  virtual int SetUsbMode(int handle, int mode) = 0;
  virtual int SystemCommandF6(int handle, int b1, int b2) = 0;
  virtual int ClosePort(int handle) = 0;
  struct LanInfo {
    std::string name, address, netMask, gateway;
  };
  virtual bool GetLanDeviceInfo(const std::string& device, LanInfo& info) = 0;
  // Whether the serial device at path ("/dev/ttyACM0", a /dev/serial/by-id link) is a reader in
  // virtual COM mode, judged by the USB identity of the device behind it.
  virtual bool IsVirtualComDevice(const std::string& path) {
    (void)path;
    return false;
  }
  // The readers on USB that nothing installed here can open (see CheckReaderAccess).
  virtual std::vector<ReaderAccessProblem> ReaderAccessProblems() { return {}; }
  virtual int SetLanDeviceConfig(const std::string& device, const std::string& newAddress,
                                 const std::string& netMask, const std::string& gateway) = 0;
};
// The real SDK. Listing functions that the linked SDK lacks give empty lists.
IPortBackend& SdkPortBackend();

// Entries of a list buffer (NUL-terminated strings ended by an empty one), at most used bytes.
std::vector<std::string> SplitListBuffer(const char* buf, int used);

// The three interface lists of the dialog.
struct InterfaceLists {
  std::vector<std::string> com, usb, lan;
  std::vector<std::string>& Of(PortKind kind);
};
// Walks list and fresh together: equal entries stay, the first difference and everything after it
// is replaced. True when the list changed.
bool UpdateInterfaceList(std::vector<std::string>& list, const std::vector<std::string>& fresh);
// Asks the backend for one kind's list and updates it in place.
bool RefreshInterfaceList(PortKind kind, InterfaceLists& lists, IPortBackend& backend);

// Construction rules: reads the settings, writes back "COM1" for an empty name, and replaces a
// stored USB or LAN choice that is gone by the first present one of its kind, or clears it.
PortSettings LoadAndRepairPortSettings(ISettingsView& store, IPortBackend& backend,
                                       InterfaceLists& lists);

// A stored kernel device name ("/dev/ttyUSB1 [Velkor Virtual COM]") against today's COM list.
// The device listed under that kernel name now (by it, or under a stable name that carries it in
// its description) is the same one when its description is the stored one; otherwise another
// device took the name over since it was chosen.
struct StoredDeviceCheck {
  bool anotherDevice = false;
  std::string entry;  // today's entry of that kernel name; empty when none lists it
};
StoredDeviceCheck CheckStoredDevicePath(const std::string& stored,
                                        const std::vector<std::string>& com);

// List box texts: COM entries without "\\.\", then "USB: " entries, then "LAN: " entries.
std::vector<std::string> BuildEntries(const InterfaceLists& lists);
// First entry beginning with name (case-insensitive), or -1; an empty name matches nothing. A
// device path ("/dev/ttyUSB1") matches only the entry of that very path, whatever description
// either carries: "/dev/ttyUSB1" is no prefix match for "/dev/ttyUSB10".
int FindEntryByPrefix(const std::vector<std::string>& entries, const std::string& name);
// The device path of a COM entry: the text before its bracketed description.
std::string DevicePathOfEntry(const std::string& entry);

// Serial-number prefixes of HID readers that can switch to virtual COM mode.
const std::vector<std::string>& SwitchableHidPrefixes();
// A "USB: " HID reader that can switch to virtual COM mode.
bool IsSwitchableHidEntry(const std::string& name);
// A COM entry of a reader in virtual COM mode: "COMn [Velkor Virtual COM…]" by its text, a device
// path when vcomIdentity says the USB device behind it is one.
bool IsVirtualComEntry(const std::string& name, bool vcomIdentity = false);
enum class ModeButtons { Disabled, HidChecked, VirtualComChecked };
ModeButtons ModeButtonsFor(const std::string& name, bool vcomIdentity = false);
// The device name to open for a list entry: prefix and bracketed description removed.
std::string OpenNameOfEntry(const std::string& entry);

// The driver question for a missing-driver mask; empty when nothing is missing.
std::string DriverQuestionText(int mask);
// The question for readers that cannot be opened, in Linux terms: what is missing for each and
// how to get it; empty for none.
std::string ReaderAccessQuestionText(const std::vector<ReaderAccessProblem>& problems);

// The name taken from an address search result ("[name]…" keeps only "[name]").
std::string NameFromSearchResult(const std::string& address);

// Address search list: readers (item data 1), then other devices merged by key (data 2).
struct FoundDevice {
  std::string text;
  int kind;  // 1 reader of the maker, 2 other device
};
std::vector<FoundDevice> MergeFoundDevices(const std::vector<std::string>& readers,
                                           const std::vector<std::string>& devices);

// LAN configuration fields read from a device.
struct LanFields {
  int mode = 0;  // 0 DHCP, 1 fixed address
  std::string ip, dhcpName;
  int port = 10001;
};
LanFields ParseLanInfo(const IPortBackend::LanInfo& info);
// A fixed address that may be set: four decimal parts 0-255, not 0.0.0.0.
bool IsUsableFixedAddress(const std::string& text);
inline constexpr int kDhcpNameMax = 15;
// "a.b.c.d-port" or "[name]-port".
std::string NewLanAddress(int mode, const std::string& ip, const std::string& dhcpName, int port);

// Rescans after a device event: the event itself and then four more, one second apart.
enum class DeviceEvent { Arrival, NodesChanged, Refresh, Other };
class RescanCounter {
 public:
  // True when the 1000 ms rescan timer is to be (re)started.
  bool Next(DeviceEvent event);
  int Count() const { return count_; }

 private:
  int count_ = 0;
};
// Whether a device event asks for the lists to be scanned again.
inline bool EventRescans(DeviceEvent e) { return e != DeviceEvent::Other; }

}  // namespace tw
