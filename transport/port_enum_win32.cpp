// Listing of COM ports and missing USB drivers on Windows through SetupAPI, loaded at run time so
// that a system without it lists by the open test instead of failing; the INF check of the virtual
// COM driver.
// The project's headers come first: the D2XX names in them are macros once windows.h is in.
#include "platform/dynlib.h"
#include "transport/port_enum.h"
#include "transport/usb_serial_port.h"

#include <windows.h>
#include <setupapi.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace tw {
namespace {

using ClassGuidsFromNameFn = BOOL(WINAPI*)(PCSTR, LPGUID, DWORD, PDWORD);
using GetClassDevsFn = HDEVINFO(WINAPI*)(const GUID*, PCSTR, HWND, DWORD);
using EnumDeviceInfoFn = BOOL(WINAPI*)(HDEVINFO, DWORD, PSP_DEVINFO_DATA);
using GetRegistryPropertyFn = BOOL(WINAPI*)(HDEVINFO, PSP_DEVINFO_DATA, DWORD, PDWORD, PBYTE, DWORD,
                                            PDWORD);
using OpenDevRegKeyFn = HKEY(WINAPI*)(HDEVINFO, PSP_DEVINFO_DATA, DWORD, DWORD, DWORD, REGSAM);
using DestroyDeviceInfoListFn = BOOL(WINAPI*)(HDEVINFO);

struct SetupApi {
  DynamicLibrary lib;
  ClassGuidsFromNameFn classGuidsFromName = nullptr;
  GetClassDevsFn getClassDevs = nullptr;
  EnumDeviceInfoFn enumDeviceInfo = nullptr;
  GetRegistryPropertyFn getRegistryProperty = nullptr;
  OpenDevRegKeyFn openDevRegKey = nullptr;
  DestroyDeviceInfoListFn destroyDeviceInfoList = nullptr;

  // All entry points or none: a missing one makes the feature find nothing.
  bool Load(bool withPortFunctions) {
    if (!lib.Load("SETUPAPI.DLL")) return Missing();
    getClassDevs = lib.Get<GetClassDevsFn>("SetupDiGetClassDevsA");
    enumDeviceInfo = lib.Get<EnumDeviceInfoFn>("SetupDiEnumDeviceInfo");
    getRegistryProperty = lib.Get<GetRegistryPropertyFn>("SetupDiGetDeviceRegistryPropertyA");
    destroyDeviceInfoList = lib.Get<DestroyDeviceInfoListFn>("SetupDiDestroyDeviceInfoList");
    bool ok = getClassDevs && enumDeviceInfo && getRegistryProperty && destroyDeviceInfoList;
    if (withPortFunctions) {
      classGuidsFromName = lib.Get<ClassGuidsFromNameFn>("SetupDiClassGuidsFromNameA");
      openDevRegKey = lib.Get<OpenDevRegKeyFn>("SetupDiOpenDevRegKey");
      ok = ok && classGuidsFromName && openDevRegKey;
    }
    return ok || Missing();
  }
  bool Missing() {
    lib.Unload();
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return false;
  }
};

// A REG_SZ property (at most 256 bytes), empty when missing or of another type.
std::string TextProperty(SetupApi& api, HDEVINFO list, SP_DEVINFO_DATA& dev, DWORD property) {
  char buf[257] = {};
  DWORD type = 0;
  if (!api.getRegistryProperty(list, &dev, property, &type, reinterpret_cast<BYTE*>(buf), 256,
                               nullptr) ||
      type != REG_SZ)
    return {};
  return std::string(buf, strnlen(buf, 256));
}

// A REG_MULTI_SZ hardware id list (256 bytes) as one text; false when it cannot be read.
bool HardwareIds(SetupApi& api, HDEVINFO list, SP_DEVINFO_DATA& dev, std::string& out) {
  char buf[258] = {};
  DWORD type = 0;
  if (!api.getRegistryProperty(list, &dev, SPDRP_HARDWAREID, &type, reinterpret_cast<BYTE*>(buf),
                               256, nullptr))
    return false;
  out.assign(buf, 256);
  return true;
}

bool Contains(const std::string& ids, const char* a, const char* b) {
  return ids.find(a) != std::string::npos && ids.find(b) != std::string::npos;
}

// The device has a driver when asking for its service name fails only for want of a buffer.
bool HasService(SetupApi& api, HDEVINFO list, SP_DEVINFO_DATA& dev) {
  DWORD needed = 0;
  if (api.getRegistryProperty(list, &dev, SPDRP_SERVICE, nullptr, nullptr, 0, &needed)) return true;
  return GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

bool SetupApiWalk(std::vector<std::string>& list) {
  SetupApi api;
  if (!api.Load(true)) return false;
  DWORD count = 0;
  GUID probe;
  api.classGuidsFromName("Ports", &probe, 0, &count);
  if (count == 0) return false;
  std::vector<GUID> guids(count);
  if (!api.classGuidsFromName("Ports", guids.data(), count, &count) || count == 0) return false;
  HDEVINFO devs = api.getClassDevs(&guids[0], nullptr, nullptr, DIGCF_PRESENT);
  if (devs == INVALID_HANDLE_VALUE) return false;
  for (DWORD i = 0;; ++i) {
    SP_DEVINFO_DATA dev{};
    dev.cbSize = sizeof dev;
    if (!api.enumDeviceInfo(devs, i, &dev)) break;
    std::string portName;
    HKEY key = api.openDevRegKey(devs, &dev, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
    if (key != INVALID_HANDLE_VALUE && key != nullptr) {
      char buf[257] = {};
      DWORD type = 0, size = 256;
      if (RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size) ==
              ERROR_SUCCESS &&
          type == REG_SZ)
        portName.assign(buf, strnlen(buf, 256));
      RegCloseKey(key);
    }
    if (portName.size() <= 3 || !StartsWithNoCase(portName, "COM")) continue;
    std::string entry = "\\\\.\\" + portName;
    const std::string desc = TextProperty(api, devs, dev, SPDRP_DEVICEDESC);
    std::string ids;
    if (IsMakersName(desc))
      entry += " [" + desc + "]";
    else if (HardwareIds(api, devs, dev, ids) && Contains(ids, "VID_1C40", "PID_05AC"))
      entry += " [Velkor Virtual COM]";
    list.push_back(std::move(entry));
  }
  api.destroyDeviceInfoList(devs);
  return true;
}

// Windows 10 and later bring the class driver of the virtual COM readers themselves. The version
// comes from ntdll: the documented calls report an older one to a program without a manifest.
bool IsWindows10OrLater() {
  using RtlGetVersionFn = LONG(WINAPI*)(PRTL_OSVERSIONINFOW);
  DynamicLibrary ntdll;
  const auto getVersion = ntdll.Load("ntdll.dll") ? ntdll.Get<RtlGetVersionFn>("RtlGetVersion") : nullptr;
  RTL_OSVERSIONINFOW v{};
  v.dwOSVersionInfoSize = sizeof v;
  return getVersion && getVersion(&v) == 0 && v.dwMajorVersion >= 10;
}

std::string InfLine(HINF inf, const char* section, const char* key) {
  char buf[101] = {};
  return SetupGetLineTextA(nullptr, inf, section, key, buf, 100, nullptr) ? buf : "";
}

// The INF files in the system's INF folder: names one after another, each ending with a zero.
std::vector<char> InfFileList() {
  char dir[MAX_PATH + 8] = {};
  const UINT n = GetWindowsDirectoryA(dir, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return {};
  std::strcat(dir, "\\inf");
  // Asked with a buffer from the start: not every implementation tells the size for none.
  std::vector<char> names(65536);
  DWORD size = 0;
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (SetupGetInfFileListA(dir, INF_STYLE_WIN4, names.data(), static_cast<DWORD>(names.size() - 2), &size)) {
      names.resize(std::min<size_t>(size, names.size() - 2));
      names.resize(names.size() + 2, '\0');  // two zeros at the end whatever the call left
      return names;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size <= names.size() - 2) break;
    names.assign(size + 2, '\0');
  }
  return {};
}

// An installed (OEM) INF of class Ports that names the maker's virtual COM driver.
bool OemInfNamesVirtualCom() {
  const std::vector<char> names = InfFileList();
  for (const char* p = names.data(); !names.empty() && *p; p += std::strlen(p) + 1) {
    if (!StartsWithNoCase(p, "OEM")) continue;
    HINF inf = SetupOpenInfFileA(p, "Ports", INF_STYLE_WIN4, nullptr);
    if (inf == INVALID_HANDLE_VALUE) continue;
    // The class is asked for on opening; not every implementation holds to it, so it is read too.
    const std::string infClass = InfLine(inf, "Version", "Class");
    const bool hit = infClass.size() == 5 && StartsWithNoCase(infClass, "Ports") &&
                     (InfLine(inf, "Strings", "VELKOR_CDC") == "Velkor Virtual COM" ||
                      InfLine(inf, "Strings", "OKAPI_CDC") == "Kestrel Virtual COM");
    SetupCloseInfFile(inf);
    if (hit) return true;
  }
  return false;
}

}  // namespace

bool IsVirtualComDriverInstalled() { return IsWindows10OrLater() || OemInfNamesVirtualCom(); }

bool CUSBSerialPort::EnumerateComPorts(std::vector<std::string>& list, const std::string&) {
  list.clear();
  if (!SetupApiWalk(list)) {
    // Without SetupAPI: the ports that open now (busy ones are not listed).
    list.clear();
    for (int n = 1; n <= 255; ++n) {
      const std::string name = "\\\\.\\COM" + std::to_string(n);
      HANDLE h = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             0, nullptr);
      if (h == INVALID_HANDLE_VALUE) continue;
      CloseHandle(h);
      list.push_back(name);
    }
  }
  SortPortEntries(list);
  return true;
}

uint32_t CUSBSerialPort::CheckUsbDriverState(const std::string&) {
  SetupApi api;
  if (!api.Load(false)) return 0;
  HDEVINFO devs = api.getClassDevs(nullptr, "USB", nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
  if (devs == INVALID_HANDLE_VALUE) return 0;
  uint32_t mask = 0;
  for (DWORD i = 0;; ++i) {
    SP_DEVINFO_DATA dev{};
    dev.cbSize = sizeof dev;
    if (!api.enumDeviceInfo(devs, i, &dev)) break;
    std::string ids;
    if (!HardwareIds(api, devs, dev, ids)) continue;
    if (Contains(ids, "VID_1C40", "PID_05AC")) {
      if (!HasService(api, devs, dev)) mask |= kMissingVirtualComDriver;
    } else if (Contains(ids, "VID_0403", "PID_E130")) {
      if (!HasService(api, devs, dev)) mask |= kMissingFtdiDriver;
    }
  }
  api.destroyDeviceInfoList(devs);
  return mask;
}

}  // namespace tw
