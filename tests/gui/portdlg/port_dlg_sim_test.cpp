// "HID Mode" against a simulated reader in virtual COM mode: the reader must receive FFh with
// mode 1 and then F6h 00 00 through the real SDK.
#include <gtest/gtest.h>

#include <QListWidget>
#include <QPushButton>

#include "app/port_dlg.h"
#include "qt_app.h"
#include "shell/settings_keys.h"
#include "tests/support/sim_process.h"

namespace tw {
namespace {

// The real SDK, with the simulator's terminal standing in for the port "COM4" of a virtual COM
// reader, which the machine running the tests does not have.
class SimComBackend : public IPortBackend {
 public:
  explicit SimComBackend(std::string pty) : pty_(std::move(pty)) {}
  std::vector<std::string> EnumSerialPorts() override { return {"\\\\.\\COM4 [Velkor Virtual COM]"}; }
  std::vector<std::string> EnumUsbPorts() override { return {}; }
  std::vector<std::string> SearchLanReaders() override { return {}; }
  std::vector<std::string> SearchLanDevices() override { return {}; }
  bool PingLanDevice(const std::string&) override { return false; }
  int GetMissingUsbDrivers() override { return 0; }
  bool IsVirtualComDriverInstalled() override { return true; }
  int OpenPort(const std::string& name, int baud, int flags, int timeoutMs) override {
    opened = name;
    return sdk.OpenPort(name == "COM4" ? pty_ : name, baud, flags, timeoutMs);
  }
  int SetUsbMode(int h, int mode) override { return sdk.SetUsbMode(h, mode); }
  int SystemCommandF6(int h, int b1, int b2) override { return sdk.SystemCommandF6(h, b1, b2); }
  int ClosePort(int h) override { return sdk.ClosePort(h); }
  bool GetLanDeviceInfo(const std::string&, LanInfo&) override { return false; }
  int SetLanDeviceConfig(const std::string&, const std::string&, const std::string&,
                         const std::string&) override {
    return -1;
  }
  std::string opened;

 private:
  IPortBackend& sdk = SdkPortBackend();
  std::string pty_;
};

TEST(PortDlgSim, HidModeSendsModeAndRestartCommands) {
  test::TestApp();
  test::SimProcess sim;
  ASSERT_TRUE(sim.Start());
  SimComBackend backend(sim.PtyPath());
  MemorySettingsStore store;
  store.WriteProfileString(settings::kPort, settings::kName, "COM4 [Velkor Virtual COM]");
  CPortDlg dlg(store, backend);
  dlg.waitMs = [](int) {};
  ASSERT_EQ(dlg.interfaceList()->currentRow(), 0);
  ASSERT_TRUE(dlg.hidModeButton()->isEnabled());
  sim.ClearTrace();
  dlg.hidModeButton()->click();
  EXPECT_EQ(backend.opened, "COM4");
  EXPECT_EQ(sim.CountCommands(0xFF), 1);
  EXPECT_EQ(sim.CountCommands(0xF6), 1);
  bool modeOne = false, restart = false;
  for (const auto& line : sim.Trace()) {
    if (line.rfind("RX", 0) != 0) continue;
    modeOne |= line.find(" FF 01 01") != std::string::npos;
    restart |= line.find(" F6 02 00 00") != std::string::npos;
  }
  EXPECT_TRUE(modeOne);
  EXPECT_TRUE(restart);
  EXPECT_EQ(dlg.Settings().name, "");
  EXPECT_FALSE(dlg.hidModeButton()->isEnabled());
}

}  // namespace
}  // namespace tw
