#include "sdk/qz_rw_port.h"

#include <algorithm>
#include <chrono>
#include <set>

#include "platform/tick.h"
#include "platform/trace.h"
#include "platform/ui_hooks.h"

namespace tw {

namespace {

// Serial ids are process-wide: the smallest positive number not held by another serial link.
std::mutex gSerialIdLock;
std::set<int> gSerialIds;

int AcquireSerialId() {
  std::lock_guard<std::mutex> lock(gSerialIdLock);
  int id = 1;
  while (gSerialIds.count(id)) ++id;
  gSerialIds.insert(id);
  return id;
}

void ReleaseSerialId(int id) {
  std::lock_guard<std::mutex> lock(gSerialIdLock);
  gSerialIds.erase(id);
}

}  // namespace

CQZ_RW_Port::CQZ_RW_Port() = default;

CQZ_RW_Port::~CQZ_RW_Port() {
  autoRead_.Stop();
  // The socket thread calls into this object too: it ends before the buffers go.
  lanLink_.SetOwner(nullptr);
  if (lanLink_.LinkId() != 0) lanLink_.CloseLink();
  // The port thread calls into this object: it must end before this part is gone.
  ClosePort();
  if (serialId_) ReleaseSerialId(serialId_);
  serialId_ = 0;
}

// --- Command -----------------------------------------------------------------------------------

void CQZ_RW_Port::BeginCommand(uint8_t cmd) { sendBuffer_.assign(1, cmd); }
void CQZ_RW_Port::BeginCommand(uint8_t cmd, uint8_t p1) { sendBuffer_ = {cmd, p1}; }
void CQZ_RW_Port::BeginCommand(uint8_t cmd, uint8_t p1, uint8_t p2) { sendBuffer_ = {cmd, p1, p2}; }
void CQZ_RW_Port::BeginCommand(uint8_t cmd, uint8_t p1, uint8_t p2, uint8_t p3) {
  sendBuffer_ = {cmd, p1, p2, p3};
}
void CQZ_RW_Port::BeginCommand(uint8_t cmd, const CMyByteArray& params) {
  BeginCommand(cmd);
  AppendParams(params);
}
void CQZ_RW_Port::BeginCommand(uint8_t cmd, uint8_t p1, const CMyByteArray& params) {
  BeginCommand(cmd, p1);
  AppendParams(params);
}
void CQZ_RW_Port::BeginCommand(uint8_t cmd, uint8_t p1, uint8_t p2, const CMyByteArray& params) {
  BeginCommand(cmd, p1, p2);
  AppendParams(params);
}
void CQZ_RW_Port::BeginCommand(uint8_t cmd, uint8_t p1, uint8_t p2, uint8_t p3,
                               const CMyByteArray& params) {
  BeginCommand(cmd, p1, p2, p3);
  AppendParams(params);
}
void CQZ_RW_Port::AppendParams(const CMyByteArray& bytes) {
  sendBuffer_.insert(sendBuffer_.end(), bytes.begin(), bytes.end());
}

// --- Frames ------------------------------------------------------------------------------------

uint16_t CQZ_RW_Port::Crc16(const uint8_t* data, size_t len) {
  uint16_t v = 0xFFFF;
  for (size_t i = 0; i < len; ++i) {
    v ^= data[i];
    for (int b = 0; b < 8; ++b) v = (v & 1) ? static_cast<uint16_t>((v >> 1) ^ 0xA001) : (v >> 1);
  }
  return v;
}

uint8_t CQZ_RW_Port::XorBcc(const CMyByteArray& data) {
  if (data.size() < 3) return 0;
  uint8_t x = 0;
  for (size_t i = 1; i + 1 < data.size(); ++i) x ^= data[i];
  return x;
}

CMyByteArray CQZ_RW_Port::BuildFrame(const CMyByteArray& cmdAndParams, uint8_t address,
                                     bool crcFraming) {
  // N is one byte: longer parameter lists cannot be framed and are refused rather than truncated.
  if (cmdAndParams.empty() || cmdAndParams.size() - 1 > 255) return {};
  CMyByteArray f;
  f.reserve(cmdAndParams.size() + 5);
  if (!crcFraming) f.push_back(kStx);
  f.push_back(address);
  f.push_back(cmdAndParams[0]);
  f.push_back(static_cast<uint8_t>(cmdAndParams.size() - 1));
  f.insert(f.end(), cmdAndParams.begin() + 1, cmdAndParams.end());
  if (!crcFraming) {
    f.push_back(0);
    f.back() = XorBcc(f);
  } else {
    const uint16_t crc = Crc16(f);
    f.push_back(static_cast<uint8_t>(crc & 0xFF));
    f.push_back(static_cast<uint8_t>(crc >> 8));
  }
  return f;
}

void CQZ_RW_Port::BuildFrame() {
  sendBuffer_ = BuildFrame(sendBuffer_, static_cast<uint8_t>(deviceAddress_), CrcFraming());
}

// --- Receive buffer ----------------------------------------------------------------------------

void CQZ_RW_Port::OnByteReceived(uint8_t byte) { OnBytesReceived(&byte, 1); }

void CQZ_RW_Port::OnBytesReceived(const uint8_t* data, size_t len) {
  {
    std::lock_guard<std::mutex> lock(portLock_);
    lastByteTick_ = TickCount();
    // Nobody asked: a late answer or noise, which must not become the next command's answer.
    if (!awaitingAnswer_ && !autoRead_.IsRunning()) return;
    receiveBuffer_.insert(receiveBuffer_.end(), data, data + len);
  }
  byteArrived_.notify_all();
}

void CQZ_RW_Port::SetAwaitingAnswer(bool on) {
  std::lock_guard<std::mutex> lock(portLock_);
  awaitingAnswer_ = on;
}

uint32_t CQZ_RW_Port::ResyncQuietMs(uint32_t timeoutMs) {
  return static_cast<uint32_t>(std::min<uint64_t>(2ull * timeoutMs, 2000));
}

uint32_t CQZ_RW_Port::CommandResyncQuietMs(uint32_t timeoutMs) {
  return std::max<uint32_t>(ResyncQuietMs(timeoutMs), 1000);
}

void CQZ_RW_Port::RequireResync(uint32_t quietMs) {
  std::lock_guard<std::mutex> lock(portLock_);
  resyncQuietMs_ = quietMs;
  lastByteTick_ = TickCount();
}

bool CQZ_RW_Port::WaitForQuietLine() {
  const uint32_t start = TickCount();
  // A line that chatters for ever must not hold the caller for ever.
  const uint32_t limit = 2 * resyncQuietMs_ + 1000;
  for (;;) {
    uint32_t quiet;
    {
      std::lock_guard<std::mutex> lock(portLock_);
      quiet = TickCount() - lastByteTick_;
      receiveBuffer_.clear();
    }
    if (quiet >= resyncQuietMs_) {
      resyncQuietMs_ = 0;
      return true;
    }
    if (TicksSince(start) > limit) return false;
    PumpUiEvents();
    PollHidInput();  // HID input arrives only when pulled; it is dropped like any other
    const uint32_t napMs =
        (GetUiHooks().pumpEvents || HidLinkOpen()) ? 1 : std::min<uint32_t>(resyncQuietMs_ - quiet, 50);
    SleepMs(napMs);
  }
}

size_t CQZ_RW_Port::ReceiveCount() {
  std::lock_guard<std::mutex> lock(portLock_);
  return receiveBuffer_.size();
}

void CQZ_RW_Port::RemoveFirstReceived() {
  std::lock_guard<std::mutex> lock(portLock_);
  if (!receiveBuffer_.empty()) receiveBuffer_.erase(receiveBuffer_.begin());
}

CMyByteArray CQZ_RW_Port::TakeReceived() {
  std::lock_guard<std::mutex> lock(portLock_);
  CMyByteArray out;
  out.swap(receiveBuffer_);
  return out;
}

size_t CQZ_RW_Port::TakeReceived(CMyByteArray& out, size_t maxBytes, bool pumpUi) {
  if (pumpUi) PumpUiEvents();
  PollHidInput();
  std::lock_guard<std::mutex> lock(portLock_);
  const size_t n = std::min(maxBytes, receiveBuffer_.size());
  out.insert(out.end(), receiveBuffer_.begin(), receiveBuffer_.begin() + static_cast<long>(n));
  receiveBuffer_.erase(receiveBuffer_.begin(), receiveBuffer_.begin() + static_cast<long>(n));
  return n;
}

void CQZ_RW_Port::PurgeReceive() {
  {
    std::lock_guard<std::mutex> lock(portLock_);
    receiveBuffer_.clear();
  }
  // Bytes the system still queues for the serial/D2XX device belong to an earlier exchange too.
  if (serialId_ != 0) PurgeInput();
  // Input reports the HID device still holds belong to an earlier exchange: read and drop them.
  if (hidLink_.IsOpen()) {
    uint8_t scratch[10];
    while (hidLink_.ReadHidInput(scratch, sizeof scratch) > 0) {
    }
  }
}

void CQZ_RW_Port::PollHidInput() {
  if (!HidLinkOpen()) return;
  uint8_t buf[100];
  const int n = hidLink_.ReadHidInput(buf, sizeof buf);
  if (n > 0) OnBytesReceived(buf, static_cast<size_t>(n));
}

void CQZ_RW_Port::PumpAndNap(uint32_t phaseStart, size_t seenCount) {
  PumpUiEvents();
  PollHidInput();
  // The HID read above already waited up to 1 ms for input; the next pass polls again.
  if (HidLinkOpen()) return;
  // Never spins: a byte from the link wakes us at once. Only a UI to pump or HID input to pull
  // needs the thread back every millisecond; otherwise sleep until the phase would time out.
  uint32_t napMs = 1;
  if (!GetUiHooks().pumpEvents && !HidLinkOpen()) {
    const uint32_t elapsed = TicksSince(phaseStart);
    napMs = elapsed <= timeout_ ? timeout_ - elapsed + 1 : 1;
  }
  std::unique_lock<std::mutex> lock(portLock_);
  byteArrived_.wait_for(lock, std::chrono::milliseconds(napMs),
                        [&] { return receiveBuffer_.size() != seenCount; });
}

// --- Transaction -------------------------------------------------------------------------------

bool CQZ_RW_Port::AnyLinkOpen() const {
  if (testLink_) return true;
  if (serialId_ != 0 || IsPortOpen()) return true;
  if (lanLink_.LinkId() != 0) return true;
  if (hidLink_.IsOpen()) return true;
  return false;
}

bool CQZ_RW_Port::SendFrameOnLink(const CMyByteArray& frame) {
  // Links in order of preference; the first open one carries the frame.
  if (testLink_) {
    testLink_(*this, frame);
    return true;
  }
  if (serialId_ != 0 || IsPortOpen()) {
    QueueWrite(frame.data(), static_cast<int>(frame.size()));
    return true;
  }
  if (lanLink_.LinkId() != 0) return lanLink_.QueueSend(frame);
  if (hidLink_.IsOpen()) return hidLink_.WriteHidFrame(frame.data(), frame.size());
  return false;
}

bool CQZ_RW_Port::SendCommand() {
  BuildFrame();
  if (sendBuffer_.empty()) {
    lastError_ = kErrNoSendData;
    return false;
  }
  CMyByteArray frame;
  frame.swap(sendBuffer_);
  // A vanished device cannot answer; there is nothing to wait for.
  if (DeviceVanished()) {
    lastError_ = kErrTimeout;
    return false;
  }
  if (resyncQuietMs_ != 0 && !WaitForQuietLine()) {
    lastError_ = kErrTimeout;
    return false;
  }
  PurgeReceive();
  SetAwaitingAnswer(true);
  if (TraceEnabled()) TraceHex("TX", frame.data(), frame.size());
  SendFrameOnLink(frame);  // nothing open: the wait below times out
  const bool answered = WaitForAnswer();
  SetAwaitingAnswer(false);
  if (!answered) {
    lastError_ = kErrTimeout;
    RequireResync(CommandResyncQuietMs(timeout_));
    return false;
  }
  return true;
}

bool CQZ_RW_Port::WaitForAnswer() {
  void* token = nullptr;
  bool wasEnabled = true;
  const bool disabled = keepUiEnabled_ == 0;
  if (disabled) token = DisableAppWindow(&wasEnabled);
  struct Restore {
    bool on;
    void* token;
    bool wasEnabled;
    ~Restore() {
      if (on) RestoreAppWindow(token, wasEnabled);
    }
  } restore{disabled, token, wasEnabled};

  // Phase 1: the first four bytes.
  uint32_t start = TickCount();
  for (size_t n; (n = ReceiveCount()) < 4;) {
    if (TicksSince(start) > timeout_) return false;
    PumpAndNap(start, n);
  }
  // Phase 2 (STX/BCC only): skip garbage in front of the STX, one byte at a time.
  if (!CrcFraming()) {
    start = TickCount();
    for (;;) {
      if (TicksSince(start) > timeout_) return false;
      bool found = false, enough = false;
      size_t n;
      {
        std::lock_guard<std::mutex> lock(portLock_);
        n = receiveBuffer_.size();
        if (n >= 4) {
          enough = true;
          if (receiveBuffer_[0] == kStx) found = true;
          else receiveBuffer_.erase(receiveBuffer_.begin());
        }
      }
      if (found) {
        PumpUiEvents();
        PollHidInput();
        break;
      }
      if (enough) PumpUiEvents(), PollHidInput();
      else PumpAndNap(start, n);
    }
  }
  // Phase 3: the whole frame, N + 5 bytes.
  // The length byte is read on every pass: an auto-read worker beside the transaction may have
  // taken bytes from the front since the phases above looked.
  start = TickCount();
  const size_t nIndex = CrcFraming() ? 2 : 3;
  for (;;) {
    size_t n, need = 0;
    {
      std::lock_guard<std::mutex> lock(portLock_);
      n = receiveBuffer_.size();
      if (n > nIndex) need = static_cast<size_t>(receiveBuffer_[nIndex]) + 5;
    }
    if (need != 0 && n >= need) return true;
    if (TicksSince(start) > timeout_) return false;
    PumpAndNap(start, n);
  }
}

bool CQZ_RW_Port::CheckAnswer(const CMyByteArray& data) {
  if (data.empty()) {
    lastError_ = kErrEmptyAnswer;
    return false;
  }
  const size_t nIndex = CrcFraming() ? 2 : 3;
  if (data.size() < 5 || data.size() <= nIndex) return false;
  const size_t total = static_cast<size_t>(data[nIndex]) + 5;
  if (data.size() < total) return false;
  CMyByteArray cut(data.begin(), data.begin() + static_cast<long>(total));
  bool ok;
  if (!CrcFraming()) {
    ok = cut.back() == XorBcc(cut);
  } else {
    const uint16_t got = static_cast<uint16_t>(cut[total - 1] << 8 | cut[total - 2]);
    ok = Crc16(cut.data(), total - 2) == got;
  }
  if (!ok) lastError_ = kErrCheckCode;
  return ok;
}

bool CQZ_RW_Port::ReadAnswer(CMyByteArray& data) {
  data = TakeReceived();
  if (TraceEnabled()) TraceHex("RX", data.data(), data.size());
  if (!CheckAnswer(data)) return false;
  const bool crc = CrcFraming();
  const uint8_t status = data[crc ? 1 : 2];
  if (status != 0) {
    lastError_ = status;
    return false;
  }
  const size_t header = crc ? 3 : 4;
  const size_t n = data[crc ? 2 : 3];
  data = CMyByteArray(data.begin() + static_cast<long>(header),
                      data.begin() + static_cast<long>(header + n));
  return true;
}

bool CQZ_RW_Port::Transact(uint8_t cmd, const CMyByteArray& params, CMyByteArray& answer,
                           int timeoutMs) {
  const uint32_t saved = timeout_;
  if (timeoutMs > 0) timeout_ = static_cast<uint32_t>(timeoutMs);
  BeginCommand(cmd, params);
  const bool ok = SendCommand() && ReadAnswer(answer);
  timeout_ = saved;
  return ok;
}

// --- Link --------------------------------------------------------------------------------------

int CQZ_RW_Port::GetHandle() const {
  if (serialId_ != 0) return serialId_;
  if (lanLink_.LinkId() != 0) return lanLink_.LinkId();
  if (hidLink_.IsOpen()) return hidLink_.LinkId();
  return 0;
}

bool CQZ_RW_Port::OpenSerialLink(const std::string& name, uint32_t baud, int parityCode) {
  char parity = 'N';
  uint32_t stop = 1;
  switch (parityCode & 0x0F) {
    case 1: parity = 'E'; break;
    case 2: parity = 'O'; break;
    case 3: stop = 2; break;
    default: break;
  }
  if (!OpenPort(nullptr, name, baud, parity, 8, stop, d2xx::EV_RXCHAR | d2xx::EV_CTS, 512))
    return false;
  if (!StartPortThread()) {
    ClosePort();
    return false;
  }
  serialId_ = AcquireSerialId();
  return true;
}

void CQZ_RW_Port::CloseLink() {
  autoRead_.Stop();
  testLink_ = nullptr;
  if (serialId_ != 0) {
    ClosePort();
    ReleaseSerialId(serialId_);
    serialId_ = 0;
  }
  else if (lanLink_.LinkId() != 0) lanLink_.CloseLink();
  else if (hidLink_.IsOpen()) {
    hidLink_.SendHidControl(1);
    hidLink_.CloseHidDevice();
  }
}

bool CQZ_RW_Port::IsUsbDevice() const {
  if (serialId_ != 0 && IsD2xxMode()) return true;
  if (hidLink_.IsOpen()) return true;
  return false;
}

}  // namespace tw
