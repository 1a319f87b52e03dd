// COM ports through the Win32 communications functions. Every device is opened for overlapped I/O;
// the port thread waits on its shutdown and write events and on a pending WaitCommEvent, so it
// wakes when a byte arrives or a line changes instead of polling. Devices and events are handed
// out as ints: a device is a slot of the table below, an event its handle value (kernel handles
// fit in 32 bits on 64-bit Windows).
#include "transport/serial_device.h"

#include <windows.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/trace.h"
#include "platform/wide_text.h"

namespace tw::serial_device {

namespace {

static_assert(sizeof(DCB) == sizeof(d2xx::FTDCB), "the DCB layouts must agree");
static_assert(sizeof(COMMTIMEOUTS) == sizeof(d2xx::FTTIMEOUTS));

// Line events the port thread always wants to wake for, whatever mask the owner asked for: it
// looks at input, line errors and modem lines on every wake-up.
constexpr DWORD kWakeEvents = EV_RXCHAR | EV_ERR | EV_BREAK | EV_CTS | EV_DSR | EV_RLSD | EV_RING;
// Longest wait for a write to leave (the POSIX side gives up after about as long).
constexpr DWORD kWriteWaitMs = 1000;

struct Port {
  HANDLE handle = INVALID_HANDLE_VALUE;
  HANDLE claim = nullptr;
  OVERLAPPED waitOv{};
  OVERLAPPED readOv{};
  OVERLAPPED writeOv{};
  DWORD waitEvents = 0;
  bool waitPending = false;
  bool noLineEvents = false;
  DWORD mask = 0;
  bool maskSet = false;
};

std::mutex gTableLock;
std::vector<std::unique_ptr<Port>> gPorts;
thread_local uint32_t tLastError = 0;

Port* Find(int fd) {
  std::lock_guard<std::mutex> lock(gTableLock);
  if (fd < 0 || static_cast<size_t>(fd) >= gPorts.size()) return nullptr;
  return gPorts[static_cast<size_t>(fd)].get();
}

// Win32 error codes in the errno vocabulary the callers share with the POSIX side.
int ToErrno(DWORD err) {
  switch (err) {
    case ERROR_SUCCESS: return 0;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_UNIT: return ENOENT;
    // A COM port someone else holds answers "access denied".
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY: return EBUSY;
    case ERROR_INVALID_PARAMETER: return EINVAL;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return ENOMEM;
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION: return ENOTTY;
    default: return EIO;
  }
}

bool Fail(DWORD err) {
  tLastError = static_cast<uint32_t>(ToErrno(err));
  errno = static_cast<int>(tLastError);
  return false;
}

bool FailErrno(int e) {
  tLastError = static_cast<uint32_t>(e);
  errno = e;
  return false;
}

// A device that is gone (unplugged USB adapter) answers with one of these.
bool DeviceGone(DWORD err) {
  return err == ERROR_ACCESS_DENIED || err == ERROR_BAD_COMMAND || err == ERROR_DEVICE_REMOVED ||
         err == ERROR_OPERATION_ABORTED || err == ERROR_GEN_FAILURE || err == ERROR_INVALID_HANDLE ||
         err == ERROR_DEVICE_NOT_CONNECTED;
}

HANDLE NewManualEvent() { return CreateEventW(nullptr, TRUE, FALSE, nullptr); }

// A named mutex per device, held while the port is open: the claim every program of this system
// checks before it opens a port, in this process or another one, beside the system's own refusal
// of a second opener (which not every COM driver gives).
HANDLE ClaimDevice(const std::string& path) {
  const size_t cut = path.find_last_of("\\/");
  std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  HANDLE m = CreateMutexW(nullptr, FALSE, Utf8ToWide("Global\\Tagwright.Serial." + name).c_str());
  if (m && GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(m);
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return m;
}

void CloseOv(OVERLAPPED& ov) {
  if (ov.hEvent) CloseHandle(ov.hEvent);
  ov.hEvent = nullptr;
}

// Waits for an overlapped operation that returned ERROR_IO_PENDING; cancels it after waitMs.
bool FinishOverlapped(HANDLE h, OVERLAPPED& ov, DWORD waitMs, DWORD* done) {
  *done = 0;
  if (WaitForSingleObject(ov.hEvent, waitMs) != WAIT_OBJECT_0) {
    CancelIo(h);
    GetOverlappedResult(h, &ov, done, TRUE);
    return Fail(ERROR_TIMEOUT);
  }
  if (!GetOverlappedResult(h, &ov, done, FALSE)) return Fail(GetLastError());
  return true;
}

}  // namespace

std::string ComPortDevice(long n) { return "\\\\.\\COM" + std::to_string(n); }

int Create(const std::string& path) {
  // One reader, one user: answers would cross between two openers of the same line.
  HANDLE claim = ClaimDevice(path);
  if (!claim) {
    Fail(GetLastError());
    return -1;
  }
  // No sharing: a second opener gets "access denied".
  HANDLE h = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                         OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    Fail(GetLastError());
    CloseHandle(claim);
    return -1;
  }
  // Only communications devices are serial ports; a file or a pipe would "open" and never answer.
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (GetFileType(h) != FILE_TYPE_CHAR || !::GetCommState(h, &dcb)) {
    CloseHandle(h);
    CloseHandle(claim);
    FailErrno(ENOTTY);
    return -1;
  }
  // Raw line: binary, no flow control, no character replacement.
  dcb.fBinary = TRUE;
  dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = FALSE;
  dcb.fOutX = dcb.fInX = FALSE;
  dcb.fNull = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fAbortOnError = FALSE;
  ::SetCommState(h, &dcb);
  COMMTIMEOUTS t{MAXDWORD, 0, 0, 0, 0};
  ::SetCommTimeouts(h, &t);

  auto port = std::make_unique<Port>();
  port->handle = h;
  port->claim = claim;
  port->waitOv.hEvent = NewManualEvent();
  port->readOv.hEvent = NewManualEvent();
  port->writeOv.hEvent = NewManualEvent();
  if (!port->waitOv.hEvent || !port->readOv.hEvent || !port->writeOv.hEvent) {
    const DWORD err = GetLastError();
    CloseOv(port->waitOv);
    CloseOv(port->readOv);
    CloseOv(port->writeOv);
    CloseHandle(h);
    CloseHandle(claim);
    Fail(err);
    return -1;
  }
  std::lock_guard<std::mutex> lock(gTableLock);
  for (size_t i = 0; i < gPorts.size(); ++i) {
    if (!gPorts[i]) {
      gPorts[i] = std::move(port);
      return static_cast<int>(i);
    }
  }
  gPorts.push_back(std::move(port));
  return static_cast<int>(gPorts.size() - 1);
}

bool Close(int fd) {
  std::unique_ptr<Port> port;
  {
    std::lock_guard<std::mutex> lock(gTableLock);
    if (fd < 0 || static_cast<size_t>(fd) >= gPorts.size() || !gPorts[static_cast<size_t>(fd)])
      return FailErrno(EBADF);
    port = std::move(gPorts[static_cast<size_t>(fd)]);
  }
  if (port->waitPending) {
    // A mask change ends the pending wait; then it is collected before its event goes away.
    ::SetCommMask(port->handle, 0);
    DWORD n = 0;
    if (WaitForSingleObject(port->waitOv.hEvent, 500) != WAIT_OBJECT_0) CancelIo(port->handle);
    GetOverlappedResult(port->handle, &port->waitOv, &n, TRUE);
  }
  const bool ok = CloseHandle(port->handle) != 0;
  const DWORD err = GetLastError();
  CloseHandle(port->claim);
  CloseOv(port->waitOv);
  CloseOv(port->readOv);
  CloseOv(port->writeOv);
  return ok || Fail(err);
}

bool Read(int fd, void* buf, uint32_t size, uint32_t* got) {
  *got = 0;
  Port* p = Find(fd);
  if (!p) return FailErrno(EBADF);
  ::ResetEvent(p->readOv.hEvent);
  DWORD n = 0;
  // The timeouts make a read return at once with what is queued.
  if (!ReadFile(p->handle, buf, size, &n, &p->readOv)) {
    const DWORD err = GetLastError();
    if (err != ERROR_IO_PENDING) return Fail(err);
    if (!FinishOverlapped(p->handle, p->readOv, kWriteWaitMs, &n)) return false;
  }
  *got = n;
  return true;
}

bool Write(int fd, const void* buf, uint32_t size, uint32_t* written) {
  *written = 0;
  Port* p = Find(fd);
  if (!p) return FailErrno(EBADF);
  ::ResetEvent(p->writeOv.hEvent);
  DWORD n = 0;
  if (!WriteFile(p->handle, buf, size, &n, &p->writeOv)) {
    const DWORD err = GetLastError();
    if (err != ERROR_IO_PENDING) return Fail(err);
    const bool ok = FinishOverlapped(p->handle, p->writeOv, kWriteWaitMs, &n);
    *written = n;
    return ok && n == size;
  }
  *written = n;
  return n == size || FailErrno(EIO);
}

uint32_t LastError() { return tLastError; }

bool ClearCommError(int fd, d2xx::DWORD* errors, d2xx::FTCOMSTAT* stat) {
  Port* p = Find(fd);
  if (!p) return FailErrno(EBADF);
  DWORD e = 0;
  COMSTAT cs{};
  if (!::ClearCommError(p->handle, &e, &cs)) return Fail(GetLastError());
  if (errors) *errors = e;  // the CE_ values are the ones the callers use
  if (stat) {
    std::memset(stat, 0, sizeof *stat);
    stat->fCtsHold = cs.fCtsHold;
    stat->fDsrHold = cs.fDsrHold;
    stat->fRlsdHold = cs.fRlsdHold;
    stat->fXoffHold = cs.fXoffHold;
    stat->fXoffSent = cs.fXoffSent;
    stat->fEof = cs.fEof;
    stat->fTxim = cs.fTxim;
    stat->cbInQue = cs.cbInQue;
    stat->cbOutQue = cs.cbOutQue;
  }
  return true;
}

bool GetCommModemStatus(int fd, d2xx::DWORD* status) {
  *status = 0;
  Port* p = Find(fd);
  if (!p) return FailErrno(EBADF);
  DWORD bits = 0;
  if (!::GetCommModemStatus(p->handle, &bits)) {
    const DWORD err = GetLastError();
    // A port without modem lines (a virtual one) has all lines off; a vanished one fails.
    if (DeviceGone(err)) return Fail(err);
    return true;
  }
  *status = bits;
  return true;
}

bool GetCommState(int fd, d2xx::FTDCB* dcb) {
  Port* p = Find(fd);
  if (!p) return FailErrno(EBADF);
  DCB d{};
  d.DCBlength = sizeof d;
  if (!::GetCommState(p->handle, &d)) return Fail(GetLastError());
  std::memcpy(dcb, &d, sizeof d);
  return true;
}

bool SetCommState(int fd, const d2xx::FTDCB* dcb) {
  Port* p = Find(fd);
  if (!p) return FailErrno(EBADF);
  if (dcb->BaudRate == 0) return FailErrno(EINVAL);
  DCB d;
  std::memcpy(&d, dcb, sizeof d);
  d.DCBlength = sizeof d;
  if (!::SetCommState(p->handle, &d)) return Fail(GetLastError());
  // The driver may round the rate; one it cannot come within 2 % of is refused, as on POSIX.
  DCB got{};
  got.DCBlength = sizeof got;
  if (::GetCommState(p->handle, &got) && got.BaudRate != 0) {
    const uint64_t want = dcb->BaudRate, have = got.BaudRate;
    const uint64_t diff = have > want ? have - want : want - have;
    if (diff * 50 > want) return FailErrno(EINVAL);
  }
  return true;
}

bool SetCommTimeouts(int fd, const d2xx::FTTIMEOUTS* t) {
  Port* p = Find(fd);
  if (!p) return FailErrno(EBADF);
  COMMTIMEOUTS c;
  std::memcpy(&c, t, sizeof c);
  return ::SetCommTimeouts(p->handle, &c) != 0 || Fail(GetLastError());
}

bool SetCommMask(int fd, d2xx::DWORD mask) {
  Port* p = Find(fd);
  if (!p) return FailErrno(EBADF);
  const DWORD want = mask | kWakeEvents;
  // Every SetCommMask ends a pending wait; the same mask again would only wake the thread.
  if (p->maskSet && p->mask == want) return true;
  if (!::SetCommMask(p->handle, want)) return Fail(GetLastError());
  p->mask = want;
  p->maskSet = true;
  return true;
}

bool PurgeComm(int fd, d2xx::DWORD flags) {
  Port* p = Find(fd);
  if (!p) return FailErrno(EBADF);
  return ::PurgeComm(p->handle, flags) != 0 || Fail(GetLastError());
}

std::string ErrorText(uint32_t err) { return std::strerror(static_cast<int>(err)); }

uint32_t InvalidArgumentError() { return EINVAL; }

int NewEvent() {
  HANDLE h = NewManualEvent();
  return h ? static_cast<int>(HandleToLong(h)) : -1;
}

void SetEvent(int event) {
  if (event >= 0) ::SetEvent(LongToHandle(event));
}

void ResetEvent(int event) {
  if (event >= 0) ::ResetEvent(LongToHandle(event));
}

void CloseEvent(int event) {
  if (event >= 0) CloseHandle(LongToHandle(event));
}

void WaitForEvents(int shutdownEvent, int writeEvent, int fd, int timeoutMs, bool* shutdown,
                   bool* write, bool* deviceFailed) {
  *shutdown = *write = *deviceFailed = false;
  HANDLE hs[3];
  DWORD n = 0;
  hs[n++] = LongToHandle(shutdownEvent);
  hs[n++] = LongToHandle(writeEvent);
  Port* p = Find(fd);
  DWORD waitMs = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
  if (p && !p->waitPending) {
    if (!p->maskSet) SetCommMask(fd, 0);
    ::ResetEvent(p->waitOv.hEvent);
    p->waitEvents = 0;
    if (WaitCommEvent(p->handle, &p->waitEvents, &p->waitOv)) {
      waitMs = 0;  // something happened already: look at the line now
    } else if (const DWORD err = GetLastError(); err == ERROR_IO_PENDING) {
      p->waitPending = true;
    } else if (DeviceGone(err)) {
      *deviceFailed = true;
      waitMs = 0;
    } else {
      // A driver without line events: the caller looks at the line after a short wait.
      if (!p->noLineEvents) Trace("serial: no line events (%lu); polling", err);
      p->noLineEvents = true;
      if (waitMs > 1) waitMs = 1;
    }
  }
  if (p && p->waitPending) hs[n++] = p->waitOv.hEvent;
  const DWORD r = WaitForMultipleObjects(n, hs, FALSE, waitMs);
  if (r == WAIT_OBJECT_0) {
    *shutdown = true;  // wins when both are set
    *write = WaitForSingleObject(hs[1], 0) == WAIT_OBJECT_0;
  } else if (r == WAIT_OBJECT_0 + 1) {
    *write = true;
  } else if (r == WAIT_OBJECT_0 + 2 && p) {
    DWORD unused = 0;
    p->waitPending = false;
    if (!GetOverlappedResult(p->handle, &p->waitOv, &unused, FALSE) && DeviceGone(GetLastError()))
      *deviceFailed = true;
  }
}

}  // namespace tw::serial_device
