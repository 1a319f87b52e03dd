// The byte link to a reader on a serial device (termios) or on an FTDI chip addressed by its serial
// number (D2XX). One port thread per open link polls about every millisecond, sends queued bytes
// and hands every received byte to OnByteReceived. Knows nothing of reader frames.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "transport/byte_sink.h"
#include "transport/ftd2xx_port.h"

namespace tw {

// Notification codes the hooks send to an owner (the offsets from WM_APP in the original design).
enum class PortNotify : unsigned {
  BreakDetected = 1, CtsChanged = 2, DsrChanged = 3, LineError = 4, RingChanged = 5,
  RlsdChanged = 6, ByteReceived = 7, Spare = 8, TransmitEmpty = 9, ReadReceived = 10,
  BytesWritten = 11,
};

// Owner of a port's notifications (stands where an owner window would); may be absent.
using PortOwnerFn = std::function<void(PortNotify what, uint32_t wParam, int portNumber)>;

struct NormalizedPortName {
  std::string name;     // the name to open ("/dev/ttyS6", "/dev/pts/3", or an FTDI serial number)
  int portNumber = 0;
  bool isComPort = false;  // false: D2XX mode
};

// The name rules: "\\.\" prefix and COMn (any case) as on Windows, COMn opens /dev/ttyS(n-1); a
// name beginning with "/" is a device path (port number = its trailing digits); anything else is
// an FTDI serial number string.
NormalizedPortName NormalizePortName(const std::string& name);

class CUSBSerialPort : public CFTD2xxPort, public IByteSink {
 public:
  CUSBSerialPort();
  ~CUSBSerialPort() override;
  CUSBSerialPort(const CUSBSerialPort&) = delete;
  CUSBSerialPort& operator=(const CUSBSerialPort&) = delete;

  // Opens and configures the port; true when a handle was obtained (configuration failures are
  // only reported). On a running object the old thread is stopped and the old handle closed first.
  bool OpenPort(PortOwnerFn owner, const std::string& portName, uint32_t baud, char parity,
                uint32_t dataBits, uint32_t stopBits, uint32_t eventMask, uint32_t writeBufferSize);
  // Starts the port thread; false when a thread object already exists. Returns once it runs.
  bool StartPortThread();
  // Appends to the write buffer (dropped whole when it does not fit) and wakes the port thread.
  // length -1: data is zero-terminated.
  void QueueWrite(const uint8_t* data, int length);
  void ClosePort();
  // Drops whatever input the system (termios queue or D2XX driver) still holds.
  void PurgeInput();

  // Listing (transport/port_enum_posix.cpp). root: where the system's /sys and /dev are, "/" on a
  // running system. EnumerateComPorts fills the list with "/dev/ttyUSB0 [description]" entries in
  // natural order, then the simulators' terminals; always true.
  bool EnumerateComPorts(std::vector<std::string>& list, const std::string& root = "/");
  // Appends the serial numbers of FTDI devices that are not open in this process.
  void EnumerateD2xxSerials(std::vector<std::string>& list);
  // Bit 0: an FTDI-based reader without a driver; bit 1: a virtual COM reader without a driver.
  uint32_t CheckUsbDriverState(const std::string& root = "/");
  // Whether libftd2xx is installed (loads it on first use).
  bool D2xxAvailable();

  bool IsPortOpen() const { return HasHandle(); }
  bool IsThreadAlive() const { return threadAlive_.load(); }
  // True when the port thread ended on its own after a failed poll (device vanished).
  bool LinkLost() const { return thread_.joinable() && !HasHandle(); }
  bool IsD2xxMode() const { return d2xxMode_; }
  int PortNumber() const { return portNumber_; }
  const std::string& PortName() const { return portName_; }
  const std::string& LastDiagnostic() const { return lastDiagnostic_; }
  // Why the last OpenPort failed: the device could not be opened, or it refused the line settings
  // (baud rate, format); with the system's error number.
  enum class OpenFailure { None, Create, Settings };
  OpenFailure LastOpenFailure() const { return openFailure_; }
  int LastOpenErrno() const { return openErrno_; }

  // Hooks. The base sends the notification to the owner if there is one; OnByteReceived hands the
  // byte on to the owner's notification only (the reader port object overrides it).
  void OnByteReceived(uint8_t byte) override;
  void OnBytesReceived(const uint8_t* data, size_t len) override;
  virtual void OnCtsChanged();
  virtual void OnSpareEvent();
  virtual void OnBreakDetected();
  virtual void OnLineError(uint32_t errorFlags);
  virtual void OnRingChanged();
  virtual void OnRlsdChanged();
  virtual void OnDsrChanged();
  virtual void ReadReceived(uint32_t count);
  virtual void OnBytesWritten(uint32_t count);
  virtual void OnTransmitEmpty();

 protected:
  bool PollPort();
  void ServiceWrite();

 private:
  // Routed primitives: POSIX termios or D2XX.
  bool HasHandle() const { return fd_.load() >= 0 || ftHandle_.load() != nullptr; }
  bool PrimCreate(const std::string& name);
  bool PrimClose();
  bool PrimRead(void* buf, uint32_t size, uint32_t* got);
  bool PrimWrite(const void* buf, uint32_t size, uint32_t* written);
  uint32_t PrimLastError();
  bool PrimClearCommError(uint32_t* errors, d2xx::FTCOMSTAT* stat);
  bool PrimModemStatus(uint32_t* status);
  bool PrimGetState(d2xx::FTDCB* dcb);
  bool PrimSetState(d2xx::FTDCB* dcb);
  bool PrimSetTimeouts(d2xx::FTTIMEOUTS* t);
  bool PrimSetMask(uint32_t mask);
  void PrimPurge(uint32_t flags);

  void PortThread();
  void WaitForEvents(int timeoutMs, bool* shutdown, bool* write, bool* deviceFailed);
  void Report(const char* call, uint32_t err);
  void Notify(PortNotify what, uint32_t wParam);
  void StopThread();
  void CloseEvents();

  bool dsrState_ = false, ctsState_ = false, rlsdState_ = false, ringState_ = false;
  std::atomic<bool> threadAlive_{false};
  std::atomic<int> fd_{-1};
  std::atomic<d2xx::FT_HANDLE> ftHandle_{nullptr};
  uint32_t eventMask_ = 0;
  bool d2xxMode_ = false;
  std::mutex writeLock_;
  std::thread thread_;
  std::mutex openLock_;
  // Manual-reset events as eventfds: readable while set.
  int shutdownEvent_ = -1;
  int writeEvent_ = -1;
  PortOwnerFn owner_;
  int portNumber_ = 0;
  std::vector<uint8_t> writeBuffer_;
  uint32_t pendingCount_ = 0;
  uint32_t writeBufferSize_ = 0;
  std::string portName_;
  std::string lastDiagnostic_;
  OpenFailure openFailure_ = OpenFailure::None;
  int openErrno_ = 0;
};

}  // namespace tw
