// A write cycle killed with SIGKILL right after a successful write: the next run resumes with the
// next value, no value is written twice, and the protocol file holds every written tag once.
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>
#include <set>

#include "engine_sim.h"
#include "shell/settings_store.h"

extern char** environ;

namespace tw::test {
namespace {

// Runs the helper to its end; returns the raw wait status.
int RunHelper(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {ENGINE_CRASH_HELPER};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargv;
  for (auto& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, cargv[0], nullptr, nullptr, cargv.data(), environ) != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

// Value and UID fields of every protocol line.
std::vector<std::pair<std::string, std::string>> ProtocolEntries(const std::string& path) {
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
  EXPECT_EQ(store.GetProfileString("Settings", "Wert", ""), "1003");

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

}  // namespace
}  // namespace tw::test
