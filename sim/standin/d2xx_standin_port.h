// The device behind a stand-in D2XX handle, one file per platform: a pseudo-terminal on POSIX
// (d2xx_standin_port_posix.cpp), a COM port through the project's serial primitives on Windows
// (d2xx_standin_port_win32.cpp). A call that fails sets *error to the Win32 error code the W32
// functions report for it.
#pragma once
#include <string>

#include "sim/standin/d2xx_abi.h"

namespace standin {

constexpr DWORD kErrorInvalidHandle = 6;  // Win32 ERROR_INVALID_HANDLE
constexpr DWORD kErrorFileNotFound = 2;   // Win32 ERROR_FILE_NOT_FOUND
constexpr DWORD kErrorDeviceGone = 1167;  // Win32 ERROR_DEVICE_NOT_CONNECTED
constexpr DWORD kErrorIo = 1117;          // Win32 ERROR_IO_DEVICE
constexpr DWORD kErrorNotSupported = 50;  // Win32 ERROR_NOT_SUPPORTED

// Opens the device raw and without blocking; -1 on failure.
int OpenPort(const std::string& path);
void ClosePort(int fd);
// Reads what is queued, waiting only as long as the timeouts ask (MAXDWORD interval with zero
// totals: return at once).
bool ReadPort(int fd, void* buffer, DWORD size, const FTTIMEOUTS& timeouts, DWORD* got, DWORD* error);
bool WritePort(int fd, const void* buffer, DWORD size, DWORD* done, DWORD* error);
// Line errors and queue counts; false when the device is gone.
bool PortStatus(int fd, DWORD* errors, FTCOMSTAT* stat, DWORD* error);
bool PortModemStatus(int fd, DWORD* status, DWORD* error);
bool SetPortState(int fd, const FTDCB& dcb, DWORD* error);
bool SetPortMask(int fd, ULONG mask, DWORD* error);
bool PurgePort(int fd, DWORD flags, DWORD* error);

}  // namespace standin
