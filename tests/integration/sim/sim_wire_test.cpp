// tagwright-sim as a separate process, driven over its pseudo-terminal with raw bytes and over
// its control socket; what it does is checked on the wire and in its frame trace.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <sys/wait.h>

#include <string>

#include "raw_pty_client.h"
#include "sim/core/sim_frame.h"
#include "sim/core/sim_instance.h"
#include "tests/support/sim_process.h"

namespace tw::test {
namespace {

using Bytes = std::vector<uint8_t>;
using sim::EncodeAnswer;
using sim::EncodeCommand;
using sim::SimFraming;

const Bytes kVersionStx = {0x02, 0x01, 0xF0, 0x00, 0xF1};
const Bytes kAnswerStx = {0x02, 0x01, 0x00, 0x04, '2', '4', '3', 'A', 0x71};

class SimWire : public ::testing::Test {
 protected:
  void Begin(const std::vector<std::string>& args = {}) {
    ASSERT_TRUE(sim.Start(args));
    ASSERT_TRUE(client.Open(sim.PtyPath())) << sim.PtyPath();
  }
  Bytes Ask(const Bytes& frame, size_t want, uint32_t quietMs = 1000) {
    EXPECT_TRUE(client.Write(frame));
    return client.Read(want, quietMs);
  }
  SimProcess sim;
  RawPtyClient client;
};

TEST_F(SimWire, AnswersInTheFramingOfEachCommandAndTracesBoth) {
  Begin();
  EXPECT_EQ(Ask(kVersionStx, 9), kAnswerStx);
  const Bytes crcCmd = EncodeCommand(SimFraming::kCrc16, 1, 0xF0, {});
  EXPECT_EQ(Ask(crcCmd, 9), EncodeAnswer(SimFraming::kCrc16, 1, 0, {'2', '4', '3', 'A'}));
  // Reader id and an unknown command.
  EXPECT_EQ(Ask(EncodeCommand(SimFraming::kStxBcc, 1, 0xF8, {}), 9).size(), 9u);
  const Bytes unknown = Ask(EncodeCommand(SimFraming::kStxBcc, 1, 0x7E, {}), 5);
  ASSERT_EQ(unknown.size(), 5u);
  EXPECT_NE(unknown[2], 0);

  const std::vector<std::string> trace = sim.Trace();
  ASSERT_GE(trace.size(), 4u);
  EXPECT_EQ(trace[0], "RX 02 01 F0 00 F1");
  EXPECT_EQ(trace[1], "TX 02 01 00 04 32 34 33 41 71");
  EXPECT_EQ(trace[2].substr(0, 11), "RX 01 F0 00");
  EXPECT_EQ(trace.size(), 8u);
  EXPECT_EQ(sim.CountCommands(0xF0), 2);
  EXPECT_EQ(sim.CountCommands(0xF8), 1);
  sim.ClearTrace();
  EXPECT_TRUE(sim.Trace().empty());
  EXPECT_EQ(Ask(kVersionStx, 9), kAnswerStx);
  EXPECT_EQ(sim.Trace().size(), 2u);
}

TEST_F(SimWire, GarbageExtraAndWrongCheckCodeOnTheWire) {
  Begin();
  EXPECT_EQ(sim.Control("garbage 00 FF 7E"), "ok garbage 3");
  EXPECT_EQ(sim.Control("extra 55"), "ok extra 1");
  Bytes expect = {0x00, 0xFF, 0x7E};
  expect.insert(expect.end(), kAnswerStx.begin(), kAnswerStx.end());
  expect.push_back(0x55);
  EXPECT_EQ(Ask(kVersionStx, expect.size()), expect);
  EXPECT_EQ(sim.Trace().back(), "TX 00 FF 7E 02 01 00 04 32 34 33 41 71 55");

  EXPECT_EQ(sim.Control("reset-faults"), "ok reset-faults");
  EXPECT_EQ(sim.Control("bad-check on"), "ok bad-check on");
  for (SimFraming f : {SimFraming::kStxBcc, SimFraming::kCrc16}) {
    const Bytes good = EncodeAnswer(f, 1, 0, {'2', '4', '3', 'A'});
    const Bytes got = Ask(EncodeCommand(f, 1, 0xF0, {}), good.size());
    ASSERT_EQ(got.size(), good.size());
    EXPECT_NE(got.back(), good.back());
    EXPECT_EQ(Bytes(got.begin(), got.end() - 1), Bytes(good.begin(), good.end() - 1));
  }
}

TEST_F(SimWire, SilenceAndDelay) {
  Begin();
  EXPECT_EQ(sim.Control("silence 1"), "ok silence 1");
  EXPECT_TRUE(Ask(kVersionStx, 9, 300).empty());
  EXPECT_EQ(Ask(kVersionStx, 9), kAnswerStx);  // the count ran out
  EXPECT_EQ(sim.CountCommands(0xF0), 2);       // the unanswered frame is traced too

  EXPECT_EQ(sim.Control("delay 700"), "ok delay 700");
  ASSERT_TRUE(client.Write(kVersionStx));
  EXPECT_TRUE(client.Read(9, 150).empty());
  EXPECT_EQ(client.Read(9, 3000), kAnswerStx);
}

TEST_F(SimWire, HangupClosesThePseudoTerminal) {
  Begin();
  EXPECT_EQ(Ask(kVersionStx, 9), kAnswerStx);
  const std::string reply = sim.Control("hangup");
  EXPECT_EQ(reply.rfind("ok hangup", 0), 0u) << reply;
  EXPECT_TRUE(client.WaitHangup(2000));
  EXPECT_EQ(sim.Control("hangup"), "error nothing to hang up");
  EXPECT_EQ(sim.Control("ping"), "ok pong");  // the process itself goes on
  EXPECT_TRUE(sim.Running());
}

TEST_F(SimWire, OptionsModelTheReader) {
  Begin({"--framing", "crc-only", "--address", "3", "--version-text", "Reader text answer", "--reader-id",
         "0x01020304"});
  EXPECT_TRUE(Ask(EncodeCommand(SimFraming::kStxBcc, 3, 0xF0, {}), 1, 300).empty());
  EXPECT_TRUE(Ask(EncodeCommand(SimFraming::kCrc16, 1, 0xF0, {}), 1, 300).empty());
  const std::string text = "Reader text answer";
  EXPECT_EQ(Ask(EncodeCommand(SimFraming::kCrc16, 3, 0xF0, {}), text.size() + 5),
            EncodeAnswer(SimFraming::kCrc16, 3, 0, Bytes(text.begin(), text.end())));
  EXPECT_EQ(Ask(EncodeCommand(SimFraming::kCrc16, 3, 0xF8, {}), 9),
            EncodeAnswer(SimFraming::kCrc16, 3, 0, {4, 3, 2, 1}));
  EXPECT_EQ(sim.CountCommands(0xF0), 3);
  EXPECT_NE(sim.Control("state").find("framing=crc-only address=3"), std::string::npos);
}

TEST_F(SimWire, ShortVersionAndSilentReader) {
  Begin({"--version-short", "24"});
  EXPECT_EQ(Ask(kVersionStx, 7), EncodeAnswer(SimFraming::kStxBcc, 1, 0, {'2', '4'}));
  sim.Stop();
  Begin({"--framing", "silent"});
  EXPECT_TRUE(Ask(kVersionStx, 1, 300).empty());
  EXPECT_TRUE(Ask(EncodeCommand(SimFraming::kCrc16, 1, 0xF0, {}), 1, 300).empty());
  EXPECT_EQ(sim.CountCommands(0xF0), 2);
}

TEST_F(SimWire, ControlLinesReachTheTransponderSide) {
  Begin();
  EXPECT_EQ(sim.Control("no-such-command 1"), "error unknown command: no-such-command");
  const std::string reply = sim.Control("tag list");
  EXPECT_EQ(reply.find("unknown command"), std::string::npos) << reply;
}

TEST_F(SimWire, StopEndsAndReapsTheChild) {
  Begin();
  const pid_t pid = sim.Pid();
  ASSERT_GT(pid, 0);
  sim.Stop();
  EXPECT_FALSE(sim.Running());
  EXPECT_EQ(kill(pid, 0), -1);  // reaped: no zombie left behind
}

TEST(SimInstance, RunsInProcessAndRefusesABadSetup) {
  sim::SimInstance inst;
  sim::SimInstanceOptions o;
  o.tracePath = "/nonexistent-dir/trace.txt";
  std::string error;
  EXPECT_FALSE(inst.Start(o, error));
  EXPECT_NE(error.find("trace"), std::string::npos) << error;
  EXPECT_TRUE(inst.PtyPath().empty());
  EXPECT_EQ(inst.Control("ping"), "error simulator not running");

  o.tracePath.clear();
  o.reader.address = 7;
  ASSERT_TRUE(inst.Start(o, error)) << error;
  RawPtyClient client;
  ASSERT_TRUE(client.Open(inst.PtyPath()));
  ASSERT_TRUE(client.Write(EncodeCommand(SimFraming::kCrc16, 7, 0xF0, {})));
  EXPECT_EQ(client.Read(9), EncodeAnswer(SimFraming::kCrc16, 7, 0, {'2', '4', '3', 'A'}));
  EXPECT_EQ(inst.Control("hangup").rfind("ok hangup", 0), 0u);
  EXPECT_TRUE(client.WaitHangup(2000));
  inst.Stop();
  EXPECT_TRUE(inst.PtyPath().empty());
}

std::string RunShell(const std::string& cmd, int& status) {
  FILE* p = popen(cmd.c_str(), "r");
  std::string out;
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  status = pclose(p);
  return out;
}

TEST(SimProgram, StandardInputTakesControlLines) {
  int status = -1;
  const std::string out =
      RunShell("printf 'ping\\nsilence on\\nquit\\n' | " + BinPath("tagwright-sim"), status);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(out.substr(0, 9), "/dev/pts/");
  EXPECT_NE(out.find("\nok pong\nok silence on\nok quit\n"), std::string::npos) << out;
}

TEST(SimProgram, HelpAndBadOptions) {
  int status = -1;
  const std::string help = RunShell(BinPath("tagwright-sim") + " --help", status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  for (const char* word : {"--framing", "crc-only", "stx-only", "silent", "--address", "--version",
                           "--version-text", "--version-short", "--reader-id", "--trace", "--control",
                           "delay", "silence", "bad-check", "garbage", "extra", "hangup"}) {
    EXPECT_NE(help.find(word), std::string::npos) << word;
  }
  for (const char* bad : {"--address 256", "--version 24", "--framing odd", "--bogus", "--trace"}) {
    RunShell(BinPath("tagwright-sim") + " " + bad + " 2>/dev/null </dev/null", status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << bad;
  }
}

}  // namespace
}  // namespace tw::test
