// The simulator's own frame code: check codes, answer layout, and finding frames in a byte stream.
#include "sim/core/sim_frame.h"

#include <gtest/gtest.h>

namespace tw::sim {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(SimFrame, Crc16OfDigitsAndXor) {
  const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(SimCrc16(digits, sizeof digits), 0x4B37);
  EXPECT_EQ(SimCrc16(nullptr, 0), 0xFFFF);
  const uint8_t x[] = {0x01, 0xF0, 0x00};
  EXPECT_EQ(SimXor(x, 3), 0xF1);
}

TEST(SimFrame, AnswerBytesInBothFramings) {
  EXPECT_EQ(EncodeAnswer(SimFraming::kStxBcc, 0x01, 0x00, {}), (Bytes{0x02, 0x01, 0x00, 0x00, 0x01}));
  EXPECT_EQ(EncodeAnswer(SimFraming::kStxBcc, 0x01, 0x00, {'2', '4', '3', 'A'}),
            (Bytes{0x02, 0x01, 0x00, 0x04, 0x32, 0x34, 0x33, 0x41, 0x71}));
  const Bytes crc = EncodeAnswer(SimFraming::kCrc16, 0x01, 0x07, {0xAA});
  ASSERT_EQ(crc.size(), 6u);
  EXPECT_EQ(Bytes(crc.begin(), crc.begin() + 4), (Bytes{0x01, 0x07, 0x01, 0xAA}));
  const uint16_t c = SimCrc16(crc.data(), 4);
  EXPECT_EQ(crc[4], c & 0xFF);
  EXPECT_EQ(crc[5], c >> 8);
}

TEST(SimFrame, LengthByteAtTheLimits) {
  const Bytes full(255, 0x5A);
  const Bytes a = EncodeAnswer(SimFraming::kStxBcc, 1, 0, full);
  ASSERT_EQ(a.size(), 260u);
  EXPECT_EQ(a[3], 0xFF);
  // More than 255 data bytes cannot be expressed: the frame stays consistent with its N byte.
  const Bytes over = EncodeAnswer(SimFraming::kCrc16, 1, 0, Bytes(300, 1));
  EXPECT_EQ(over.size(), 260u);
  EXPECT_EQ(over[2], 0xFF);
}

TEST(SimFrameDecoder, DecodesEitherFramingAndSplitInput) {
  SimFrameDecoder d;
  const Bytes stx = EncodeCommand(SimFraming::kStxBcc, 1, 0xF0, {});
  EXPECT_EQ(stx, (Bytes{0x02, 0x01, 0xF0, 0x00, 0xF1}));
  const Bytes crc = EncodeCommand(SimFraming::kCrc16, 1, 0xC1, {0x09, 0x00, 0x02});
  Bytes both = stx;
  both.insert(both.end(), crc.begin(), crc.end());
  std::vector<SimCommandFrame> frames;
  for (uint8_t b : both) {  // one byte at a time
    auto got = d.Feed(&b, 1, 0);
    frames.insert(frames.end(), got.begin(), got.end());
  }
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].framing, SimFraming::kStxBcc);
  EXPECT_EQ(frames[0].command, 0xF0);
  EXPECT_EQ(frames[0].raw, stx);
  EXPECT_EQ(frames[1].framing, SimFraming::kCrc16);
  EXPECT_EQ(frames[1].address, 1);
  EXPECT_EQ(frames[1].command, 0xC1);
  EXPECT_EQ(frames[1].params, (Bytes{0x09, 0x00, 0x02}));
  EXPECT_EQ(d.Pending(), 0u);
}

TEST(SimFrameDecoder, CrcFrameForAddressTwoIsNotTakenForStx) {
  // Starts with 02h like an STX frame, but only its CRC holds.
  const Bytes crc = EncodeCommand(SimFraming::kCrc16, 2, 0xF0, {});
  SimFrameDecoder d;
  auto frames = d.Feed(crc.data(), crc.size(), 0);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].framing, SimFraming::kCrc16);
  EXPECT_EQ(frames[0].address, 2);
}

TEST(SimFrameDecoder, SkipsGarbageAndBrokenFrames) {
  SimFrameDecoder d;
  Bytes in = {0xAA, 0x55};
  Bytes bad = EncodeCommand(SimFraming::kStxBcc, 1, 0xF8, {});
  bad.back() ^= 1;  // wrong BCC
  in.insert(in.end(), bad.begin(), bad.end());
  const Bytes good = EncodeCommand(SimFraming::kStxBcc, 1, 0xF0, {});
  in.insert(in.end(), good.begin(), good.end());
  auto frames = d.Feed(in.data(), in.size(), 0);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].command, 0xF0);
  EXPECT_EQ(d.DroppedBytes(), 2u + bad.size());
}

TEST(SimFrameDecoder, StrayByteThatLooksLikeALongFrameDoesNotSwallowTheNext) {
  // 01 FF looks like the start of a CRC frame with a long parameter list.
  SimFrameDecoder d;
  Bytes in = {0x01, 0x02, 0xFF};
  const Bytes good = EncodeCommand(SimFraming::kCrc16, 1, 0xF0, {});
  in.insert(in.end(), good.begin(), good.end());
  auto frames = d.Feed(in.data(), in.size(), 0);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].raw, good);
}

TEST(SimFrameDecoder, PartialFrameIsDroppedAfterAPause) {
  SimFrameDecoder d(200);
  const Bytes head = {0x02, 0x01, 0xF0};  // never completed
  EXPECT_TRUE(d.Feed(head.data(), head.size(), 1000).empty());
  const Bytes good = EncodeCommand(SimFraming::kStxBcc, 1, 0xF8, {});
  auto frames = d.Feed(good.data(), good.size(), 1500);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].command, 0xF8);
  // The pause is measured as an unsigned difference, so a wrapping clock changes nothing.
  EXPECT_TRUE(d.Feed(head.data(), head.size(), 0xFFFFFF00u).empty());
  frames = d.Feed(good.data(), good.size(), 0x00000100u);
  EXPECT_EQ(frames.size(), 1u);
}

}  // namespace
}  // namespace tw::sim
