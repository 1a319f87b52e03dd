// Small helpers shared by the SDK's simulator tests.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/tick.h"
#include "tests/support/sim_process.h"

namespace sdktest {

// Received frames ("RX ...") of the simulator's trace, as hex text without the prefix.
inline std::vector<std::string> ReceivedFrames(const tw::test::SimProcess& sim) {
  std::vector<std::string> out;
  for (const std::string& line : sim.Trace())
    if (line.rfind("RX ", 0) == 0) out.push_back(line.substr(3));
  return out;
}

// The simulator writes its trace on its own schedule: wait (up to 2 s) until the count of
// received commands reaches want, then report the count as it stands.
inline int CountCommandsSettled(const tw::test::SimProcess& sim, uint8_t cmd, int want) {
  for (int i = 0; i < 400 && sim.CountCommands(cmd) < want; ++i) tw::SleepMs(5);
  tw::SleepMs(20);  // a frame too many would show up now
  return sim.CountCommands(cmd);
}

#define START_SIM(sim, ...) \
  ASSERT_TRUE((sim).Start(std::vector<std::string>{__VA_ARGS__})) << "tagwright-sim did not start"

}  // namespace sdktest
