// Fuzz target: arbitrary bytes as a reader's answer, checked and stripped in both framings.
// The first input byte picks the framing; the rest arrives on the link as the answer to one
// command (a port keeps only bytes that a command waits for).
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "sdk/qz_rw_port.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static tw::CQZ_RW_Port port;
  port.SetFramingFlag(data[0] & 1);
  port.SetLastError(0);
  port.SetTimeout(0);  // no waiting: what arrived with the command is all there is
  port.AttachTestLink([&](tw::CQZ_RW_Port& p, const CMyByteArray&) { p.OnBytesReceived(data + 1, size - 1); });
  port.BeginCommand(0xF0);
  // As in a transaction, an answer is read only when the command's wait ended with one: with no
  // time to wait, a wait that ends between two ticks reports a timeout over a complete frame.
  const bool sent = port.SendCommand();
  port.DetachTestLink();
  if (!sent) return 0;
  CMyByteArray answer;
  const bool ok = port.ReadAnswer(answer);
  if (port.ReceiveCount() != 0) std::abort();  // the answer is always taken whole
  // A good answer leaves its N data bytes, at most 255, and no error.
  if (ok && (answer.size() > 255 || port.LastError() != 0)) std::abort();
  return 0;
}
