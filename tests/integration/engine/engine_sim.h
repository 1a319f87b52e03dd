// Shared fixture of the engine's simulator tests: a tagwright-sim over a real pty, the reader opened
// through the SDK, and a job engine with a recording view and hand-driven timers; helpers to place
// tags, read the tag memory from the simulator and pick frames out of its trace.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "job/job_engine.h"
#include "job/reservation_store.h"
#include "sdk/lf_sdk.h"
#include "shell/settings_store.h"
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

// Value and UID fields of every protocol line.
inline std::vector<std::pair<std::string, std::string>> ProtocolEntries(const std::string& path) {
  std::vector<std::pair<std::string, std::string>> out;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
      fields.push_back(line.substr(start, tab - start));
    fields.push_back(line.substr(start));
    if (fields.size() == 7) out.emplace_back(fields[6], fields[2]);
  }
  return out;
}

// The value in block 16 of every tag the simulator holds (field and shelf), by tag number, added to
// byId. Tags known already are read again only from the newest known one on (the one that may
// still be in the field), so that a long run can collect before its shelf drops the oldest tags.
inline void CollectTagValues(SimProcess& sim, std::map<int, uint32_t>& byId) {
  const int newest = byId.empty() ? -1 : byId.rbegin()->first;
  const std::string list = sim.Control("tag list");
  for (size_t at = list.find('#'); at != std::string::npos; at = list.find('#', at + 1)) {
    const int id = std::atoi(list.c_str() + at + 1);
    if (id < newest) continue;
    std::istringstream in(sim.Control("tag dump " + std::to_string(id)));
    std::string tok;
    byId[id] = 0;
    while (in >> tok)
      if (tok.rfind("16:", 0) == 0) byId[id] = static_cast<uint32_t>(std::strtoul(tok.c_str() + 3, nullptr, 16));
  }
}

// Across every tag the simulator ever held: no value (1000 and up, in block 16) is on two tags,
// every tag holding a value has its protocol line or a spent reservation, no reservation is left
// open, and the stored progress follows the highest value given out.
inline void ExpectOneValueOneTagOneRecord(const std::map<int, uint32_t>& tagValues, const std::string& log,
                                          const std::string& settings, size_t minTags) {
  std::set<std::string> recorded;
  uint32_t highest = 0;
  for (const auto& e : ProtocolEntries(log)) {
    EXPECT_TRUE(recorded.insert(e.first).second) << "logged twice: " << e.first;
    highest = std::max(highest, static_cast<uint32_t>(std::stoul(e.first)));
  }
  FileSettingsStore store(settings);
  CLocalReservationStore reservations(store, settings + ".progress");
  std::vector<Reservation> list;
  std::string m;
  ASSERT_TRUE(reservations.ListReservations(list, m)) << m;
  std::set<std::string> spent;
  for (const Reservation& r : list) {
    EXPECT_EQ(r.state, ReservationState::Spent) << r.taken.value;
    spent.insert(r.taken.value);
    highest = std::max(highest, static_cast<uint32_t>(std::stoul(r.taken.value)));
  }
  std::map<uint32_t, int> tagsWith;
  for (const auto& [id, v] : tagValues)
    if (v >= 1000) ++tagsWith[v];
  ASSERT_GE(tagsWith.size(), minTags);
  for (const auto& [value, tags] : tagsWith) {
    EXPECT_EQ(tags, 1) << value << " is on " << tags << " tags";
    const std::string v = std::to_string(value);
    EXPECT_TRUE(recorded.count(v) || spent.count(v)) << v << " is on a tag without a record";
  }
  JobProgress p;
  ASSERT_TRUE(reservations.ReadProgress(p, m)) << m;
  EXPECT_EQ(p.value, std::to_string(highest + 1));
}

}  // namespace tw::test
