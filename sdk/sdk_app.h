// The SDK singleton: the registry of open reader ports behind the integer handles, the open and
// close sequences, and close-all at process end. The flat LF_ functions go through it.
#pragma once
#include <list>
#include <mutex>
#include <string>

#include "sdk/auto_read_thread.h"
#include "sdk/qz_rw_port.h"

namespace tw {

// Open flag bits of LF_OpenPort.
inline constexpr int kOpenFlagFormatMask = 0x0F;
inline constexpr int kOpenFlagNoCrc = 0x40;
inline constexpr int kOpenFlagKeepUi = 0x80;
// Identification never waits longer than this per phase.
inline constexpr int kIdentifyTimeoutMs = 300;

struct OpenArguments {
  std::string name;  // address cut off
  int address = 1;
  uint32_t baud = 19200;
};

// Argument handling of LF_OpenPort: device address after the last colon (only when what follows
// it is all digits, so that device paths with colons stay whole), baud rule.
OpenArguments ParseOpenArguments(const std::string& name, int baud);

class CQZ_LF_SDKApp {
 public:
  CQZ_LF_SDKApp();
  virtual ~CQZ_LF_SDKApp();
  CQZ_LF_SDKApp(const CQZ_LF_SDKApp&) = delete;
  CQZ_LF_SDKApp& operator=(const CQZ_LF_SDKApp&) = delete;

  // Under the registry lock: take every port off the list, close its link and delete it.
  virtual void CloseAllPorts();
  // Start-up of shared libraries the links need. [LAN link] socket set-up goes here.
  virtual bool InitInstance();

  void AddPort(CQZ_RW_Port* port);
  void RemovePort(CQZ_RW_Port* port);
  // Finds the port with this handle; on the way removes and deletes every port whose link is lost.
  CQZ_RW_Port* FindPort(int handle);
  size_t PortCount();

  // The open sequence: handle > 0, or -1, -5, -15 (-18 from the HID link).
  int OpenPort(const char* name, int baud, int flags, int timeoutMs);
  int ClosePort(int handle);
  // Why the last OpenPort failed, as a line for the operator; empty after a successful open.
  std::string OpenError();

 private:
  // Opens the link the name selects; 0 or a negative open result.
  int OpenLinkForName(CQZ_RW_Port& port, const OpenArguments& args, int flags);
  void DestroyPort(CQZ_RW_Port* port);
  int OpenPortLocked(const char* name, int baud, int flags, int timeoutMs);
  void SetOpenError(std::string text);

  std::list<CQZ_RW_Port*> ports_;
  std::mutex registryLock_;
  std::mutex openLock_;  // taken before the registry lock, never the reverse
  std::mutex openErrorLock_;
  std::string openError_;
};

// The reason for a serial/D2XX link that did not open (name as the caller gave it).
std::string DescribeSerialOpenFailure(const std::string& name, const CUSBSerialPort& link,
                                      uint32_t baud);
// A name the serial layer would take for an FTDI serial number although it names a terminal
// ("ttyUSB0", "pts/3"): the path meant, else empty.
std::string MeantDevicePath(const std::string& name);

// The one instance; exists before the first call and is destroyed after the last.
CQZ_LF_SDKApp& SdkApp();

// For C++ integrators: runs the port's auto-read worker, handing each line that ends in
// terminator to callback. false when the handle is not open or the worker already runs.
bool StartAutoRead(int handle, AutoReadLineFn callback, uint8_t terminator, void* context);
bool StopAutoRead(int handle);

}  // namespace tw
