// Write and read cycles against the simulator: a tag held in the field, taken away and brought
// back; an import file of three lines; a read cycle with logging; stopping during a step.
#include <fstream>

#include "engine_sim.h"
#include "platform/tick.h"
#include "platform/ui_hooks.h"

namespace tw::test {
namespace {

int CountId(const RecordingView& view, int id) {
  int n = 0;
  for (const auto& m : view.messages) n += m.id == id;
  return n;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(EngineSimTest, CycleWritesHeldTagOnceAndAgainAfterOneSecondAway) {
  job = DefaultJob(kTypeHitag1);
  job.valueText = "100";
  Ctl("tag add hitag1 11223344");
  engine.OnWriteCyclic();
  ASSERT_TRUE(engine.WriteCycleRunning());
  for (int i = 0; i < 5; ++i) engine.OnTimer(kWriteTimerId);
  EXPECT_EQ(Dump()[16], 100u);
  EXPECT_EQ(job.valueText, "101");
  EXPECT_EQ(CountId(view, kMsgWriteDone), 1);
  EXPECT_EQ(view.lamps.back(), LampState::Green);

  // Taken away and back within the second: still skipped.
  Ctl("tag remove");
  engine.OnTimer(kWriteTimerId);
  EXPECT_EQ(view.lamps.back(), LampState::Red);
  Ctl("tag back");
  engine.OnTimer(kWriteTimerId);
  engine.OnTimer(kWriteTimerId);
  EXPECT_EQ(CountId(view, kMsgWriteDone), 1);
  EXPECT_EQ(job.valueText, "101");

  // Away for more than a second: the same tag is written again with the next value.
  Ctl("tag remove");
  engine.OnTimer(kWriteTimerId);
  SleepMs(1100);
  engine.OnTimer(kWriteTimerId);
  Ctl("tag back");
  engine.OnTimer(kWriteTimerId);
  EXPECT_EQ(CountId(view, kMsgWriteDone), 2);
  EXPECT_EQ(Dump()[16], 101u);
  EXPECT_EQ(job.valueText, "102");

  engine.OnWriteCyclic();
  EXPECT_FALSE(engine.WriteCycleRunning());
  EXPECT_TRUE(timers.running.empty());
}

TEST_F(EngineSimTest, ImportCycleOfThreeLinesWritesThreeTagsThenStops) {
  const std::string data = sim.TempDir() + "/data.txt";
  std::ofstream(data) << "501\n502\r\n503";
  job = DefaultJob(kTypeEm4450);
  job.autoIncrement = 0;
  job.importData = 1;
  job.importFile = data;
  ASSERT_TRUE(engine.OpenImportFile(0));
  EXPECT_EQ(engine.DataImport().counterText, "1 / 3");
  engine.OnWriteCyclic();
  const char* uids[] = {"E0000001", "E0000002", "E0000003"};
  for (const char* uid : uids) {
    Ctl(std::string("tag add em4450 ") + uid);
    engine.OnTimer(kWriteTimerId);
    engine.OnTimer(kWriteTimerId);  // held: nothing more
  }
  EXPECT_EQ(Dump(uids[0])[3], 501u);
  EXPECT_EQ(Dump(uids[1])[3], 502u);
  EXPECT_EQ(Dump(uids[2])[3], 503u);
  EXPECT_EQ(CountId(view, kMsgWriteDone), 3);
  EXPECT_FALSE(engine.WriteCycleRunning());
  EXPECT_TRUE(job.valueText.empty());
  EXPECT_TRUE(job.importFile.empty());
  EXPECT_TRUE(engine.DataImport().counterText.empty());
}

TEST_F(EngineSimTest, ReadCycleLogsOneLineForTagHeldStill) {
  job = DefaultJob(kTypeHitag1);
  job.logReads = 1;
  job.readLogFile = sim.TempDir() + "/read.txt";
  Ctl("tag add hitag1 11223344 mem 16=000004D2");
  engine.OnReadCyclic();
  for (int i = 0; i < 6; ++i) engine.OnTimer(kReadTimerId);
  EXPECT_EQ(job.valueText, "1234");
  const std::string log = ReadFile(job.readLogFile);
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
  EXPECT_NE(log.find("\t44332211\t"), std::string::npos) << log;
  EXPECT_NE(log.find("\t1234\r\n"), std::string::npos) << log;

  Ctl("tag remove");
  engine.OnTimer(kReadTimerId);
  EXPECT_EQ(view.values.back(), "");
  EXPECT_TRUE(view.messages.empty());  // a missing tag is no message
  engine.OnReadCyclic();
  EXPECT_FALSE(engine.ReadCycleRunning());
}

// The operator's click that arrives while the SDK waits for the reader (dispatched by the pump).
JobEngine* gEngine = nullptr;
int gPumpsUntilClick = -1;
void PumpAndClick() {
  if (gPumpsUntilClick < 0 || gPumpsUntilClick-- > 0) return;
  gEngine->OnTimer(kWriteTimerId);  // a tick during the step is dropped
  gEngine->OnWriteCyclic();         // stop
}

TEST_F(EngineSimTest, StoppingDuringStepLetsStepFinish) {
  job = DefaultJob(kTypeHitagS);
  job.valueText = "7";
  Ctl("tag add hitags 55667788");
  engine.OnWriteCyclic();
  UiHooks hooks;
  hooks.pumpEvents = &PumpAndClick;
  SetUiHooks(hooks);
  gEngine = &engine;
  gPumpsUntilClick = 3;  // somewhere inside the first transactions of the step
  engine.OnTimer(kWriteTimerId);
  SetUiHooks(UiHooks{});
  ASSERT_EQ(gPumpsUntilClick, -1) << "the SDK never pumped";
  EXPECT_FALSE(engine.WriteCycleRunning());
  EXPECT_EQ(Dump()[2], 7u);
  EXPECT_EQ(job.valueText, "8");
  EXPECT_EQ(CountId(view, kMsgWriteDone), 1);
  EXPECT_FALSE(engine.InTimer());
  engine.OnTimer(kWriteTimerId);  // a late tick of the killed timer does nothing
  EXPECT_EQ(job.valueText, "8");
}

}  // namespace
}  // namespace tw::test
