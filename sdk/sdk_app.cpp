#include "sdk/sdk_app.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/trace.h"
#include "sdk/open_reason.h"
#include "transport/lan_datagram.h"
#include "transport/lan_sockets.h"

namespace tw {

namespace {
constexpr size_t kMaxNameLength = 1024;

bool AllDigits(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c); });
}
}  // namespace

OpenArguments ParseOpenArguments(const std::string& name, int baud) {
  OpenArguments a;
  a.name = name;
  const size_t colon = name.rfind(':');
  if (colon != std::string::npos) {
    const std::string tail = name.substr(colon + 1);
    if (AllDigits(tail)) {
      a.address = tail.empty() ? 1 : static_cast<int>(std::strtol(tail.c_str(), nullptr, 10));
      a.name = name.substr(0, colon);
    }
  }
  // Only a serial device name keeps its baud rate; for every other link it means nothing.
  const bool serialDevice = !a.name.empty() && (a.name[0] == '/' || NormalizePortName(a.name).isComPort);
  a.baud = serialDevice && baud > 0 ? static_cast<uint32_t>(baud) : 19200;
  return a;
}

CQZ_LF_SDKApp& SdkApp() {
  static CQZ_LF_SDKApp app;
  return app;
}

CQZ_LF_SDKApp::CQZ_LF_SDKApp() {
  CHidPort::LoadHidLibraries();
  InitInstance();
}

CQZ_LF_SDKApp::~CQZ_LF_SDKApp() {
  CloseAllPorts();
  CHidPort::FreeHidLibraries();
}

bool CQZ_LF_SDKApp::InitInstance() {
  if (!InitSocketLibrary()) {
    // LAN links will fail to connect; every other link stays usable.
    Trace("Error initializing Windows Sockets");
    return false;
  }
  return true;
}

void CQZ_LF_SDKApp::DestroyPort(CQZ_RW_Port* port) {
  port->CloseLink();
  delete port;
}

void CQZ_LF_SDKApp::CloseAllPorts() {
  // Closing a link may wait for its threads and pump the UI: never under the registry lock.
  std::list<CQZ_RW_Port*> all;
  {
    std::lock_guard<std::mutex> lock(registryLock_);
    all.swap(ports_);
  }
  for (CQZ_RW_Port* p : all) DestroyPort(p);
}

void CQZ_LF_SDKApp::AddPort(CQZ_RW_Port* port) {
  std::lock_guard<std::mutex> lock(registryLock_);
  ports_.push_back(port);
}

void CQZ_LF_SDKApp::RemovePort(CQZ_RW_Port* port) {
  std::lock_guard<std::mutex> lock(registryLock_);
  ports_.remove(port);
}

size_t CQZ_LF_SDKApp::PortCount() {
  std::lock_guard<std::mutex> lock(registryLock_);
  return ports_.size();
}

CQZ_RW_Port* CQZ_LF_SDKApp::FindPort(int handle) {
  CQZ_RW_Port* found = nullptr;
  std::list<CQZ_RW_Port*> lost;
  {
    std::lock_guard<std::mutex> lock(registryLock_);
    for (auto it = ports_.begin(); it != ports_.end();) {
      CQZ_RW_Port* p = *it;
      const int h = p->GetHandle();
      if (h == handle) {
        found = p;
        break;
      }
      if (h == 0) {
        // Its link is lost: the port goes, and with it its handle.
        lost.push_back(p);
        it = ports_.erase(it);
        continue;
      }
      ++it;
    }
  }
  for (CQZ_RW_Port* p : lost) DestroyPort(p);
  return found;
}

std::string MeantDevicePath(const std::string& name) {
  if (name.rfind("tty", 0) == 0 || name.rfind("pts/", 0) == 0) return "/dev/" + name;
  if (name.rfind("dev/", 0) == 0) return "/" + name;
  return {};
}

namespace {

// A device node that another port or program holds locked.
std::string InUseReason(const std::string& path) {
  const int pid = DeviceHolder(path);
  if (pid == CurrentProcessId()) return "in use: " + path + " is already open in this program";
  return "in use by another program" + (pid > 0 ? " (pid " + std::to_string(pid) + ")" : std::string()) +
         ": " + path;
}

// Why a HID reader did not open.
std::string DescribeHidOpenFailure(const std::string& name, const CHidPort& link) {
  const std::string& node = link.LastOpenNode();
  switch (link.LastOpenErrno()) {
    case 0:
      return "no such device: " + name;
    case EBUSY:
      return InUseReason(node) + " (" + name + ")";
    case EACCES:
    case EPERM:
      return PermissionDeniedReason(node);
    default:
      return node + ": " + std::strerror(link.LastOpenErrno());
  }
}

}  // namespace

std::string DescribeSerialOpenFailure(const std::string& name, const CUSBSerialPort& link,
                                      uint32_t baud) {
  const NormalizedPortName norm = NormalizePortName(name);
  const int err = link.LastOpenErrno();
  if (!norm.isComPort) {
    if (!link.IsD2xxLoaded()) return "FTDI library libftd2xx.so not installed";
    return "no such device: no FTDI reader with serial number " + norm.name;
  }
  const std::string& path = norm.name;
  if (link.LastOpenFailure() == CUSBSerialPort::OpenFailure::Settings)
    return "baud rate " + std::to_string(baud) + " not accepted by " + path + " (" +
           std::strerror(err) + ")";
  switch (err) {
    case EACCES:
    case EPERM:
      return PermissionDeniedReason(path);
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return "no such device: " + path;
    case EBUSY:
      return InUseReason(path);
    case ENOTTY:
      return "not a serial device: " + path;
    default:
      return path + ": " + std::strerror(err);
  }
}

int CQZ_LF_SDKApp::OpenLinkForName(CQZ_RW_Port& port, const OpenArguments& args, int flags) {
  const std::string& n = args.name;
  if (n.empty()) {
    SetOpenError("no interface name given");
    return -1;
  }
  if (n[0] != '/') {
    if (lan::IsLanTargetName(n)) {
      if (port.LanLink().OpenLink(n)) return 0;
      SetOpenError("no connection to " + n);
      return -1;
    }
    if (n.find("HID") != std::string::npos) {
      if (CHidPort& hid = port.HidLink(); !hid.OpenHidDevice(n)) {
        SetOpenError(DescribeHidOpenFailure(n, hid));
        return -1;
      }
      if (!port.HidLink().SendHidControl(0)) {
        SetOpenError("the HID reader refused its control report: " + n);
        return -18;
      }
      return 0;
    }
    // Taken for an FTDI serial number otherwise, and never found.
    if (const std::string meant = MeantDevicePath(n); !meant.empty()) {
      SetOpenError("not a device path: did you mean " + meant + "?");
      return -1;
    }
  }
  if (!port.OpenSerialLink(n, args.baud, flags & kOpenFlagFormatMask)) {
    SetOpenError(DescribeSerialOpenFailure(n, port, args.baud));
    return -1;
  }
  return 0;
}

void CQZ_LF_SDKApp::SetOpenError(std::string text) {
  std::lock_guard<std::mutex> lock(openErrorLock_);
  openError_ = std::move(text);
}

std::string CQZ_LF_SDKApp::OpenError() {
  std::lock_guard<std::mutex> lock(openErrorLock_);
  return openError_;
}

int CQZ_LF_SDKApp::OpenPort(const char* name, int baud, int flags, int timeoutMs) {
  std::lock_guard<std::mutex> openLock(openLock_);
  SetOpenError({});
  const int r = OpenPortLocked(name, baud, flags, timeoutMs);
  if (r > 0) {
    SetOpenError({});
  } else if (OpenError().empty()) {
    if (r == -5) SetOpenError("negative timeout");
    else if (r == -15) SetOpenError(std::string("no reader answered on ") + name);
    else SetOpenError("the port could not be opened");
  }
  return r;
}

int CQZ_LF_SDKApp::OpenPortLocked(const char* name, int baud, int flags, int timeoutMs) {
  if (!name || strnlen(name, kMaxNameLength + 1) > kMaxNameLength) {
    SetOpenError(name ? "interface name too long" : "no interface name given");
    return -1;
  }
  const OpenArguments args = ParseOpenArguments(name, baud);

  bool firstAttempt = true;
  for (;;) {
    if (timeoutMs < 0) return -5;
    auto port = std::make_unique<CQZ_RW_Port>();
    if (flags & kOpenFlagKeepUi) port->SetKeepUiEnabled(true);
    const uint32_t timeout = static_cast<uint32_t>(timeoutMs);
    port->SetTimeout(timeout);
    port->SetDeviceAddress(args.address);
    if (const int r = OpenLinkForName(*port, args, flags); r != 0) return r;

    // The earlier attempt's command may still be answered late: let the line go quiet first.
    if (!firstAttempt) port->RequireResync(CQZ_RW_Port::ResyncQuietMs(
        std::min<uint32_t>(timeout, kIdentifyTimeoutMs)));
    CQZ_RW_Port* p = port.release();
    AddPort(p);
    const uint32_t identifyTimeout = std::min<uint32_t>(timeout, kIdentifyTimeoutMs);
    p->SetTimeout(identifyTimeout);
    // The line may still carry a late answer to another program's command: the first attempt
    // takes only an answer shaped like a version answer.
    bool ok = p->Identify(firstAttempt);
    if (!ok && firstAttempt) {
      // A fresh port object and a fresh link for the second STX/BCC attempt.
      firstAttempt = false;
      RemovePort(p);
      DestroyPort(p);
      continue;
    }
    if (!ok && !(flags & kOpenFlagNoCrc)) {
      if (p->ResyncPending()) p->RequireResync(CQZ_RW_Port::ResyncQuietMs(identifyTimeout));
      p->SetFramingFlag(1);
      ok = p->Identify();
    }
    if (ok) {
      p->SetTimeout(timeout);
      return p->GetHandle();
    }
    p->SetFramingFlag(0);
    p->SetTimeout(timeout);
    p->SetDeviceTypeCode(0);
    p->SetFirmwareByte(0);
    p->SetCapabilityWord(0);
    RemovePort(p);
    DestroyPort(p);
    return -15;
  }
}

int CQZ_LF_SDKApp::ClosePort(int handle) {
  if (handle <= 0) return -1;
  CQZ_RW_Port* p = FindPort(handle);
  if (!p) return -1;
  RemovePort(p);
  DestroyPort(p);
  return 0;
}

bool StartAutoRead(int handle, AutoReadLineFn callback, uint8_t terminator, void* context) {
  if (handle <= 0) return false;
  CQZ_RW_Port* p = SdkApp().FindPort(handle);
  return p && p->AutoReader().Start(p, callback, terminator, context);
}

bool StopAutoRead(int handle) {
  if (handle <= 0) return false;
  CQZ_RW_Port* p = SdkApp().FindPort(handle);
  if (!p) return false;
  p->AutoReader().Stop();
  return true;
}

}  // namespace tw
