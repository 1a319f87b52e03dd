// The configuration after writing against the simulator's tag models, which enforce passwords,
// locks, protection ranges and modulation as the chips do.
#include "engine_sim.h"
#include "job/value_encoding.h"

namespace tw::test {
namespace {

// Unified write commands (C3h) to one block of a type, in order, with their data bytes.
std::vector<std::vector<int>> WritesTo(const std::vector<TracedCommand>& cmds, int type, int block) {
  std::vector<std::vector<int>> out;
  for (const auto& c : cmds)
    if (c.cmd == 0xC3 && c.params.size() >= 2 && c.params[0] == type &&
        (c.params[1] & 0x7F) == (block & 0x7F) && (type != kTypeHitagMu || c.params[1] == block))
      out.emplace_back(c.params.begin() + 2, c.params.end());
  return out;
}

TEST_F(EngineSimTest, Em4450ProtectionLeftAloneOrClearedFirst) {
  job = DefaultJob(kTypeEm4450);
  job.writeProtectFirst = 3;
  job.writeProtectLast = 10;
  job.valueText = "12";
  job.startBlock = 12;
  Ctl("tag add em4450 E1000001 mem 1=0A030000");
  sim.ClearTrace();
  engine.OnWriteSingle();
  EXPECT_EQ(Ids(), (std::vector<int>{kMsgWriteDone}));
  // The word holds the job's ranges already: neither cleared nor written again.
  EXPECT_TRUE(WritesTo(Commands(), kTypeEm4450, 1).empty());
  auto mem = Dump();
  EXPECT_EQ(mem[12], 12u);
  EXPECT_EQ(mem[1], 0x0A030000u);

  // Blocks 8-9 lie in the inhibited range: the word is cleared before the data go out.
  view.Clear();
  job.startBlock = 8;
  job.byteCount = 8;
  Ctl("tag add em4450 E1000002 mem 1=0A030000");
  sim.ClearTrace();
  engine.OnWriteSingle();
  EXPECT_EQ(Ids(), (std::vector<int>{kMsgWriteDone}));
  const auto writes = WritesTo(Commands(), kTypeEm4450, 1);
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0], (std::vector<int>{0, 0, 0, 0}));
  mem = Dump();
  EXPECT_EQ(mem[8], 13u);
  EXPECT_EQ(mem[1], 0x0A030000u);
}

TEST_F(EngineSimTest, Em4450FactoryTagGetsJobPassword) {
  job = DefaultJob(kTypeEm4450);
  job.passwordActive = 1;
  job.password = "11223344";
  job.valueText = "5";
  Ctl("tag add em4450 E2000001");
  engine.OnWriteSingle();
  EXPECT_EQ(Ids(), (std::vector<int>{kMsgWriteDone}));  // the check with the new password passed
  auto mem = Dump();
  EXPECT_EQ(mem[0], 0x11223344u);
  EXPECT_TRUE(mem[2] & 0x00010000u);

  // Now the job's password is the tag's: the next write logs in with it at once.
  view.Clear();
  sim.ClearTrace();
  engine.OnWriteSingle();
  EXPECT_EQ(Ids(), (std::vector<int>{kMsgWriteDone}));
  EXPECT_EQ(Dump()[3], 6u);
}

TEST_F(EngineSimTest, Ata5577PasswordModeAndModulation) {
  job = DefaultJob(kTypeAta5577);
  job.passwordActive = 1;
  job.password = "11223344";
  job.modulation = 2;  // Diff. Biphase(RF/64), reader code 6
  job.valueText = "77";
  Ctl("tag add ata5577 010215E0A9000009");
  sim.ClearTrace();
  engine.OnWriteSingle();
  EXPECT_EQ(Ids(), (std::vector<int>{kMsgWriteDone}));
  auto mem = Dump();
  EXPECT_EQ(mem[1], 77u);
  EXPECT_EQ(mem[7], 0x11223344u);
  EXPECT_EQ(mem[0] & 0x00FFF210u, 0x007F8000u | 0x210u);

  // The reader was switched to code 6 before the configuration word went out.
  const auto cmds = Commands();
  int setMod = -1, config = -1;
  for (int i = 0; i < static_cast<int>(cmds.size()); ++i) {
    const auto& c = cmds[i];
    if (c.cmd == 0xFC && c.params == std::vector<int>{6} && setMod < 0) setMod = i;
    if (c.cmd == 0xC4 && c.params.size() >= 3 && c.params[0] == kTypeAta5577 && c.params[1] == 4 &&
        (c.params[2] & 0x7F) == 0)
      config = i;
    if (c.cmd == 0xC3 && c.params.size() >= 2 && c.params[0] == kTypeAta5577 && c.params[1] == 0)
      config = i;
  }
  ASSERT_GE(setMod, 0);
  ASSERT_GE(config, 0);
  EXPECT_LT(setMod, config);

  // Read with the password works; without it the tag does not give its data.
  job.valueText.clear();
  engine.OnReadSingle();
  EXPECT_EQ(job.valueText, "77");
  job.passwordActive = 0;
  view.Clear();
  engine.OnReadSingle();
  EXPECT_EQ(view.values.back(), "");
}

TEST_F(EngineSimTest, HitagSSwitchedToAuthenticationModeAndLocked) {
  job = DefaultJob(kTypeHitagS);
  job.authMode = 1;
  job.authKey = "A1A2A3A4A5A6";
  job.tagPassword = "B1B2B3";
  job.lockUsedBlocks = 1;
  job.startBlock = 10;
  job.byteCount = 32;  // blocks 10-17
  job.numberFormat = kFormatHex;
  job.valueText = "1";
  Ctl("tag add hitags 4A000001");
  sim.ClearTrace();
  engine.OnWriteSingle();
  EXPECT_EQ(Ids(), (std::vector<int>{kMsgWriteDone}));  // the check logged in with the key
  auto mem = Dump();
  EXPECT_EQ(mem[10], 1u);
  EXPECT_TRUE((mem[1] >> 8) & 0x80u);
  EXPECT_EQ((mem[1] >> 16) & 0xFFu, 0x38u);
  int keyLogins = 0;
  for (const auto& c : Commands())
    keyLogins += c.cmd == 0xC4 && c.params.size() >= 2 && c.params[0] == 4 && c.params[1] == 1;
  EXPECT_EQ(keyLogins, 1);

  // The written blocks are locked now.
  view.Clear();
  job.lockUsedBlocks = 0;
  engine.WriteStep(false);
  EXPECT_FALSE(HasMessage(kMsgWriteDone));
  EXPECT_EQ(Dump()[10], 1u);

  // A read with a wrong key cannot log in.
  view.Clear();
  job.authKey = "000000000000";
  engine.OnReadSingle();
  EXPECT_TRUE(HasMessage(242));
  EXPECT_EQ(view.values.back(), "");
}

TEST_F(EngineSimTest, Hitag2FactoryTagTakesJobPasswords) {
  job = DefaultJob(kTypeHitag2);
  job.password = "01020304";
  job.tagPassword = "0A0B0C";
  job.valueText = "21";
  Ctl("tag add hitag2 A2000004");
  engine.OnWriteSingle();
  EXPECT_EQ(Ids(), (std::vector<int>{kMsgWriteDone}));
  auto mem = Dump();
  EXPECT_EQ(mem[1], 0x01020304u);
  EXPECT_EQ(mem[3], 0x060A0B0Cu);
  EXPECT_EQ(mem[4], 21u);
  // Next time the factory password fails and the job's is used.
  view.Clear();
  engine.OnWriteSingle();
  EXPECT_EQ(Ids(), (std::vector<int>{kMsgWriteDone}));
  EXPECT_EQ(Dump()[4], 22u);
}

TEST_F(EngineSimTest, Sic7888PasswordProtectionSwitchedOn) {
  job = DefaultJob(kTypeSic7888);
  job.passwordActive = 1;
  job.readWithPassword = 1;
  job.password = "11223344";
  job.tagPassword = "55667788";
  job.valueText = "31";
  Ctl("tag add sic7888 AC00000D");
  // Blocks 2 and 3 receive the passwords: data there would be overwritten, so the job is refused.
  sim.ClearTrace();
  engine.OnWriteSingle();
  EXPECT_EQ(Ids(), (std::vector<int>{kMsgDataInPasswordBlocks}));
  EXPECT_TRUE(Commands().empty());

  view.Clear();
  job.startBlock = 4;
  engine.OnWriteSingle();
  EXPECT_EQ(Ids(), (std::vector<int>{kMsgWriteDone}));
  auto mem = Dump();
  EXPECT_EQ(mem[4], 31u);
  EXPECT_EQ(mem[2], 0x11223344u);
  EXPECT_EQ(mem[3], 0x55667788u);
  EXPECT_TRUE((mem[1] >> 8) & 0x80u);
  job.valueText.clear();
  engine.OnReadSingle();
  EXPECT_EQ(job.valueText, "31") << (view.lines.empty() ? "" : view.lines.back());
  // A wrong write password cannot log in.
  view.Clear();
  job.password = "99999999";
  engine.OnReadSingle();
  EXPECT_EQ(Ids(), (std::vector<int>{242}));
}

TEST_F(EngineSimTest, Hitag2WrongPasswordGives242) {
  job = DefaultJob(kTypeHitag2);
  job.password = "0A0B0C0D";
  Ctl("tag add hitag2 A2000003 protected 01020304");
  engine.OnReadSingle();
  EXPECT_EQ(Ids(), (std::vector<int>{242}));
  EXPECT_EQ(view.values.back(), "");
  view.Clear();
  job.password = "01020304";
  engine.OnReadSingle();
  EXPECT_TRUE(view.messages.empty());
  EXPECT_EQ(job.valueText, "0");
}

TEST_F(EngineSimTest, Em4305LockWordReplaced) {
  job = DefaultJob(kTypeEm4305);
  job.lockUsedBlocks = 1;
  job.byteCount = 8;  // blocks 5-6
  job.valueText = "9";
  Ctl("tag add em4305 A8000009 mem 14=00008080");
  sim.ClearTrace();
  engine.OnWriteSingle();
  EXPECT_EQ(Ids(), (std::vector<int>{kMsgWriteDone}));
  std::vector<std::vector<int>> protectWrites;
  for (const auto& c : Commands())
    if (c.cmd == 0xC4 && c.params.size() == 6 && c.params[0] == kTypeEm4305 && c.params[1] == 3)
      protectWrites.emplace_back(c.params.begin() + 2, c.params.end());
  EXPECT_EQ(protectWrites, (std::vector<std::vector<int>>{{0x60, 0, 0, 0}}));
  EXPECT_EQ(Dump()[5], 9u);

  // Fresh tags switched to the job's modulation one after another: the tag before has left the
  // reader at the job's modulation, the new tag answers in its factory one until its word is
  // written, and its protection word is then read in the new one.
  job.modulation = 1;  // Manchester RF/32, reader code 5
  for (const char* uid : {"A800000A", "A800000B"}) {
    view.Clear();
    Ctl(std::string("tag add em4305 ") + uid);
    engine.OnWriteSingle();
    EXPECT_EQ(Ids(), (std::vector<int>{kMsgWriteDone})) << uid;
    const auto mem = Dump();
    EXPECT_EQ(mem.at(4) & 0x3FFu, 0x4Fu) << uid;
    EXPECT_EQ(mem.at(14) & 0x7FFFu, 0x60u) << uid;
  }
}

TEST_F(EngineSimTest, HitagMuCleanTagWithoutPasswordNoConfigurationWrite) {
  job = DefaultJob(kTypeHitagMu);
  job.valueText = "3";
  Ctl("tag add hitagmu A10000000011");
  sim.ClearTrace();
  engine.OnWriteSingle();
  EXPECT_EQ(Ids(), (std::vector<int>{kMsgWriteDone}));
  EXPECT_TRUE(WritesTo(Commands(), kTypeHitagMu, 255).empty());

  // With the password: the tag is protected, and the check logs in with the job's password.
  view.Clear();
  job.passwordActive = 1;
  job.password = "11223344";
  engine.OnWriteSingle();
  EXPECT_EQ(Ids(), (std::vector<int>{kMsgWriteDone}));
  EXPECT_TRUE(Dump()[255] & 0x08u);
}

}  // namespace
}  // namespace tw::test
