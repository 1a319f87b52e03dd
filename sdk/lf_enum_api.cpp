// The SDK's listing functions: serial ports, USB readers (FTDI serial numbers, then HID readers)
// and the USB driver check. Each runs on a scratch reader port object that lives for one call.
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "sdk/lf_sdk.h"
#include "sdk/list_buffer.h"
#include "sdk/qz_rw_port.h"
#include "sdk/sdk_app.h"
#include "transport/port_enum.h"

#if __has_include("transport/hid_port.h")
#include "transport/hid_port.h"
#endif

namespace tw {
namespace {

// Where the system's /sys and /dev are looked for; a prepared tree can stand in for them.
std::string SystemRoot() {
  const char* root = std::getenv("TAGWRIGHT_SYSTEM_ROOT");
  return root && *root ? root : "/";
}

// The HID layer's part of the USB list: names of attached HID readers ("2100-0815 HID").
void AppendHidReaderNames(std::vector<std::string>& list) {
#if __has_include("transport/hid_port.h")
  static_assert(IsReaderProductNumber(kHidFallbackProductNumber),
                "a HID reader without a serial number must stay in the USB list");
  CHidPort::EnumerateHidReaders(list);
#else
  (void)list;
#endif
}

}  // namespace
}  // namespace tw

extern "C" {

int LF_EnumSerialPorts(char* list, int size) {
  std::vector<std::string> entries;
  {
    auto port = std::make_unique<tw::CQZ_RW_Port>();
    port->EnumerateComPorts(entries, tw::SystemRoot());
  }
  return tw::CopyListToBuffer(entries, list, size);
}

int LF_EnumUsbPorts(char* list, int size) {
  // The SDK's start-up loads the HID libraries that the HID list needs.
  tw::SdkApp();
  std::vector<std::string> found;
  {
    auto port = std::make_unique<tw::CQZ_RW_Port>();
    port->EnumerateD2xxSerials(found);
    tw::AppendHidReaderNames(found);
  }
  std::vector<std::string> entries;
  for (std::string& e : found)
    if (tw::StartsWithReaderProductNumber(e)) entries.push_back(std::move(e));
  return tw::CopyListToBuffer(entries, list, size);
}

int LF_GetMissingUsbDrivers(void) {
  auto port = std::make_unique<tw::CQZ_RW_Port>();
  return static_cast<int>(port->CheckUsbDriverState(tw::SystemRoot()));
}

int LF_IsVirtualComDriverInstalled(void) { return tw::IsVirtualComDriverInstalled() ? 1 : 0; }

}  // extern "C"
