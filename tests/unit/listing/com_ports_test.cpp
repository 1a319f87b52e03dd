// Serial port listing from prepared sysfs trees: order, descriptions, what is not a serial port,
// damaged entries, the fallback open test, and the simulators' terminals.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "sys_tree.h"
#include "transport/port_enum.h"
#include "transport/usb_serial_port.h"
#include "transport/usb_sysfs.h"

using tw::test::Pty;
using tw::test::SysTree;
using Strings = std::vector<std::string>;

namespace {

class ComPorts : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(tree.Root().empty());
    // Simulators running elsewhere on this machine must not show up here.
    tree.Dir("/registry");
    chmod(tree.Path("/registry").c_str(), 0700);
    setenv("TAGWRIGHT_SIM_REGISTRY", tree.Path("/registry").c_str(), 1);
  }
  void TearDown() override { unsetenv("TAGWRIGHT_SIM_REGISTRY"); }

  Strings List() {
    Strings list{"left over"};
    tw::CUSBSerialPort port;
    EXPECT_TRUE(port.EnumerateComPorts(list, tree.Root()));
    return list;
  }

  SysTree tree;
};

TEST_F(ComPorts, ListsRealPortsInNaturalOrderWithDescriptions) {
  tree.UsbDevice("1-4", "0403", "6001", "FTDI", "FT232R USB UART");  // generic adapter
  tree.UsbInterface("1-4", "ftdi_sio");
  tree.UsbSerialTty("1-4", "ttyUSB10");
  tree.UsbDevice("1-2", "1c40", "05ac", "Velkor GmbH", "Velkor Virtual COM");
  tree.UsbInterface("1-2", "ftdi_sio");
  tree.UsbSerialTty("1-2", "ttyUSB2");
  tree.UsbDevice("1-3", "1c40", "05ac", "Generic", "CDC Device");  // marked by its ids only
  tree.UsbInterface("1-3", "cdc_acm");
  tree.AcmTty("1-3", "ttyACM0");
  tree.UsbDevice("1-5", "2341", "0043", "KESTREL systems", "Virtual COM");
  tree.UsbInterface("1-5", "cdc_acm");
  tree.AcmTty("1-5", "ttyACM1");
  tree.PlatformTty("ttyS0", 4);
  tree.PlatformTty("ttyS1", 0);  // placeholder without a UART
  tree.VirtualTty("tty1");
  tree.VirtualTty("ptmx");

  EXPECT_EQ(List(), (Strings{"/dev/ttyACM0 [Velkor Virtual COM]",
                             "/dev/ttyACM1 [KESTREL systems Virtual COM]", "/dev/ttyS0",
                             "/dev/ttyUSB2 [Velkor Virtual COM]", "/dev/ttyUSB10"}));
}

TEST_F(ComPorts, MakersProductTextWinsOverTheIdMarker) {
  tree.UsbDevice("2-1", "1c40", "05ac", "Someone", "velkor QZ-243 (ttyACM4)");
  tree.AcmTty("2-1", "ttyACM4");
  EXPECT_EQ(List(), (Strings{"/dev/ttyACM4 [velkor QZ-243 (ttyACM4)]"}));
}

TEST_F(ComPorts, EmptySystemGivesAnEmptyListWithoutProbing) {
  tree.TtyClass();
  tree.VirtualTty("tty0");
  Pty pty;
  ASSERT_TRUE(pty.Ok());
  tree.Dir("/dev");
  ASSERT_EQ(symlink(pty.SlavePath().c_str(), tree.Path("/dev/ttyUSB0").c_str()), 0);
  // The link works, so only a probe could find it.
  ASSERT_EQ(access(tree.Path("/dev/ttyUSB0").c_str(), F_OK), 0);
  EXPECT_TRUE(List().empty());
}

TEST_F(ComPorts, UnreadableSysfsFallsBackToOpeningTheUsualNames) {
  Pty a, b;
  ASSERT_TRUE(a.Ok() && b.Ok());
  tree.Dir("/dev");
  ASSERT_EQ(symlink(a.SlavePath().c_str(), tree.Path("/dev/ttyUSB12").c_str()), 0);
  ASSERT_EQ(symlink(b.SlavePath().c_str(), tree.Path("/dev/ttyACM3").c_str()), 0);
  tree.File("/dev/ttyS0", "not a terminal");
  tree.File("/dev/ttyUSB2", "");
  EXPECT_EQ(List(), (Strings{"/dev/ttyACM3", "/dev/ttyUSB12"}));
}

TEST_F(ComPorts, StrangeUsbStringsAreConvertedAndBounded) {
  // UTF-8 umlaut, a control character, a byte that is no UTF-8, and text after a NUL.
  tree.UsbDevice("1-1", "1c40", "05ac", nullptr, std::string("Velkor L\xC3\xA4ser\x01X\xFF").c_str());
  tree.AcmTty("1-1", "ttyACM0");
  tree.UsbDevice("1-2", "1c40", "05ac", nullptr, nullptr);
  tree.File("/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2/product",
            std::string("Kestrel\0hidden", 14));
  tree.AcmTty("1-2", "ttyACM1");
  tree.UsbDevice("1-3", "0403", "6001", std::string(5000, 'V').insert(0, "Velkor").c_str(), "");
  tree.UsbSerialTty("1-3", "ttyUSB0");

  const Strings list = List();
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0], "/dev/ttyACM0 [Velkor L\xE4ser X\xFF]");
  EXPECT_EQ(list[1], "/dev/ttyACM1 [Kestrel]");
  EXPECT_EQ(list[2].rfind("/dev/ttyUSB0 [VelkorVVV", 0), 0u);
  EXPECT_LE(list[2].size(), std::string("/dev/ttyUSB0 []").size() + 126);
}

TEST_F(ComPorts, DamagedEntriesAreSkippedOrListedPlainNeverTrusted) {
  // Half-written ids: no marker.
  tree.UsbDevice("1-1", "1c", "05ac", nullptr, nullptr);
  tree.AcmTty("1-1", "ttyACM0");
  // Strings that cannot be read (a folder where a file should be): no description.
  tree.UsbDevice("1-2", "0403", "6001", nullptr, nullptr);
  tree.Dir("/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2/product");
  tree.UsbSerialTty("1-2", "ttyUSB0");
  // An unreadable UART type says nothing either way: listed.
  tree.PlatformTty("ttyS3", 4);
  tree.File("/sys/devices/platform/serial8250/serial8250:0.ttyS3/tty/ttyS3/type", "x\n");
  // A device link into nowhere, and names that are no device names.
  tree.Link("/sys/class/tty/ttyUSB7", "/sys/devices/gone/tty/ttyUSB7");
  tree.PlatformTty("bad name", 4);
  tree.PlatformTty("ttyS9", 4);
  tree.Link("/sys/class/tty/ttyX;rm", "/sys/devices/platform/serial8250/serial8250:0.ttyS9/tty/ttyS9");

  EXPECT_EQ(List(), (Strings{"/dev/ttyACM0", "/dev/ttyS3", "/dev/ttyS9", "/dev/ttyUSB0"}));
}

// udev's /dev/serial/by-id names survive re-plugging; the kernel name goes into the description.
// The USB identity behind either name marks a reader in virtual COM mode, whatever it is called.
TEST_F(ComPorts, StableNamesWithTheKernelNameAndIdentityBehindEitherName) {
  tree.UsbDevice("1-2", "1c40", "05ac", "Someone", "QZ-243");
  tree.AcmTty("1-2", "ttyACM0");
  tree.UsbDevice("1-4", "0403", "6001", "FTDI", "FT232R USB UART");
  tree.UsbSerialTty("1-4", "ttyUSB1");
  tree.PlatformTty("ttyS0", 4);
  tree.Dir("/dev/serial/by-id");
  const std::string byId = tree.Path("/dev/serial/by-id/");
  ASSERT_EQ(symlink("../../ttyACM0", (byId + "usb-Someone_QZ-243_2100-0815-if00").c_str()), 0);
  ASSERT_EQ(symlink("../../ttyUSB1", (byId + "usb-FTDI_FT232R_A9X-if00-port0").c_str()), 0);
  // Names that could not stand in an entry, and links to nothing listed, change nothing.
  ASSERT_EQ(symlink("../../ttyUSB1", (byId + "usb-a:b-port0").c_str()), 0);
  ASSERT_EQ(symlink("../../ttyUSB9", (byId + "usb-gone-port0").c_str()), 0);

  EXPECT_EQ(List(), (Strings{"/dev/serial/by-id/usb-FTDI_FT232R_A9X-if00-port0 [/dev/ttyUSB1]",
                             "/dev/serial/by-id/usb-Someone_QZ-243_2100-0815-if00 [/dev/ttyACM0, "
                             "Velkor Virtual COM]",
                             "/dev/ttyS0"}));

  auto vcom = [&](const std::string& path) {
    const auto id = tw::UsbIdentityOfTty(tree.Root(), path);
    return id && id->vid == tw::kVirtualComVid && id->pid == tw::kVirtualComPid;
  };
  EXPECT_TRUE(vcom("/dev/serial/by-id/usb-Someone_QZ-243_2100-0815-if00"));
  EXPECT_TRUE(vcom("/dev/ttyACM0"));
  EXPECT_FALSE(vcom("/dev/ttyUSB1"));
  EXPECT_FALSE(tw::UsbIdentityOfTty(tree.Root(), "/dev/ttyS0"));
  EXPECT_FALSE(tw::UsbIdentityOfTty(tree.Root(), "/dev/../sys/class/tty/ttyACM0"));
}

TEST_F(ComPorts, AListedEntryOpensByItsDevicePath) {
  const tw::NormalizedPortName n = tw::NormalizePortName("/dev/ttyUSB12 [Velkor Virtual COM]");
  EXPECT_EQ(n.name, "/dev/ttyUSB12");
  EXPECT_EQ(n.portNumber, 12);
  EXPECT_TRUE(n.isComPort);
  EXPECT_EQ(tw::NormalizePortName("/dev/pts/3").name, "/dev/pts/3");
}

TEST(NaturalOrder, ComparesDigitRunsByValue) {
  EXPECT_TRUE(tw::NaturalLess("/dev/ttyUSB2", "/dev/ttyUSB10"));
  EXPECT_FALSE(tw::NaturalLess("/dev/ttyUSB10", "/dev/ttyUSB2"));
  EXPECT_TRUE(tw::NaturalLess("/dev/ttyS", "/dev/ttyS0"));
  EXPECT_TRUE(tw::NaturalLess("/dev/ttyACM99", "/dev/ttyS0"));
  // Leading zeros do not change a number: neither comes first, insertion order is kept.
  EXPECT_FALSE(tw::NaturalLess("/dev/ttyS09", "/dev/ttyS9"));
  EXPECT_FALSE(tw::NaturalLess("/dev/ttyS9", "/dev/ttyS09"));
  Strings s{"/dev/ttyS09 [b]", "/dev/ttyS1", "/dev/ttyS9 [a]", "/dev/ttyS100000000000000000001"};
  tw::SortPortEntries(s);
  EXPECT_EQ(s, (Strings{"/dev/ttyS1", "/dev/ttyS09 [b]", "/dev/ttyS9 [a]",
                        "/dev/ttyS100000000000000000001"}));
}

// Registration files of simulators: live ones are listed after the system's ports.
TEST_F(ComPorts, SimulatorTerminalsAreListedWhileTheirOwnerHoldsTheLock) {
  tree.TtyClass();
  tree.PlatformTty("ttyS0", 4);
  Pty live, stale, other;
  ASSERT_TRUE(live.Ok() && stale.Ok() && other.Ok());
  const std::string reg = tree.Path("/registry");
  tree.File("/registry/100.pty", live.SlavePath() + "\n");
  tree.File("/registry/101.pty", stale.SlavePath() + "\n");  // owner gone: nobody holds its lock
  tree.File("/registry/102.pty", "/etc/passwd\n");
  tree.File("/registry/103.pty", "/dev/../etc/passwd\n");
  tree.File("/registry/104.tmp", other.SlavePath() + "\n");
  std::vector<int> held;
  for (const char* f : {"100.pty", "102.pty", "103.pty", "104.tmp"}) {
    const int fd = open((reg + "/" + f).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    held.push_back(fd);
  }
  EXPECT_EQ(List(), (Strings{"/dev/ttyS0", live.SlavePath() + tw::kSimPortSuffix}));

  // A folder others may write to is not believed.
  chmod(reg.c_str(), 0777);
  EXPECT_EQ(List(), (Strings{"/dev/ttyS0"}));
  for (int fd : held) close(fd);
}

}  // namespace
