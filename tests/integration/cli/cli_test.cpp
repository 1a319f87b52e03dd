// tagwright-cli against tagwright-sim: writes and reads for several types, cycles ending by count,
// by the end of the import file and by a stop signal, the JSON lines, the exit codes, and the job shared
// with the desktop application's per-user store.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

#include "cli_process.h"
#include "job/job_params.h"
#include "job/reservation_store.h"
#include "shell/protocol_file.h"
#include "shell/settings_keys.h"
#include "shell/settings_store.h"
#include "tests/support/sim_process.h"

namespace tw::test {
namespace {

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim.Start()) << "tagwright-sim did not start";
    dir = sim.TempDir() + "/cli";
    mkdir(dir.c_str(), 0700);
  }

  // Starts the simulator's feeder: a fresh tag of type every ms.
  void Feed(const std::string& type, int ms) {
    const std::string reply = sim.Control("feed " + type + " " + std::to_string(ms));
    ASSERT_EQ(reply.rfind("ok", 0), 0u) << reply;
  }
  std::vector<std::string> Args(std::vector<std::string> extra) {
    std::vector<std::string> a = {"--port", sim.PtyPath(), "--beep-time", "0"};
    a.insert(a.end(), extra.begin(), extra.end());
    return a;
  }
  static std::vector<std::string> Cmd(const std::string& command, std::vector<std::string> rest) {
    rest.insert(rest.begin(), command);
    return rest;
  }
  CliResult Cli(const std::string& command, std::vector<std::string> extra, int timeoutMs = 60000) {
    return cli.Run(Cmd(command, Args(std::move(extra))), timeoutMs);
  }
  std::string Stored(const char* key) {
    FileSettingsStore store(cli.StorePath());
    return store.GetProfileString(settings::kSettings, key, "<missing>");
  }

  SimProcess sim;
  std::string dir;
  CliProcess cli{"/nonexistent"};
};

class CliStoreTest : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    cli = CliProcess(dir);
  }
};

struct TypeCase {
  const char* name;
  int code;
};

TEST_F(CliStoreTest, SingleWriteThenReadBackForSeveralTypes) {
  const TypeCase types[] = {{"hitag1", kTypeHitag1},
                            {"hitags", kTypeHitagS},
                            {"ata5577", kTypeAta5577},
                            {"em4305", kTypeEm4305},
                            {"hitag2", kTypeHitag2}};
  int value = 4711;
  for (const TypeCase& t : types) {
    SCOPED_TRACE(t.name);
    Feed(t.name, 86400000);  // one tag that stays
    const std::string block = std::to_string(FirstBlock(t.code));
    const std::vector<std::string> job = {"--type",  t.name, "--start-block", block,
                                          "--bytes", "4",    "--no-log"};
    std::vector<std::string> w = job;
    w.insert(w.end(), {"--value", std::to_string(value), "--json"});
    const CliResult wr = Cli("write", w);
    ASSERT_EQ(wr.exitCode, 0) << wr.err;
    const auto tags = JsonEvents(wr.out, "tag");
    ASSERT_EQ(tags.size(), 1u) << wr.out;
    EXPECT_EQ(tags[0].at("op"), "write");
    EXPECT_EQ(tags[0].at("value"), std::to_string(value));
    EXPECT_EQ(tags[0].at("count"), "1");
    EXPECT_FALSE(tags[0].at("uid").empty());
    // The next value is kept for the next run.
    EXPECT_EQ(Stored(settings::kWert), std::to_string(value + 1));

    std::vector<std::string> r = job;
    r.push_back("--json");
    const CliResult rd = Cli("read", r);
    ASSERT_EQ(rd.exitCode, 0) << rd.err;
    const auto reads = JsonEvents(rd.out, "tag");
    ASSERT_EQ(reads.size(), 1u) << rd.out;
    EXPECT_EQ(reads[0].at("value"), std::to_string(value));
    EXPECT_EQ(reads[0].at("uid"), tags[0].at("uid"));
    ++value;
  }
}

TEST_F(CliStoreTest, CyclicWriteUntilCountLogsEveryTagAndKeepsTheCounter) {
  Feed("hitag1", 150);
  const std::string log = dir + "/written.txt";
  const CliResult r =
      Cli("write", {"--type", "hitag1", "--start-block", "16", "--value", "100", "--auto-increment", "on",
                    "--count", "5", "--cycle-time", "100", "--log", log, "--json"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const auto tags = JsonEvents(r.out, "tag");
  ASSERT_EQ(tags.size(), 5u) << r.out;
  std::set<std::string> uids;
  for (size_t i = 0; i < tags.size(); ++i) {
    EXPECT_EQ(tags[i].at("value"), std::to_string(100 + i));
    EXPECT_EQ(tags[i].at("count"), std::to_string(i + 1));
    uids.insert(tags[i].at("uid"));
  }
  EXPECT_EQ(uids.size(), 5u) << "every tag written once";
  const auto end = JsonEvents(r.out, "end");
  ASSERT_EQ(end.size(), 1u);
  EXPECT_EQ(end[0].at("count"), "5");
  EXPECT_EQ(end[0].at("exit"), "0");
  EXPECT_EQ(CountProtocolLines(log), 5);
  EXPECT_EQ(Stored(settings::kWert), "105");
}

TEST_F(CliStoreTest, ImportDrivenRunEndsWhenTheFileIsExhausted) {
  Feed("hitags", 150);
  const std::string data = dir + "/values.txt";
  std::ofstream(data) << "5001\r\n5002\r\n5003\r\n";
  const CliResult r =
      Cli("write", {"--type", "hitags", "--start-block", std::to_string(FirstBlock(kTypeHitagS)), "--import",
                    data, "--auto-increment", "off", "--cycle", "--cycle-time", "100", "--no-log", "--json"});
  ASSERT_EQ(r.exitCode, 0) << r.err << r.out;
  const auto tags = JsonEvents(r.out, "tag");
  ASSERT_EQ(tags.size(), 3u) << r.out;
  EXPECT_EQ(tags[0].at("value"), "5001");
  EXPECT_EQ(tags[2].at("value"), "5003");
  const auto end = JsonEvents(r.out, "end");
  ASSERT_EQ(end.size(), 1u);
  EXPECT_EQ(end[0].at("reason"), "import exhausted");
}

// SIGHUP (the terminal closed) ends a run like SIGTERM: the step in hand finishes first.
TEST_F(CliStoreTest, StopSignalInTheMiddleOfACycleLeavesProtocolAndCounterConsistent) {
  Feed("hitag1", 120);
  for (const int signal : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    const std::string log = dir + "/cycle" + std::to_string(signal) + ".txt";
    int seen = 0;
    const CliResult r = cli.RunUntil(
        Cmd("write", Args({"--type", "hitag1", "--start-block", "16", "--value", "7000", "--cycle",
                           "--cycle-time", "100", "--log", log, "--json"})),
        [&](const std::string& line) {
          return line.find("\"event\":\"tag\"") != std::string::npos && ++seen == 3;
        },
        60000, signal);
    EXPECT_EQ(r.exitCode, 130) << r.err;
    const auto tags = JsonEvents(r.out, "tag");
    ASSERT_GE(tags.size(), 3u);
    const auto end = JsonEvents(r.out, "end");
    ASSERT_EQ(end.size(), 1u) << r.out;
    EXPECT_EQ(end[0].at("reason"), "interrupted");
    EXPECT_EQ(end[0].at("count"), std::to_string(tags.size()));
    // One protocol line per tag reported, and the stored value follows the last one written.
    EXPECT_EQ(CountProtocolLines(log), static_cast<long long>(tags.size()));
    EXPECT_EQ(Stored(settings::kWert), std::to_string(std::stoi(tags.back().at("value")) + 1));
  }
}

TEST_F(CliStoreTest, ExitCodesNameWhatWasWrong) {
  Feed("hitag1", 86400000);
  CliResult r = Cli("write", {"--bogus"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("--bogus"), std::string::npos) << r.err;

  r = Cli("write", {"--bytes", "12x"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("--bytes"), std::string::npos) << r.err;

  r = Cli("frobnicate", {});
  EXPECT_EQ(r.exitCode, 2);

  r = Cli("write", {"--settings", dir + "/absent.QZLF_Set"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("absent.QZLF_Set"), std::string::npos) << r.err;

  r = Cli("write",
          {"--type", "hitag1", "--start-block", "16", "--value", "1", "--log", dir + "/no/such/dir/p.txt"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("no/such/dir/p.txt"), std::string::npos) << r.err;

  // A start block beyond the type's blocks fails the job check before anything is written.
  r = Cli("write", {"--type", "hitag1", "--start-block", "200", "--no-log"});
  EXPECT_EQ(r.exitCode, 4) << r.err;
  EXPECT_EQ(sim.CountCommands(0xC2) + sim.CountCommands(0xC3), 0);

  r = cli.Run({"write", "--port", dir + "/no-such-tty", "--no-log"});
  EXPECT_EQ(r.exitCode, 3) << r.err;

  // No tag in the field: the single write fails.
  sim.Control("feed off");
  sim.Control("tag remove");
  r = Cli("write", {"--type", "hitag1", "--start-block", "16", "--value", "1", "--no-log"});
  EXPECT_EQ(r.exitCode, 1) << r.err;
}

// What used to leave an operator guessing: job set dropping options, a reader that always answers
// too late, and a byte count no start block can hold.
TEST_F(CliStoreTest, NothingIsDroppedOrLeftUnsaid) {
  CliResult r = cli.Run({"job", "set", "--cycle-time", "300", "--beep-time", "50"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(Stored(settings::kZyklusZeit), "300");
  EXPECT_EQ(Stored(settings::kBeepTime), "50");
  for (const std::vector<std::string>& dropped : std::vector<std::vector<std::string>>{
           {"--port", sim.PtyPath()}, {"--timeout", "900"}, {"--cycle"}, {"--no-save"}}) {
    std::vector<std::string> args = {"job", "set", "--value", "5"};
    args.insert(args.end(), dropped.begin(), dropped.end());
    r = cli.Run(args);
    EXPECT_EQ(r.exitCode, 2) << dropped[0];
    EXPECT_NE(r.err.find(dropped[0]), std::string::npos) << r.err;
  }
  EXPECT_NE(Stored(settings::kWert), "5");

  // The write command times out (200 ms) while the tag commands, with their longer timeouts, and the
  // version probe (which takes the late answer) seem to get through: the cycle must still end.
  Feed("hitag1", 3000);
  const CliResult slow = cli.RunUntil(
      Cmd("write", Args({"--type", "hitag1", "--start-block", "16", "--value", "1", "--cycle", "--cycle-time",
                         "100", "--no-log", "--json", "--lang", "en", "--timeout", "200"})),
      [&](const std::string& line) {
        if (line.find("\"event\":\"tag\"") != std::string::npos) sim.Control("delay 300");
        return false;
      },
      30000);
  sim.Control("delay 0");
  EXPECT_EQ(slow.exitCode, 3) << slow.err << slow.out;
  const auto errors = JsonEvents(slow.out, "error");
  ASSERT_EQ(errors.size(), 1u) << slow.out;
  EXPECT_EQ(errors[0].at("text"),
            "the reader does not answer in time (timeout 200 ms): raise --timeout or check the line");

  // 5000 bytes fit no Hitag 1 start block: the capacity is named, never a bound below the first block.
  const std::string file = dir + "/big.QZLF_Set";
  std::ofstream(file) << "[Settings]\r\nTranspondertyp=Hitag 1\r\nStartblock=16\r\nByteanzahl=5000\r\n";
  r = Cli("write", {"--settings", file, "--no-log", "--lang", "en"});
  EXPECT_EQ(r.exitCode, 4) << r.err;
  EXPECT_NE(r.err.find("at most 192 characters"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("between"), std::string::npos) << r.err;
}

TEST_F(CliStoreTest, ReaderThatDisappearsMidCycleEndsWithNoReader) {
  Feed("hitag1", 150);
  int seen = 0;
  const CliResult r =
      cli.RunUntil(Cmd("write", Args({"--type", "hitag1", "--start-block", "16", "--value", "1", "--cycle",
                                      "--cycle-time", "100", "--no-log", "--json", "--timeout", "100"})),
                   [&](const std::string& line) {
                     if (line.find("\"event\":\"tag\"") != std::string::npos && ++seen == 2)
                       sim.Control("hangup");
                     return false;
                   });
  EXPECT_EQ(r.exitCode, 3) << r.err << r.out;
  const auto end = JsonEvents(r.out, "end");
  ASSERT_EQ(end.size(), 1u) << r.out;
  EXPECT_EQ(end[0].at("reason"), "reader lost");
}

TEST_F(CliStoreTest, StoredJobAndPortAreSharedWithTheDesktopStore) {
  {
    // What the desktop application leaves behind.
    FileSettingsStore store(cli.StorePath());
    ASSERT_TRUE(store.Transaction([&](ISettingsView& s) {
      s.WriteProfileString(settings::kSettings, settings::kTranspondertyp, "Hitag 1");
      s.WriteProfileInt(settings::kSettings, settings::kStartblock, 16);
      s.WriteProfileString(settings::kSettings, settings::kWert, "777");
      s.WriteProfileInt(settings::kSettings, settings::kAutoIncrement, 1);
      s.WriteProfileInt(settings::kSettings, settings::kSprache, 1);
      s.WriteProfileInt(settings::kSettings, settings::kBeepTime, 0);
      s.WriteProfileString(settings::kPort, settings::kName, sim.PtyPath());
    }));
  }
  Feed("hitag1", 86400000);
  CliResult r = cli.Run({"write"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  // English, as stored, and the stored value.
  EXPECT_NE(r.out.find("value <777> written"), std::string::npos) << r.out;
  EXPECT_EQ(Stored(settings::kWert), "778");

  r = cli.Run({"job", "show", "--json"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  auto job = JsonEvents(r.out, "job");
  ASSERT_EQ(job.size(), 1u) << r.out;
  EXPECT_EQ(job[0].at("Transpondertyp"), "Hitag 1");
  EXPECT_EQ(job[0].at("Wert"), "778");

  // Export, change the store, import: the stored job is back.
  const std::string file = dir + "/job.QZLF_Set";
  ASSERT_EQ(cli.Run({"job", "export", file}).exitCode, 0);
  ASSERT_EQ(cli.Run({"job", "set", "--type", "em4305", "--value", "1"}).exitCode, 0);
  EXPECT_EQ(Stored(settings::kTranspondertyp), "EM4305");
  ASSERT_EQ(cli.Run({"job", "import", file}).exitCode, 0);
  EXPECT_EQ(Stored(settings::kTranspondertyp), "Hitag 1");
  EXPECT_EQ(Stored(settings::kWert), "778");
  EXPECT_EQ(cli.Run({"job", "import", dir + "/missing.QZLF_Set"}).exitCode, 2);
  // Files that are no settings file leave the stored job as it is.
  const std::string bad = dir + "/bad.QZLF_Set";
  for (const std::string& bytes : {std::string(), std::string("\xFF\xFE[\0S\0e\0t\0]\0", 12),
                                   std::string("Wert=1\r\n"), std::string(2u << 20, 'x')}) {
    std::ofstream(bad, std::ios::binary | std::ios::trunc) << bytes;
    r = cli.Run({"job", "import", bad});
    EXPECT_EQ(r.exitCode, 2) << bytes.size();
    EXPECT_NE(r.err.find("bad.QZLF_Set"), std::string::npos) << r.err;
    EXPECT_EQ(Stored(settings::kWert), "778");
  }
}

// A stored job has one writer: a run that finds another process running the job names it and
// stops before any reader traffic.
TEST_F(CliStoreTest, SecondRunOnTheStoredJobStopsBeforeAnyTraffic) {
  FileSettingsStore store(cli.StorePath());
  store.WriteProfileString(settings::kSettings, settings::kWert, "1000");
  CLocalReservationStore other(store, JournalPathFor(cli.StorePath()));
  std::string m;
  ASSERT_EQ(other.Open("tagwright", m), StoreResult::Ok) << m;
  Feed("hitag1", 86400000);
  const size_t frames = sim.Trace().size();
  CliResult r = Cli("write", {"--type", "hitag1", "--start-block", "16", "--no-log"});
  EXPECT_EQ(r.exitCode, 5) << r.err;
  EXPECT_NE(r.err.find("tagwright (PID " + std::to_string(::getpid()) + ")"), std::string::npos) << r.err;
  EXPECT_EQ(sim.Trace().size(), frames);
  EXPECT_EQ(Cli("job", {"set", "--value", "1"}).exitCode, 5);
  other.Close();
  r = Cli("write", {"--type", "hitag1", "--start-block", "16", "--no-log"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(Stored(settings::kWert), "1001");
}

// The data file the store names goes on where it stopped, across runs, with and without --import.
TEST_F(CliStoreTest, ImportResumesAcrossThreeRuns) {
  Feed("hitag1", 150);
  const std::string data = dir + "/values.txt";
  std::ofstream(data) << "5001\n5002\n5003\n5004\n5005\n5006\n";
  const std::vector<std::string> job = {"--type", "hitag1", "--start-block", "16", "--no-log", "--json",
                                        "--cycle-time", "100", "--count", "2"};
  std::vector<std::string> values;
  for (int run = 0; run < 3; ++run) {
    std::vector<std::string> args = job;
    if (run < 2) args.insert(args.end(), {"--import", data});
    const CliResult r = Cli("write", args);
    ASSERT_EQ(r.exitCode, 0) << r.err << r.out;
    for (const auto& t : JsonEvents(r.out, "tag")) values.push_back(t.at("value"));
  }
  EXPECT_EQ(values, (std::vector<std::string>{"5001", "5002", "5003", "5004", "5005", "5006"}));
  EXPECT_EQ(Stored(settings::kDatenImport), "1");
  EXPECT_EQ(Stored(settings::kDatenFile), data);
  EXPECT_EQ(Stored(settings::kDatenLinesUsed), "7");
  EXPECT_EQ(Stored(settings::kWert), "");
  // Used up: the same file again writes nothing.
  EXPECT_EQ(Cli("write", {"--type", "hitag1", "--start-block", "16", "--no-log", "--import", data}).exitCode, 2);
}

TEST_F(CliStoreTest, PortsListsTheRunningSimulatorWithoutBroadcasting) {
  const CliResult r = cli.Run({"ports", "--no-lan", "--json"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  bool found = false;
  for (const JsonObject& p : JsonEvents(r.out, "port")) {
    EXPECT_NE(p.at("kind"), "lan");
    found |= p.at("kind") == "serial" && p.at("name").rfind(sim.PtyPath() + " ", 0) == 0;
  }
  EXPECT_TRUE(found) << r.out;

  // Plain: a header, then one line per entry with the names in one column.
  const CliResult plain = cli.Run({"ports", "--no-lan"});
  ASSERT_EQ(plain.exitCode, 0) << plain.err;
  const std::vector<std::string> lines = plain.OutLines();
  ASSERT_GE(lines.size(), 2u) << plain.out;
  const size_t column = lines[0].find("NAME");
  EXPECT_EQ(lines[0].rfind("KIND", 0), 0u);
  bool listed = false;
  for (size_t i = 1; i < lines.size(); ++i) {
    EXPECT_TRUE(lines[i].rfind("serial ", 0) == 0 || lines[i].rfind("usb ", 0) == 0) << lines[i];
    EXPECT_EQ(lines[i].find_first_not_of(' ', lines[i].find(' ')), column) << lines[i];
    listed |= lines[i].find(sim.PtyPath() + " [tagwright-sim]") == column;
  }
  EXPECT_TRUE(listed) << plain.out;
}

TEST_F(CliStoreTest, DemoWritesTenTagsOnTheBuiltInSimulatedReader) {
  const std::string log = dir + "/demo.txt";
  const CliResult r = cli.Run({"demo", "--protocol", log, "--lang", "en", "--type", "ata5577"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(CountProtocolLines(log), 10);
  int written = 0;
  for (const std::string& line : r.OutLines()) written += line.find("written, UID") != std::string::npos;
  EXPECT_EQ(written, 10) << r.out;
  EXPECT_NE(r.out.find("Protocol file"), std::string::npos);
  // The demo keeps to itself: nothing lands in the operator's store.
  struct stat st {};
  EXPECT_NE(stat(cli.StorePath().c_str(), &st), 0);
}

}  // namespace
}  // namespace tw::test
