// Stand-in for the vendor's D2XX library, built for tests as libftd2xx.so and as ftd2xx.dll. It
// lists the devices named in TAGWRIGHT_SIM_D2XX ("SERIAL=/dev/pts/N;SERIAL2=/dev/pts/M", on
// Windows "SERIAL=\\.\COM23") and opens a device by serial number as that terminal or COM port,
// which is normally a tagwright-sim instance (d2xx_standin_port.h). The W32 functions behave like
// their Win32 namesakes on that device. With TAGWRIGHT_SIM_D2XX_LOG set, every call appends its
// name (and main arguments) as one line to that file, so tests can check what the host called.
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "sim/standin/d2xx_abi.h"
#include "sim/standin/d2xx_standin_port.h"

#if defined(_WIN32)
#define STANDIN_API extern "C" __declspec(dllexport)
#else
#define STANDIN_API extern "C" __attribute__((visibility("default")))
#endif

namespace {

using namespace standin;

struct Device {
  std::string serial;
  std::string path;
  int fd = -1;
  DWORD lastError = 0;
  FTDCB dcb{};
  FTTIMEOUTS timeouts{};
  DWORD mask = 0;
  UCHAR latency = 16;
};

struct Entry {
  std::string serial;
  std::string path;
};

std::mutex g_mu;
std::set<Device*> g_open;  // live handles; anything else is rejected, never dereferenced
DWORD g_lastError = 0;     // for calls made with an invalid handle

void Log(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void Log(const char* fmt, ...) {
  const char* path = getenv("TAGWRIGHT_SIM_D2XX_LOG");
  if (!path || !*path) return;
  FILE* f = fopen(path, "a");
  if (!f) return;
  va_list ap;
  va_start(ap, fmt);
  vfprintf(f, fmt, ap);
  va_end(ap);
  fputc('\n', f);
  fclose(f);
}

std::vector<Entry> Configured() {
  std::vector<Entry> list;
  const char* env = getenv("TAGWRIGHT_SIM_D2XX");
  if (!env) return list;
  std::string all = env;
  size_t pos = 0;
  while (pos <= all.size()) {
    size_t end = all.find(';', pos);
    if (end == std::string::npos) end = all.size();
    const std::string item = all.substr(pos, end - pos);
    const size_t eq = item.find('=');
    // Serial numbers are at most 15 characters in the device list node.
    if (eq != std::string::npos && eq > 0 && eq < 16)
      list.push_back({item.substr(0, eq), item.substr(eq + 1)});
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

}  // namespace

STANDIN_API FT_STATUS FT_CreateDeviceInfoList(DWORD* count) {
  Log("FT_CreateDeviceInfoList");
  if (!count) return FT_INVALID_PARAMETER;
  *count = static_cast<DWORD>(Configured().size());
  return FT_OK;
}

STANDIN_API FT_STATUS FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* list, DWORD* count) {
  Log("FT_GetDeviceInfoList");
  if (!list || !count) return FT_INVALID_PARAMETER;
  std::lock_guard<std::mutex> lock(g_mu);
  const std::vector<Entry> entries = Configured();
  // The caller sized its buffer from FT_CreateDeviceInfoList; never write past what it asked for.
  const size_t n = entries.size();
  for (size_t i = 0; i < n && i < *count; ++i) {
    FT_DEVICE_LIST_INFO_NODE& node = list[i];
    memset(&node, 0, sizeof node);
    Device* open = OpenedSerial(entries[i].serial);
    node.Flags = open ? 1u : 0u;  // bit 0: opened
    node.Type = 5;  // chip type code of a common USB-serial chip
    node.ID = 0x04036001;
    node.LocId = static_cast<DWORD>(0x100 + i);
    snprintf(node.SerialNumber, sizeof node.SerialNumber, "%s", entries[i].serial.c_str());
    snprintf(node.Description, sizeof node.Description, "Simulated reader");
    node.ftHandle = open;
  }
  *count = static_cast<DWORD>(n < *count ? n : *count);
  return FT_OK;
}

STANDIN_API FT_STATUS FT_ListDevices(void* arg1, void* arg2, DWORD flags) {
  Log("FT_ListDevices");
  if ((flags & FT_LIST_NUMBER_ONLY) && arg1) {
    *static_cast<DWORD*>(arg1) = static_cast<DWORD>(Configured().size());
    return FT_OK;
  }
  (void)arg2;
  return FT_NOT_SUPPORTED;
}

STANDIN_API FT_STATUS FT_GetDeviceInfoDetail(DWORD index, DWORD* flags, DWORD* type, DWORD* id, DWORD* locId,
                                             void* serial, void* description, FT_HANDLE* handle) {
  Log("FT_GetDeviceInfoDetail %u", index);
  std::lock_guard<std::mutex> lock(g_mu);
  const std::vector<Entry> entries = Configured();
  if (index >= entries.size()) return FT_DEVICE_NOT_FOUND;
  Device* open = OpenedSerial(entries[index].serial);
  if (flags) *flags = open ? 1u : 0u;
  if (type) *type = 5;
  if (id) *id = 0x04036001;
  if (locId) *locId = 0x100 + index;
  if (serial) snprintf(static_cast<char*>(serial), 16, "%s", entries[index].serial.c_str());
  if (description) snprintf(static_cast<char*>(description), 64, "Simulated reader");
  if (handle) *handle = open;
  return FT_OK;
}

STANDIN_API FT_HANDLE FT_W32_CreateFile(const char* name, DWORD access, DWORD share, LPVOID security,
                                        DWORD create, DWORD flagsAndAttributes, FT_HANDLE templ) {
  (void)access, (void)share, (void)security, (void)create, (void)templ;
  Log("FT_W32_CreateFile %s", name ? name : "(null)");
  std::lock_guard<std::mutex> lock(g_mu);
  if (!name || !(flagsAndAttributes & FT_OPEN_BY_SERIAL_NUMBER)) {
    g_lastError = kErrorFileNotFound;
    return STANDIN_INVALID_HANDLE;
  }
  for (const Entry& e : Configured()) {
    if (e.serial != name) continue;
    if (OpenedSerial(e.serial)) break;  // one open per device, as with the real chip
    const int fd = OpenPort(e.path);
    if (fd < 0) break;
    Device* d = new Device;
    d->serial = e.serial;
    d->path = e.path;
    d->fd = fd;
    d->dcb.DCBlength = sizeof(FTDCB);
    d->dcb.BaudRate = 9600;
    d->dcb.ByteSize = 8;
    d->dcb.fBinary = 1;
    g_open.insert(d);
    return d;
  }
  g_lastError = kErrorFileNotFound;
  return STANDIN_INVALID_HANDLE;
}

STANDIN_API BOOL FT_W32_CloseHandle(FT_HANDLE h) {
  Log("FT_W32_CloseHandle");
  std::lock_guard<std::mutex> lock(g_mu);
  Device* d = Lookup(h);
  if (!d) {
    g_lastError = kErrorInvalidHandle;
    return 0;
  }
  g_open.erase(d);
  ClosePort(d->fd);
  delete d;
  return 1;
}

STANDIN_API BOOL FT_W32_ReadFile(FT_HANDLE h, LPVOID buffer, DWORD size, DWORD* read, LPVOID overlapped) {
  (void)overlapped;
  std::lock_guard<std::mutex> lock(g_mu);
  if (read) *read = 0;
  Device* d = Lookup(h);
  if (!d) {
    g_lastError = kErrorInvalidHandle;
    return 0;
  }
  if (!buffer && size) {
    d->lastError = kErrorIo;
    return 0;
  }
  DWORD got = 0;
  const bool ok = ReadPort(d->fd, buffer, size, d->timeouts, &got, &d->lastError);
  if (read) *read = got;
  return ok ? 1 : 0;
}

STANDIN_API BOOL FT_W32_WriteFile(FT_HANDLE h, LPVOID buffer, DWORD size, DWORD* written, LPVOID overlapped) {
  (void)overlapped;
  std::lock_guard<std::mutex> lock(g_mu);
  if (written) *written = 0;
  Device* d = Lookup(h);
  if (!d) {
    g_lastError = kErrorInvalidHandle;
    return 0;
  }
  Log("FT_W32_WriteFile %u", size);
  DWORD done = 0;
  const bool ok = WritePort(d->fd, buffer, size, &done, &d->lastError);
  if (written) *written = done;
  return ok ? 1 : 0;
}

STANDIN_API DWORD FT_W32_GetLastError(FT_HANDLE h) {
  std::lock_guard<std::mutex> lock(g_mu);
  Device* d = Lookup(h);
  return d ? d->lastError : g_lastError;
}

STANDIN_API BOOL FT_W32_ClearCommError(FT_HANDLE h, DWORD* errors, FTCOMSTAT* stat) {
  std::lock_guard<std::mutex> lock(g_mu);
  Device* d = Lookup(h);
  if (errors) *errors = 0;
  if (stat) memset(stat, 0, sizeof *stat);
  if (!d) {
    g_lastError = kErrorInvalidHandle;
    return 0;
  }
  return PortStatus(d->fd, errors, stat, &d->lastError) ? 1 : 0;
}

STANDIN_API BOOL FT_W32_GetCommModemStatus(FT_HANDLE h, DWORD* status) {
  std::lock_guard<std::mutex> lock(g_mu);
  Device* d = Lookup(h);
  if (status) *status = 0;
  if (!d) {
    g_lastError = kErrorInvalidHandle;
    return 0;
  }
  return PortModemStatus(d->fd, status, &d->lastError) ? 1 : 0;
}

STANDIN_API BOOL FT_W32_GetCommState(FT_HANDLE h, FTDCB* dcb) {
  Log("FT_W32_GetCommState");
  std::lock_guard<std::mutex> lock(g_mu);
  Device* d = Lookup(h);
  if (!d || !dcb) return 0;
  *dcb = d->dcb;
  return 1;
}

STANDIN_API BOOL FT_W32_SetCommState(FT_HANDLE h, FTDCB* dcb) {
  std::lock_guard<std::mutex> lock(g_mu);
  Device* d = Lookup(h);
  if (!d || !dcb) return 0;
  Log("FT_W32_SetCommState %u %u %u %u", dcb->BaudRate, dcb->ByteSize, dcb->Parity, dcb->StopBits);
  if (!SetPortState(d->fd, *dcb, &d->lastError)) return 0;
  d->dcb = *dcb;
  return 1;
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
  Log("FT_W32_SetCommTimeouts %u %u %u", t->ReadIntervalTimeout, t->ReadTotalTimeoutMultiplier,
      t->ReadTotalTimeoutConstant);
  d->timeouts = *t;
  return 1;
}

STANDIN_API BOOL FT_W32_SetCommMask(FT_HANDLE h, ULONG mask) {
  std::lock_guard<std::mutex> lock(g_mu);
  Device* d = Lookup(h);
  if (!d) return 0;
  Log("FT_W32_SetCommMask %u", mask);
  if (!SetPortMask(d->fd, mask, &d->lastError)) return 0;
  d->mask = mask;
  return 1;
}

STANDIN_API BOOL FT_W32_PurgeComm(FT_HANDLE h, DWORD flags) {
  std::lock_guard<std::mutex> lock(g_mu);
  Device* d = Lookup(h);
  if (!d) return 0;
  Log("FT_W32_PurgeComm %u", flags);
  return PurgePort(d->fd, flags, &d->lastError) ? 1 : 0;
}

#ifndef STANDIN_WITHOUT_LATENCY_TIMER
STANDIN_API FT_STATUS FT_SetLatencyTimer(FT_HANDLE h, UCHAR ms) {
  std::lock_guard<std::mutex> lock(g_mu);
  Device* d = Lookup(h);
  if (!d) return FT_INVALID_HANDLE;
  Log("FT_SetLatencyTimer %u", ms);
  d->latency = ms;
  return FT_OK;
}
#endif

STANDIN_API FT_STATUS FT_SetBaudRate(FT_HANDLE h, ULONG baud) {
  std::lock_guard<std::mutex> lock(g_mu);
  Device* d = Lookup(h);
  if (!d) return FT_INVALID_HANDLE;
  d->dcb.BaudRate = baud;
  return FT_OK;
}

STANDIN_API FT_STATUS FT_SetUSBParameters(FT_HANDLE h, ULONG in, ULONG out) {
  (void)in, (void)out;
  std::lock_guard<std::mutex> lock(g_mu);
  return Lookup(h) ? FT_OK : FT_INVALID_HANDLE;
}

STANDIN_API FT_STATUS FT_ResetDevice(FT_HANDLE h) {
  std::lock_guard<std::mutex> lock(g_mu);
  return Lookup(h) ? FT_OK : FT_INVALID_HANDLE;
}

// Entry points resolved by hosts but not used for the stand-in's devices: they accept a live handle.
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

// Waiting for comm events is not supported on the stand-in: it reports failure rather than block.
STANDIN_API BOOL FT_W32_WaitCommEvent(FT_HANDLE h, DWORD* events, LPVOID overlapped) {
  (void)overlapped;
  std::lock_guard<std::mutex> lock(g_mu);
  if (events) *events = 0;
  Device* d = Lookup(h);
  if (d) d->lastError = kErrorNotSupported;
  return 0;
}
