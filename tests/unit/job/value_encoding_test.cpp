#include "job/value_encoding.h"

#include <gtest/gtest.h>

#include <cctype>
#include <random>

#include "job/job_checks.h"
#include "tests/support/recording_view.h"

namespace tw {
namespace {

JobParams Job(int n, int format, int display, int orientation = kOrientationNormal, int leadingZeros = 0,
              int allowExtraText = 0) {
  JobParams j;
  j.byteCount = n;
  j.numberFormat = format;
  j.display = display;
  j.orientation = orientation;
  j.leadingZeros = leadingZeros;
  j.allowExtraText = allowExtraText;
  return j;
}

CMyByteArray Enc(const std::string& text, const JobParams& j) {
  CMyByteArray out{0xEE};
  EXPECT_TRUE(EncodeValue(text, j, out));
  return out;
}

TEST(EncodeValue, LayoutsAndOrientation) {
  struct Case {
    const char* text;
    JobParams job;
    CMyByteArray bytes;
  } cases[] = {
      {"1", Job(4, kFormatHex, kDisplayBinary), {0x01, 0, 0, 0}},
      {"1", Job(4, kFormatHex, kDisplayBinary, kOrientationRotated), {0, 0, 0, 0x01}},
      {"12AB", Job(4, kFormatHex, kDisplayBinary), {0xAB, 0x12, 0, 0}},
      {"123456789", Job(4, kFormatHex, kDisplayBinary), {0x78, 0x56, 0x34, 0x12}},
      {"12AB", Job(4, kFormatNone, kDisplayBinary), {0x12, 0xAB, 0, 0}},
      {"12AB", Job(4, kFormatNone, kDisplayBinary, kOrientationRotated), {0, 0, 0xAB, 0x12}},
      // Non-hex characters: high position gives F0h | low, low position gives FFh.
      {"G1", Job(1, kFormatNone, kDisplayBinary), {0xF1}},
      {"1G", Job(1, kFormatNone, kDisplayBinary), {0xFF}},
      {"1000", Job(4, kFormatDecimal, kDisplayBinary), {0xE8, 0x03, 0, 0}},
      {"1000", Job(4, kFormatDecimal, kDisplayBinary, kOrientationRotated), {0, 0, 0x03, 0xE8}},
      {"70000", Job(2, kFormatDecimal, kDisplayBinary), {0x70, 0x11}},
      {"18446744073709551615",
       Job(8, kFormatDecimal, kDisplayBinary),
       {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}},
      {"-99999999999999999999", Job(8, kFormatDecimal, kDisplayBinary), {0, 0, 0, 0, 0, 0, 0, 0x80}},
      {"  -1x5", Job(2, kFormatDecimal, kDisplayBinary), {0xFF, 0xFF}},
      {"+12", Job(1, kFormatDecimal, kDisplayBinary), {12}},
      {"abc", Job(2, kFormatDecimal, kDisplayBinary), {0, 0}},
      {"", Job(2, kFormatDecimal, kDisplayBinary), {0, 0}},
      {"AB", Job(4, kFormatDecimal, kDisplayAscii), {0x41, 0x42, 0, 0}},
      {"AB", Job(4, kFormatDecimal, kDisplayAscii, kOrientationRotated), {0, 0, 0x42, 0x41}},
      {"42",
       Job(6, kFormatDecimal, kDisplayAscii, kOrientationNormal, 1),
       {0x30, 0x30, 0x30, 0x30, 0x34, 0x32}},
      {"ABCDEF", Job(3, kFormatHex, kDisplayAscii), {0x41, 0x42, 0x43}},
      {"\xB5", Job(1, kFormatNone, kDisplayAscii), {0xB5}},
  };
  for (const auto& c : cases) EXPECT_EQ(Enc(c.text, c.job), c.bytes) << c.text;
}

TEST(EncodeValue, DecimalAboveEightBytesFailsWithMessage) {
  RecordingView view;
  StatusReporter status(view);
  CMyByteArray out{1, 2};
  EXPECT_FALSE(EncodeValue("5", Job(9, kFormatDecimal, kDisplayBinary), out, &status));
  EXPECT_TRUE(out.empty());
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_EQ(view.messages[0].id, kMsgDecimalOver8);
  // ASCII display does not care about the decimal limit.
  EXPECT_EQ(Enc("5", Job(9, kFormatDecimal, kDisplayAscii)).size(), 9u);
}

TEST(EncodeValue, OddByteCounts) {
  EXPECT_TRUE(Enc("12", Job(0, kFormatHex, kDisplayBinary)).empty());
  EXPECT_TRUE(Enc("12", Job(-7, kFormatNone, kDisplayBinary)).empty());
  EXPECT_TRUE(Enc("12", Job(-7, kFormatDecimal, kDisplayBinary)).empty());
  CMyByteArray out;
  EXPECT_FALSE(EncodeValue("1", Job(INT32_MAX, kFormatNone, kDisplayAscii), out));
  EXPECT_TRUE(out.empty());
}

TEST(DecodeValue, Layouts) {
  struct Case {
    CMyByteArray bytes;
    JobParams job;
    const char* text;
  } cases[] = {
      {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, Job(8, kFormatDecimal, kDisplayBinary), "-1"},
      {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
       Job(8, kFormatDecimal, kDisplayBinary, kOrientationNormal, 1),
       "-0000000000000000001"},
      {{0xE8, 0x03}, Job(2, kFormatDecimal, kDisplayBinary), "1000"},
      {{0xE8, 0x03}, Job(2, kFormatDecimal, kDisplayBinary, kOrientationNormal, 1), "01000"},
      {{0x03, 0xE8}, Job(2, kFormatDecimal, kDisplayBinary, kOrientationRotated), "1000"},
      {{0x41, 0x42, 0, 0}, Job(4, kFormatDecimal, kDisplayAscii), "AB"},
      {{0x41, 0, 0x42, 0}, Job(4, kFormatDecimal, kDisplayAscii), "A"},
      {{0x41, 0x42, 0x43}, Job(2, kFormatNone, kDisplayAscii), "AB"},
      {{0xAB, 0x12, 0, 0}, Job(4, kFormatHex, kDisplayBinary), "12AB"},
      {{0xAB, 0x12, 0, 0}, Job(4, kFormatHex, kDisplayBinary, kOrientationNormal, 1), "000012AB"},
      {{0, 0}, Job(2, kFormatHex, kDisplayBinary), "0"},
      {{0x12, 0xab}, Job(4, kFormatNone, kDisplayBinary), "12AB0000"},
      {{0x12, 0xAB, 0x01}, Job(2, kFormatNone, kDisplayBinary), "12AB"},
      {{}, Job(0, kFormatNone, kDisplayBinary), ""},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeValue(c.bytes, c.job), c.text) << c.text;
}

TEST(AdvanceValue, CanonicalFormAndCounting) {
  struct Case {
    const char* text;
    JobParams job;
    int count;
    const char* result;
  } cases[] = {
      {"LOT7-0099X", Job(10, kFormatDecimal, kDisplayAscii, 0, 0, 1), 1, "LOT7-100X"},
      {"LOT7-0099X", Job(10, kFormatDecimal, kDisplayAscii, 0, 1, 1), 1, "LOT7-0100X"},
      {"LOT7-0099X", Job(10, kFormatDecimal, kDisplayAscii, 0, 0, 0), 1, "100"},
      {"LOT7-0099X", Job(10, kFormatDecimal, kDisplayAscii, 0, 0, 1), 0, "LOT7-99X"},
      // Equal runs: the first wins.
      {"A12B34", Job(6, kFormatDecimal, kDisplayAscii, 0, 0, 1), 1, "A13B34"},
      // A later run replaces only when strictly longer.
      {"1-22-333-44", Job(11, kFormatDecimal, kDisplayAscii, 0, 0, 1), 1, "1-22-334-44"},
      // Hex runs include letters.
      {"X0AFFy", Job(6, kFormatHex, kDisplayAscii, 0, 0, 1), 1, "XB00y"},
      {"0AFF", Job(2, kFormatHex, kDisplayBinary), 1, "B00"},
      {"0AFF", Job(2, kFormatHex, kDisplayBinary, 0, 1), 1, "0B00"},
      {"ff", Job(2, kFormatHex, kDisplayBinary), 1, "100"},
      {"9a", Job(2, kFormatHex, kDisplayBinary), 1, "9B"},
      {"19", Job(2, kFormatHex, kDisplayBinary), 1, "1A"},
      {"999", Job(2, kFormatDecimal, kDisplayBinary), 1, "1000"},
      {"255", Job(1, kFormatDecimal, kDisplayBinary), 1, "256"},
      {"0000", Job(2, kFormatDecimal, kDisplayBinary), 0, "0"},
      {"", Job(2, kFormatDecimal, kDisplayBinary), 0, "0"},
      {"7", Job(2, kFormatDecimal, kDisplayBinary, 0, 1), 0, "00007"},
      {"123456", Job(2, kFormatDecimal, kDisplayBinary, 0, 1), 0, "123456"},
      {"5", Job(2, kFormatDecimal, kDisplayBinary), 3, "8"},
      {"12AB", Job(4, kFormatNone, kDisplayBinary), 1, "12AB"},
      {"007", Job(4, kFormatNone, kDisplayAscii), 1, "007"},
      // No digit at all: the whole text is the number and every character carries.
      {"ABC", Job(4, kFormatDecimal, kDisplayAscii, 0, 0, 1), 1, "1000"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(AdvanceValueText(c.text, c.job, c.count), c.result) << c.text << " +" << c.count;
}

TEST(AdvanceValue, StoresAndShowsExceptForNoNumber) {
  RecordingView view;
  JobParams j = Job(1, kFormatDecimal, kDisplayBinary);
  j.valueText = "255";
  AdvanceValue(j, view, 1);
  EXPECT_EQ(j.valueText, "256");
  ASSERT_EQ(view.values.size(), 1u);
  EXPECT_EQ(view.values[0], "256");
  // The next write stores the low byte only.
  EXPECT_EQ(Enc(j.valueText, j), CMyByteArray{0x00});

  j.numberFormat = kFormatNone;
  j.valueText = "0099";
  AdvanceValue(j, view, 1);
  EXPECT_EQ(j.valueText, "0099");
  EXPECT_EQ(view.values.size(), 1u);
}

TEST(SwitchDisplay, ConvertsThroughTheBytes) {
  const JobParams bin = Job(4, kFormatHex, kDisplayBinary);
  const JobParams ascii = Job(4, kFormatHex, kDisplayAscii);
  EXPECT_EQ(SwitchDisplayText("4142", bin, ascii), "BA");
  EXPECT_EQ(SwitchDisplayText("AB", ascii, bin), "4241");
  // A failed encoding (decimal above 8 bytes) leaves no bytes.
  EXPECT_EQ(
      SwitchDisplayText("12", Job(9, kFormatDecimal, kDisplayBinary), Job(9, kFormatDecimal, kDisplayAscii)),
      "");
}

TEST(HexToBytes, LeastSignificantFirst) {
  EXPECT_EQ(HexToBytes("12345678", 4), (CMyByteArray{0x78, 0x56, 0x34, 0x12}));
  EXPECT_EQ(HexToBytes("123456", 4), (CMyByteArray{0x00, 0x56, 0x34, 0x12}));
  EXPECT_EQ(HexToBytes("1234567890", 4), (CMyByteArray{0x78, 0x56, 0x34, 0x12}));
  EXPECT_EQ(HexToBytes("", 2), (CMyByteArray{0, 0}));
  EXPECT_EQ(HexToBytes("zz", 1), (CMyByteArray{0xFF}));
  EXPECT_EQ(HexToBytes("A1B2C3D4E5F6", 6), (CMyByteArray{0xF6, 0xE5, 0xD4, 0xC3, 0xB2, 0xA1}));
  EXPECT_TRUE(HexToBytes("12", 0).empty());
  EXPECT_TRUE(HexToBytes("12", -3).empty());
}

// Decoding what was encoded gives the canonical form of the value for every layout.
TEST(ValueEncodingProperty, DecodeOfEncodeIsCanonical) {
  std::mt19937_64 rng(20261209);
  const char kHex[] = "0123456789abcdefABCDEF";
  for (int n = 1; n <= 8; ++n)
    for (int format : {kFormatNone, kFormatDecimal, kFormatHex})
      for (int display : {kDisplayBinary, kDisplayAscii})
        for (int orientation : {kOrientationNormal, kOrientationRotated})
          for (int zeros : {0, 1})
            for (int round = 0; round < 40; ++round) {
              const JobParams j = Job(n, format, display, orientation, zeros);
              std::string x;
              std::string canonical;
              if (display == kDisplayAscii) {
                // Printable characters and high Windows-1252 bytes, never 00h.
                const size_t len = 1 + rng() % n;
                for (size_t i = 0; i < len; ++i) x.push_back(static_cast<char>(0x20 + rng() % 0xDF));
                canonical = x;
                if (zeros && x.size() < static_cast<size_t>(n)) canonical.insert(0, n - x.size(), '0');
              } else if (format == kFormatDecimal) {
                uint64_t v = rng();
                if (n < 8)
                  v &= (uint64_t{1} << (8 * n)) - 1;
                else
                  v >>= 1;  // the positive 64-bit range
                if (round % 5 == 0) v %= 1000;
                x = (round % 3 == 0 ? "000" : "") + std::to_string(v);
                canonical = AdvanceValueText(x, j, 0);
              } else {
                const size_t len = 1 + rng() % (2 * n);
                for (size_t i = 0; i < len; ++i) x.push_back(kHex[rng() % 22]);
                if (format == kFormatHex) {
                  canonical = AdvanceValueText(x, j, 0);
                  for (char& c : canonical) c = static_cast<char>(std::toupper(c));
                } else {
                  canonical = x;
                  for (char& c : canonical) c = static_cast<char>(std::toupper(c));
                  canonical.append(2 * n - canonical.size(), '0');
                }
              }
              CMyByteArray bytes;
              ASSERT_TRUE(EncodeValue(x, j, bytes));
              ASSERT_EQ(bytes.size(), static_cast<size_t>(n));
              EXPECT_EQ(DecodeValue(bytes, j), canonical)
                  << "x=" << x << " n=" << n << " format=" << format << " display=" << display
                  << " orientation=" << orientation << " zeros=" << zeros;
            }
}

}  // namespace
}  // namespace tw
