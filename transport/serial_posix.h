// POSIX side of the serial port primitives: a termios device driven with the same DCB, timeouts and
// comm-error vocabulary as a D2XX device, so that CUSBSerialPort runs one code path for both.
#pragma once
#include <string>

#include "transport/ftd2xx_types.h"

namespace tw::posix_serial {

// Opens O_RDWR|O_NOCTTY|O_NONBLOCK and puts the line in raw mode; -1 and errno on failure.
int Create(const std::string& path);
bool Close(int fd);
// Non-blocking read of up to size bytes; false on a real error (EAGAIN is success with 0 bytes).
// A hang-up (read returns 0 on a tty) is reported as failure with EIO.
bool Read(int fd, void* buf, uint32_t size, uint32_t* got);
bool Write(int fd, const void* buf, uint32_t size, uint32_t* written);
uint32_t LastError();
// FIONREAD/TIOCOUTQ queue counts and line errors from TIOCGICOUNT where offered.
bool ClearCommError(int fd, d2xx::DWORD* errors, d2xx::FTCOMSTAT* stat);
// TIOCMGET; a device without modem lines (a pty) reads as all lines off, not a failure.
bool GetCommModemStatus(int fd, d2xx::DWORD* status);
bool GetCommState(int fd, d2xx::FTDCB* dcb);
bool SetCommState(int fd, const d2xx::FTDCB* dcb);
bool SetCommTimeouts(int fd, const d2xx::FTTIMEOUTS* t);
bool SetCommMask(int fd, d2xx::DWORD mask);
bool PurgeComm(int fd, d2xx::DWORD flags);
// Text of an errno for diagnostics.
std::string ErrorText(uint32_t err);

// Parses "baud=%d parity=%c data=%d stop=%d" into the DCB (BuildCommDCB's job); false on bad text.
bool BuildCommDCB(const std::string& def, d2xx::FTDCB* dcb);

}  // namespace tw::posix_serial
