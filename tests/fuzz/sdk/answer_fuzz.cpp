// Fuzz target: arbitrary bytes as a reader's answer, checked and stripped in both framings.
// The first input byte picks the framing; the rest arrives on the port as received bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "sdk/qz_rw_port.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static tw::CQZ_RW_Port port;
  port.SetFramingFlag(data[0] & 1);
  port.SetLastError(0);
  port.PurgeReceive();
  port.OnBytesReceived(data + 1, size - 1);
  CMyByteArray answer;
  const bool ok = port.ReadAnswer(answer);
  if (port.ReceiveCount() != 0) std::abort();  // the answer is always taken whole
  if (ok) {
    // A good answer leaves exactly its N data bytes.
    const size_t n = data[1 + (port.CrcFraming() ? 2 : 3)];
    if (answer.size() != n || port.LastError() != 0) std::abort();
  } else if (size > 1 && port.LastError() == 0) {
    // Failures without a code are the too-short answers only.
    const size_t nIndex = port.CrcFraming() ? 2 : 3;
    const size_t len = size - 1;
    if (len >= 5 && len > nIndex && len >= static_cast<size_t>(data[1 + nIndex]) + 5) std::abort();
  }
  return 0;
}
