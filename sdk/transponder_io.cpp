#include "sdk/transponder_io.h"

#include <algorithm>

#include "sdk/qz_rw_port.h"
#include "sdk/transponder_downlink.h"
#include "sdk/type_table.h"

namespace tw::xponder {

bool IsUnified(const CQZ_RW_Port& port) { return (port.CapabilityWord() & kCapUnified) != 0; }

ReaderFeatures Features(const CQZ_RW_Port& port) {
  return ReaderFeatures{port.CapabilityWord(), port.FirmwareByte()};
}

bool SendsPackedStreams(const CQZ_RW_Port& port) {
  return (port.CapabilityWord() & kCapNotPacked) == 0;
}

bool ReversesAnswers(const CQZ_RW_Port& port, int type) {
  return port.CapabilityWord() == 0 && (type == 2 || type == 3 || type == 6);
}

void ReverseIf(bool reverse, CMyByteArray& bytes) {
  if (reverse) std::reverse(bytes.begin(), bytes.end());
}

bool Legacy(CQZ_RW_Port& port, uint8_t cmd, const CMyByteArray& params, CMyByteArray& answer) {
  answer.clear();
  port.BeginCommand(cmd, params);
  if (!port.SendCommand()) return false;
  return port.ReadAnswer(answer);
}

bool Unified(CQZ_RW_Port& port, uint8_t cmd, const CMyByteArray& params, CMyByteArray& answer,
             uint32_t minTimeoutMs) {
  answer.clear();
  const uint32_t timeout = std::max(port.Timeout(), minTimeoutMs);
  return port.Transact(cmd, params, answer, minTimeoutMs > 0 ? static_cast<int>(timeout) : 0);
}

CMyByteArray Join(std::initializer_list<uint8_t> head, const CMyByteArray& tail) {
  return Join(head, tail, CMyByteArray{});
}

CMyByteArray Join(std::initializer_list<uint8_t> head, const CMyByteArray& tail1,
                  const CMyByteArray& tail2) {
  CMyByteArray out;
  out.reserve(head.size() + tail1.size() + tail2.size());
  for (uint8_t b : head) out.push_back(b);
  for (uint8_t b : tail1) out.push_back(b);
  for (uint8_t b : tail2) out.push_back(b);
  return out;
}

bool Fail(CQZ_RW_Port& port, int code) {
  port.SetLastError(code);
  return false;
}

void ClearRememberedPassword(CQZ_RW_Port& port) {
  port.SetPasswordMode(false);
  port.SetRememberedPassword(CMyByteArray{});
}

namespace {

// The remembered password as 4 bytes (it is only ever stored with 4).
CMyByteArray Password(const CQZ_RW_Port& port) {
  CMyByteArray pw = port.RememberedPassword();
  pw.resize(4, 0);
  return pw;
}

}  // namespace

bool ReadBlockWithPassword(CQZ_RW_Port& port, int type, int block, CMyByteArray& out) {
  out.clear();
  if (!BlockInRange(type, block)) return Fail(port, kErrBlockRange);
  const CMyByteArray pw = Password(port);
  bool ok;
  if (SendsPackedStreams(port)) {
    ok = Legacy(port, 0x33, PackedReadWithPassword(pw.data(), block), out);
  } else {
    const uint8_t b = static_cast<uint8_t>(block);
    ok = IsUnified(port) ? Unified(port, 0xC4, Join({static_cast<uint8_t>(type), 0x03, b}, pw), out)
                         : Legacy(port, 0x33, Join({b}, pw), out);
  }
  if (!ok) return false;
  ReverseIf(ReversesAnswers(port, type), out);
  return true;
}

bool WriteBlockWithPassword(CQZ_RW_Port& port, int type, int block, const uint8_t chunk[4],
                            int lock) {
  if (!BlockInRange(type, block)) return Fail(port, kErrBlockRange);
  if (lock < 0 || lock > 1) return Fail(port, kErrOptionRange);
  const CMyByteArray pw = Password(port);
  CMyByteArray answer;
  if (SendsPackedStreams(port)) {
    return Legacy(port, 0x30, PackedWriteWithPassword(pw.data(), lock == 1, chunk, block), answer);
  }
  const uint8_t b = static_cast<uint8_t>(block | (lock == 1 ? 0x80 : 0));
  const CMyByteArray data(chunk, chunk + 4);
  if (IsUnified(port)) {
    return Unified(port, 0xC4, Join({static_cast<uint8_t>(type), 0x04, b}, pw, data), answer);
  }
  return Legacy(port, 0x30, Join({b}, pw, data), answer);
}

}  // namespace tw::xponder
