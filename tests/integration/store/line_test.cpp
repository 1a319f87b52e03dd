// A line of stations on one shared job: tagwright-cli processes, each with its own simulated reader,
// writing into one job in a private PostgreSQL server; stations killed, the server stopped and
// started, a tag brought back to a job that takes each tag once. Afterwards every tag that every
// simulator ever held is read out and held against the records.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "job/job_engine.h"
#include "job/value_encoding.h"
#include "store/pg_job_store.h"
#include "tests/support/pg_env.h"
#include "tests/support/sim_process.h"

using namespace tw;
using namespace tw::store;
using tw::test::PgEnvironment;
using tw::test::SimProcess;

static const bool kEnv = (PgEnvironment::Install(), true);

extern char** environ;

namespace {

constexpr int kStartBlock = 4;

// Tags per station: small in the suite; TW_LINE_TAGS=1000 for the full load.
int TagsPerStation(int def) {
  const char* v = getenv("TW_LINE_TAGS");
  return v && atoi(v) > 0 ? atoi(v) : def;
}

std::atomic<unsigned> g_uid{0x10000000};

// One station: a simulated reader that gets a new tag whenever the station has written one, and a
// tagwright-cli writing the shared job through it.
class Station {
 public:
  Station(std::string name, std::string dir) : name_(std::move(name)), dir_(std::move(dir)) {
    mkdir(dir_.c_str(), 0700);
  }
  ~Station() { Kill(); }

  bool StartSim() {
    if (!sim_.Start()) return false;
    // The first tag, not written yet, shows what an unwritten tag's data block holds.
    const std::string first = NewTag();
    factory_ = Word(sim_.Control("tag dump " + first));
    return factory_ != "?";
  }
  SimProcess& Sim() { return sim_; }
  // A tag from elsewhere, with what it holds in the job's data block.
  bool AddTag(const std::string& uid, const std::string& word) {
    std::lock_guard<std::mutex> lock(tagsMu_);
    uids_.push_back(uid);
    return sim_.Control("tag add hitags " + uid + " mem " + std::to_string(kStartBlock) + "=" + word).rfind("ok", 0) == 0;
  }
  const std::string& Factory() const { return factory_; }
  const std::string& Name() const { return name_; }

  // Starts tagwright-cli write for count tags (0: a single write).
  bool Run(const std::string& conninfo, const std::string& job, int count, std::vector<std::string> extra = {},
           std::vector<std::string> env = {}) {
    std::vector<std::string> args = {TW_BIN_DIR "/tagwright-cli", "write", "--store", conninfo, "--job", job,
                                     "--station", name_, "--port", sim_.PtyPath(), "--cycle-time", "100",
                                     "--beep-time", "0", "--log", dir_ + "/protocol.txt", "--json"};
    if (count > 0) args.insert(args.end(), {"--count", std::to_string(count)});
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    env.insert(env.end(), {"XDG_CONFIG_HOME=" + dir_ + "/config", "HOME=" + dir_, "PATH=/usr/bin:/bin", "LC_ALL=C"});
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_adddup2(&fa, err[1], 2);
    const int rc = posix_spawn(&pid_, argv[0], &fa, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&fa);
    close(out[1]);
    close(err[1]);
    if (rc != 0) {
      close(out[0]);
      close(err[0]);
      return false;
    }
    reader_ = std::thread([this, fd = out[0]] { ReadLines(fd); });
    errReader_ = std::thread([this, fd = err[0]] {
      char buf[4096];
      for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) {
        std::lock_guard<std::mutex> lock(mu_);
        stderr_.append(buf, static_cast<size_t>(n));
      }
      close(fd);
    });
    return true;
  }
  // Waits for the end; the exit code (128 + signal when killed).
  int Wait() {
    int status = 0;
    if (pid_ > 0) {
      while (waitpid(pid_, &status, 0) < 0) {
      }
      pid_ = -1;
    }
    if (reader_.joinable()) reader_.join();
    if (errReader_.joinable()) errReader_.join();
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  void Kill() {
    if (pid_ > 0) kill(pid_, SIGKILL);
    Wait();
  }
  int Written() const { return written_; }
  std::string Stderr() {
    std::lock_guard<std::mutex> lock(mu_);
    return stderr_;
  }
  std::string Stdout() {
    std::lock_guard<std::mutex> lock(mu_);
    return stdout_;
  }

  // Every tag the simulator ever held and the word in the job's data block: uid -> word. A tag is
  // read out when it leaves the field (the simulator's shelf is bounded), the rest now.
  std::map<std::string, std::string> Held() {
    std::lock_guard<std::mutex> lock(tagsMu_);
    std::map<std::string, std::string> out;
    for (const std::string& uid : uids_) {
      const auto gone = left_.find(uid);
      const std::string w = gone != left_.end() ? gone->second : Word(sim_.Control("tag dump " + uid));
      if (w != factory_) out[uid] = w;
    }
    return out;
  }

 private:
  std::string NewTag() {
    char uid[16];
    std::snprintf(uid, sizeof uid, "%08X", g_uid++);
    std::lock_guard<std::mutex> lock(tagsMu_);
    if (!uids_.empty()) left_[uids_.back()] = Word(sim_.Control("tag dump " + uids_.back()));
    sim_.Control(std::string("tag add hitags ") + uid);
    uids_.push_back(uid);
    return uid;
  }
  static std::string Word(const std::string& dump) {
    const std::string key = " " + std::to_string(kStartBlock) + ":";
    const size_t at = dump.find(key);
    return at == std::string::npos ? "?" : dump.substr(at + key.size(), 8);
  }
  void ReadLines(int fd) {
    std::string line;
    char c;
    while (read(fd, &c, 1) == 1) {
      if (c != '\n') {
        line += c;
        continue;
      }
      {
        std::lock_guard<std::mutex> lock(mu_);
        stdout_ += line + "\n";
      }
      // A tag written, one that came back and was settled, or one a killed run wrote whose record
      // the new run completed: the next one enters the field.
      if (line.find("\"event\":\"tag\"") != std::string::npos) {
        ++written_;
        NewTag();
      } else if (line.find("\"id\":" + std::to_string(kMsgReservationSettled) + ",") != std::string::npos ||
                 line.find("\"id\":" + std::to_string(kMsgReservationRecorded) + ",") != std::string::npos) {
        NewTag();
      }
      line.clear();
    }
    close(fd);
  }

  std::string name_, dir_, factory_;
  SimProcess sim_;
  pid_t pid_ = -1;
  std::thread reader_, errReader_;
  std::atomic<int> written_{0};
  std::vector<std::string> uids_;
  std::map<std::string, std::string> left_;  // read out when it left the field
  std::mutex tagsMu_;
  std::mutex mu_;
  std::string stdout_, stderr_;
};

// The job's data block word of a value, as the simulator prints it.
std::string ExpectedWord(const std::string& value, const JobParams& job) {
  CMyByteArray b;
  if (!EncodeValue(value, job, b) || b.size() != 4) return "!";
  char w[16];
  std::snprintf(w, sizeof w, "%08X", b[0] | b[1] << 8 | b[2] << 16 | static_cast<unsigned>(b[3]) << 24);
  return w;
}

int RunTool(const std::vector<std::string>& args) {
  std::string cmd = TW_BIN_DIR "/tagwright-cli";
  for (const auto& a : args) cmd += " '" + a + "'";
  cmd += " >/dev/null 2>&1";
  const int rc = system(cmd.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

class LineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!PgEnvironment::Get()->SkipReason().empty()) GTEST_SKIP() << PgEnvironment::Get()->SkipReason();
    conninfo = PgEnvironment::Get()->NewDatabase();
    char tmpl[] = "/tmp/tw-line-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    ASSERT_EQ(RunTool({"store", "init", "--store", conninfo}), 0);
  }
  void MakeStations(int n) {
    for (int i = 0; i < n; ++i) {
      stations.push_back(std::make_unique<Station>("S" + std::to_string(i + 1), dir + "/s" + std::to_string(i + 1)));
      ASSERT_TRUE(stations.back()->StartSim()) << "simulator " << i + 1;
    }
  }
  // Holds every tag of every simulator against the records of the job. Returns the records.
  std::vector<SharedRecord> Verify(const std::string& jobName) {
    CPgJobStore st;
    SharedJob job;
    std::string error;
    EXPECT_TRUE(st.Connect(conninfo, error) && st.LoadJob(jobName, job, error)) << error;
    std::vector<SharedRecord> all = st.Written(job.id, error);
    const std::vector<SharedRecord> unsettled = st.Unsettled(job.id, "", error);
    // Records print the UID as the protocol does; the simulator names the bytes in the other order.
    auto simUid = [](const std::string& u) {
      std::string out;
      for (size_t i = u.size(); i >= 2; i -= 2) out += u.substr(i - 2, 2);
      return out;
    };
    // A tag written again (a station started anew with the tag still in its field) holds the value
    // of its latest record; the earlier value is on no tag.
    std::map<std::string, const SharedRecord*> byUid;
    for (const SharedRecord& r : all) byUid[simUid(r.uid)] = &r;
    std::multimap<std::string, std::string> spentByUid;
    for (const SharedRecord& r : unsettled) {
      EXPECT_EQ(r.outcome, kSpent) << "reservation " << r.value << " of " << r.station << " left open";
      spentByUid.emplace(simUid(r.uid), ExpectedWord(r.value, job.params));
    }
    // Everything the store knows about a tag and about the value it holds, for a failure.
    auto history = [&](const std::string& uid, const std::string& word) {
      std::ostringstream out;
      const std::vector<SharedRecord>* lists[] = {&all, &unsettled};
      for (const auto* list : lists)
        for (const SharedRecord& r : *list)
          if (simUid(r.uid) == uid || ExpectedWord(r.value, job.params) == word)
            out << "\n  record " << r.id << ": value " << r.value << " uid " << simUid(r.uid) << " station "
                << r.station << " " << r.outcome << " reserved " << r.reservedAt << " done " << r.doneAt;
      return out.str();
    };
    std::map<std::string, std::string> holderOfWord;
    size_t held = 0;
    for (auto& s : stations) {
      for (const auto& [uid, word] : s->Held()) {
        ++held;
        const auto [it, fresh] = holderOfWord.emplace(word, uid);
        EXPECT_TRUE(fresh) << "tags " << it->second << " and " << uid << " hold the same value (" << word << ")";
        const auto rec = byUid.find(uid);
        if (rec != byUid.end()) {
          EXPECT_EQ(word, ExpectedWord(rec->second->value, job.params)) << "tag " << uid << history(uid, word);
          EXPECT_EQ(rec->second->station, s->Name());
        } else {
          // Written but not recorded: only a station killed between write and completion leaves
          // that, and its reservation is reported as spent.
          bool spent = false;
          for (auto [sp, end] = spentByUid.equal_range(uid); sp != end; ++sp) spent = spent || sp->second == word;
          EXPECT_TRUE(spent) << "tag " << uid << " at " << s->Name() << " holds " << word << " without a record"
                             << history(uid, word);
        }
      }
    }
    EXPECT_GE(held, byUid.size());
    for (const auto& [uid, r] : byUid) EXPECT_TRUE(holderOfWord.count(ExpectedWord(r->value, job.params))) << r->value;
    std::set<std::string> values;
    for (const SharedRecord& r : all) EXPECT_TRUE(values.insert(r.value).second) << r.value;
    for (const SharedRecord& r : unsettled) EXPECT_TRUE(values.insert(r.value).second) << "spent " << r.value << " reused";
    all.insert(all.end(), unsettled.begin(), unsettled.end());
    return all;
  }

  // Stations die at random moments of a run of n tags each (TW_LINE_KILLS of them, TW_LINE_SEED) and
  // are started again by restart, as an operator would. Returns the number of kills.
  int KillAtRandom(int n, int delay, int defaultKills, const std::function<void(Station&)>& restart) {
    const char* seedText = getenv("TW_LINE_SEED");
    seed = seedText ? static_cast<unsigned>(atol(seedText)) : static_cast<unsigned>(time(nullptr));
    std::mt19937 rng(seed);
    const char* killText = getenv("TW_LINE_KILLS");
    const int kills = killText ? atoi(killText) : defaultKills;
    // A tag takes a cycle and five answers or so; a late kill may come after the end.
    std::vector<int> at;
    for (int k = 0; k < kills; ++k) at.push_back(static_cast<int>(rng() % (n * (150 + 5 * delay))));
    std::sort(at.begin(), at.end());
    int slept = 0;
    for (int ms : at) {
      Station& s = *stations[rng() % stations.size()];
      std::this_thread::sleep_for(std::chrono::milliseconds(ms - slept));
      slept = ms;
      s.Kill();
      restart(s);
    }
    return kills;
  }

  void TearDown() override {
    stations.clear();
    if (!dir.empty()) (void)!system(("rm -rf '" + dir + "'").c_str());
  }

  std::string conninfo, dir;
  std::vector<std::unique_ptr<Station>> stations;
  unsigned seed = 0;
};

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

TEST_F(LineTest, EightStationsCountOneJob) {
  const int n = TagsPerStation(40);
  ASSERT_EQ(RunTool({"job", "set", "--store", conninfo, "--job", "count", "--type", "hitags", "--start-block",
                     std::to_string(kStartBlock), "--bytes", "4", "--value", "100000"}),
            0);
  MakeStations(8);
  const auto t0 = std::chrono::steady_clock::now();
  for (auto& s : stations) ASSERT_TRUE(s->Run(conninfo, "count", n));
  // A killed station starts again for the tags it has not reported yet.
  const int kills = KillAtRandom(n, 0, 0, [&](Station& s) {
    if (n > s.Written()) {
      EXPECT_TRUE(s.Run(conninfo, "count", n - s.Written()));
    }
  });
  for (auto& s : stations) EXPECT_EQ(s->Wait(), 0) << s->Name() << ": " << s->Stderr();
  const double secs = Seconds(t0);
  size_t written = 0, spent = 0;
  for (const auto& r : Verify("count")) (r.outcome == kSpent ? spent : written)++;
  // A tag written just before a kill, without its report, is written once more by the new run.
  EXPECT_GE(written, static_cast<size_t>(8 * n));
  EXPECT_LE(written, static_cast<size_t>(8 * n + kills));
  std::printf("line: 8 stations x %d tags, counted, %d kills (seed %u): %.1f s, %.1f tags/s, %zu recorded, %zu spent\n",
              n, kills, seed, secs, written / secs, written, spent);
}

TEST_F(LineTest, EightStationsShareAnImportAndSurviveKills) {
  const int n = TagsPerStation(40);
  const std::string file = dir + "/lines.txt";
  {
    FILE* f = fopen(file.c_str(), "w");
    for (int i = 0; i < 8 * n; ++i) fprintf(f, "%d\r\n", 7000000 + i);
    fclose(f);
  }
  ASSERT_EQ(RunTool({"job", "set", "--store", conninfo, "--job", "import", "--type", "hitags", "--start-block",
                     std::to_string(kStartBlock), "--bytes", "4", "--import", file}),
            0);
  MakeStations(8);
  // Slow answers keep the stations inside their steps most of the time, so that a kill often finds
  // a reservation open.
  const char* delayText = getenv("TW_LINE_DELAY");
  const int delay = delayText ? atoi(delayText) : 15;
  for (auto& s : stations) ASSERT_EQ(s->Sim().Control("delay " + std::to_string(delay)).rfind("ok", 0), 0u);
  const auto t0 = std::chrono::steady_clock::now();
  for (auto& s : stations) ASSERT_TRUE(s->Run(conninfo, "import", n + 5));
  // A station started after the last line was taken has nothing to do and ends.
  const int kills = KillAtRandom(n, delay, 4, [&](Station& s) { EXPECT_TRUE(s.Run(conninfo, "import", n + 5)); });
  // The import runs out: every station ends with its lines done.
  for (auto& s : stations) {
    const int rc = s->Wait();
    EXPECT_EQ(rc, 0) << s->Name() << ": " << s->Stderr();
  }
  const double secs = Seconds(t0);
  const auto records = Verify("import");
  size_t written = 0, spent = 0;
  std::set<int> lines;
  for (const auto& r : records) {
    (r.outcome == kSpent ? spent : written)++;
    EXPECT_TRUE(lines.insert(r.lineNo).second) << "line " << r.lineNo << " twice";
  }
  EXPECT_EQ(written + spent, static_cast<size_t>(8 * n)) << "every line handed out once";
  // A station started once the lines are all taken has nothing to do.
  ASSERT_TRUE(stations[0]->Run(conninfo, "import", 1));
  EXPECT_EQ(stations[0]->Wait(), 0) << stations[0]->Stderr();
  size_t settled = 0;
  for (const auto& r : records) settled += r.outcome == kSettled;
  std::printf("line: 8 stations, %d import lines, %d kills (seed %u): %.1f s, %.1f tags/s, %zu written, %zu spent, "
              "%zu settled\n", 8 * n, kills, seed, secs, written / secs, written, spent, settled);
}

TEST_F(LineTest, ServerStopsMidRunAndStationsResume) {
  const int n = TagsPerStation(40);
  ASSERT_EQ(RunTool({"job", "set", "--store", conninfo, "--job", "count", "--type", "hitags", "--start-block",
                     std::to_string(kStartBlock), "--bytes", "4", "--value", "500000"}),
            0);
  MakeStations(3);
  for (auto& s : stations) ASSERT_TRUE(s->Run(conninfo, "count", n));
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  ASSERT_TRUE(PgEnvironment::Get()->Server()->Stop());
  // No store, no write: every station stops with exit 3 and says why.
  int before = 0;
  for (auto& s : stations) {
    EXPECT_EQ(s->Wait(), 3) << s->Name() << ": " << s->Stderr();
    EXPECT_NE(s->Stdout().find("\"id\":33301"), std::string::npos) << s->Stdout();
    before += s->Written();
  }
  std::string error;
  ASSERT_TRUE(PgEnvironment::Get()->Server()->Restart(error)) << error;
  for (auto& s : stations) ASSERT_TRUE(s->Run(conninfo, "count", n - s->Written()));
  for (auto& s : stations) EXPECT_EQ(s->Wait(), 0) << s->Name() << ": " << s->Stderr();
  const auto records = Verify("count");
  size_t written = 0;
  for (const auto& r : records) written += r.outcome != kSpent;
  EXPECT_EQ(written, static_cast<size_t>(3 * n));
  std::printf("server stop: %d tags before, %zu records after restart\n", before, records.size());
}

TEST_F(LineTest, EachTagOnceRefusesATagThatCameBack) {
  ASSERT_EQ(RunTool({"job", "set", "--store", conninfo, "--job", "once", "--type", "hitags", "--start-block",
                     std::to_string(kStartBlock), "--bytes", "4", "--value", "300", "--each-tag-once", "on"}),
            0);
  MakeStations(2);
  ASSERT_TRUE(stations[0]->Run(conninfo, "once", 0));
  ASSERT_EQ(stations[0]->Wait(), 0) << stations[0]->Stderr();
  // The tag written at S1 shows up at S2.
  const auto first = stations[0]->Held();
  ASSERT_EQ(first.size(), 1u);
  const std::string uid = first.begin()->first;
  ASSERT_EQ(first.begin()->second, ExpectedWord("300", JobParams{}));
  ASSERT_TRUE(stations[1]->AddTag(uid, first.begin()->second));
  ASSERT_TRUE(stations[1]->Run(conninfo, "once", 0));
  // Refused before any write, with the value, the station and the time it got it.
  const int rc = stations[1]->Wait();
  EXPECT_NE(rc, 0);
  const std::string err = stations[1]->Stderr() + stations[1]->Stdout();
  EXPECT_NE(err.find("300"), std::string::npos) << err;
  EXPECT_NE(err.find("S1"), std::string::npos) << err;
  EXPECT_EQ(stations[1]->Held().count(uid), 1u);
  EXPECT_EQ(stations[1]->Held()[uid], ExpectedWord("300", JobParams{})) << "the tag keeps its value";
}

TEST_F(LineTest, TagSpentAtOneStationIsSettledAtAnother) {
  ASSERT_EQ(RunTool({"job", "set", "--store", conninfo, "--job", "spent", "--type", "hitags", "--start-block",
                     std::to_string(kStartBlock), "--bytes", "4", "--value", "700"}),
            0);
  MakeStations(2);
  // S1 dies right after writing the tag, which leaves; started again, S1 reports the value spent.
  ASSERT_TRUE(stations[0]->Run(conninfo, "spent", 0, {}, {"TAGWRIGHT_FAULT_POINT=written"}));
  EXPECT_EQ(stations[0]->Wait(), 128 + SIGKILL);
  ASSERT_EQ(stations[0]->Sim().Control("tag remove").rfind("ok", 0), 0u);
  ASSERT_TRUE(stations[0]->Run(conninfo, "spent", 0));
  EXPECT_NE(stations[0]->Wait(), 0);
  EXPECT_NE(stations[0]->Stdout().find("\"id\":" + std::to_string(kMsgReservationSpent) + ","), std::string::npos);
  const auto first = stations[0]->Held();
  ASSERT_EQ(first.size(), 1u);
  ASSERT_EQ(first.begin()->second, ExpectedWord("700", JobParams{}));
  // The tag shows up at S2, which finds the value on it: settled there, not written again.
  ASSERT_TRUE(stations[1]->AddTag(first.begin()->first, first.begin()->second));
  ASSERT_TRUE(stations[1]->Run(conninfo, "spent", 0));
  stations[1]->Wait();
  EXPECT_NE(stations[1]->Stdout().find("\"id\":" + std::to_string(kMsgReservationSettled) + ","), std::string::npos)
      << stations[1]->Stdout();
  EXPECT_EQ(stations[1]->Held()[first.begin()->first], ExpectedWord("700", JobParams{}));
  CPgJobStore st;
  SharedJob job;
  std::string error;
  ASSERT_TRUE(st.Connect(conninfo, error) && st.LoadJob("spent", job, error)) << error;
  const auto records = st.Written(job.id, error);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].outcome, kSettled);
  EXPECT_EQ(records[0].value, "700");
  EXPECT_TRUE(st.Unsettled(job.id, "", error).empty());
}
