// One input = a queued datagram as the link stores it (sender address, header, payload). It runs
// through everything that reads answer bytes, and through the simulated device as a request.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sdk/lan_config.h"
#include "sim/lan/lan_device.h"
#include "transport/lan_datagram.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tw;
  lan::Datagram d;
  if (lan::DecodeQueued(data, size, d)) {
    const auto& p = d.payload;
    (void)lan::RecordDeviceName(p);
    (void)lan::RecordProductName(p);
    (void)lan::IsReaderProduct(p);
    (void)lan::RecordPort(p);
    std::string entry = lan::DiscoveryEntry(p, d.sender);
    (void)lan::EntryHost(entry);
    LanDeviceTexts texts;
    if (FormatLanDeviceTexts(p, texts)) {
      char out[32];
      CopyLanText(out, texts.name);
      CopyLanText(out, texts.address);
    }
  }
  const std::string text(reinterpret_cast<const char*>(data), size);
  (void)ParseLanAddress(text);
  std::string host;
  uint32_t port = 0;
  lan::SplitTarget(text, host, port);
  (void)lan::BracketPart(text);
  (void)lan::IsLanTargetName(text);

  sim::SimLanDevice device(sim::LanDeviceConfig{});
  std::vector<uint8_t> reply;
  device.Handle(data, size, reply);
  if (device.RestartPending()) device.CompleteRestart();
  device.Handle(data, size, reply);
  return 0;
}
