#include <gtest/gtest.h>

#include "platform/tick.h"

TEST(Tick, ElapsedIsRightAcrossTheWrap) {
  tw::SetTickOffsetForTest(0xFFFFFFFFu - tw::TickCount() - 5);  // wrap ~5 ms from now
  uint32_t start = tw::TickCount();
  tw::SleepMs(20);
  uint32_t elapsed = tw::TicksSince(start);
  tw::SetTickOffsetForTest(0);
  EXPECT_GE(elapsed, 19u);
  EXPECT_LT(elapsed, 1000u);
}
