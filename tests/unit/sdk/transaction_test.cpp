// The transaction over a fake link: sending, the three-phase wait, answer checking and stripping,
// error codes, and the application window during the wait.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/ui_hooks.h"
#include "sdk/qz_rw_port.h"

using tw::CQZ_RW_Port;

namespace {

// Answer frames written out here, independently of the SDK's frame code.
CMyByteArray StxAnswer(uint8_t status, const CMyByteArray& data, uint8_t echo = 0x01) {
  CMyByteArray f{0x02, echo, status, static_cast<uint8_t>(data.size())};
  f.insert(f.end(), data.begin(), data.end());
  uint8_t x = 0;
  for (size_t i = 1; i < f.size(); ++i) x ^= f[i];
  f.push_back(x);
  return f;
}

CMyByteArray CrcAnswer(uint8_t status, const CMyByteArray& data, uint8_t echo = 0x01) {
  CMyByteArray f{echo, status, static_cast<uint8_t>(data.size())};
  f.insert(f.end(), data.begin(), data.end());
  uint16_t crc = 0xFFFF;
  for (uint8_t b : f) {
    crc ^= b;
    for (int i = 0; i < 8; ++i) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  f.push_back(crc & 0xFF);
  f.push_back(crc >> 8);
  return f;
}

void Feed(CQZ_RW_Port& p, const CMyByteArray& bytes) {
  for (uint8_t b : bytes) p.OnByteReceived(b);
}

// A link that records every frame and answers with the given bytes at once.
struct FakeLink {
  std::vector<CMyByteArray> frames;
  CMyByteArray reply;
  void Attach(CQZ_RW_Port& port) {
    port.AttachTestLink([this](CQZ_RW_Port& p, const CMyByteArray& frame) {
      frames.push_back(frame);
      Feed(p, reply);
    });
  }
};

}  // namespace

TEST(Transaction, SendsFrameAndStripsAnswer) {
  CQZ_RW_Port port;
  FakeLink link;
  link.reply = StxAnswer(0, {'2', '4', '3', '9'});
  link.Attach(port);
  CMyByteArray data;
  ASSERT_TRUE(port.Transact(0xF0, {}, data));
  EXPECT_EQ(data, (CMyByteArray{'2', '4', '3', '9'}));
  ASSERT_EQ(link.frames.size(), 1u);
  EXPECT_EQ(link.frames[0], (CMyByteArray{0x02, 0x01, 0xF0, 0x00, 0xF1}));
  EXPECT_TRUE(port.SendBuffer().empty());
  EXPECT_EQ(port.LastError(), 0);
}

TEST(Transaction, CrcFramingRoundTrip) {
  CQZ_RW_Port port;
  port.SetFramingFlag(1);
  port.SetDeviceAddress(5);
  FakeLink link;
  link.reply = CrcAnswer(0, {0x11, 0x22});
  link.Attach(port);
  CMyByteArray data;
  ASSERT_TRUE(port.Transact(0xF8, {}, data));
  EXPECT_EQ(data, (CMyByteArray{0x11, 0x22}));
  EXPECT_EQ(link.frames[0][0], 5);
  EXPECT_EQ(CQZ_RW_Port::Crc16(link.frames[0]), 0);
}

TEST(Transaction, GarbageBeforeStxIsSkippedAndExtraBytesDropped) {
  CQZ_RW_Port port;
  FakeLink link;
  link.reply = {0xFF, 0x00, 0x13, 0x37, 0x55};
  const CMyByteArray answer = StxAnswer(0, {0xAB});
  link.reply.insert(link.reply.end(), answer.begin(), answer.end());
  link.reply.insert(link.reply.end(), {0x02, 0x02, 0x02});
  link.Attach(port);
  CMyByteArray data;
  ASSERT_TRUE(port.Transact(0xF8, {}, data));
  EXPECT_EQ(data, CMyByteArray{0xAB});
  EXPECT_EQ(port.ReceiveCount(), 0u);
}

TEST(Transaction, CrcFramingDoesNotSkipGarbage) {
  CQZ_RW_Port port;
  port.SetFramingFlag(1);
  port.SetTimeout(30);
  FakeLink link;
  // One garbage byte shifts the frame: the length byte reads 0 and the CRC is wrong.
  link.reply = CrcAnswer(0, {0x00, 0x00});
  link.reply.insert(link.reply.begin(), 0x77);
  link.Attach(port);
  CMyByteArray data;
  EXPECT_FALSE(port.Transact(0xF8, {}, data));
  EXPECT_EQ(port.LastError(), 14);

  // Garbage whose length byte promises more than arrives: the wait times out.
  link.reply = {0x77, 0x01, 0x40, 0x01, 0x02, 0x03};
  EXPECT_FALSE(port.Transact(0xF8, {}, data));
  EXPECT_EQ(port.LastError(), 7);
}

TEST(Transaction, WrongCheckCodesAndReaderStatus) {
  CQZ_RW_Port port;
  FakeLink link;
  link.Attach(port);
  CMyByteArray data;

  link.reply = StxAnswer(0, {1, 2, 3});
  link.reply.back() ^= 0x01;
  EXPECT_FALSE(port.Transact(0xF0, {}, data));
  EXPECT_EQ(port.LastError(), 14);

  link.reply = StxAnswer(0x42, {});
  EXPECT_FALSE(port.Transact(0xF0, {}, data));
  EXPECT_EQ(port.LastError(), 0x42);

  port.SetFramingFlag(1);
  link.reply = CrcAnswer(0, {9});
  link.reply[link.reply.size() - 2] ^= 0x80;
  EXPECT_FALSE(port.Transact(0xF0, {}, data));
  EXPECT_EQ(port.LastError(), 14);

  link.reply = CrcAnswer(0x05, {1, 2});
  EXPECT_FALSE(port.Transact(0xF0, {}, data));
  EXPECT_EQ(port.LastError(), 5);

  // A success does not clear the last error.
  link.reply = CrcAnswer(0, {});
  EXPECT_TRUE(port.Transact(0xF0, {}, data));
  EXPECT_TRUE(data.empty());
  EXPECT_EQ(port.LastError(), 5);
}

TEST(Transaction, CheckAnswerLengthRules) {
  CQZ_RW_Port port;
  EXPECT_FALSE(port.CheckAnswer({}));
  EXPECT_EQ(port.LastError(), 16);
  port.SetLastError(0);
  EXPECT_FALSE(port.CheckAnswer({0x02, 0x01, 0x00, 0x00}));  // fewer than 5 bytes
  CMyByteArray shortFrame = StxAnswer(0, {1, 2, 3});
  shortFrame.pop_back();
  EXPECT_FALSE(port.CheckAnswer(shortFrame));  // fewer than N+5
  EXPECT_EQ(port.LastError(), 0);
  CMyByteArray longer = StxAnswer(0, {1});
  longer.push_back(0x99);
  EXPECT_TRUE(port.CheckAnswer(longer));

  port.BeginCommand(0xF0);
  port.SendBuffer().clear();
  EXPECT_FALSE(port.SendCommand());
  EXPECT_EQ(port.LastError(), 11);
}

TEST(Transaction, NoLinkTimesOutWithoutSending) {
  CQZ_RW_Port port;
  port.SetTimeout(20);
  CMyByteArray data;
  EXPECT_FALSE(port.Transact(0xF0, {}, data));
  EXPECT_EQ(port.LastError(), 7);
}

TEST(Transaction, SlowAnswerFromAnotherThreadAndTimeoutRestored) {
  CQZ_RW_Port port;
  port.SetTimeout(40);
  std::thread feeder;
  port.AttachTestLink([&](CQZ_RW_Port& p, const CMyByteArray&) {
    feeder = std::thread([&p] {
      const CMyByteArray a = StxAnswer(0, {7, 7});
      // Each phase gets its own timeout: 30 ms gaps stay inside the 40 ms limit.
      for (size_t i = 0; i < a.size(); ++i) {
        if (i == 2 || i == 5) std::this_thread::sleep_for(std::chrono::milliseconds(30));
        p.OnByteReceived(a[i]);
      }
    });
  });
  CMyByteArray data;
  EXPECT_TRUE(port.Transact(0xF8, {}, data));
  feeder.join();
  EXPECT_EQ(data, (CMyByteArray{7, 7}));

  // A per-call timeout is used once and the port's own comes back.
  port.DetachTestLink();
  EXPECT_FALSE(port.Transact(0xF8, {}, data, 5));
  EXPECT_EQ(port.Timeout(), 40u);
}

namespace {
struct WindowState {
  int disables = 0;
  int restores = 0;
  bool enabled = true;
  bool restoredWith = false;
};
WindowState gWindow;
void* FakeDisable(bool* wasEnabled) {
  ++gWindow.disables;
  *wasEnabled = gWindow.enabled;
  gWindow.enabled = false;
  return &gWindow;
}
void FakeRestore(void*, bool wasEnabled) {
  ++gWindow.restores;
  gWindow.restoredWith = wasEnabled;
  if (wasEnabled) gWindow.enabled = true;
}
}  // namespace

TEST(Transaction, WindowDisabledDuringWaitAndRestoredAsItWas) {
  tw::UiHooks hooks;
  hooks.disableWindow = FakeDisable;
  hooks.restoreWindow = FakeRestore;
  tw::SetUiHooks(hooks);
  CQZ_RW_Port port;
  port.SetTimeout(10);
  FakeLink link;
  link.reply = StxAnswer(0, {});
  link.Attach(port);
  CMyByteArray data;

  gWindow = {};
  EXPECT_TRUE(port.Transact(0xF0, {}, data));
  EXPECT_EQ(gWindow.disables, 1);
  EXPECT_EQ(gWindow.restores, 1);
  EXPECT_TRUE(gWindow.enabled);

  // Disabled before: stays disabled, also on a timeout.
  gWindow = {};
  gWindow.enabled = false;
  link.reply.clear();
  EXPECT_FALSE(port.Transact(0xF0, {}, data));
  EXPECT_EQ(gWindow.restores, 1);
  EXPECT_FALSE(gWindow.enabled);

  // Keep-UI-enabled: the window is not touched.
  gWindow = {};
  port.SetKeepUiEnabled(true);
  link.reply = StxAnswer(0, {});
  EXPECT_TRUE(port.Transact(0xF0, {}, data));
  EXPECT_EQ(gWindow.disables, 0);
  EXPECT_EQ(gWindow.restores, 0);
  tw::SetUiHooks(tw::UiHooks{});
}

TEST(Transaction, ReceiveBufferOperations) {
  CQZ_RW_Port port;
  port.SetTimeout(5);
  Feed(port, {1, 2, 3});
  EXPECT_EQ(port.ReceiveCount(), 0u) << "bytes nobody waits for are dropped";
  CMyByteArray out;
  port.AttachTestLink([&](CQZ_RW_Port& p, const CMyByteArray&) {
    Feed(p, {1, 2, 3, 4, 5});
    EXPECT_EQ(p.ReceiveCount(), 5u);
    p.RemoveFirstReceived();
    EXPECT_EQ(p.TakeReceived(out, 2), 2u);
    EXPECT_EQ(p.TakeReceived(), (CMyByteArray{4, 5}));
    p.RemoveFirstReceived();  // on an empty buffer: nothing happens
    EXPECT_EQ(p.ReceiveCount(), 0u);
  });
  CMyByteArray data;
  EXPECT_FALSE(port.Transact(0xF0, {}, data));
  EXPECT_EQ(out, (CMyByteArray{2, 3}));
}
