// Types and constants of the vendor's D2XX library as its Linux build lays them out, for the
// stand-in library that the tests load in its place. Written independently of the SDK's copy.
#pragma once
#include <cstddef>
#include <cstdint>

extern "C" {

typedef uint32_t DWORD;
typedef uint32_t ULONG;
typedef uint32_t BOOL;
typedef uint16_t WORD;
typedef uint8_t UCHAR;
typedef void* FT_HANDLE;
typedef ULONG FT_STATUS;
typedef void* LPVOID;

enum : FT_STATUS {
  FT_OK = 0,
  FT_INVALID_HANDLE = 1,
  FT_DEVICE_NOT_FOUND = 2,
  FT_DEVICE_NOT_OPENED = 3,
  FT_IO_ERROR = 4,
  FT_INVALID_PARAMETER = 6,
  FT_NOT_SUPPORTED = 17,
};

enum : DWORD {
  FT_OPEN_BY_SERIAL_NUMBER = 1,
  FT_OPEN_BY_DESCRIPTION = 2,
  FT_LIST_NUMBER_ONLY = 0x80000000u,
  FT_LIST_BY_INDEX = 0x40000000u,
  FT_LIST_ALL = 0x20000000u,
};

typedef struct {
  ULONG Flags;
  ULONG Type;
  ULONG ID;
  DWORD LocId;
  char SerialNumber[16];
  char Description[64];
  FT_HANDLE ftHandle;
} FT_DEVICE_LIST_INFO_NODE;

typedef struct {
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
  UCHAR Parity;
  UCHAR StopBits;
  char XonChar;
  char XoffChar;
  char ErrorChar;
  char EofChar;
  char EvtChar;
  WORD wReserved1;
} FTDCB;

typedef struct {
  DWORD ReadIntervalTimeout;
  DWORD ReadTotalTimeoutMultiplier;
  DWORD ReadTotalTimeoutConstant;
  DWORD WriteTotalTimeoutMultiplier;
  DWORD WriteTotalTimeoutConstant;
} FTTIMEOUTS;

typedef struct {
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
} FTCOMSTAT;

}  // extern "C"

// The invalid handle of current releases: the integer 0xFFFFFFFF, not a null pointer.
#define STANDIN_INVALID_HANDLE (reinterpret_cast<FT_HANDLE>(static_cast<uintptr_t>(0xFFFFFFFFu)))

static_assert(sizeof(FT_DEVICE_LIST_INFO_NODE) == 104 || sizeof(void*) != 8);
static_assert(sizeof(FTDCB) == 28);
static_assert(sizeof(FTTIMEOUTS) == 20);
static_assert(sizeof(FTCOMSTAT) == 12);
