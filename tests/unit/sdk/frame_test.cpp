// Command frames byte for byte in both framings, and the two check codes.
#include <gtest/gtest.h>

#include <string>

#include "sdk/qz_rw_port.h"

using tw::CQZ_RW_Port;

TEST(Frame, Crc16OfTheNineDigits) {
  const std::string digits = "123456789";
  EXPECT_EQ(CQZ_RW_Port::Crc16(reinterpret_cast<const uint8_t*>(digits.data()), digits.size()),
            0x4B37);
  EXPECT_EQ(CQZ_RW_Port::Crc16(nullptr, 0), 0xFFFF);
}

TEST(Frame, XorBccSkipsFirstAndLastByte) {
  EXPECT_EQ(CQZ_RW_Port::XorBcc({}), 0);
  EXPECT_EQ(CQZ_RW_Port::XorBcc({0x02, 0x01}), 0);
  EXPECT_EQ(CQZ_RW_Port::XorBcc({0xFF, 0x01, 0xFF}), 0x01);
  EXPECT_EQ(CQZ_RW_Port::XorBcc({0x02, 0x01, 0xF0, 0x00, 0x77}), 0x01 ^ 0xF0);
}

TEST(Frame, NoParametersStxBccAndCrc) {
  EXPECT_EQ(CQZ_RW_Port::BuildFrame({0xF0}, 1, false),
            (CMyByteArray{0x02, 0x01, 0xF0, 0x00, 0xF1}));
  const CMyByteArray crc = CQZ_RW_Port::BuildFrame({0xF0}, 1, true);
  ASSERT_EQ(crc.size(), 5u);
  EXPECT_EQ(CMyByteArray(crc.begin(), crc.begin() + 3), (CMyByteArray{0x01, 0xF0, 0x00}));
  const uint16_t c = CQZ_RW_Port::Crc16(crc.data(), 3);
  EXPECT_EQ(crc[3], c & 0xFF);
  EXPECT_EQ(crc[4], c >> 8);
}

TEST(Frame, ParametersAndAddressInBothFramings) {
  EXPECT_EQ(CQZ_RW_Port::BuildFrame({0xF4, 0x81}, 7, false),
            (CMyByteArray{0x02, 0x07, 0xF4, 0x01, 0x81, 0x07 ^ 0xF4 ^ 0x01 ^ 0x81}));
  // CRC frame of address '1', command '2', N 0: covered bytes are the ASCII digits "12\0".
  const CMyByteArray f = CQZ_RW_Port::BuildFrame({0x32, 0x33}, 0x31, true);
  ASSERT_EQ(f.size(), 6u);
  EXPECT_EQ(f[2], 1);
  EXPECT_EQ(CQZ_RW_Port::Crc16(f.data(), f.size()), 0) << "a CRC-16 frame checks to zero";
}

TEST(Frame, LongestAndTooLongParameterLists) {
  CMyByteArray cmd(256, 0xAA);
  cmd[0] = 0xC1;
  const CMyByteArray f = CQZ_RW_Port::BuildFrame(cmd, 1, false);
  ASSERT_EQ(f.size(), 255u + 5);
  EXPECT_EQ(f[3], 0xFF);
  EXPECT_EQ(f.back(), CQZ_RW_Port::XorBcc(f));
  EXPECT_EQ(CQZ_RW_Port::BuildFrame(cmd, 1, true).size(), 255u + 5);

  cmd.push_back(0xAA);  // 256 parameters cannot be expressed in one N byte
  EXPECT_TRUE(CQZ_RW_Port::BuildFrame(cmd, 1, false).empty());
  EXPECT_TRUE(CQZ_RW_Port::BuildFrame({}, 1, false).empty());
}

TEST(Frame, BeginCommandOrderAndBuildInPlace) {
  CQZ_RW_Port port;
  port.SetDeviceAddress(3);
  port.BeginCommand(0xC1, 0x02, 0x03, 0x04, CMyByteArray{0x05, 0x06});
  port.AppendParam(0x07);
  EXPECT_EQ(port.SendBuffer(), (CMyByteArray{0xC1, 2, 3, 4, 5, 6, 7}));
  port.BeginCommand(0xC2);
  EXPECT_EQ(port.SendBuffer(), CMyByteArray{0xC2});
  port.BuildFrame();
  EXPECT_EQ(port.SendBuffer(), (CMyByteArray{0x02, 0x03, 0xC2, 0x00, 0x03 ^ 0xC2}));
}
