// Shared fixture of the engine's simulator tests: a tagwright-sim over a real pty, the reader opened
// through the SDK, and a job engine with a recording view and hand-driven timers; helpers to place
// tags, read the tag memory from the simulator and pick frames out of its trace.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "job/job_engine.h"
#include "sdk/lf_sdk.h"
#include "tests/support/recording_view.h"
#include "tests/support/sim_process.h"

namespace tw::test {

// Timers that only remember what runs; the test sends the ticks.
class ManualTimers : public ICycleTimers {
 public:
  int StartTimer(int id, int periodMs) override {
    running[id] = periodMs;
    return id;
  }
  void KillTimer(int id) override { running.erase(id); }
  std::map<int, int> running;
};

// One frame received by the simulator: command byte and parameters.
struct TracedCommand {
  int cmd = -1;
  std::vector<int> params;
};

inline std::vector<TracedCommand> ParseTrace(const std::vector<std::string>& lines) {
  std::vector<TracedCommand> out;
  for (const std::string& line : lines) {
    if (line.rfind("RX ", 0) != 0) continue;
    std::istringstream in(line.substr(3));
    std::vector<int> b;
    std::string hex;
    while (in >> hex) b.push_back(static_cast<int>(std::strtol(hex.c_str(), nullptr, 16)));
    TracedCommand c;
    size_t p = 0, n = 0;
    bool stx = false;
    if (b.size() >= 5 && b[0] == 0x02 && b.size() == static_cast<size_t>(b[3]) + 5) {
      int x = 0;
      for (size_t i = 1; i + 1 < b.size(); ++i) x ^= b[i];
      stx = x == b.back();
    }
    if (stx) {
      c.cmd = b[2];
      p = 4;
      n = static_cast<size_t>(b[3]);
    } else if (b.size() >= 5) {
      c.cmd = b[1];
      p = 3;
      n = static_cast<size_t>(b[2]);
    } else {
      continue;
    }
    for (size_t i = p; i < p + n && i < b.size(); ++i) c.params.push_back(b[i]);
    out.push_back(c);
  }
  return out;
}

// Default job of a type: its first block, 4 bytes, decimal, normal order.
inline JobParams DefaultJob(int type) {
  JobParams job;
  job.transponderType = type;
  job.startBlock = FirstBlock(type);
  job.byteCount = 4;
  job.beepTime = 0;
  return job;
}

class EngineSimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim.Start(SimArgs())) << "tagwright-sim did not start";
    handle = LF_OpenPort(sim.PtyPath().c_str(), 19200, 0, 500);
    ASSERT_GT(handle, 0) << "open failed";
    engine.SetPortHandle(handle);
  }
  void TearDown() override {
    if (handle > 0) LF_ClosePort(handle);
  }
  virtual std::vector<std::string> SimArgs() const { return {}; }

  // Sends a control line and expects "ok".
  std::string Ctl(const std::string& line) {
    const std::string reply = sim.Control(line);
    EXPECT_EQ(reply.rfind("ok", 0), 0u) << line << " -> " << reply;
    return reply;
  }
  // Blocks of the tag in the field (or of tag `which`) as words, from "tag dump".
  std::map<int, uint32_t> Dump(const std::string& which = "") {
    std::map<int, uint32_t> words;
    std::istringstream in(sim.Control(which.empty() ? "tag dump" : "tag dump " + which));
    std::string tok;
    while (in >> tok) {
      const size_t colon = tok.find(':');
      if (colon == std::string::npos || colon == 0) continue;
      char* end = nullptr;
      const long blk = std::strtol(tok.c_str(), &end, 10);
      if (end != tok.c_str() + colon) continue;
      words[static_cast<int>(blk)] =
          static_cast<uint32_t>(std::strtoul(tok.c_str() + colon + 1, nullptr, 16));
    }
    return words;
  }
  std::vector<TracedCommand> Commands() const { return ParseTrace(sim.Trace()); }
  int Count(int cmd) const {
    int n = 0;
    for (const auto& c : Commands()) n += c.cmd == cmd;
    return n;
  }
  std::vector<int> Ids() const {
    std::vector<int> ids;
    for (const auto& m : view.messages) ids.push_back(m.id);
    return ids;
  }
  bool HasMessage(int id) const {
    for (const auto& m : view.messages)
      if (m.id == id) return true;
    return false;
  }

  SimProcess sim;
  int handle = 0;
  JobParams job;
  RecordingView view;
  ManualTimers timers;
  JobEngine engine{job, view, timers};
};

}  // namespace tw::test
