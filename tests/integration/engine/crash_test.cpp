// A write cycle killed with SIGKILL right after a successful write: the next run resumes with the
// next value, no value is written twice, and the protocol file holds every written tag once.
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "engine_sim.h"
#include "job/reservation_store.h"
#include "shell/settings_store.h"

extern char** environ;

namespace tw::test {
namespace {

// Runs the helper to its end, with faultPoint in TAGWRIGHT_FAULT_POINT; returns the raw wait status.
int RunHelper(const std::vector<std::string>& args, const std::string& faultPoint = "") {
  std::vector<std::string> argv = {ENGINE_CRASH_HELPER};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargv;
  for (auto& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e)
    if (std::string(*e).rfind("TAGWRIGHT_FAULT_POINT=", 0) != 0) env.emplace_back(*e);
  if (!faultPoint.empty()) env.push_back("TAGWRIGHT_FAULT_POINT=" + faultPoint);
  std::vector<char*> cenv;
  for (auto& e : env) cenv.push_back(e.data());
  cenv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, cargv[0], nullptr, nullptr, cargv.data(), cenv.data()) != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

TEST_F(EngineSimTest, KilledAfterWriteResumesWithNextValue) {
  // The helpers open the reader themselves.
  LF_ClosePort(handle);
  handle = 0;
  const std::string settings = sim.TempDir() + "/Tagwright.conf";
  const std::string log = sim.TempDir() + "/Protokoll_S.txt";
  const std::vector<std::string> common = {sim.PtyPath(), sim.ControlPath(), settings, log};

  auto args = common;
  args.insert(args.end(), {"10", "3"});
  const int first = RunHelper(args);
  ASSERT_TRUE(WIFSIGNALED(first) && WTERMSIG(first) == SIGKILL) << "status " << first;
  FileSettingsStore store(settings);
  CLocalReservationStore reservations(store, settings + ".progress");
  JobProgress p;
  std::string m;
  ASSERT_TRUE(reservations.ReadProgress(p, m)) << m;
  EXPECT_EQ(p.value, "1003");

  args = common;
  args.insert(args.end(), {"3", "0"});
  const int second = RunHelper(args);
  ASSERT_TRUE(WIFEXITED(second) && WEXITSTATUS(second) == 0) << "status " << second;
  EXPECT_EQ(store.GetProfileString("Settings", "Wert", ""), "1006");

  const auto entries = ProtocolEntries(log);
  ASSERT_EQ(entries.size(), 6u);
  std::set<std::string> uids;
  for (size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i].first, std::to_string(1000 + i));
    uids.insert(entries[i].second);
  }
  EXPECT_EQ(uids.size(), 6u);

  // Every tag in the simulator got its own value.
  for (int v = 1000; v < 1006; ++v) {
    char uid[16];
    std::snprintf(uid, sizeof uid, "%08X", 0xC0000000u + v);
    EXPECT_EQ(Dump(uid)[16], static_cast<uint32_t>(v)) << uid;
  }
}

// A fault point between every two steps of a tag: the run dies there at its second tag, a new
// run finishes the job. No value is on two tags; every tag holding a value has its protocol line
// or is reported as a spent reservation; the store's progress follows the last value given out.
class FaultPointTest : public EngineSimTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(FaultPointTest, DieRestartFinish) {
#ifndef TAGWRIGHT_FAULT_POINTS
  GTEST_SKIP() << "built without fault points";
#endif
  LF_ClosePort(handle);
  handle = 0;
  const std::string settings = sim.TempDir() + "/Tagwright.conf";
  const std::string log = sim.TempDir() + "/Protokoll_S.txt";
  const std::vector<std::string> common = {sim.PtyPath(), sim.ControlPath(), settings, log};
  auto args = common;
  args.insert(args.end(), {"5", "0"});
  const int first = RunHelper(args, std::string(GetParam()) + ":2");
  ASSERT_TRUE(WIFSIGNALED(first) && WTERMSIG(first) == SIGKILL) << "status " << first;
  args = common;
  args.insert(args.end(), {"3", "0"});
  const int second = RunHelper(args);
  ASSERT_TRUE(WIFEXITED(second) && WEXITSTATUS(second) == 0) << "status " << second;

  std::map<int, uint32_t> tags;
  CollectTagValues(sim, tags);
  ExpectOneValueOneTagOneRecord(tags, log, settings, 3);
}

INSTANTIATE_TEST_SUITE_P(EveryStep, FaultPointTest,
                         ::testing::Values("reserved", "written", "answered", "configured", "logged", "completed"));

}  // namespace
}  // namespace tw::test

namespace tw::test {
namespace {

// A lost answer to a write is settled by reading the tag back while it is in the field. A tag that
// holds a value without its protocol line is spent (reported, never handed out again) and settled
// when the same tag comes back.
TEST_F(EngineSimTest, LostWriteAnswerIsSettledByReadingBack) {
  MemorySettingsStore store;
  store.WriteProfileString("Settings", "Wert", "2000");
  CLocalReservationStore reservations(store, sim.TempDir() + "/Tagwright.progress");
  job = DefaultJob(kTypeHitag1);
  job.valueText = "2000";
  job.logWrites = 1;
  job.writeLogFile = sim.TempDir() + "/lost.txt";
  engine.SetReservationStore(&reservations, "test");

  Ctl("tag add hitag1 C1000001");
  Ctl("drop-write 1");  // the write is done, its answer never comes
  engine.OnWriteSingle();
  EXPECT_EQ(Dump()[16], 2000u);
  EXPECT_EQ(job.valueText, "2001");

  Ctl("tag add hitag1 C1000002");
  job.writeLogFile = sim.TempDir() + "/no/such/folder/lost.txt";
  engine.OnWriteSingle();
  job.writeLogFile = sim.TempDir() + "/lost.txt";
  EXPECT_EQ(Dump()[16], 2001u);
  EXPECT_TRUE(HasMessage(kMsgReservationSpent));
  EXPECT_EQ(job.valueText, "2002");

  Ctl("tag add hitag1 C1000003");
  engine.OnWriteSingle();
  EXPECT_EQ(Dump()[16], 2002u);

  Ctl("tag back C1000002");
  engine.OnWriteSingle();
  EXPECT_TRUE(HasMessage(kMsgReservationSettled));
  EXPECT_EQ(Dump()[16], 2001u);  // read, not written again
  std::vector<Reservation> list;
  std::string m;
  ASSERT_TRUE(reservations.ListReservations(list, m));
  EXPECT_TRUE(list.empty());

  std::vector<std::string> values;
  for (const auto& e : ProtocolEntries(job.writeLogFile)) values.push_back(e.first);
  EXPECT_EQ(values, (std::vector<std::string>{"2000", "2002", "2001"}));
}

}  // namespace
}  // namespace tw::test
