// The serial device primitives of one platform (serial_posix.cpp: a termios device; serial_win32.cpp:
// a COM port with overlapped I/O), driven with the same DCB, timeouts and comm-error vocabulary as
// a D2XX device, so that CUSBSerialPort runs one code path for all of them. A device and an event
// are ints; -1 is none. Error numbers are errno values on every platform.
#pragma once
#include <string>

#include "transport/ftd2xx_types.h"

namespace tw::serial_device {

// The device a "COMn" name opens: /dev/ttyS(n-1) on POSIX, \\.\COMn on Windows.
std::string ComPortDevice(long n);

// Opens the device without sharing and puts the line in raw mode; -1 and errno on failure.
int Create(const std::string& path);
bool Close(int fd);
// Non-blocking read of up to size bytes; false on a real error (nothing queued is success with 0
// bytes). A hang-up is reported as failure with EIO.
bool Read(int fd, void* buf, uint32_t size, uint32_t* got);
bool Write(int fd, const void* buf, uint32_t size, uint32_t* written);
uint32_t LastError();
// Input and output queue counts and the line errors since the last call.
bool ClearCommError(int fd, d2xx::DWORD* errors, d2xx::FTCOMSTAT* stat);
// A device without modem lines (a pty) reads as all lines off, not a failure.
bool GetCommModemStatus(int fd, d2xx::DWORD* status);
bool GetCommState(int fd, d2xx::FTDCB* dcb);
bool SetCommState(int fd, const d2xx::FTDCB* dcb);
bool SetCommTimeouts(int fd, const d2xx::FTTIMEOUTS* t);
bool SetCommMask(int fd, d2xx::DWORD mask);
bool PurgeComm(int fd, d2xx::DWORD flags);
// Text of an error number for diagnostics.
std::string ErrorText(uint32_t err);
// The error number of an invalid argument (EINVAL).
uint32_t InvalidArgumentError();

// Parses "baud=%d parity=%c data=%d stop=%d" into the DCB (BuildCommDCB's job); false on bad text.
bool BuildCommDCB(const std::string& def, d2xx::FTDCB* dcb);

// Manual-reset events for the port thread: set until reset.
int NewEvent();
void SetEvent(int event);
void ResetEvent(int event);
void CloseEvent(int event);
// Waits at most timeoutMs for either event, or for the device (fd, -1 for none) to have input,
// a line event or a hang-up. deviceFailed: the device is gone.
void WaitForEvents(int shutdownEvent, int writeEvent, int fd, int timeoutMs, bool* shutdown,
                   bool* write, bool* deviceFailed);

}  // namespace tw::serial_device
