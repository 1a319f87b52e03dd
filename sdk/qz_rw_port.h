// One open reader: its link (serial/D2XX, LAN or HID), the command
// frame and transaction with the reader, and the per-port identification and transponder state.
// Used by one thread at a time; only the receive buffer is shared with the link's thread.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

#include "sdk/auto_read_thread.h"
#include "sdk/my_byte_array.h"
#include "transport/hid_port.h"
#include "transport/tcp_socket_thread.h"
#include "transport/usb_serial_port.h"

namespace tw {

// Codes stored as a port's last error (reader status bytes share this space).
enum : int {
  kErrPortOpen = 6,
  kErrTimeout = 7,
  kErrBufferTooSmall = 8,
  kErrWrongDataCount = 9,
  kErrTypeNotAccepted = 10,
  kErrNoSendData = 11,
  kErrBlockRange = 12,
  kErrOptionRange = 13,
  kErrCheckCode = 14,
  kErrNoReader = 15,
  kErrEmptyAnswer = 16,
  kErrOperatingMode = 18,
  kErrReadBack = 20,
  kErrNoTransponder = 21,
  kErrNotSupported = 24,
};

class CQZ_RW_Port : public CUSBSerialPort {
 public:
  static constexpr uint8_t kStx = 0x02;
  static constexpr uint32_t kDefaultTimeoutMs = 500;

  CQZ_RW_Port();
  ~CQZ_RW_Port() override;

  // --- Command and transaction ---------------------------------------------------------------
  // Empties the send buffer and appends the command code, then the given parameter bytes.
  void BeginCommand(uint8_t cmd);
  void BeginCommand(uint8_t cmd, uint8_t p1);
  void BeginCommand(uint8_t cmd, uint8_t p1, uint8_t p2);
  void BeginCommand(uint8_t cmd, uint8_t p1, uint8_t p2, uint8_t p3);
  void BeginCommand(uint8_t cmd, const CMyByteArray& params);
  void BeginCommand(uint8_t cmd, uint8_t p1, const CMyByteArray& params);
  void BeginCommand(uint8_t cmd, uint8_t p1, uint8_t p2, const CMyByteArray& params);
  void BeginCommand(uint8_t cmd, uint8_t p1, uint8_t p2, uint8_t p3, const CMyByteArray& params);
  // The command layer may append further parameter bytes after BeginCommand.
  CMyByteArray& SendBuffer() { return sendBuffer_; }
  void AppendParam(uint8_t b) { sendBuffer_.push_back(b); }
  void AppendParams(const CMyByteArray& bytes);

  // Frames the send buffer, purges, sends on the first open link and waits for a whole answer.
  // false: last error 7 (timeout) or 11 (nothing to send, or more than 255 parameter bytes).
  bool SendCommand();
  // Takes the receive buffer, checks it and leaves only the answer's data bytes in data.
  bool ReadAnswer(CMyByteArray& data);
  // BeginCommand + SendCommand + ReadAnswer; timeoutMs > 0 applies to this transaction only.
  bool Transact(uint8_t cmd, const CMyByteArray& params, CMyByteArray& answer, int timeoutMs = 0);
  // Validates a taken answer (length and check code) in this port's framing; sets 16 or 14.
  bool CheckAnswer(const CMyByteArray& data);

  // Turns the send buffer (command, parameters) into a frame in place; empty when it cannot be
  // framed (empty buffer or more than 255 parameter bytes).
  void BuildFrame();
  static CMyByteArray BuildFrame(const CMyByteArray& cmdAndParams, uint8_t address, bool crcFraming);
  static uint16_t Crc16(const uint8_t* data, size_t len);
  static uint16_t Crc16(const CMyByteArray& data) { return Crc16(data.data(), data.size()); }
  // XOR of bytes 1 .. size-2; 0 for fewer than 3 bytes.
  static uint8_t XorBcc(const CMyByteArray& data);

  // Empties the receive buffer and drops what the link's system queue still holds.
  void PurgeReceive();
  // The three-phase wait; false on timeout (the caller sets the code).
  bool WaitForAnswer();

  // After a timed-out transaction the reader may still answer it: until the line has been quiet
  // this long, everything received is dropped and nothing new is sent: twice the timeout, at
  // most 2 s.
  static uint32_t ResyncQuietMs(uint32_t timeoutMs);
  // The same after a command of the caller's: at least 1 s, so that an answer up to a second
  // late is dropped whatever the timeout.
  static uint32_t CommandResyncQuietMs(uint32_t timeoutMs);
  // Marks the line as possibly carrying a late answer (also used by open between attempts).
  void RequireResync(uint32_t quietMs);
  bool ResyncPending() const { return resyncQuietMs_ != 0; }

  // --- Receive buffer (each a short step under the port lock) ---------------------------------
  void OnByteReceived(uint8_t byte) override;
  void OnBytesReceived(const uint8_t* data, size_t len) override;
  size_t ReceiveCount();
  void RemoveFirstReceived();
  CMyByteArray TakeReceived();
  // Pumps UI events (only when pumpUi: the UI may be pumped from its own thread alone) and HID
  // input first, then moves up to maxBytes from the front into out.
  size_t TakeReceived(CMyByteArray& out, size_t maxBytes, bool pumpUi = true);

  // --- Link -----------------------------------------------------------------------------------
  // Handle rule: serial id, else LAN id, else HID id, else 0 (a lost link). A serial, D2XX or HID
  // link whose device vanished keeps its id until the port is closed, so the number is never
  // handed on.
  int GetHandle() const;
  // The device of this port vanished; calls fail with 7 until it is closed.
  bool DeviceVanished() const { return (serialId_ != 0 && LinkLost()) || hidLink_.Lost(); }
  // No link can carry a command any more (vanished device, closed link).
  bool LinkGone() const { return DeviceVanished() || GetHandle() == 0; }
  int SerialId() const { return serialId_; }
  // Opens the serial/D2XX link the way the SDK does (8 data bits, 512-byte write buffer), starts
  // its thread and takes a serial id. parityCode: low four bits of the open flags.
  bool OpenSerialLink(const std::string& name, uint32_t baud, int parityCode);
  // Stops the auto-read worker and closes whichever link is open.
  void CloseLink();
  bool IsUsbDevice() const;

  // Test seam: while attached, the link is "open" and every framed command is handed to it; the
  // link may answer by calling OnByteReceived (at once or later from another thread).
  using TestLink = std::function<void(CQZ_RW_Port& port, const CMyByteArray& frame)>;
  void AttachTestLink(TestLink link) { testLink_ = std::move(link); }
  void DetachTestLink() { testLink_ = nullptr; }

  // --- Identification -------------------------------------------------------------------------
  // Version command F0h; on success evaluates the answer into type, firmware and capabilities.
  // wellFormedOnly: an answer not shaped like a version answer fails (it may be a late answer
  // to a command that another user of the line sent before).
  bool Identify(bool wellFormedOnly = false);
  void EvaluateVersionAnswer(const CMyByteArray& data);

  CAutoReadThread& AutoReader() { return autoRead_; }
  CTCPSocketThread& LanLink() { return lanLink_; }
  CHidPort& HidLink() { return hidLink_; }

  // --- Fields ---------------------------------------------------------------------------------
  uint32_t Timeout() const { return timeout_; }
  void SetTimeout(uint32_t ms) { timeout_ = ms; }
  uint8_t FramingFlag() const { return framingFlag_; }
  void SetFramingFlag(uint8_t f) { framingFlag_ = f ? 1 : 0; }
  bool CrcFraming() const { return framingFlag_ != 0; }
  int DeviceAddress() const { return deviceAddress_; }
  void SetDeviceAddress(int a) { deviceAddress_ = a; }
  int LastError() const { return lastError_; }
  void SetLastError(int code) { lastError_ = code; }
  uint16_t CapabilityWord() const { return capabilityWord_; }
  void SetCapabilityWord(uint16_t w) { capabilityWord_ = w; }
  uint8_t FirmwareByte() const { return firmwareByte_; }
  void SetFirmwareByte(uint8_t f) { firmwareByte_ = f; }
  int DeviceTypeCode() const { return deviceTypeCode_; }
  void SetDeviceTypeCode(int t) { deviceTypeCode_ = t; }
  int ModulationCache() const { return modulationCache_; }
  void SetModulationCache(int m) { modulationCache_ = m; }
  bool KeepUiEnabled() const { return keepUiEnabled_ != 0; }
  void SetKeepUiEnabled(bool on) { keepUiEnabled_ = on ? 1 : 0; }
  const CMyByteArray& IdentityBytes() const { return identityBytes_; }
  void SetIdentityBytes(const CMyByteArray& b) { identityBytes_ = b; }
  bool PasswordMode() const { return passwordMode_ != 0; }
  void SetPasswordMode(bool on) { passwordMode_ = on ? 1 : 0; }
  const CMyByteArray& RememberedPassword() const { return rememberedPassword_; }
  void SetRememberedPassword(const CMyByteArray& pw) { rememberedPassword_ = pw; }

 private:
  bool SendFrameOnLink(const CMyByteArray& frame);
  bool AnyLinkOpen() const;
  void PollHidInput();
  // Pumps UI events and HID input, then blocks until a byte arrives: at most 1 ms while a UI pump
  // or HID polling needs the thread, otherwise until the phase that began at phaseStart ends.
  // seenCount: the buffer length the caller last saw; any change ends the nap at once.
  void PumpAndNap(uint32_t phaseStart, size_t seenCount);
  // Drops input until the line has been quiet for resyncQuietMs_; false when it never goes quiet
  // within a bounded time.
  bool WaitForQuietLine();
  void SetAwaitingAnswer(bool on);
  // True while a HID device is there (its input is pulled by this thread).
  bool HidLinkOpen() const { return hidLink_.HasDevice(); }

  CAutoReadThread autoRead_;
  CTCPSocketThread lanLink_{this};  // received LAN bytes reach OnByteReceived
  CHidPort hidLink_;  // polled by PollHidInput on the waiting thread
  int serialId_ = 0;
  CMyByteArray sendBuffer_;
  CMyByteArray receiveBuffer_;
  uint32_t timeout_ = kDefaultTimeoutMs;
  uint16_t capabilityWord_ = 3;
  uint8_t framingFlag_ = 0;
  uint8_t firmwareByte_ = 0;
  int deviceTypeCode_ = 0;
  int deviceAddress_ = 1;
  int lastError_ = 0;
  int modulationCache_ = -1;
  uint8_t keepUiEnabled_ = 0;
  CMyByteArray identityBytes_;
  uint8_t passwordMode_ = 0;
  CMyByteArray rememberedPassword_;
  std::mutex portLock_;
  std::condition_variable byteArrived_;
  // Under portLock_: bytes are kept only while a transaction waits (or the auto-read worker runs);
  // the tick of the last byte received, kept or not, tells when the line went quiet.
  bool awaitingAnswer_ = false;
  uint32_t lastByteTick_ = 0;
  uint32_t resyncQuietMs_ = 0;
  TestLink testLink_;
};

}  // namespace tw
