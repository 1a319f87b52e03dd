// Reading a hidraw device's report descriptor from sysfs.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "transport/hid_report_descriptor.h"

namespace tw {
namespace {

using Bytes = std::vector<uint8_t>;

// Four bytes of input.
const Bytes kDescriptor = {0x75, 0x08, 0x95, 0x04, 0x81, 0x02};

TEST(HidReportDescriptor, ReadFromSysfs) {
  char tmpl[] = "/tmp/tw-hid-sysfs-XXXXXX";
  ASSERT_TRUE(mkdtemp(tmpl));
  const std::string root = tmpl;
  const std::string dir = root + "/sys/class/hidraw/hidraw3/device";
  ASSERT_EQ(system(("mkdir -p '" + dir + "'").c_str()), 0);
  {
    std::ofstream f(dir + "/report_descriptor", std::ios::binary);
    f.write(reinterpret_cast<const char*>(kDescriptor.data()), static_cast<long>(kDescriptor.size()));
  }
  Bytes got;
  EXPECT_TRUE(ReadSysfsReportDescriptor("/dev/hidraw3", got, root));
  EXPECT_EQ(got, kDescriptor);
  EXPECT_FALSE(ReadSysfsReportDescriptor("/dev/hidraw4", got, root));
  // Only hidraw node names become part of the path.
  EXPECT_FALSE(ReadSysfsReportDescriptor("/dev/../hidraw3/..", got, root));
  EXPECT_FALSE(ReadSysfsReportDescriptor("/dev/hidraw", got, root));
  EXPECT_FALSE(ReadSysfsReportDescriptor("/dev/ttyUSB0", got, root));
  EXPECT_EQ(system(("rm -rf '" + root + "'").c_str()), 0);
}

}  // namespace
}  // namespace tw
