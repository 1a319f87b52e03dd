#include "sdk/sdk_app.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/trace.h"
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
  std::lock_guard<std::mutex> lock(registryLock_);
  while (!ports_.empty()) {
    CQZ_RW_Port* p = ports_.front();
    ports_.pop_front();
    DestroyPort(p);
  }
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
  std::lock_guard<std::mutex> lock(registryLock_);
  for (auto it = ports_.begin(); it != ports_.end();) {
    CQZ_RW_Port* p = *it;
    const int h = p->GetHandle();
    if (h == handle) return p;
    if (h == 0) {
      // Its link is lost: the port goes, and with it its handle.
      it = ports_.erase(it);
      DestroyPort(p);
      continue;
    }
    ++it;
  }
  return nullptr;
}

int CQZ_LF_SDKApp::OpenLinkForName(CQZ_RW_Port& port, const OpenArguments& args, int flags) {
  const std::string& n = args.name;
  if (n.empty()) return -1;
  if (n[0] != '/') {
    if (lan::IsLanTargetName(n)) return port.LanLink().OpenLink(n) ? 0 : -1;
    if (n.find("HID") != std::string::npos) {
      if (!port.HidLink().OpenHidDevice(n)) return -1;
      if (!port.HidLink().SendHidControl(0)) return -18;
      return 0;
    }
  }
  if (!port.OpenSerialLink(n, args.baud, flags & kOpenFlagFormatMask)) return -1;
  return 0;
}

int CQZ_LF_SDKApp::OpenPort(const char* name, int baud, int flags, int timeoutMs) {
  if (!name || strnlen(name, kMaxNameLength + 1) > kMaxNameLength) return -1;
  const OpenArguments args = ParseOpenArguments(name, baud);

  std::lock_guard<std::mutex> openLock(openLock_);
  bool firstAttempt = true;
  for (;;) {
    if (timeoutMs < 0) return -5;
    auto port = std::make_unique<CQZ_RW_Port>();
    if (flags & kOpenFlagKeepUi) port->SetKeepUiEnabled(true);
    const uint32_t timeout = static_cast<uint32_t>(timeoutMs);
    port->SetTimeout(timeout);
    port->SetDeviceAddress(args.address);
    if (const int r = OpenLinkForName(*port, args, flags); r != 0) return r;

    CQZ_RW_Port* p = port.release();
    AddPort(p);
    p->SetTimeout(std::min<uint32_t>(timeout, kIdentifyTimeoutMs));
    bool ok = p->Identify();
    if (!ok && firstAttempt) {
      // A fresh port object and a fresh link for the second STX/BCC attempt.
      firstAttempt = false;
      RemovePort(p);
      DestroyPort(p);
      continue;
    }
    if (!ok && !(flags & kOpenFlagNoCrc)) {
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
