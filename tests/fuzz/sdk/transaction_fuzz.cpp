// Fuzz target: whole transactions (send, three-phase wait, answer check) over an in-memory link.
// Input: one byte of settings (bit 0 framing, bits 1-2 commands to run, bit 3 stray bytes before
// the first command), then chunks [length][bytes...]. Each chunk reaches the port on one pass of
// the wait, as a link would deliver a split answer; a chunk of length 0 ends the deliveries for
// the current command, whose wait then times out, and what follows arrives late, while the next
// command waits or while the line is resynchronised.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/ui_hooks.h"
#include "sdk/qz_rw_port.h"

namespace {

struct Script {
  const uint8_t* data = nullptr;
  size_t size = 0;
  size_t pos = 0;
  bool paused = false;  // the current command gets no more bytes
  tw::CQZ_RW_Port* port = nullptr;
};
Script gScript;

// Called on every pass of a wait: the next chunk arrives.
void DeliverChunk() {
  Script& s = gScript;
  if (!s.port || s.paused || s.pos >= s.size) return;
  const size_t len = s.data[s.pos++];
  if (len == 0) {
    s.paused = true;
    return;
  }
  const size_t n = len < s.size - s.pos ? len : s.size - s.pos;
  s.port->OnBytesReceived(s.data + s.pos, n);
  s.pos += n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static bool hooked = false;
  if (!hooked) {
    tw::UiHooks hooks;
    hooks.pumpEvents = DeliverChunk;
    tw::SetUiHooks(hooks);
    hooked = true;
  }
  tw::CQZ_RW_Port port;
  port.SetFramingFlag(data[0] & 1);
  port.SetKeepUiEnabled(true);
  port.SetTimeout(1);
  gScript = Script{data + 1, size - 1, 0, false, &port};
  if (data[0] & 8) DeliverChunk();  // nobody waits for these
  port.AttachTestLink([](tw::CQZ_RW_Port&, const CMyByteArray& frame) {
    if (frame.size() < 5) std::abort();  // every command goes out whole
    gScript.paused = false;
    DeliverChunk();
  });
  const int commands = 1 + ((data[0] >> 1) & 3);
  for (int i = 0; i < commands; ++i) {
    CMyByteArray answer;
    const int before = port.LastError();
    const bool ok = port.Transact(static_cast<uint8_t>(0xF0 + i), {static_cast<uint8_t>(i)}, answer);
    if (ok && (answer.size() > 255 || port.LastError() != before)) std::abort();
    if (!ok && port.LastError() == before && before == 0) std::abort();  // a failure names its cause
    if (port.Timeout() != 1) std::abort();
  }
  gScript.port = nullptr;
  port.DetachTestLink();
  return 0;
}
