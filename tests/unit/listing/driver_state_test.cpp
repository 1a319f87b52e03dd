// The USB driver check from prepared sysfs trees: which reader lacks a driver, and the SDK
// functions that report it.
#include <gtest/gtest.h>
#include <errno.h>
#include <stdlib.h>

#include <set>

#include "sdk/lf_sdk.h"
#include "sys_tree.h"
#include "transport/port_enum.h"
#include "transport/usb_serial_port.h"
#include "transport/usb_sysfs.h"

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

// Which readers nothing installed can open: an FTDI reader without a kernel driver is normal for
// libftd2xx, a node this user may not open is named, and other devices ask nothing.
TEST_F(DriverState, ReaderAccessInThisSystemsTerms) {
  using P = tw::ReaderAccessProblem;
  tw::ReaderIds ids;
  ids.isFtdiReader = [](int v, int p) { return v == 0x0403 && p == 0xE130; };
  ids.isReader = [&](int v, int p) { return ids.isFtdiReader(v, p) || (v == 0x1C40 && p == 0x05AC); };
  const std::string ftdi = tree.UsbDevice("1-1", "0403", "e130", "Velkor", "QZ-244");
  tree.File(ftdi + "/busnum", "1\n");
  tree.File(ftdi + "/devnum", "5\n");
  tree.UsbInterface("1-1", nullptr);
  tree.UsbDevice("1-2", "1c40", "05ac", nullptr, nullptr);
  tree.UsbInterface("1-2", "cdc_acm");
  tree.AcmTty("1-2", "ttyACM0");
  tree.UsbDevice("1-3", "0403", "6001", nullptr, nullptr);  // somebody else's, no driver
  tree.UsbInterface("1-3", nullptr);
  tree.File("/dev/ttyACM0", "");
  tree.File("/dev/bus/usb/001/005", "");

  std::set<std::string> denied;
  auto check = [&](bool d2xx) {
    return tw::CheckReaderAccess(tree.Root(), ids, d2xx, [&](const std::string& path) {
      if (access(path.c_str(), F_OK) != 0) return ENOENT;
      return denied.count(path.substr(tree.Root().size())) ? EACCES : 0;
    });
  };
  auto problems = check(false);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].kind, P::NoD2xxLibrary);
  EXPECT_EQ(problems[0].device, "1-1");
  EXPECT_EQ(problems[0].plugKey, "1-1#5");
  EXPECT_EQ(problems[0].product, "QZ-244");
  EXPECT_TRUE(check(true).empty());

  denied = {"/dev/bus/usb/001/005", "/dev/ttyACM0"};
  problems = check(true);
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_EQ(problems[0].kind, P::NoDeviceAccess);
  EXPECT_EQ(problems[0].node, "/dev/bus/usb/001/005");
  EXPECT_EQ(problems[1].kind, P::NoDeviceAccess);
  EXPECT_EQ(problems[1].node, "/dev/ttyACM0");

  // A virtual COM reader without a bound driver has no node at all.
  tree.UsbDevice("1-4", "1c40", "05ac", nullptr, nullptr);
  denied.clear();
  problems = check(true);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].kind, P::NoKernelDriver);
  EXPECT_EQ(problems[0].device, "1-4");
}

}  // namespace
