#include "transport/usb_serial_port.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "platform/tick.h"
#include "platform/trace.h"
#include "transport/serial_device.h"

namespace tw {

using namespace d2xx;
namespace ps = serial_device;

NormalizedPortName NormalizePortName(const std::string& name) {
  NormalizedPortName r;
  r.name = name;
  if (!name.empty() && name[0] == '/') {
    // A listed entry may carry its description ("/dev/ttyACM0 [Velkor Virtual COM]"); as with
    // COMn, only the device part names the port.
    if (const size_t cut = name.find(" ["); cut != std::string::npos) r.name = name.substr(0, cut);
    const std::string& path = r.name;
    // A device path; its port number is its trailing decimal digits.
    size_t end = path.size(), start = end;
    while (start > 0 && std::isdigit(static_cast<unsigned char>(path[start - 1]))) --start;
    r.portNumber = start < end ? std::atoi(path.c_str() + start) : 0;
    r.isComPort = true;
    return r;
  }
  size_t pos = name.rfind("\\\\.\\", 0) == 0 ? 4 : 0;
  const std::string rest = name.substr(pos);
  if (rest.size() >= 4 && std::tolower(static_cast<unsigned char>(rest[0])) == 'c' &&
      std::tolower(static_cast<unsigned char>(rest[1])) == 'o' &&
      std::tolower(static_cast<unsigned char>(rest[2])) == 'm' && rest[3] >= '1' && rest[3] <= '9') {
    size_t e = 3;
    long n = 0;
    while (e < rest.size() && std::isdigit(static_cast<unsigned char>(rest[e])) && n < 100000000)
      n = n * 10 + (rest[e++] - '0');
    r.portNumber = static_cast<int>(n);
    r.name = ps::ComPortDevice(n);
    r.isComPort = true;
    return r;
  }
  r.portNumber = std::atoi(rest.c_str());
  if (r.portNumber < 0) r.portNumber = 0;
  r.isComPort = false;
  return r;
}

namespace {
// Longest wait of the port thread on a device that can wake it (termios); each wake-up costs
// processor time even when nothing happens.
constexpr int kDevicePollMs = 10;

using ps::NewEvent;
using ps::ResetEvent;
using ps::SetEvent;
}  // namespace

CUSBSerialPort::CUSBSerialPort() = default;

CUSBSerialPort::~CUSBSerialPort() {
  ClosePort();
  ReleaseD2xxLibrary();
}

void CUSBSerialPort::Notify(PortNotify what, uint32_t wParam) {
  if (owner_) owner_(what, wParam, portNumber_);
}

void CUSBSerialPort::OnByteReceived(uint8_t byte) { Notify(PortNotify::ByteReceived, byte); }
void CUSBSerialPort::OnBytesReceived(const uint8_t* data, size_t len) {
  for (size_t i = 0; i < len; ++i) OnByteReceived(data[i]);
}
void CUSBSerialPort::OnCtsChanged() { Notify(PortNotify::CtsChanged, ctsState_); }
void CUSBSerialPort::OnSpareEvent() { Notify(PortNotify::Spare, 0); }
void CUSBSerialPort::OnBreakDetected() { Notify(PortNotify::BreakDetected, 0); }
void CUSBSerialPort::OnLineError(uint32_t flags) { Notify(PortNotify::LineError, flags); }
void CUSBSerialPort::OnRingChanged() { Notify(PortNotify::RingChanged, ringState_); }
void CUSBSerialPort::OnRlsdChanged() { Notify(PortNotify::RlsdChanged, rlsdState_); }
void CUSBSerialPort::OnDsrChanged() { Notify(PortNotify::DsrChanged, dsrState_); }
void CUSBSerialPort::OnBytesWritten(uint32_t count) { Notify(PortNotify::BytesWritten, count); }
void CUSBSerialPort::OnTransmitEmpty() { Notify(PortNotify::TransmitEmpty, 0); }

void CUSBSerialPort::Report(const char* call, uint32_t err) {
  char buf[1024];
  std::snprintf(buf, sizeof buf, "WARNING:  %s Failed with the following error: \n%s\nPort: %s\n",
                call, ps::ErrorText(err).c_str(), portName_.c_str());
  lastDiagnostic_ = buf;
  Trace("%s", buf);
}

// --- Routed primitives ----------------------------------------------------------------------

bool CUSBSerialPort::PrimCreate(const std::string& name) {
  if (!d2xxMode_) {
    int fd = ps::Create(name);
    fd_.store(fd);
    return fd >= 0;
  }
  LoadD2xxLibrary();
  FT_HANDLE h = FtW32CreateFile(name.c_str());
  if (IsInvalidHandle(h)) return false;
  ftHandle_.store(h);
  return true;
}

bool CUSBSerialPort::PrimClose() {
  bool ok = true;
  int fd = fd_.exchange(-1);
  if (fd >= 0) ok = ps::Close(fd);
  FT_HANDLE h = ftHandle_.exchange(nullptr);
  if (h) ok = FtW32CloseHandle(h) != 0;
  return ok;
}

bool CUSBSerialPort::PrimRead(void* buf, uint32_t size, uint32_t* got) {
  *got = 0;
  if (!d2xxMode_) {
    int fd = fd_.load();
    return fd >= 0 && ps::Read(fd, buf, size, got);
  }
  DWORD n = 0;
  BOOL ok = FtW32ReadFile(ftHandle_.load(), buf, size, &n);
  *got = n;
  return ok != 0;
}

bool CUSBSerialPort::PrimWrite(const void* buf, uint32_t size, uint32_t* written) {
  *written = 0;
  if (!d2xxMode_) {
    int fd = fd_.load();
    return fd >= 0 && ps::Write(fd, buf, size, written);
  }
  DWORD n = 0;
  BOOL ok = FtW32WriteFile(ftHandle_.load(), buf, size, &n);
  *written = n;
  return ok != 0;
}

uint32_t CUSBSerialPort::PrimLastError() {
  if (!d2xxMode_) return ps::LastError();
  FT_HANDLE h = ftHandle_.load();
  if (IsInvalidHandle(h)) return ps::LastError();
  return FtW32GetLastError(h);
}

bool CUSBSerialPort::PrimClearCommError(uint32_t* errors, FTCOMSTAT* stat) {
  if (!d2xxMode_) {
    int fd = fd_.load();
    return fd >= 0 && ps::ClearCommError(fd, errors, stat);
  }
  return FtW32ClearCommError(ftHandle_.load(), errors, stat) != 0;
}

bool CUSBSerialPort::PrimModemStatus(uint32_t* status) {
  *status = 0;
  if (!d2xxMode_) {
    int fd = fd_.load();
    return fd >= 0 && ps::GetCommModemStatus(fd, status);
  }
  return FtW32GetCommModemStatus(ftHandle_.load(), status) != 0;
}

bool CUSBSerialPort::PrimGetState(FTDCB* dcb) {
  if (!d2xxMode_) return ps::GetCommState(fd_.load(), dcb);
  return FtW32GetCommState(ftHandle_.load(), dcb) != 0;
}

bool CUSBSerialPort::PrimSetState(FTDCB* dcb) {
  if (!d2xxMode_) return ps::SetCommState(fd_.load(), dcb);
  return FtW32SetCommState(ftHandle_.load(), dcb) != 0;
}

bool CUSBSerialPort::PrimSetTimeouts(FTTIMEOUTS* t) {
  if (!d2xxMode_) return ps::SetCommTimeouts(fd_.load(), t);
  return FtW32SetCommTimeouts(ftHandle_.load(), t) != 0;
}

bool CUSBSerialPort::PrimSetMask(uint32_t mask) {
  if (!d2xxMode_) return ps::SetCommMask(fd_.load(), mask);
  return FtW32SetCommMask(ftHandle_.load(), mask) != 0;
}

void CUSBSerialPort::PrimPurge(uint32_t flags) {
  if (!d2xxMode_) {
    ps::PurgeComm(fd_.load(), flags);
    return;
  }
  FtW32PurgeComm(ftHandle_.load(), flags);
}

// --- Open, thread, close --------------------------------------------------------------------

bool CUSBSerialPort::OpenPort(PortOwnerFn owner, const std::string& portName, uint32_t baud,
                              char parity, uint32_t dataBits, uint32_t stopBits,
                              uint32_t eventMask, uint32_t writeBufferSize) {
  portName_ = portName;
  const NormalizedPortName norm = NormalizePortName(portName);
  d2xxMode_ = !norm.isComPort;
  portNumber_ = norm.portNumber;

  // A running thread is stopped first; its thread object stays until ClosePort joins it.
  while (threadAlive_.load() && shutdownEvent_ >= 0) {
    SetEvent(shutdownEvent_);
    SleepMs(1);
  }
  {
    std::lock_guard<std::mutex> lock(writeLock_);
    CloseEvents();
    writeEvent_ = NewEvent();
    shutdownEvent_ = NewEvent();
    owner_ = std::move(owner);
    writeBuffer_.assign(writeBufferSize, 0);
    writeBufferSize_ = writeBufferSize;
    pendingCount_ = 0;
  }
  eventMask_ = eventMask;

  std::unique_lock<std::mutex> lock(openLock_);
  if (HasHandle()) PrimClose();

  char def[96];
  std::snprintf(def, sizeof def, "baud=%u parity=%c data=%u stop=%u", baud, parity, dataBits,
                stopBits);

  openFailure_ = OpenFailure::None;
  openErrno_ = 0;
  if (!PrimCreate(norm.name)) {
    const uint32_t err = PrimLastError();
    openFailure_ = OpenFailure::Create;
    openErrno_ = static_cast<int>(err);
    lastDiagnostic_ = ps::ErrorText(err);  // diagnostics only
    Trace("open %s failed: %s", norm.name.c_str(), lastDiagnostic_.c_str());
    fd_.store(-1);
    ftHandle_.store(nullptr);
    lock.unlock();
    ClosePort();
    return false;
  }
  if (d2xxMode_) FtSetLatencyTimer(ftHandle_.load(), 2);

  // Configuration chain: the first failing step is reported, the rest skipped, the open goes on.
  FTTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 0};
  FTDCB dcb{};
  if (!PrimSetTimeouts(&timeouts)) {
    Report("SetCommTimeouts()", PrimLastError());
  } else if (!PrimSetMask(eventMask_)) {
    Report("SetCommMask()", PrimLastError());
  } else if (!PrimGetState(&dcb)) {
    Report("GetCommState()", PrimLastError());
  } else if (dcb.fRtsControl = RTS_CONTROL_ENABLE, !ps::BuildCommDCB(def, &dcb)) {
    Report("BuildCommDCB()", ps::InvalidArgumentError());
  } else {
    dcb.fDsrSensitivity = 0;
    dcb.fTXContinueOnXoff = 1;
    dcb.fAbortOnError = 0;
    dcb.fBinary = 1;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fNull = 0;
    if (!PrimSetState(&dcb)) {
      // The state carries the rate: a device that refuses it would talk at another speed.
      const uint32_t err = PrimLastError();
      Report("SetCommState()", err);
      openFailure_ = OpenFailure::Settings;
      openErrno_ = static_cast<int>(err);
      lock.unlock();
      ClosePort();
      return false;
    }
  }
  PrimPurge(PURGE_TXCLEAR | PURGE_RXCLEAR);
  lock.unlock();

  uint32_t modem = 0;
  if (PrimModemStatus(&modem)) {
    rlsdState_ = modem & MS_RLSD_ON;
    dsrState_ = modem & MS_DSR_ON;
    ctsState_ = modem & MS_CTS_ON;
    ringState_ = modem & MS_RING_ON;
    if (rlsdState_) OnRlsdChanged();
    if (dsrState_) OnDsrChanged();
    if (ctsState_) OnCtsChanged();
    if (ringState_) OnRingChanged();
  }
  return true;
}

bool CUSBSerialPort::StartPortThread() {
  if (thread_.joinable()) return false;
  try {
    thread_ = std::thread(&CUSBSerialPort::PortThread, this);
  } catch (...) {
    return false;
  }
  while (!threadAlive_.load()) SleepMs(1);
  return true;
}

void CUSBSerialPort::WaitForEvents(int timeoutMs, bool* shutdown, bool* write, bool* deviceFailed) {
  ps::WaitForEvents(shutdownEvent_, writeEvent_, fd_.load(), timeoutMs, shutdown, write, deviceFailed);
}

void CUSBSerialPort::PortThread() {
  threadAlive_.store(true);
  if (!PrimSetMask(eventMask_)) Report("SetCommMask()", PrimLastError());
  while (HasHandle()) {
    bool shutdown, write, deviceFailed;
    // A termios device wakes the poll itself on input and hang-up, so between those only the
    // modem lines need a look now and then; a D2XX device offers nothing to wait on: 1 ms.
    WaitForEvents(fd_.load() >= 0 ? kDevicePollMs : 1, &shutdown, &write, &deviceFailed);
    if (shutdown) break;  // wins when both are set
    if (write) {
      ServiceWrite();
      continue;
    }
    // Woken by input or by the 1 ms timeout: poll the line. A hang-up is a failed poll.
    if (deviceFailed || !PollPort()) {
      if (deviceFailed) OnLineError(CE_MODE);
      std::lock_guard<std::mutex> lock(openLock_);
      PrimClose();
      break;
    }
  }
  threadAlive_.store(false);
}

bool CUSBSerialPort::PollPort() {
  uint32_t errors = 0;
  FTCOMSTAT stat{};
  if (!PrimClearCommError(&errors, &stat)) {
    PrimLastError();
    OnLineError(CE_MODE);
    return false;
  }
  if (stat.cbOutQue == 0) {
    OnTransmitEmpty();
    PrimSetMask(eventMask_ & ~EV_TXEMPTY);
  }
  if (errors & CE_BREAK) {
    OnBreakDetected();
    errors &= ~CE_FRAME;
  }
  if (errors & (CE_RXOVER | CE_OVERRUN | CE_RXPARITY | CE_FRAME | CE_TXFULL | CE_IOE))
    OnLineError(errors);
  uint32_t modem = 0;
  if (!PrimModemStatus(&modem)) {
    PrimLastError();
    OnLineError(CE_MODE);
    return false;
  }
  const bool cts = modem & MS_CTS_ON, dsr = modem & MS_DSR_ON, rlsd = modem & MS_RLSD_ON,
             ring = modem & MS_RING_ON;
  if (cts != ctsState_) { ctsState_ = cts; OnCtsChanged(); }
  if (dsr != dsrState_) { dsrState_ = dsr; OnDsrChanged(); }
  if (rlsd != rlsdState_) { rlsdState_ = rlsd; OnRlsdChanged(); }
  if (ring != ringState_) { ringState_ = ring; OnRingChanged(); }
  if (stat.cbInQue > 0) {
    FTCOMSTAT now{};
    uint32_t e2 = 0;
    if (PrimClearCommError(&e2, &now) && now.cbInQue > 0) ReadReceived(now.cbInQue);
  }
  return true;
}

void CUSBSerialPort::ReadReceived(uint32_t count) {
  // Several bytes per read call; every byte still reaches OnByteReceived in order.
  uint8_t buf[256];
  while (count > 0) {
    uint32_t want = count < sizeof buf ? count : static_cast<uint32_t>(sizeof buf), got = 0;
    if (!PrimRead(buf, want, &got)) {
      const uint32_t err = PrimLastError();
      if (err != 0) {
        Report("ReadFile()", err);
        OnLineError(err == ERROR_ACCESS_DENIED && d2xxMode_ ? CE_MODE : 0);
        break;
      }
    }
    if (got == 0) break;
    OnBytesReceived(buf, got);
    count -= got;
  }
  Notify(PortNotify::ReadReceived, 0);
}

void CUSBSerialPort::QueueWrite(const uint8_t* data, int length) {
  std::lock_guard<std::mutex> lock(writeLock_);
  if (length == -1) length = data ? static_cast<int>(std::strlen(reinterpret_cast<const char*>(data))) : 0;
  if (length > 0 && data && static_cast<uint64_t>(pendingCount_) + length <= writeBufferSize_) {
    std::memcpy(writeBuffer_.data() + pendingCount_, data, static_cast<size_t>(length));
    pendingCount_ += static_cast<uint32_t>(length);
  }
  SetEvent(writeEvent_);
}

void CUSBSerialPort::ServiceWrite() {
  ResetEvent(writeEvent_);
  std::lock_guard<std::mutex> lock(writeLock_);
  if (pendingCount_ == 0) {
    OnTransmitEmpty();
    return;
  }
  uint32_t written = 0;
  if (PrimWrite(writeBuffer_.data(), pendingCount_, &written)) {
    PrimSetMask(eventMask_);
    OnBytesWritten(written);
    pendingCount_ = 0;
  } else {
    Report("WriteFile()", PrimLastError());
    // What did go out is not sent twice; the rest stays in front of the next queued data.
    if (written > 0 && written <= pendingCount_) {
      std::memmove(writeBuffer_.data(), writeBuffer_.data() + written, pendingCount_ - written);
      pendingCount_ -= written;
    }
  }
}

void CUSBSerialPort::PurgeInput() {
  std::lock_guard<std::mutex> lock(openLock_);
  if (HasHandle()) PrimPurge(PURGE_RXCLEAR);
}

void CUSBSerialPort::CloseEvents() {
  ps::CloseEvent(writeEvent_);
  ps::CloseEvent(shutdownEvent_);
  writeEvent_ = shutdownEvent_ = -1;
}

void CUSBSerialPort::StopThread() {
  while (threadAlive_.load() && shutdownEvent_ >= 0) {
    SetEvent(shutdownEvent_);
    SleepMs(1);
  }
  if (thread_.joinable()) thread_.join();
}

void CUSBSerialPort::ClosePort() {
  StopThread();
  {
    std::lock_guard<std::mutex> lock(writeLock_);
    CloseEvents();
    writeBuffer_.clear();
    writeBuffer_.shrink_to_fit();
    pendingCount_ = 0;
    writeBufferSize_ = 0;
  }
  std::lock_guard<std::mutex> lock(openLock_);
  if (HasHandle() && !PrimClose()) Report("CloseHandle()", PrimLastError());
}

}  // namespace tw
