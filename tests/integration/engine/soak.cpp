// Soak: write cycles of the crash helper killed with SIGKILL at random moments and restarted, until
// 1,000 tags carry a protocol line. Across every tag the simulator ever held, no value is on two
// tags and every value on a tag has its record or a spent reservation.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

#include "engine_sim.h"

extern char** environ;

namespace tw::test {
namespace {

TEST_F(EngineSimTest, ThousandTagsWithRandomKills) {
  LF_ClosePort(handle);
  handle = 0;
  const std::string settings = sim.TempDir() + "/Tagwright.conf";
  const std::string log = sim.TempDir() + "/Protokoll_S.txt";
  std::mt19937 random(1717);
  std::uniform_int_distribution<int> lifeMs(2, 80);  // a run writes a tag every few ms
  constexpr size_t kTags = 1000;
  int kills = 0;
  std::map<int, uint32_t> tags;
  for (int run = 0; run < 1500 && ProtocolEntries(log).size() < kTags; ++run) {
    const std::string left = std::to_string(kTags - ProtocolEntries(log).size());
    std::vector<std::string> argv = {ENGINE_CRASH_HELPER, sim.PtyPath(), sim.ControlPath(), settings, log, left, "0"};
    std::vector<char*> cargv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, cargv[0], nullptr, nullptr, cargv.data(), environ), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(lifeMs(random)));
    kills += ::kill(pid, SIGKILL) == 0;
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    CollectTagValues(sim, tags);
  }
  // A last run without a kill settles what the last killed run left open.
  std::vector<std::string> argv = {ENGINE_CRASH_HELPER, sim.PtyPath(), sim.ControlPath(), settings, log, "1", "0"};
  std::vector<char*> cargv;
  for (auto& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, cargv[0], nullptr, nullptr, cargv.data(), environ), 0);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  CollectTagValues(sim, tags);
  ASSERT_GE(ProtocolEntries(log).size(), kTags);
  RecordProperty("kills", kills);
  ExpectOneValueOneTagOneRecord(tags, log, settings, kTags);
}

}  // namespace
}  // namespace tw::test
