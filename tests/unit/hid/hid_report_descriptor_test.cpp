// Report lengths from recorded report descriptors.
#include "transport/hid_report_descriptor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "transport/hid_port.h"

namespace tw {
namespace {

using Bytes = std::vector<uint8_t>;

// A vendor-defined device with 64-byte input and output reports, no report ids.
const Bytes kVendor64 = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x19, 0x01, 0x29,
                         0x40, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x40,
                         0x81, 0x00, 0x19, 0x01, 0x29, 0x40, 0x91, 0x00, 0xC0};
// A boot keyboard: 8-byte input report, 5 LED bits plus 3 padding bits of output.
const Bytes kKeyboard = {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15,
                         0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x01, 0x75, 0x08,
                         0x81, 0x01, 0x95, 0x05, 0x75, 0x01, 0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91,
                         0x02, 0x95, 0x01, 0x75, 0x03, 0x91, 0x01, 0x95, 0x06, 0x75, 0x08, 0x15, 0x00,
                         0x25, 0x65, 0x05, 0x07, 0x19, 0x00, 0x29, 0x65, 0x81, 0x00, 0xC0};
// Numbered reports: id 1 input 8 bytes, id 2 input 2 bytes, id 3 output 16 bytes; the id 3 size
// is set inside a Push/Pop pair so that the id 2 report keeps 8-bit fields.
const Bytes kNumbered = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08, 0x85, 0x01, 0x95, 0x08,
                         0x09, 0x01, 0x81, 0x02, 0xA4, 0x85, 0x03, 0x75, 0x10, 0x95, 0x08, 0x09, 0x01,
                         0x91, 0x02, 0xB4, 0x85, 0x02, 0x95, 0x02, 0x09, 0x01, 0x81, 0x02, 0xC0};

HidReportLengths Parse(const Bytes& d) {
  HidReportLengths l;
  EXPECT_TRUE(ParseHidReportDescriptor(d.data(), d.size(), l));
  return l;
}

TEST(HidReportDescriptor, RecordedDevices) {
  HidReportLengths l = Parse(kVendor64);
  EXPECT_EQ(l.input, 65);
  EXPECT_EQ(l.output, 65);
  EXPECT_FALSE(l.numbered);

  l = Parse(kKeyboard);
  EXPECT_EQ(l.input, 9);
  EXPECT_EQ(l.output, 2);  // 8 bits of output: one byte plus the id byte

  l = Parse(kNumbered);
  EXPECT_TRUE(l.numbered);
  EXPECT_EQ(l.input, 9);    // the longest input report (id 1), plus its id byte
  EXPECT_EQ(l.output, 17);  // 8 fields of 16 bits
}

TEST(HidReportDescriptor, BrokenOrOddItems) {
  HidReportLengths l;
  EXPECT_FALSE(ParseHidReportDescriptor(nullptr, 0, l));
  // An item whose data runs past the end.
  Bytes cut(kVendor64.begin(), kVendor64.begin() + 14);
  cut.push_back(0x26);  // two data bytes announced, none there
  EXPECT_FALSE(ParseHidReportDescriptor(cut.data(), cut.size(), l));
  // A long item is stepped over; the reports around it still count.
  Bytes withLong = {0x75, 0x08, 0x95, 0x04, 0xFE, 0x02, 0x10, 0xAA, 0xBB, 0x81, 0x02};
  l = Parse(withLong);
  EXPECT_EQ(l.input, 5);
  EXPECT_EQ(l.output, 0);
  // Pop without Push leaves the state alone; endless Push is refused.
  l = Parse({0xB4, 0x75, 0x08, 0x95, 0x02, 0x91, 0x02});
  EXPECT_EQ(l.output, 3);
  Bytes pushes(40, 0xA4);
  EXPECT_FALSE(ParseHidReportDescriptor(pushes.data(), pushes.size(), l));
  // Huge size and count values cannot overflow.
  l = Parse({0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0x81, 0x02});
  EXPECT_GT(l.input, 0);
}

TEST(HidReportDescriptor, LengthsUsedByTheLink) {
  int in = 0, out = 0;
  bool numbered = true;
  CHidPort::LengthsFromDescriptor(kVendor64.data(), kVendor64.size(), in, out, numbered);
  EXPECT_EQ(in, 65);
  EXPECT_EQ(out, 65);
  EXPECT_FALSE(numbered);
  // Unreadable: 9 and 9.
  CHidPort::LengthsFromDescriptor(nullptr, 0, in, out, numbered);
  EXPECT_EQ(in, 9);
  EXPECT_EQ(out, 9);
  // An output report too short for the link control report falls back to 9 as well.
  CHidPort::LengthsFromDescriptor(kKeyboard.data(), kKeyboard.size(), in, out, numbered);
  EXPECT_EQ(in, 9);
  EXPECT_EQ(out, 9);
  // Reports longer than the buffers are cut to them.
  const Bytes big = {0x75, 0x08, 0x96, 0x00, 0x01, 0x81, 0x02, 0x91, 0x02};  // 256 bytes each
  CHidPort::LengthsFromDescriptor(big.data(), big.size(), in, out, numbered);
  EXPECT_EQ(in, CHidPort::kMaxInputReport);
  EXPECT_EQ(out, CHidPort::kMaxOutputReport);
  // A system that tells only the lengths: the descriptor made of them gives them back.
  for (const auto& [input, output] : {std::pair{65, 65}, {9, 33}, {130, 1}, {1000, 2}}) {
    const Bytes d = HidDescriptorForLengths(input, output);
    const HidReportLengths l = Parse(d);
    EXPECT_EQ(l.input, input);
    EXPECT_EQ(l.output, output > 1 ? output : 0);
    EXPECT_FALSE(l.numbered);
  }
}

}  // namespace
}  // namespace tw
