// Input and output report lengths of a HID device, worked out from its report descriptor (the
// device's own description of its reports), and reading that descriptor from sysfs on Linux.
// Lengths count the report-id byte in front of every report, as the reports are handed to us.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tw {

struct HidReportLengths {
  int input = 0;          // longest input report in bytes plus the report-id byte; 0: the device has none
  int output = 0;         // the same for output reports
  bool numbered = false;  // the device puts a report id in front of its reports
};

// Walks the short items (Report Size, Report Count, Report ID, Push, Pop, Input, Output); long items
// are stepped over. false when the descriptor is empty or an item runs past its end.
bool ParseHidReportDescriptor(const uint8_t* data, size_t len, HidReportLengths& out);

// A descriptor of one unnumbered vendor report each way with the given lengths (each counting the
// id byte; 0 or 1: no report that way), for a system that tells the lengths but hands out no
// descriptor. Parsing it gives the lengths back.
std::vector<uint8_t> HidDescriptorForLengths(int input, int output);

// The descriptor of a hidraw device node ("/dev/hidraw3" → <sysRoot>/sys/class/hidraw/hidraw3/
// device/report_descriptor). false when the path is not a hidraw node or the file cannot be read.
bool ReadSysfsReportDescriptor(const std::string& devicePath, std::vector<uint8_t>& out,
                               const std::string& sysRoot = "");

}  // namespace tw
