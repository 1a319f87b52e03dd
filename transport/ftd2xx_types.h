// Types of FTDI's D2XX library as its Linux build lays them out, written down here so that the
// library can be loaded at run time without its header. Sizes are checked at compile time.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tw::d2xx {

using DWORD = uint32_t;
using ULONG = uint32_t;
using BOOL = uint32_t;
using UCHAR = uint8_t;
using WORD = uint16_t;
using FT_STATUS = ULONG;
using FT_HANDLE = void*;

constexpr FT_STATUS FT_OK = 0;
constexpr FT_STATUS FT_INVALID_HANDLE = 1;
constexpr DWORD FT_OPEN_BY_SERIAL_NUMBER = 1;
constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD OPEN_EXISTING = 3;

// Current releases return an integer 0xFFFFFFFF as the invalid handle; older ones -1 or null.
inline bool IsInvalidHandle(FT_HANDLE h) {
  const uintptr_t v = reinterpret_cast<uintptr_t>(h);
  return v == 0 || v == 0xFFFFFFFFu || v == ~uintptr_t{0};
}
inline FT_HANDLE InvalidHandle() { return reinterpret_cast<FT_HANDLE>(uintptr_t{0xFFFFFFFFu}); }

struct FT_DEVICE_LIST_INFO_NODE {
  ULONG Flags;
  ULONG Type;
  ULONG ID;
  DWORD LocId;
  char SerialNumber[16];
  char Description[64];
  FT_HANDLE ftHandle;
};

// The Win32 DCB layout (28 bytes), also used for POSIX ports so that both kinds share one code path.
struct FTDCB {
  DWORD DCBlength;
  DWORD BaudRate;
  DWORD fBinary : 1;
  DWORD fParity : 1;
  DWORD fOutxCtsFlow : 1;
  DWORD fOutxDsrFlow : 1;
  DWORD fDtrControl : 2;
  DWORD fDsrSensitivity : 1;
  DWORD fTXContinueOnXoff : 1;
  DWORD fOutX : 1;
  DWORD fInX : 1;
  DWORD fErrorChar : 1;
  DWORD fNull : 1;
  DWORD fRtsControl : 2;
  DWORD fAbortOnError : 1;
  DWORD fDummy2 : 17;
  WORD wReserved;
  WORD XonLim;
  WORD XoffLim;
  UCHAR ByteSize;
  UCHAR Parity;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  UCHAR StopBits;  // 0 one, 1 one and a half, 2 two
  char XonChar;
  char XoffChar;
  char ErrorChar;
  char EofChar;
  char EvtChar;
  WORD wReserved1;
};

struct FTTIMEOUTS {
  DWORD ReadIntervalTimeout;
  DWORD ReadTotalTimeoutMultiplier;
  DWORD ReadTotalTimeoutConstant;
  DWORD WriteTotalTimeoutMultiplier;
  DWORD WriteTotalTimeoutConstant;
};

struct FTCOMSTAT {
  DWORD fCtsHold : 1;
  DWORD fDsrHold : 1;
  DWORD fRlsdHold : 1;
  DWORD fXoffHold : 1;
  DWORD fXoffSent : 1;
  DWORD fEof : 1;
  DWORD fTxim : 1;
  DWORD fReserved : 25;
  DWORD cbInQue;
  DWORD cbOutQue;
};

static_assert(sizeof(FTDCB) == 28, "DCB must keep the Win32 layout");
static_assert(sizeof(FTTIMEOUTS) == 20);
static_assert(sizeof(FTCOMSTAT) == 12);
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, ftHandle) == 96 || sizeof(void*) != 8);
static_assert(sizeof(FT_DEVICE_LIST_INFO_NODE) == 104 || sizeof(void*) != 8);

// Comm constants shared by the POSIX and D2XX paths (Win32 values).
constexpr DWORD EV_RXCHAR = 0x0001;
constexpr DWORD EV_TXEMPTY = 0x0004;
constexpr DWORD EV_CTS = 0x0008;
constexpr DWORD CE_RXOVER = 0x0001;
constexpr DWORD CE_OVERRUN = 0x0002;
constexpr DWORD CE_RXPARITY = 0x0004;
constexpr DWORD CE_FRAME = 0x0008;
constexpr DWORD CE_BREAK = 0x0010;
constexpr DWORD CE_TXFULL = 0x0100;
constexpr DWORD CE_IOE = 0x0400;
constexpr DWORD CE_MODE = 0x8000;
constexpr DWORD MS_CTS_ON = 0x0010;
constexpr DWORD MS_DSR_ON = 0x0020;
constexpr DWORD MS_RING_ON = 0x0040;
constexpr DWORD MS_RLSD_ON = 0x0080;
constexpr DWORD PURGE_TXABORT = 0x0001;
constexpr DWORD PURGE_RXABORT = 0x0002;
constexpr DWORD PURGE_TXCLEAR = 0x0004;
constexpr DWORD PURGE_RXCLEAR = 0x0008;
constexpr DWORD DTR_CONTROL_ENABLE = 1;
constexpr DWORD RTS_CONTROL_ENABLE = 1;
constexpr DWORD MAXDWORD = 0xFFFFFFFFu;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr UCHAR NOPARITY = 0, ODDPARITY = 1, EVENPARITY = 2;
constexpr UCHAR ONESTOPBIT = 0, TWOSTOPBITS = 2;

}  // namespace tw::d2xx
