#include "transport/ftd2xx_port.h"

#include <cstdlib>
#include <string>

#include "platform/trace.h"
#include "transport/vendor_libs.h"

namespace tw {

using namespace d2xx;

namespace {
// The platform's library name; the environment variable points tests at a stand-in.
std::string LibraryName() {
  const char* env = std::getenv(kFtd2xxLibEnv);
  return (env && *env) ? env : DefaultFtd2xxLibrary();
}
}  // namespace

CFTD2xxPort::~CFTD2xxPort() { ReleaseD2xxLibrary(); }

void CFTD2xxPort::LoadD2xxLibrary() {
  if (lib_.IsLoaded()) return;
  const std::string name = LibraryName();
  if (!lib_.Load(name)) {
    Trace("Fehler: Kann %s nicht laden", name.c_str());
    return;
  }
  struct Entry {
    const char* name;
    VoidFn* slot;
  };
  // The order in which the vendor's entry points are resolved.
  const Entry entries[] = {
      {"FT_SetBaudRate", &fn_.FT_SetBaudRate},
      {"FT_SetLatencyTimer", &fn_.FT_SetLatencyTimer},
      {"FT_SetUSBParameters", &fn_.FT_SetUSBParameters},
      {"FT_ListDevices", &fn_.FT_ListDevices},
      {"FT_CreateDeviceInfoList", &fn_.FT_CreateDeviceInfoList},
      {"FT_GetDeviceInfoList", &fn_.FT_GetDeviceInfoList},
      {"FT_GetDeviceInfoDetail", &fn_.FT_GetDeviceInfoDetail},
      {"FT_ResetDevice", &fn_.FT_ResetDevice},
      {"FT_W32_CreateFile", &fn_.FT_W32_CreateFile},
      {"FT_W32_CloseHandle", &fn_.FT_W32_CloseHandle},
      {"FT_W32_ReadFile", &fn_.FT_W32_ReadFile},
      {"FT_W32_WriteFile", &fn_.FT_W32_WriteFile},
      {"FT_W32_GetLastError", &fn_.FT_W32_GetLastError},
      {"FT_W32_GetOverlappedResult", &fn_.FT_W32_GetOverlappedResult},
      {"FT_W32_ClearCommBreak", &fn_.FT_W32_ClearCommBreak},
      {"FT_W32_ClearCommError", &fn_.FT_W32_ClearCommError},
      {"FT_W32_EscapeCommFunction", &fn_.FT_W32_EscapeCommFunction},
      {"FT_W32_GetCommModemStatus", &fn_.FT_W32_GetCommModemStatus},
      {"FT_W32_GetCommState", &fn_.FT_W32_GetCommState},
      {"FT_W32_GetCommTimeouts", &fn_.FT_W32_GetCommTimeouts},
      {"FT_W32_PurgeComm", &fn_.FT_W32_PurgeComm},
      {"FT_W32_SetCommBreak", &fn_.FT_W32_SetCommBreak},
      {"FT_W32_SetCommMask", &fn_.FT_W32_SetCommMask},
      {"FT_W32_SetCommState", &fn_.FT_W32_SetCommState},
      {"FT_W32_SetCommTimeouts", &fn_.FT_W32_SetCommTimeouts},
      {"FT_W32_SetupComm", &fn_.FT_W32_SetupComm},
      {"FT_W32_WaitCommEvent", &fn_.FT_W32_WaitCommEvent},
  };
  for (const Entry& e : entries) {
    *e.slot = reinterpret_cast<VoidFn>(lib_.Symbol(e.name));
    if (!*e.slot) Trace("Fehler: Kann %s nicht initialisieren", e.name);
  }
}

void CFTD2xxPort::ReleaseD2xxLibrary() {
  fn_ = Table{};
  lib_.Unload();
}

template <typename Fn>
static Fn As(void (*p)()) {
  return reinterpret_cast<Fn>(p);
}

FT_STATUS CFTD2xxPort::FtCreateDeviceInfoList(DWORD* count) {
  if (!fn_.FT_CreateDeviceInfoList) {
    Trace("FT_CreateDeviceInfoList ist nicht vorhanden!");
    return FT_INVALID_HANDLE;
  }
  return As<FT_STATUS (*)(DWORD*)>(fn_.FT_CreateDeviceInfoList)(count);
}

FT_STATUS CFTD2xxPort::FtGetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* list, DWORD* count) {
  if (!fn_.FT_GetDeviceInfoList) {
    Trace("FT_GetDeviceInfoList ist nicht vorhanden!");
    return FT_INVALID_HANDLE;
  }
  return As<FT_STATUS (*)(FT_DEVICE_LIST_INFO_NODE*, DWORD*)>(fn_.FT_GetDeviceInfoList)(list, count);
}

FT_HANDLE CFTD2xxPort::FtW32CreateFile(const char* serial) {
  if (!fn_.FT_W32_CreateFile) return InvalidHandle();
  using Fn = FT_HANDLE (*)(const char*, DWORD, DWORD, void*, DWORD, DWORD, void*);
  return As<Fn>(fn_.FT_W32_CreateFile)(serial, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, FT_OPEN_BY_SERIAL_NUMBER, nullptr);
}

BOOL CFTD2xxPort::FtW32CloseHandle(FT_HANDLE h) {
  if (!fn_.FT_W32_CloseHandle) return 0;
  return As<BOOL (*)(FT_HANDLE)>(fn_.FT_W32_CloseHandle)(h);
}

BOOL CFTD2xxPort::FtW32ReadFile(FT_HANDLE h, void* buf, DWORD size, DWORD* got) {
  if (!fn_.FT_W32_ReadFile) return 0;
  return As<BOOL (*)(FT_HANDLE, void*, DWORD, DWORD*, void*)>(fn_.FT_W32_ReadFile)(h, buf, size,
                                                                                 got, nullptr);
}

BOOL CFTD2xxPort::FtW32WriteFile(FT_HANDLE h, const void* buf, DWORD size, DWORD* written) {
  if (!fn_.FT_W32_WriteFile) return 0;
  return As<BOOL (*)(FT_HANDLE, void*, DWORD, DWORD*, void*)>(fn_.FT_W32_WriteFile)(
      h, const_cast<void*>(buf), size, written, nullptr);
}

DWORD CFTD2xxPort::FtW32GetLastError(FT_HANDLE h) {
  if (!fn_.FT_W32_GetLastError) return 0;
  return As<DWORD (*)(FT_HANDLE)>(fn_.FT_W32_GetLastError)(h);
}

BOOL CFTD2xxPort::FtW32ClearCommError(FT_HANDLE h, DWORD* errors, FTCOMSTAT* stat) {
  if (!fn_.FT_W32_ClearCommError) return 0;
  return As<BOOL (*)(FT_HANDLE, DWORD*, FTCOMSTAT*)>(fn_.FT_W32_ClearCommError)(h, errors, stat);
}

BOOL CFTD2xxPort::FtW32GetCommModemStatus(FT_HANDLE h, DWORD* status) {
  if (!fn_.FT_W32_GetCommModemStatus) return 0;
  return As<BOOL (*)(FT_HANDLE, DWORD*)>(fn_.FT_W32_GetCommModemStatus)(h, status);
}

BOOL CFTD2xxPort::FtW32GetCommState(FT_HANDLE h, FTDCB* dcb) {
  if (!fn_.FT_W32_GetCommState) return 0;
  return As<BOOL (*)(FT_HANDLE, FTDCB*)>(fn_.FT_W32_GetCommState)(h, dcb);
}

BOOL CFTD2xxPort::FtW32SetCommState(FT_HANDLE h, FTDCB* dcb) {
  if (!fn_.FT_W32_SetCommState) return 0;
  return As<BOOL (*)(FT_HANDLE, FTDCB*)>(fn_.FT_W32_SetCommState)(h, dcb);
}

BOOL CFTD2xxPort::FtW32SetCommTimeouts(FT_HANDLE h, FTTIMEOUTS* t) {
  if (!fn_.FT_W32_SetCommTimeouts) return 0;
  return As<BOOL (*)(FT_HANDLE, FTTIMEOUTS*)>(fn_.FT_W32_SetCommTimeouts)(h, t);
}

BOOL CFTD2xxPort::FtW32SetCommMask(FT_HANDLE h, ULONG mask) {
  if (!fn_.FT_W32_SetCommMask) return 0;
  return As<BOOL (*)(FT_HANDLE, ULONG)>(fn_.FT_W32_SetCommMask)(h, mask);
}

void CFTD2xxPort::FtW32PurgeComm(FT_HANDLE h, DWORD flags) {
  if (!fn_.FT_W32_PurgeComm) return;
  As<BOOL (*)(FT_HANDLE, DWORD)>(fn_.FT_W32_PurgeComm)(h, flags);
}

FT_STATUS CFTD2xxPort::FtSetLatencyTimer(FT_HANDLE h, UCHAR ms) {
  if (!fn_.FT_SetLatencyTimer) return FT_INVALID_HANDLE;
  return As<FT_STATUS (*)(FT_HANDLE, UCHAR)>(fn_.FT_SetLatencyTimer)(h, ms);
}

}  // namespace tw
