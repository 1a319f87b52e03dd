// The connection and reader functions of the flat C interface.
#include <algorithm>
#include <cstring>
#include <string>

#include "sdk/device_types.h"
#include "sdk/lf_sdk.h"
#include "sdk/sdk_app.h"

using tw::CQZ_RW_Port;

namespace {

CQZ_RW_Port* Find(int h) { return h > 0 ? tw::SdkApp().FindPort(h) : nullptr; }

// Copies an answer into a caller buffer; a buffer that is too small (or missing) is error 8.
int CopyAnswer(CQZ_RW_Port* p, const CMyByteArray& answer, unsigned char* buf, int size) {
  const long room = (buf && size > 0) ? size : 0;
  if (static_cast<long>(answer.size()) > room) {
    p->SetLastError(tw::kErrBufferTooSmall);
    return -1;
  }
  if (!answer.empty()) std::memcpy(buf, answer.data(), answer.size());
  return static_cast<int>(answer.size());
}

int Action(int h, uint8_t cmd, const CMyByteArray& params) {
  CQZ_RW_Port* p = Find(h);
  if (!p) return -1;
  CMyByteArray answer;
  return p->Transact(cmd, params, answer) ? 0 : -1;
}

}  // namespace

extern "C" {

int LF_OpenPort(const char* name, int baud, int flags, int timeoutMs) {
  return tw::SdkApp().OpenPort(name, baud, flags, timeoutMs);
}

int LF_ClosePort(int h) { return tw::SdkApp().ClosePort(h); }

int LF_GetOpenError(char* buf, int size) {
  if (size < 0 || (size > 0 && !buf)) return -1;
  const std::string text = tw::SdkApp().OpenError();
  if (size > 0) {
    const size_t n = std::min(text.size(), static_cast<size_t>(size) - 1);
    std::memcpy(buf, text.data(), n);
    buf[n] = 0;
  }
  return static_cast<int>(text.size());
}

int LF_GetLastError(int h) {
  CQZ_RW_Port* p = Find(h);
  return p ? p->LastError() : tw::kErrPortOpen;
}

int LF_GetVersion(int h, unsigned char* buf, int size, char* name, int nameSize) {
  CQZ_RW_Port* p = Find(h);
  if (!p) return -1;
  CMyByteArray answer;
  if (!p->Transact(0xF0, {}, answer)) return -1;
  const int n = CopyAnswer(p, answer, buf, size);
  if (n < 0) return -1;
  if (name && nameSize > 0) {
    const std::string model = tw::ModelName(answer);
    if (static_cast<long>(model.size()) + 1 <= nameSize)
      std::memcpy(name, model.c_str(), model.size() + 1);
  }
  return n;
}

int LF_ReadReaderId(int h, unsigned char* buf, int size) {
  CQZ_RW_Port* p = Find(h);
  if (!p) return -1;
  CMyByteArray answer;
  if (!p->Transact(0xF8, {}, answer)) return -1;
  return CopyAnswer(p, answer, buf, size);
}

int LF_CanWrite(int h) {
  CQZ_RW_Port* p = Find(h);
  if (!p) return -1;
  return tw::CanWrite(p->DeviceTypeCode()) ? 1 : 0;
}

int LF_IsUsbDevice(int h) {
  CQZ_RW_Port* p = Find(h);
  if (!p) return -1;
  return p->IsUsbDevice() ? 1 : 0;
}

int LF_SetKeepUiEnabled(int h, int flag) {
  CQZ_RW_Port* p = Find(h);
  if (!p) return -1;
  p->SetKeepUiEnabled(flag != 0);
  return 1;
}

int LF_SetOperatingMode(int h, int value) {
  CQZ_RW_Port* p = Find(h);
  if (!p) return -1;
  switch (value) {
    case 0: case 1: case 2: case 3: case 0x80: case 0x81: case 0x83: break;
    default:
      p->SetLastError(tw::kErrOperatingMode);
      return -1;
  }
  CMyByteArray answer;
  return p->Transact(0xF4, {static_cast<uint8_t>(value)}, answer) ? 0 : -1;
}

int LF_SetUsbMode(int h, int mode) { return Action(h, 0xFF, {static_cast<uint8_t>(mode)}); }

int LF_SystemCommandF6(int h, int b1, int b2) {
  return Action(h, 0xF6, {static_cast<uint8_t>(b1), static_cast<uint8_t>(b2)});
}

}  // extern "C"
