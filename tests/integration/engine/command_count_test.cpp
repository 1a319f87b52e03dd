// What a default write job costs in reader commands, per type: a new tag, a tick while the written
// tag rests on the antenna, and a tick with an empty field. Every command is milliseconds on a real
// station, so these are upper bounds that must not creep back up.
#include <cstdio>

#include "engine_sim.h"

namespace tw::test {
namespace {

struct CommandBudget {
  int type;
  int newTag;      // commands of the tick that writes a fresh tag, check after the write included
  int sameTag;     // commands of a tick while that tag stays in the field
  int emptyField;  // commands of a tick without a tag
};

const CommandBudget kBudgets[] = {
    {kTypeHitag1, 3, 1, 1},  {kTypeHitag2, 6, 1, 1},  {kTypeHitagS, 3, 1, 1},
    {kTypeHitagMu, 3, 1, 1}, {kTypeAta5555, 4, 1, 1}, {kTypeAta5577, 9, 1, 1},
    {kTypeEm4305, 3, 1, 1},  {kTypeEm4450, 6, 1, 1},  {kTypeSic7888, 3, 1, 1},
};

// "C0 05 00 | C1 05 ..." — the commands of a tick, for the failure message.
std::string Describe(const std::vector<TracedCommand>& cmds) {
  std::string s;
  char buf[8];
  for (const auto& c : cmds) {
    if (!s.empty()) s += " | ";
    std::snprintf(buf, sizeof buf, "%02X", c.cmd);
    s += buf;
    for (size_t i = 0; i < c.params.size() && i < 3; ++i) {
      std::snprintf(buf, sizeof buf, " %02X", c.params[i]);
      s += buf;
    }
  }
  return s;
}

TEST_F(EngineSimTest, ReaderCommandsPerTagAndPerTick) {
  for (const CommandBudget& b : kBudgets) {
    SCOPED_TRACE(TypeNameFromCode(b.type));
    job = DefaultJob(b.type);
    job.valueText = "7";
    view.Clear();
    engine.OnWriteCyclic();
    ASSERT_TRUE(engine.WriteCycleRunning());

    // The first tag of a run also sets the reader up (modulation); the second one is the steady
    // state of a running station.
    Ctl("feed " + std::to_string(b.type) + " 86400000");
    engine.OnTimer(kWriteTimerId);
    Ctl("feed next");
    sim.ClearTrace();
    engine.OnTimer(kWriteTimerId);
    ASSERT_EQ(Ids(), (std::vector<int>{kMsgWriteDone, kMsgWriteDone}));
    auto cmds = Commands();
    EXPECT_LE(static_cast<int>(cmds.size()), b.newTag) << Describe(cmds);

    sim.ClearTrace();
    engine.OnTimer(kWriteTimerId);
    cmds = Commands();
    EXPECT_LE(static_cast<int>(cmds.size()), b.sameTag) << Describe(cmds);

    Ctl("feed off");
    Ctl("tag remove");
    sim.ClearTrace();
    engine.OnTimer(kWriteTimerId);
    cmds = Commands();
    EXPECT_LE(static_cast<int>(cmds.size()), b.emptyField) << Describe(cmds);

    EXPECT_EQ(Ids().size(), 2u);  // resting and leaving are silent
    engine.OnWriteCyclic();
  }
}

}  // namespace
}  // namespace tw::test
