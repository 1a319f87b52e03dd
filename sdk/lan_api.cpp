// The SDK's LAN functions: discovery, ping, reading and changing a device's network settings.
// Configuration ports are reader port objects whose LAN link runs in datagram mode; they live in
// the port registry only for the length of one call.
#include <string>
#include <vector>

#include "platform/tick.h"
#include "sdk/lan_config.h"
#include "sdk/lf_sdk.h"
#include "sdk/list_buffer.h"
#include "sdk/sdk_app.h"
#include "transport/lan_sockets.h"
#include "transport/tcp_socket_thread.h"

namespace tw {
namespace {

constexpr uint32_t kSearchQuietMs = 500;

class RegistryLanOps : public ILanConfigOps {
 public:
  int OpenConfigPort(const std::string& name) override {
    if (!InitSocketLibrary()) return 0;
    auto* port = new CQZ_RW_Port();
    if (!port->LanLink().OpenDatagramLink(name)) {
      delete port;
      return -1;
    }
    SdkApp().AddPort(port);
    return port->GetHandle();
  }

  void CloseConfigPort(int handle, bool reset) override {
    CQZ_RW_Port* port = SdkApp().FindPort(handle);
    if (!port) return;
    if (reset) port->LanLink().SendReset();
    port->LanLink().CloseDatagramMode();
    SdkApp().RemovePort(port);
    delete port;
  }

  bool QueryRecord(int handle, int n, CMyByteArray& record) override {
    CQZ_RW_Port* port = SdkApp().FindPort(handle);
    return port && port->LanLink().QueryRecord(n, record);
  }

  bool WriteRecord(int handle, int n, const CMyByteArray& record) override {
    CQZ_RW_Port* port = SdkApp().FindPort(handle);
    return port && port->LanLink().WriteRecord(n, record);
  }

  bool IdentifyDevice(int handle, CMyByteArray& answer) override {
    CQZ_RW_Port* port = SdkApp().FindPort(handle);
    return port && port->LanLink().IdentifyDevice(answer);
  }

  bool SendIpSetup(int handle, bool extended, const CMyByteArray& data) override {
    CQZ_RW_Port* port = SdkApp().FindPort(handle);
    return port && port->LanLink().SendIpSetup(extended, data);
  }

  int PingLanDevice(const std::string& name) override { return LF_PingLanDevice(name.c_str()); }
  void Sleep(uint32_t ms) override { SleepMs(ms); }
  uint32_t Now() override { return TickCount(); }
};

int SearchLan(char* list, int size, bool nameCheck) {
  if (!InitSocketLibrary()) return 0;
  std::vector<std::string> entries;
  CTCPSocketThread link;
  link.DiscoverDevices(entries, kSearchQuietMs, nameCheck);
  return CopyListToBuffer(entries, list, size);
}

}  // namespace
}  // namespace tw

extern "C" {

int LF_SearchLanDevices(char* list, int size) { return tw::SearchLan(list, size, false); }

int LF_SearchLanReaders(char* list, int size) { return tw::SearchLan(list, size, true); }

int LF_PingLanDevice(const char* name) {
  if (!name || !tw::InitSocketLibrary()) return 0;
  const std::string target = tw::ParseOpenArguments(name, 19200).name;
  tw::CTCPSocketThread link;
  if (!link.OpenDatagramLink(target)) return 0;
  link.CloseDatagramMode();
  return 1;
}

int LF_GetLanDeviceInfo(const char* name, char* outName, char* outAddress, char* outNetMask,
                        char* outGateway) {
  if (!name) return -1;
  tw::RegistryLanOps ops;
  return tw::GetLanDeviceInfo(ops, name, outName, outAddress, outNetMask, outGateway);
}

int LF_SetLanDeviceConfig(const char* name, const char* newAddress, const char* netMask,
                          const char* gateway) {
  if (!name) return -1;
  tw::RegistryLanOps ops;
  return tw::SetLanDeviceConfig(ops, name, newAddress ? newAddress : "", netMask ? netMask : "",
                                gateway ? gateway : "");
}

}  // extern "C"
