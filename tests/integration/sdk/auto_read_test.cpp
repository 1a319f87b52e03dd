// The auto-read worker started through its C++ entry on an open reader port.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "sdk/lf_sdk.h"
#include "sdk/sdk_app.h"
#include "sim_helpers.h"

using tw::test::SimProcess;

namespace {
struct Lines {
  std::mutex lock;
  std::vector<std::string> lines;  // each with its terminating NUL as received
  std::vector<int> lengths;
};
void OnLine(const uint8_t* line, int length, void* context) {
  auto* l = static_cast<Lines*>(context);
  std::lock_guard<std::mutex> g(l->lock);
  l->lines.emplace_back(reinterpret_cast<const char*>(line), static_cast<size_t>(length));
  l->lengths.push_back(length);
}
size_t Count(Lines& l) {
  std::lock_guard<std::mutex> g(l.lock);
  return l.lines.size();
}
}  // namespace

TEST(AutoRead, HandsOutLinesAndReportsALostLink) {
  SimProcess sim;
  START_SIM(sim);
  const int h = LF_OpenPort(sim.PtyPath().c_str(), 19200, 0, 200);
  ASSERT_GT(h, 0);
  Lines lines;
  ASSERT_TRUE(tw::StartAutoRead(h, OnLine, '\r', &lines));
  EXPECT_FALSE(tw::StartAutoRead(h, OnLine, '\r', &lines)) << "already running";
  EXPECT_FALSE(tw::StartAutoRead(h + 100, OnLine, '\r', &lines));

  tw::CQZ_RW_Port* port = tw::SdkApp().FindPort(h);
  ASSERT_NE(port, nullptr);
  const std::string text = "AB\rCDE\rrest";
  port->OnBytesReceived(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  for (int i = 0; i < 500 && Count(lines) < 2; ++i) tw::SleepMs(2);
  ASSERT_EQ(Count(lines), 2u);
  EXPECT_EQ(lines.lines[0], std::string("AB\0", 3));
  EXPECT_EQ(lines.lengths[1], 4);

  // The reader goes away: one empty line, then the worker ends by itself.
  ASSERT_EQ(sim.Control("hangup").rfind("ok", 0), 0u);
  for (int i = 0; i < 1000 && Count(lines) < 3; ++i) tw::SleepMs(2);
  ASSERT_EQ(Count(lines), 3u);
  EXPECT_EQ(lines.lengths[2], 0);
  for (int i = 0; i < 500 && port->AutoReader().IsRunning(); ++i) tw::SleepMs(2);
  EXPECT_FALSE(port->AutoReader().IsRunning());
  EXPECT_EQ(LF_ClosePort(h), 0) << "the lost port keeps its handle until closed";
}

namespace {
struct Closer {
  int handle = 0;
  std::atomic<int> closed{-2};
};
void CloseFromCallback(const uint8_t*, int, void* context) {
  auto* c = static_cast<Closer*>(context);
  c->closed = LF_ClosePort(c->handle);
}
}  // namespace

TEST(AutoRead, CallbackMayCloseItsOwnPort) {
  SimProcess sim;
  START_SIM(sim);
  Closer closer;
  closer.handle = LF_OpenPort(sim.PtyPath().c_str(), 19200, 0, 200);
  ASSERT_GT(closer.handle, 0);
  ASSERT_TRUE(tw::StartAutoRead(closer.handle, CloseFromCallback, '\r', &closer));
  const std::string text = "line\r";
  tw::SdkApp().FindPort(closer.handle)
      ->OnBytesReceived(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  for (int i = 0; i < 500 && closer.closed == -2; ++i) tw::SleepMs(2);
  EXPECT_EQ(closer.closed, 0);
  EXPECT_EQ(LF_GetLastError(closer.handle), 6);
}

TEST(AutoRead, StopsOnClose) {
  SimProcess sim;
  START_SIM(sim);
  const int h = LF_OpenPort(sim.PtyPath().c_str(), 19200, 0, 200);
  ASSERT_GT(h, 0);
  Lines lines;
  ASSERT_TRUE(tw::StartAutoRead(h, OnLine, '\n', &lines));
  EXPECT_TRUE(tw::StopAutoRead(h));
  ASSERT_TRUE(tw::StartAutoRead(h, OnLine, '\n', &lines));
  EXPECT_EQ(LF_ClosePort(h), 0);  // stops the worker first
  EXPECT_EQ(Count(lines), 0u);
}
