#include "cli/cli_reader.h"

#include <cstring>

#include "job/job_params.h"
#include "sdk/lf_sdk.h"
#include "shell/settings_keys.h"
#include "shell/string_table.h"

namespace tw::cli {
namespace {

// Devices that write transponders (model codes of the version answer).
constexpr int kWriterCodes[] = {0x052, 0x053, 0x054, 0x242, 0x243, 0x244, 0x252, 0x253, 0x254, 0x292,
                                0x293, 0x294, 0x552, 0x553, 0x554, 0x562, 0x563, 0x572, 0x573};

int Base62Digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  if (c >= 'a' && c <= 'z') return c - 'a' + 36;
  return 255;
}

bool StartsWithNoCase(const std::string& s, const char* prefix) {
  return strncasecmp(s.c_str(), prefix, std::strlen(prefix)) == 0;
}

}  // namespace

PortChoice ChoosePort(const CliOptions& options, ISettingsView& store) {
  PortChoice p;
  std::string name = options.port;
  if (name.empty()) {
    name = store.GetProfileString(settings::kPort, settings::kName, "");
    if (name.empty()) name = "COM1";
    if (StartsWithNoCase(name, "USB: ") || StartsWithNoCase(name, "LAN: ")) name = name.substr(5);
  }
  const int address =
      options.address > 0 ? options.address : store.GetProfileInt(settings::kPort, settings::kAdresse, 1);
  // A name that already carries ":address" keeps it.
  p.name = name.find(':') == std::string::npos ? name + ":" + std::to_string(address) : name;
  p.baudSetting = options.baud > 0
                      ? options.baud
                      : store.GetProfileInt(settings::kPort, settings::kBaudrate, settings::kDefaultBaudrate);
  p.timeoutMs = options.timeoutMs > 0 ? options.timeoutMs
                                      : store.GetProfileInt(settings::kPort, settings::kTimeout, 500);
  return p;
}

int OpenReader(const PortChoice& port, bool requireWriter, ReaderInfo& info, std::string& message) {
  const int parity = port.baudSetting % 100;
  const int h = LF_OpenPort(port.name.c_str(), port.baudSetting - parity, parity, port.timeoutMs);
  if (h <= 0) {
    message = LoadString(32860) + " (" + port.name + ")";  // "Fehler beim Port öffnen"
    if (LoadString(32860).empty()) message = "cannot open " + port.name;
    char why[256] = {};
    if (LF_GetOpenError(why, sizeof why) > 0) message += ": " + std::string(why);
    return 3;
  }
  unsigned char raw[4] = {};
  char name[31] = {};
  if (LF_GetVersion(h, raw, 4, name, sizeof name) == -1) {
    LF_ClosePort(h);
    message = LoadString(129) + " (" + port.name + ")";
    return 3;
  }
  info.handle = h;
  info.raw.assign(reinterpret_cast<const char*>(raw), 4);
  info.model = name;
  info.firmware = FormatString(139, 1, Base62Digit(static_cast<char>(raw[3])));
  char code[4] = {static_cast<char>(raw[0]), static_cast<char>(raw[1]), static_cast<char>(raw[2]), 0};
  char* end = nullptr;
  const long c = std::strtol(code, &end, 16);
  info.deviceCode = end == code + 3 ? static_cast<int>(c) : -1;
  info.canWrite = LF_CanWrite(h) > 0;
  info.usb = LF_IsUsbDevice(h) == 1;
  if (info.model.empty()) info.model = info.raw.substr(0, 3);  // a model without a name: its code
  info.interfaceText = info.model + " " + (info.usb ? "USB:" : "") + port.name;
  if (requireWriter) {
    bool known = false;
    for (int w : kWriterCodes) known |= w == info.deviceCode;
    if (!known || !info.canWrite) {
      const std::string device = info.model + " " + info.firmware;
      message = FormatString(231, device.c_str());
      LF_ClosePort(h);
      info.handle = 0;
      return 3;
    }
  }
  LF_SetOperatingMode(h, 0);
  return 0;
}

}  // namespace tw::cli
