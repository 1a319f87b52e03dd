// The USB driver check from prepared sysfs trees: which reader lacks a driver, and the SDK
// functions that report it.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "sdk/lf_sdk.h"
#include "sys_tree.h"
#include "transport/port_enum.h"
#include "transport/usb_serial_port.h"

using tw::test::SysTree;

namespace {

class DriverState : public ::testing::Test {
 protected:
  uint32_t Check() {
    tw::CUSBSerialPort port;
    return port.CheckUsbDriverState(tree.Root());
  }
  SysTree tree;
};

TEST_F(DriverState, NothingMissingWhenEveryReaderHasADriver) {
  tree.UsbDevice("usb1", "1d6b", "0002", "Linux", "xHCI Host Controller");
  tree.UsbDevice("1-1", "0403", "e130", nullptr, nullptr);
  tree.UsbInterface("1-1", "ftdi_sio");
  tree.UsbDevice("1-2", "1c40", "05ac", nullptr, nullptr);
  tree.UsbInterface("1-2", "cdc_acm");
  // Somebody else's device without a driver is not ours to report.
  tree.UsbDevice("1-3", "0403", "6001", nullptr, nullptr);
  tree.UsbInterface("1-3", nullptr);
  EXPECT_EQ(Check(), 0u);
}

TEST_F(DriverState, EachReaderKindSetsItsBit) {
  tree.UsbDevice("1-1", "0403", "E130", nullptr, nullptr);
  tree.UsbInterface("1-1", nullptr);
  EXPECT_EQ(Check(), tw::kMissingFtdiDriver);

  // An unconfigured device has no interfaces and so no driver either.
  tree.UsbDevice("1-2", "1c40", "05ac", nullptr, nullptr);
  EXPECT_EQ(Check(), tw::kMissingFtdiDriver | tw::kMissingVirtualComDriver);

  tree.UsbInterface("1-1", "ftdi_sio");
  EXPECT_EQ(Check(), tw::kMissingVirtualComDriver);
}

TEST_F(DriverState, DamagedTreesReportNothingRatherThanGuess) {
  EXPECT_EQ(Check(), 0u);  // no USB folder at all
  tree.UsbDevice("1-1", "0403", "e13", nullptr, nullptr);  // id cut short
  tree.UsbDevice("1-2", nullptr, "05ac", nullptr, nullptr);  // id missing
  tree.UsbDevice("1-3", "1c40", "05ac", nullptr, nullptr);
  tree.UsbInterface("1-3", nullptr);
  // A driver link whose target is gone: the driver is being unbound.
  tree.Link("/sys/devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0/driver", "/sys/gone");
  EXPECT_EQ(Check(), tw::kMissingVirtualComDriver);
}

TEST_F(DriverState, SdkFunctionsReadTheTreeNamedByTheEnvironment) {
  tree.UsbDevice("3-1", "0403", "e130", nullptr, nullptr);
  tree.UsbDevice("3-2", "1c40", "05ac", nullptr, nullptr);
  setenv("TAGWRIGHT_SYSTEM_ROOT", tree.Root().c_str(), 1);
  EXPECT_EQ(LF_GetMissingUsbDrivers(), 3);
  unsetenv("TAGWRIGHT_SYSTEM_ROOT");
  EXPECT_EQ(LF_IsVirtualComDriverInstalled(), 1);
}

}  // namespace
