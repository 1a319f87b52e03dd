// FTDI's D2XX library, loaded at run time, and its entry points. Second base of CUSBSerialPort,
// which routes its port primitives here in D2XX mode. Without the library D2XX finds nothing.
#pragma once
#include "platform/dynlib.h"
#include "transport/ftd2xx_types.h"

namespace tw {

// Environment variable that names the D2XX library to load instead of "libftd2xx.so".
inline constexpr const char* kFtd2xxLibEnv = "TAGWRIGHT_FTD2XX_LIB";

class CFTD2xxPort {
 public:
  CFTD2xxPort() = default;
  ~CFTD2xxPort();
  CFTD2xxPort(const CFTD2xxPort&) = delete;
  CFTD2xxPort& operator=(const CFTD2xxPort&) = delete;

  // Loads the library once; a failed load is reported and retried on the next use.
  void LoadD2xxLibrary();
  void ReleaseD2xxLibrary();
  bool IsD2xxLoaded() const { return lib_.IsLoaded(); }

  // Device list; with the entry point missing: debug text and FT_INVALID_HANDLE.
  d2xx::FT_STATUS FtCreateDeviceInfoList(d2xx::DWORD* count);
  d2xx::FT_STATUS FtGetDeviceInfoList(d2xx::FT_DEVICE_LIST_INFO_NODE* list, d2xx::DWORD* count);

  // W32-style calls; each returns the routing default when its entry point is missing.
  d2xx::FT_HANDLE FtW32CreateFile(const char* serial);
  d2xx::BOOL FtW32CloseHandle(d2xx::FT_HANDLE h);
  d2xx::BOOL FtW32ReadFile(d2xx::FT_HANDLE h, void* buf, d2xx::DWORD size, d2xx::DWORD* got);
  d2xx::BOOL FtW32WriteFile(d2xx::FT_HANDLE h, const void* buf, d2xx::DWORD size,
                            d2xx::DWORD* written);
  d2xx::DWORD FtW32GetLastError(d2xx::FT_HANDLE h);
  d2xx::BOOL FtW32ClearCommError(d2xx::FT_HANDLE h, d2xx::DWORD* errors, d2xx::FTCOMSTAT* stat);
  d2xx::BOOL FtW32GetCommModemStatus(d2xx::FT_HANDLE h, d2xx::DWORD* status);
  d2xx::BOOL FtW32GetCommState(d2xx::FT_HANDLE h, d2xx::FTDCB* dcb);
  d2xx::BOOL FtW32SetCommState(d2xx::FT_HANDLE h, d2xx::FTDCB* dcb);
  d2xx::BOOL FtW32SetCommTimeouts(d2xx::FT_HANDLE h, d2xx::FTTIMEOUTS* t);
  d2xx::BOOL FtW32SetCommMask(d2xx::FT_HANDLE h, d2xx::ULONG mask);
  void FtW32PurgeComm(d2xx::FT_HANDLE h, d2xx::DWORD flags);
  d2xx::FT_STATUS FtSetLatencyTimer(d2xx::FT_HANDLE h, d2xx::UCHAR ms);

 private:
  using VoidFn = void (*)();
  DynamicLibrary lib_;
  // Entry points in the order of the vendor's table; all null while the library is not loaded.
  struct Table {
    VoidFn FT_ListDevices, FT_CreateDeviceInfoList, FT_GetDeviceInfoList, FT_GetDeviceInfoDetail,
        FT_ResetDevice, FT_SetBaudRate, FT_SetLatencyTimer, FT_SetUSBParameters, FT_W32_CreateFile,
        FT_W32_CloseHandle, FT_W32_ReadFile, FT_W32_WriteFile, FT_W32_GetLastError,
        FT_W32_GetOverlappedResult, FT_W32_ClearCommBreak, FT_W32_ClearCommError,
        FT_W32_EscapeCommFunction, FT_W32_GetCommModemStatus, FT_W32_GetCommState,
        FT_W32_GetCommTimeouts, FT_W32_PurgeComm, FT_W32_SetCommBreak, FT_W32_SetCommMask,
        FT_W32_SetCommState, FT_W32_SetCommTimeouts, FT_W32_SetupComm, FT_W32_WaitCommEvent;
  } fn_{};
};

}  // namespace tw
