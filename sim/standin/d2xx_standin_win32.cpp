// Stand-in for the vendor's D2XX library on Windows, built as ftd2xx.dll for tests. It lists the
// devices named in TAGWRIGHT_SIM_D2XX ("SERIAL=\\.\COM23;SERIAL2=\\.\COM24") and opens a device by
// serial number as that COM port (under Wine, a tagwright-sim terminal linked into the prefix). The
// W32 functions go to the COM port through the project's own serial device primitives.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "sim/standin/d2xx_abi.h"
#include "transport/serial_device.h"

#define STANDIN_API extern "C" __declspec(dllexport)

namespace {

namespace sd = tw::serial_device;

constexpr DWORD kErrorInvalidHandle = 6;  // ERROR_INVALID_HANDLE
constexpr DWORD kErrorFileNotFound = 2;   // ERROR_FILE_NOT_FOUND
constexpr DWORD kErrorIo = 1117;          // ERROR_IO_DEVICE
const FT_HANDLE kInvalid = reinterpret_cast<FT_HANDLE>(uintptr_t{0xFFFFFFFFu});

struct Entry {
  std::string serial, path;
};

struct Device {
  std::string serial;
  int fd = -1;
  DWORD lastError = 0;
  FTTIMEOUTS timeouts{};
};

std::mutex g_mu;
std::set<Device*> g_open;
DWORD g_lastError = 0;

std::vector<Entry> Configured() {
  std::vector<Entry> list;
  const char* env = std::getenv("TAGWRIGHT_SIM_D2XX");
  if (!env) return list;
  const std::string all = env;
  size_t pos = 0;
  while (pos <= all.size()) {
    size_t end = all.find(';', pos);
    if (end == std::string::npos) end = all.size();
    const std::string item = all.substr(pos, end - pos);
    const size_t eq = item.find('=');
    if (eq != std::string::npos && eq > 0 && eq < 16) list.push_back({item.substr(0, eq), item.substr(eq + 1)});
    pos = end + 1;
  }
  return list;
}

Device* Lookup(FT_HANDLE h) {
  Device* d = static_cast<Device*>(h);
  return g_open.count(d) ? d : nullptr;
}

Device* OpenedSerial(const std::string& serial) {
  for (Device* d : g_open)
    if (d->serial == serial) return d;
  return nullptr;
}

BOOL Fails(Device* d) {
  d->lastError = kErrorIo;
  return 0;
}

}  // namespace

STANDIN_API FT_STATUS FT_CreateDeviceInfoList(DWORD* count) {
  if (!count) return FT_INVALID_PARAMETER;
  *count = static_cast<DWORD>(Configured().size());
  return FT_OK;
}

STANDIN_API FT_STATUS FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* list, DWORD* count) {
  if (!list || !count) return FT_INVALID_PARAMETER;
  std::lock_guard<std::mutex> lock(g_mu);
  const std::vector<Entry> entries = Configured();
  const size_t n = entries.size() < *count ? entries.size() : *count;
  for (size_t i = 0; i < n; ++i) {
    FT_DEVICE_LIST_INFO_NODE& node = list[i];
    std::memset(&node, 0, sizeof node);
    Device* open = OpenedSerial(entries[i].serial);
    node.Flags = open ? 1u : 0u;
    node.Type = 5;
    node.ID = 0x04036001;
    node.LocId = static_cast<DWORD>(0x100 + i);
    std::snprintf(node.SerialNumber, sizeof node.SerialNumber, "%s", entries[i].serial.c_str());
    std::snprintf(node.Description, sizeof node.Description, "Simulated reader");
    node.ftHandle = open;
  }
  *count = static_cast<DWORD>(n);
  return FT_OK;
}

STANDIN_API FT_STATUS FT_ListDevices(void* arg1, void*, DWORD flags) {
  if ((flags & FT_LIST_NUMBER_ONLY) && arg1) {
    *static_cast<DWORD*>(arg1) = static_cast<DWORD>(Configured().size());
    return FT_OK;
  }
  return FT_NOT_SUPPORTED;
}

STANDIN_API FT_STATUS FT_GetDeviceInfoDetail(DWORD index, DWORD* flags, DWORD* type, DWORD* id, DWORD* locId,
                                             void* serial, void* description, FT_HANDLE* handle) {
  std::lock_guard<std::mutex> lock(g_mu);
  const std::vector<Entry> entries = Configured();
  if (index >= entries.size()) return FT_DEVICE_NOT_FOUND;
  Device* open = OpenedSerial(entries[index].serial);
  if (flags) *flags = open ? 1u : 0u;
  if (type) *type = 5;
  if (id) *id = 0x04036001;
  if (locId) *locId = 0x100 + index;
  if (serial) std::snprintf(static_cast<char*>(serial), 16, "%s", entries[index].serial.c_str());
  if (description) std::snprintf(static_cast<char*>(description), 64, "Simulated reader");
  if (handle) *handle = open;
  return FT_OK;
}

STANDIN_API FT_HANDLE FT_W32_CreateFile(const char* name, DWORD, DWORD, LPVOID, DWORD,
                                        DWORD flagsAndAttributes, FT_HANDLE) {
  std::lock_guard<std::mutex> lock(g_mu);
  if (!name || !(flagsAndAttributes & FT_OPEN_BY_SERIAL_NUMBER)) {
    g_lastError = kErrorFileNotFound;
    return kInvalid;
  }
  for (const Entry& e : Configured()) {
    if (e.serial != name || OpenedSerial(e.serial)) continue;  // one open per device
    const int fd = sd::Create(e.path);
    if (fd < 0) break;
    Device* d = new Device;
    d->serial = e.serial;
    d->fd = fd;
    g_open.insert(d);
    return d;
  }
  g_lastError = kErrorFileNotFound;
  return kInvalid;
}

STANDIN_API BOOL FT_W32_CloseHandle(FT_HANDLE h) {
  std::lock_guard<std::mutex> lock(g_mu);
  Device* d = Lookup(h);
  if (!d) {
    g_lastError = kErrorInvalidHandle;
    return 0;
  }
  sd::Close(d->fd);
  g_open.erase(d);
  delete d;
  return 1;
}

// Reads what is queued (the host sets "return at once" timeouts).
STANDIN_API BOOL FT_W32_ReadFile(FT_HANDLE h, LPVOID buffer, DWORD size, DWORD* read, LPVOID) {
  std::lock_guard<std::mutex> lock(g_mu);
  Device* d = Lookup(h);
  if (!d) {
    g_lastError = kErrorInvalidHandle;
    return 0;
  }
  uint32_t got = 0;
  const bool ok = sd::Read(d->fd, buffer, size, &got);
  if (read) *read = got;
  return ok ? 1 : Fails(d);
}

STANDIN_API BOOL FT_W32_WriteFile(FT_HANDLE h, LPVOID buffer, DWORD size, DWORD* written, LPVOID) {
  std::lock_guard<std::mutex> lock(g_mu);
  Device* d = Lookup(h);
  if (!d) {
    g_lastError = kErrorInvalidHandle;
    return 0;
  }
  uint32_t done = 0;
  const bool ok = sd::Write(d->fd, buffer, size, &done);
  if (written) *written = done;
  return ok ? 1 : Fails(d);
}

STANDIN_API DWORD FT_W32_GetLastError(FT_HANDLE h) {
  std::lock_guard<std::mutex> lock(g_mu);
  Device* d = Lookup(h);
  return d ? d->lastError : g_lastError;
}

STANDIN_API BOOL FT_W32_ClearCommError(FT_HANDLE h, DWORD* errors, FTCOMSTAT* stat) {
  std::lock_guard<std::mutex> lock(g_mu);
  Device* d = Lookup(h);
  if (!d) return 0;
  tw::d2xx::FTCOMSTAT s{};
  uint32_t e = 0;
  if (!sd::ClearCommError(d->fd, &e, &s)) return Fails(d);
  if (errors) *errors = e;
  if (stat) std::memcpy(stat, &s, sizeof s);
  return 1;
}

STANDIN_API BOOL FT_W32_GetCommModemStatus(FT_HANDLE h, DWORD* status) {
  std::lock_guard<std::mutex> lock(g_mu);
  Device* d = Lookup(h);
  if (!d || !status) return 0;
  uint32_t s = 0;
  if (!sd::GetCommModemStatus(d->fd, &s)) return Fails(d);
  *status = s;
  return 1;
}

STANDIN_API BOOL FT_W32_GetCommState(FT_HANDLE h, FTDCB* dcb) {
  std::lock_guard<std::mutex> lock(g_mu);
  Device* d = Lookup(h);
  if (!d || !dcb) return 0;
  return sd::GetCommState(d->fd, reinterpret_cast<tw::d2xx::FTDCB*>(dcb)) ? 1 : Fails(d);
}

STANDIN_API BOOL FT_W32_SetCommState(FT_HANDLE h, FTDCB* dcb) {
  std::lock_guard<std::mutex> lock(g_mu);
  Device* d = Lookup(h);
  if (!d || !dcb) return 0;
  return sd::SetCommState(d->fd, reinterpret_cast<const tw::d2xx::FTDCB*>(dcb)) ? 1 : Fails(d);
}

STANDIN_API BOOL FT_W32_GetCommTimeouts(FT_HANDLE h, FTTIMEOUTS* t) {
  std::lock_guard<std::mutex> lock(g_mu);
  Device* d = Lookup(h);
  if (!d || !t) return 0;
  *t = d->timeouts;
  return 1;
}

STANDIN_API BOOL FT_W32_SetCommTimeouts(FT_HANDLE h, FTTIMEOUTS* t) {
  std::lock_guard<std::mutex> lock(g_mu);
  Device* d = Lookup(h);
  if (!d || !t) return 0;
  d->timeouts = *t;
  return 1;
}

STANDIN_API BOOL FT_W32_SetCommMask(FT_HANDLE h, ULONG mask) {
  std::lock_guard<std::mutex> lock(g_mu);
  Device* d = Lookup(h);
  if (!d) return 0;
  return sd::SetCommMask(d->fd, mask) ? 1 : Fails(d);
}

STANDIN_API BOOL FT_W32_PurgeComm(FT_HANDLE h, DWORD flags) {
  std::lock_guard<std::mutex> lock(g_mu);
  Device* d = Lookup(h);
  if (!d) return 0;
  return sd::PurgeComm(d->fd, flags) ? 1 : Fails(d);
}

STANDIN_API FT_STATUS FT_SetLatencyTimer(FT_HANDLE h, UCHAR) {
  std::lock_guard<std::mutex> lock(g_mu);
  return Lookup(h) ? FT_OK : FT_INVALID_HANDLE;
}

STANDIN_API FT_STATUS FT_SetBaudRate(FT_HANDLE h, ULONG) {
  std::lock_guard<std::mutex> lock(g_mu);
  return Lookup(h) ? FT_OK : FT_INVALID_HANDLE;
}

STANDIN_API FT_STATUS FT_SetUSBParameters(FT_HANDLE h, ULONG, ULONG) {
  std::lock_guard<std::mutex> lock(g_mu);
  return Lookup(h) ? FT_OK : FT_INVALID_HANDLE;
}

STANDIN_API FT_STATUS FT_ResetDevice(FT_HANDLE h) {
  std::lock_guard<std::mutex> lock(g_mu);
  return Lookup(h) ? FT_OK : FT_INVALID_HANDLE;
}

// Entry points resolved by hosts but not needed for a COM port: they accept a live handle.
#define STANDIN_ACCEPT(name, ...)                   \
  STANDIN_API BOOL name(FT_HANDLE h, __VA_ARGS__) { \
    std::lock_guard<std::mutex> lock(g_mu);         \
    return Lookup(h) ? 1 : 0;                       \
  }
STANDIN_ACCEPT(FT_W32_SetupComm, DWORD, DWORD)
STANDIN_ACCEPT(FT_W32_EscapeCommFunction, DWORD)
STANDIN_ACCEPT(FT_W32_GetOverlappedResult, LPVOID, DWORD*, BOOL)

STANDIN_API BOOL FT_W32_ClearCommBreak(FT_HANDLE h) {
  std::lock_guard<std::mutex> lock(g_mu);
  return Lookup(h) ? 1 : 0;
}

STANDIN_API BOOL FT_W32_SetCommBreak(FT_HANDLE h) {
  std::lock_guard<std::mutex> lock(g_mu);
  return Lookup(h) ? 1 : 0;
}

// Waiting for comm events is not offered: failure rather than a block.
STANDIN_API BOOL FT_W32_WaitCommEvent(FT_HANDLE h, DWORD* events, LPVOID) {
  std::lock_guard<std::mutex> lock(g_mu);
  if (events) *events = 0;
  if (Device* d = Lookup(h)) d->lastError = 50;  // ERROR_NOT_SUPPORTED
  return 0;
}
