// The interface dialog's backend on the reader SDK.
#include <cstdlib>
#include <vector>

#include "app/port_settings.h"
#include "sdk/lf_sdk.h"
#include "transport/hid_port.h"
#include "transport/port_enum.h"
#include "transport/usb_serial_port.h"
#include "transport/usb_sysfs.h"

namespace tw {
namespace {

constexpr int kListBufferSize = 2500;

// Where the system's /sys and /dev are looked for, as the SDK's listing does.
std::string SystemRoot() {
  const char* root = std::getenv("TAGWRIGHT_SYSTEM_ROOT");
  return root && *root ? root : "/";
}

template <typename Fn>
std::vector<std::string> List(Fn fn) {
  std::vector<char> buf(kListBufferSize, '\0');
  const int used = fn(buf.data(), kListBufferSize);
  return SplitListBuffer(buf.data(), used < 0 ? 0 : (used > kListBufferSize ? kListBufferSize : used));
}

class SdkBackend : public IPortBackend {
 public:
  std::vector<std::string> EnumSerialPorts() override { return List(&LF_EnumSerialPorts); }
  std::vector<std::string> EnumUsbPorts() override { return List(&LF_EnumUsbPorts); }
  std::vector<std::string> SearchLanReaders() override { return List(&LF_SearchLanReaders); }
  std::vector<std::string> SearchLanDevices() override { return List(&LF_SearchLanDevices); }
  bool PingLanDevice(const std::string& name) override { return LF_PingLanDevice(name.c_str()) == 1; }
  int GetMissingUsbDrivers() override { return LF_GetMissingUsbDrivers(); }
  bool IsVirtualComDriverInstalled() override {
    return LF_IsVirtualComDriverInstalled() != 0;
  }
  int OpenPort(const std::string& name, int baud, int flags, int timeoutMs) override {
    return LF_OpenPort(name.c_str(), baud, flags, timeoutMs);
  }
  int SetUsbMode(int h, int mode) override { return LF_SetUsbMode(h, mode); }
  int SystemCommandF6(int h, int b1, int b2) override { return LF_SystemCommandF6(h, b1, b2); }
  int ClosePort(int h) override { return LF_ClosePort(h); }
  bool GetLanDeviceInfo(const std::string& device, LanInfo& info) override {
    char name[64] = {}, address[64] = {}, mask[64] = {}, gateway[64] = {};
    if (LF_GetLanDeviceInfo(device.c_str(), name, address, mask, gateway) != 0) return false;
    info = {name, address, mask, gateway};
    return true;
  }
  bool IsVirtualComDevice(const std::string& path) override {
    const auto id = UsbIdentityOfTty(SystemRoot(), path);
    return id && id->vid == kVirtualComVid && id->pid == kVirtualComPid;
  }
  std::vector<ReaderAccessProblem> ReaderAccessProblems() override {
    ReaderIds ids;
    ids.isFtdiReader = [](int v, int p) { return v == kFtdiReaderVid && p == kFtdiReaderPid; };
    ids.isReader = [](int v, int p) {
      return (v == kFtdiReaderVid && p == kFtdiReaderPid) || (v == kVirtualComVid && p == kVirtualComPid) ||
             CHidPort::IsAcceptedDevice(static_cast<unsigned short>(v), static_cast<unsigned short>(p));
    };
    CUSBSerialPort port;
    return CheckReaderAccess(SystemRoot(), ids, port.D2xxAvailable());
  }
  int SetLanDeviceConfig(const std::string& device, const std::string& newAddress,
                         const std::string& netMask, const std::string& gateway) override {
    return LF_SetLanDeviceConfig(device.c_str(), newAddress.c_str(), netMask.c_str(), gateway.c_str());
  }
};

}  // namespace

IPortBackend& SdkPortBackend() {
  static SdkBackend backend;
  return backend;
}

}  // namespace tw
