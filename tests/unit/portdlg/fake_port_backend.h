// Stand-in for the reader SDK as the interface and LAN dialogs see it: lists and answers are set
// by the test, and every call that reaches a reader is recorded.
#pragma once
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/port_settings.h"

namespace tw::test {

class FakePortBackend : public IPortBackend {
 public:
  std::vector<std::string> com, usb, lanReaders, lanDevices;
  std::map<std::string, bool> pingAnswers;  // missing: no answer
  std::set<std::string> vcomDevices;  // device paths with a virtual COM reader behind them
  int missingDrivers = 0;
  bool vcomDriver = true;
  int openResult = 1;
  LanInfo info;
  bool infoOk = true;
  int setConfigResult = 0;

  int comCalls = 0, usbCalls = 0, lanCalls = 0, driverCalls = 0;
  std::vector<std::string> calls;  // "open <name>", "mode <m>", "f6 <a> <b>", "close", "set ..."

  std::vector<std::string> EnumSerialPorts() override { ++comCalls; return com; }
  std::vector<std::string> EnumUsbPorts() override { ++usbCalls; return usb; }
  std::vector<std::string> SearchLanReaders() override { ++lanCalls; return lanReaders; }
  std::vector<std::string> SearchLanDevices() override { return lanDevices; }
  bool PingLanDevice(const std::string& name) override {
    calls.push_back("ping " + name);
    auto it = pingAnswers.find(name);
    return it != pingAnswers.end() && it->second;
  }
  std::vector<ReaderAccessProblem> problems;
  int GetMissingUsbDrivers() override { return missingDrivers; }
  std::vector<ReaderAccessProblem> ReaderAccessProblems() override { ++driverCalls; return problems; }
  bool IsVirtualComDriverInstalled() override { return vcomDriver; }
  bool IsVirtualComDevice(const std::string& path) override { return vcomDevices.count(path) != 0; }
  int OpenPort(const std::string& name, int baud, int flags, int timeoutMs) override {
    calls.push_back("open " + name + " " + std::to_string(baud) + " " + std::to_string(flags) +
                    " " + std::to_string(timeoutMs));
    return openResult;
  }
  int SetUsbMode(int, int mode) override { calls.push_back("mode " + std::to_string(mode)); return 0; }
  int SystemCommandF6(int, int b1, int b2) override {
    calls.push_back("f6 " + std::to_string(b1) + " " + std::to_string(b2));
    return 0;
  }
  int ClosePort(int) override { calls.push_back("close"); return 0; }
  bool GetLanDeviceInfo(const std::string&, LanInfo& out) override {
    if (infoOk) out = info;
    return infoOk;
  }
  int SetLanDeviceConfig(const std::string& device, const std::string& newAddress,
                         const std::string& netMask, const std::string& gateway) override {
    calls.push_back("set " + device + " " + newAddress + " " + netMask + " " + gateway);
    return setConfigResult;
  }
};

}  // namespace tw::test
