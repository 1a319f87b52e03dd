// The reader core in-process: its own commands, address and framing rules, the transponder side
// behind it, faults, and the control lines it understands.
#include "sim/core/sim_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "sim/core/sim_control.h"
#include "sim/core/sim_text.h"
#include "sim/core/sim_trace.h"

namespace tw::sim {
namespace {

using Bytes = std::vector<uint8_t>;

// Records what the reader hands to the transponder side.
class FakeField : public ISimCommandHandler {
 public:
  bool Handle(uint8_t cmd, const Bytes& params, SimReaderState& reader, SimAnswer& answer) override {
    lastCmd = cmd;
    lastCapability = reader.capability;
    if (cmd != 0xC0) return false;
    answer.status = 0;
    answer.data = params;
    answer.radioMicros = radioMicros;
    return true;
  }
  void OnFieldChanged(bool on) override { fieldEvents.push_back(on); }
  bool HandleControl(const std::string& line, std::string& reply) override {
    if (line.rfind("tag ", 0) != 0) return false;
    reply = "ok tag seen";
    return true;
  }
  int lastCmd = -1;
  uint16_t lastCapability = 0;
  uint32_t radioMicros = 0;
  std::vector<bool> fieldEvents;
};

SimCommandFrame Frame(SimFraming f, uint8_t addr, uint8_t cmd, const Bytes& params = {}) {
  SimCommandFrame frame;
  frame.framing = f;
  frame.address = addr;
  frame.command = cmd;
  frame.params = params;
  frame.raw = EncodeCommand(f, addr, cmd, params);
  return frame;
}

// Sends one command through the reader and decodes the answer: status and data, or nullopt when
// the reader stays silent or the answer is not one well-formed frame of the command's framing.
struct Result {
  bool answered = false;
  uint8_t status = 0;
  Bytes data;
};

Result Ask(SimReader& r, SimFraming f, uint8_t cmd, const Bytes& params = {}, uint8_t addr = 1) {
  const SimReader::Reply reply = r.HandleFrame(Frame(f, addr, cmd, params));
  Result res;
  if (reply.bytes.empty()) return res;
  const Bytes& b = reply.bytes;
  const size_t head = f == SimFraming::kStxBcc ? 1 : 0;
  const size_t n = b.at(head + 2);
  EXPECT_EQ(b.size(), n + 5 + 0);
  const Bytes expect =
      EncodeAnswer(f, b[head], b[head + 1], Bytes(b.begin() + head + 3, b.begin() + head + 3 + n));
  EXPECT_EQ(b, expect) << "check code or layout wrong";
  res.answered = true;
  res.status = b[head + 1];
  res.data.assign(b.begin() + head + 3, b.begin() + head + 3 + n);
  return res;
}

TEST(SimReader, ReaderCommandsInBothFramings) {
  SimReaderConfig cfg;
  cfg.readerId = 0x11223344;
  SimReader r(cfg);
  for (SimFraming f : {SimFraming::kStxBcc, SimFraming::kCrc16}) {
    Result v = Ask(r, f, 0xF0);
    ASSERT_TRUE(v.answered);
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.data, (Bytes{'2', '4', '3', 'A'}));
    Result id = Ask(r, f, 0xF8);
    EXPECT_EQ(id.data, (Bytes{0x44, 0x33, 0x22, 0x11}));
    for (uint8_t cmd : {0xF4, 0xF6, 0xFF}) {
      Result o = Ask(r, f, cmd, {0x01, 0x02});
      EXPECT_TRUE(o.answered);
      EXPECT_EQ(o.status, 0);
      EXPECT_TRUE(o.data.empty());
    }
    Result unknown = Ask(r, f, 0x77);
    EXPECT_TRUE(unknown.answered);
    EXPECT_EQ(unknown.status, kSimStatusUnknownCommand);
  }
  EXPECT_EQ(r.State().capability, 0x03F3);
}

TEST(SimReader, AddressAndFramingRules) {
  SimReaderConfig cfg;
  cfg.address = 5;
  SimReader r(cfg);
  EXPECT_FALSE(Ask(r, SimFraming::kStxBcc, 0xF0, {}, 1).answered);
  EXPECT_TRUE(Ask(r, SimFraming::kStxBcc, 0xF0, {}, 5).answered);

  std::string reply;
  ASSERT_TRUE(r.Control("framing crc-only", reply));
  EXPECT_FALSE(Ask(r, SimFraming::kStxBcc, 0xF0, {}, 5).answered);
  EXPECT_TRUE(Ask(r, SimFraming::kCrc16, 0xF0, {}, 5).answered);
  ASSERT_TRUE(r.Control("framing stx-only", reply));
  EXPECT_TRUE(Ask(r, SimFraming::kStxBcc, 0xF0, {}, 5).answered);
  EXPECT_FALSE(Ask(r, SimFraming::kCrc16, 0xF0, {}, 5).answered);
  ASSERT_TRUE(r.Control("framing silent", reply));
  EXPECT_FALSE(Ask(r, SimFraming::kStxBcc, 0xF0, {}, 5).answered);
  EXPECT_FALSE(Ask(r, SimFraming::kCrc16, 0xF0, {}, 5).answered);
}

TEST(SimReader, VersionAnswerKindsSetTheCapability) {
  SimReader r;
  std::string reply;
  ASSERT_TRUE(r.Control("version-text QZ text reader", reply));
  EXPECT_EQ(reply, "ok version-text capability 0103");
  EXPECT_EQ(Ask(r, SimFraming::kStxBcc, 0xF0).data.size(), 14u);
  ASSERT_TRUE(r.Control("version-short 24", reply));
  EXPECT_EQ(r.State().capability, 0);
  EXPECT_EQ(Ask(r, SimFraming::kStxBcc, 0xF0).data, (Bytes{'2', '4'}));
  ASSERT_TRUE(r.Control("version 0291", reply));
  EXPECT_EQ(r.State().capability, 0x0001);
  // Wrong lengths are refused and change nothing.
  for (const char* bad : {"version 24", "version 24311", "version-text abcd", "version-short 2431"}) {
    ASSERT_TRUE(r.Control(bad, reply));
    EXPECT_EQ(reply.rfind("error", 0), 0u) << bad;
  }
  EXPECT_EQ(Ask(r, SimFraming::kStxBcc, 0xF0).data, (Bytes{'0', '2', '9', '1'}));
}

TEST(SimReader, FieldAndModulation) {
  FakeField field;
  SimReader r;  // 243A: capability 03F3, every modulation value allowed
  r.SetHandler(&field);
  EXPECT_EQ(Ask(r, SimFraming::kStxBcc, 0xF5, {0}).status, 0);
  EXPECT_EQ(Ask(r, SimFraming::kStxBcc, 0xF5, {1}).status, 0);
  EXPECT_EQ(field.fieldEvents, (std::vector<bool>{false, true}));
  EXPECT_EQ(Ask(r, SimFraming::kStxBcc, 0xF5).status, kSimStatusBadParameter);

  EXPECT_EQ(Ask(r, SimFraming::kStxBcc, 0xFC).data, (Bytes{0}));
  EXPECT_EQ(Ask(r, SimFraming::kStxBcc, 0xFC, {3}).status, 0);
  EXPECT_EQ(Ask(r, SimFraming::kCrc16, 0xFC).data, (Bytes{3}));
  EXPECT_EQ(r.State().modulation, 3);

  // A model with only bit 40h switches between 0 and 1; one with neither bit not at all.
  std::string reply;
  ASSERT_TRUE(r.Control("version 0291", reply));  // 0001h
  EXPECT_EQ(Ask(r, SimFraming::kStxBcc, 0xFC, {1}).status, kSimStatusBadParameter);
  ASSERT_TRUE(r.Control("version 029E", reply));  // 0073h: bit 40h
  EXPECT_EQ(Ask(r, SimFraming::kStxBcc, 0xFC, {1}).status, 0);
  EXPECT_EQ(Ask(r, SimFraming::kStxBcc, 0xFC, {2}).status, kSimStatusBadParameter);
  EXPECT_EQ(r.State().modulation, 1);
}

TEST(SimReader, OtherCommandsGoToTheTransponderSide) {
  FakeField field;
  SimReader r;
  EXPECT_EQ(Ask(r, SimFraming::kStxBcc, 0xC0, {9}).status, kSimStatusUnknownCommand);  // no handler yet
  r.SetHandler(&field);
  Result res = Ask(r, SimFraming::kCrc16, 0xC0, {9, 8});
  EXPECT_EQ(res.status, 0);
  EXPECT_EQ(res.data, (Bytes{9, 8}));
  EXPECT_EQ(field.lastCapability, 0x03F3);
  EXPECT_EQ(Ask(r, SimFraming::kCrc16, 0x55).status, kSimStatusUnknownCommand);
  EXPECT_EQ(field.lastCmd, 0x55);

  SimControl control(r);
  EXPECT_EQ(control.Execute("tag add hitag2 01020304"), "ok tag seen");
  EXPECT_EQ(control.Execute("frobnicate 3"), "error unknown command: frobnicate");
}

TEST(SimReader, FaultsShapeTheAnswer) {
  SimReader r;
  SimControl c(r);
  const Bytes plain = r.HandleFrame(Frame(SimFraming::kStxBcc, 1, 0xF0)).bytes;

  EXPECT_EQ(c.Execute("garbage AA 55"), "ok garbage 2");
  EXPECT_EQ(c.Execute("extra 0d0A"), "ok extra 2");
  EXPECT_EQ(c.Execute("delay 25"), "ok delay 25");
  SimReader::Reply rep = r.HandleFrame(Frame(SimFraming::kStxBcc, 1, 0xF0));
  Bytes expect = {0xAA, 0x55};
  expect.insert(expect.end(), plain.begin(), plain.end());
  expect.insert(expect.end(), {0x0D, 0x0A});
  EXPECT_EQ(rep.bytes, expect);
  EXPECT_EQ(rep.delayMs, 25u);
  EXPECT_EQ(c.Execute("reset-faults"), "ok reset-faults");

  // A counted fault applies to that many answers, then stops by itself.
  EXPECT_EQ(c.Execute("bad-check 1"), "ok bad-check 1");
  rep = r.HandleFrame(Frame(SimFraming::kCrc16, 1, 0xF0));
  const Bytes good = EncodeAnswer(SimFraming::kCrc16, 1, 0, {'2', '4', '3', 'A'});
  ASSERT_EQ(rep.bytes.size(), good.size());
  EXPECT_NE(rep.bytes, good);
  EXPECT_EQ(Bytes(rep.bytes.begin(), rep.bytes.end() - 1), Bytes(good.begin(), good.end() - 1));
  EXPECT_EQ(r.HandleFrame(Frame(SimFraming::kCrc16, 1, 0xF0)).bytes, good);

  EXPECT_EQ(c.Execute("silence 2"), "ok silence 2");
  EXPECT_TRUE(r.HandleFrame(Frame(SimFraming::kStxBcc, 1, 0xF0)).bytes.empty());
  EXPECT_TRUE(r.HandleFrame(Frame(SimFraming::kStxBcc, 1, 0xF0)).bytes.empty());
  EXPECT_FALSE(r.HandleFrame(Frame(SimFraming::kStxBcc, 1, 0xF0)).bytes.empty());
  EXPECT_EQ(c.Execute("silence on"), "ok silence on");
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(r.HandleFrame(Frame(SimFraming::kStxBcc, 1, 0xF0)).bytes.empty());
}

TEST(SimReader, TimingModelHoldsAnswersForWireAndAirTime) {
  FakeField field;
  field.radioMicros = 8000;
  SimReader r;
  r.SetHandler(&field);
  SimControl c(r);
  const SimCommandFrame uid = Frame(SimFraming::kCrc16, 1, 0xC0, {5, 0});
  EXPECT_EQ(r.HandleFrame(uid).holdMicros, 0u);  // off by default

  EXPECT_EQ(c.Execute("timing on"), "ok timing on");
  // 7 command bytes and 7 answer bytes, 10 bits each, at 19200 baud; then the air time.
  ASSERT_EQ(uid.raw.size(), 7u);
  EXPECT_EQ(r.HandleFrame(uid).holdMicros, 7291u + 8000u);
  // The host's line settings count: 9600 baud with parity and two stop bits (12 bits a byte).
  EXPECT_EQ(r.HandleFrame(uid, SimLine{9600, 12}).holdMicros, 17500u + 8000u);
  // The reader's own commands cost only the line (5 + 9 bytes).
  EXPECT_EQ(r.HandleFrame(Frame(SimFraming::kCrc16, 1, 0xF0)).holdMicros, 7291u);

  EXPECT_EQ(c.Execute("timing maybe").rfind("error", 0), 0u);
  EXPECT_EQ(c.Execute("timing off"), "ok timing off");
  EXPECT_EQ(r.HandleFrame(uid).holdMicros, 0u);
  EXPECT_EQ(RadioMicros(8, RadioOp::kWrite, 2), 44000u);  // EM4305, two blocks
  EXPECT_EQ(RadioMicros(7, RadioOp::kUid), 0u);
}

TEST(SimReader, ControlLinesRejectBadValues) {
  SimReader r;
  SimControl c(r);
  for (const char* line : {"delay", "delay -1", "delay 9999999", "delay 12x", "silence maybe", "bad-check -2",
                           "garbage", "garbage A", "garbage GG", "extra 1 2", "framing crc", "address 256",
                           "address -1", "reader-id 0x1FFFFFFFF"}) {
    EXPECT_EQ(c.Execute(line).rfind("error ", 0), 0u) << line;
  }
  EXPECT_EQ(c.Execute(""), "error empty command");
  EXPECT_EQ(c.Execute("  ping \r"), "ok pong");
  EXPECT_EQ(c.Execute("hangup"), "error nothing to hang up");
  EXPECT_EQ(c.Execute("address 0x10"), "ok address 16");
  EXPECT_EQ(r.Config().address, 16);
  EXPECT_FALSE(c.QuitRequested());
  EXPECT_EQ(c.Execute("quit"), "ok quit");
  EXPECT_TRUE(c.QuitRequested());
}

TEST(SimReader, HexParsing) {
  Bytes b;
  EXPECT_TRUE(ParseHexBytes("aa 55,0D", b));
  EXPECT_EQ(b, (Bytes{0xAA, 0x55, 0x0D}));
  EXPECT_FALSE(ParseHexBytes("a a", b));
  EXPECT_FALSE(ParseHexBytes("abc", b));
  EXPECT_TRUE(ParseHexBytes("", b));
  EXPECT_TRUE(b.empty());
}

TEST(SimReader, ServeBytesTracesAndAnswersEachFrame) {
  char path[] = "/tmp/tw-sim-trace-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  SimTrace trace;
  ASSERT_TRUE(trace.Open(path));
  SimReader r;
  r.SetTrace(&trace);
  SimFrameDecoder dec;
  std::vector<Bytes> sent;
  Bytes in = {0x02, 0x01, 0xF0, 0x00, 0xF1};
  const Bytes other = EncodeCommand(SimFraming::kStxBcc, 9, 0xF0, {});  // not our address
  in.insert(in.end(), other.begin(), other.end());
  r.ServeBytes(dec, in.data(), in.size(), [&](const Bytes& b) { sent.push_back(b); });
  ASSERT_EQ(sent.size(), 1u);
  std::ifstream f(path);
  std::string l1, l2, l3, l4;
  std::getline(f, l1);
  std::getline(f, l2);
  std::getline(f, l3);
  EXPECT_EQ(l1, "RX 02 01 F0 00 F1");
  EXPECT_EQ(l2, "TX 02 01 00 04 32 34 33 41 71");
  EXPECT_EQ(l3, "RX 02 09 F0 00 F9");
  EXPECT_FALSE(std::getline(f, l4));
  unlink(path);
}

}  // namespace
}  // namespace tw::sim
