// Password login (with the remembered password of the ATA5555 family and its protection test),
// password change, reset, block lock and the modulation functions.
#include <gtest/gtest.h>

#include <set>

#include "sdk/transponder_ops.h"
#include "tests/unit/xponder/fake_reader.h"

namespace tw::test {
namespace {

constexpr uint16_t kUnified = 0x03F3;
constexpr uint16_t kLegacy = 0x0073;
constexpr uint16_t kOldest = 0x0000;

using Cmds = std::vector<SentCommand>;

const Bytes kPw{0x11, 0x22, 0x33, 0x44};

Bytes With(Bytes head, const Bytes& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

TEST(XponderPasswordLogin, CommandsPerType) {
  struct Case {
    uint16_t capability;
    int typeWord;
    Cmds expected;
  } cases[] = {
      {kUnified, 6, {Cmd(0xC4, With({6, 2}, kPw))}},
      {kLegacy, 6, {Cmd(0x67, kPw)}},
      {kUnified, 7, {Cmd(0xC4, With({7, 2}, kPw))}},
      {kLegacy, 7, {Cmd(0x77, kPw)}},
      {kUnified, 8, {Cmd(0xC4, With({8, 2}, kPw))}},
      {kUnified, 19, {Cmd(0xC4, With({19, 2}, kPw))}},
      {kLegacy, 16, {Cmd(0xA7, kPw)}},
      {kUnified, 10, {Cmd(0xC4, With({10, 40, 0, 4}, kPw))}},
      {kLegacy, 10, {Cmd(0xB0, With({0, 40, 4}, kPw))}},
      {kUnified, 12, {Cmd(0xC4, With({12, 1}, kPw))}},
      {kUnified, 268, {Cmd(0xC4, With({12, 2}, kPw))}},
  };
  for (const Case& c : cases) {
    CQZ_RW_Port port;
    FakeReader reader(port, c.capability);
    ASSERT_TRUE(PasswordLogin(port, c.typeWord, kPw)) << c.typeWord;
    EXPECT_EQ(reader.Sent(), c.expected) << c.typeWord;
  }
  // Hitag µ refers to byte 5 of the identity given to LF_Authenticate, when there is one.
  CQZ_RW_Port port;
  FakeReader reader(port, kUnified);
  CMyByteArray answer;
  ASSERT_TRUE(Authenticate(port, 10, {1, 2, 3, 4, 5, 0x66}, answer));
  ASSERT_TRUE(PasswordLogin(port, 10, kPw));
  EXPECT_EQ(reader.Sent(), (Cmds{Cmd(0xC4, With({10, 40, 0, 0x66}, kPw))}));

  for (auto [cap, type] : {std::pair{kLegacy, 12}, {kUnified, 2}, {kLegacy, 5}}) {
    CQZ_RW_Port p;
    FakeReader r(p, cap);
    EXPECT_FALSE(PasswordLogin(p, type, kPw));
    EXPECT_EQ(p.LastError(), 24);
    EXPECT_TRUE(r.Sent().empty());
  }
}

// A tag of the ATA5555 family: blocks 0 and 2 as given, or refused (nullopt) without password.
FakeReader::Handler PlainReads(std::optional<Bytes> block0, std::optional<Bytes> block2) {
  return [=](const SentCommand& c) -> std::optional<Reply> {
    const uint8_t block = c.cmd == 0xC2 ? c.params.at(1) : c.params.at(0);
    const auto& b = block == 0 ? block0 : block2;
    return b ? Reply{0, *b} : Reply{0x82, {}};
  };
}

TEST(XponderPasswordLogin, RememberedPasswordAndProtectionTest) {
  struct Case {
    const char* what;
    std::optional<Bytes> block0, block2;
    bool success;
    int error;  // last error afterwards (starts at 0)
  } cases[] = {
      {"block 0 refused: password mode", std::nullopt, std::nullopt, true, 0x82},
      {"open tag: blocks differ", Bytes{1, 2, 3, 4}, Bytes{5, 6, 7, 8}, false, 0},
      {"open tag: block 2 refused", Bytes{1, 2, 3, 4}, std::nullopt, false, 0x82},
      {"block 0 short", Bytes{1, 2, 3}, Bytes{5, 6, 7, 8}, true, 21},
      {"same words twice", Bytes{1, 2, 3, 4}, Bytes{1, 2, 3, 4}, true, 21},
      {"block 2 short", Bytes{1, 2, 3, 4}, Bytes{5, 6}, true, 21},
  };
  for (const Case& c : cases) {
    // A unified reader hands over block answers as they come, also short ones.
    CQZ_RW_Port port;
    FakeReader reader(port, kUnified);
    reader.SetHandler(PlainReads(c.block0, c.block2));
    EXPECT_EQ(PasswordLogin(port, 9, kPw), c.success) << c.what;
    EXPECT_EQ(port.LastError(), c.error) << c.what;
    EXPECT_EQ(port.PasswordMode(), c.success) << c.what;
    EXPECT_EQ(port.RememberedPassword(), c.success ? kPw : Bytes{}) << c.what;
    EXPECT_EQ(reader.Sent()[0], Cmd(0xC2, {9, 0, 1})) << c.what;
  }
  // Only 4-byte passwords, and nothing is sent otherwise.
  CQZ_RW_Port port;
  FakeReader reader(port, kLegacy);
  EXPECT_FALSE(PasswordLogin(port, 3, {1, 2, 3}));
  EXPECT_TRUE(reader.Sent().empty());
  EXPECT_EQ(port.LastError(), 0);
}

TEST(XponderPasswordLogin, RememberedPasswordGoesWithEveryBlockCommand) {
  const Bytes pw{0x44, 0x33, 0x22, 0x11};   // 11223344h
  const Bytes data{0x78, 0x56, 0x34, 0x12};  // 12345678h
  struct Case {
    uint16_t capability;
    int type;
    Cmds expected;  // read block 1, write block 2 locked, write block 3
  } cases[] = {
      {kUnified, 9,
       {Cmd(0xC4, With({9, 3, 1}, pw)), Cmd(0xC4, With(With({9, 4, 0x82}, pw), data)),
        Cmd(0xC4, With(With({9, 4, 3}, pw), {5, 0, 0, 0}))}},
      {kLegacy, 13,
       {Cmd(0x33, With({1}, pw)), Cmd(0x30, With(With({0x82}, pw), data)),
        Cmd(0x30, With(With({3}, pw), {5, 0, 0, 0}))}},
      // 1 0 | password | 0 | block | 0 0   and   1 0 | password | lock | data | block | 0 0
      {kOldest, 3,
       {Cmd(0x33, {0x84, 0x48, 0x8C, 0xD1, 0x04}),
        Cmd(0x30, {0x84, 0x48, 0x8C, 0xD1, 0x22, 0x46, 0x8A, 0xCF, 0x08}),
        Cmd(0x30, {0x84, 0x48, 0x8C, 0xD1, 0x00, 0x00, 0x00, 0x00, 0xAC})}},
  };
  for (const Case& c : cases) {
    CQZ_RW_Port port;
    FakeReader reader(port, c.capability);
    port.SetRememberedPassword(pw);
    port.SetPasswordMode(true);
    reader.SetHandler([](const SentCommand&) { return Reply{0, {0xA1, 0xA2, 0xA3, 0xA4}}; });
    CMyByteArray out;
    ASSERT_TRUE(ReadBlocks(port, c.type | 0x400, 1, 4, out));
    // Never inverted here; on capability 0 the order is that of a plain read (reversed once).
    const Bytes expected = c.capability == kOldest ? Bytes{0xA4, 0xA3, 0xA2, 0xA1}
                                                   : Bytes{0xA1, 0xA2, 0xA3, 0xA4};
    EXPECT_EQ(out, expected);
    ASSERT_TRUE(WriteBlocks(port, c.type, 2, data, 1));
    ASSERT_TRUE(WriteBlocks(port, c.type, 3, {5}, 0));
    EXPECT_EQ(reader.Sent(), c.expected) << c.capability;
    EXPECT_FALSE(WriteBlocks(port, c.type, 3, data, 2));
    EXPECT_EQ(port.LastError(), 13);
    EXPECT_FALSE(ReadBlocks(port, c.type, 12, 4, out));
    EXPECT_EQ(port.LastError(), 12);
  }
}

TEST(XponderPasswordLogin, RememberedPasswordIsForgotten) {
  CQZ_RW_Port port;
  FakeReader reader(port, kLegacy);
  reader.SetHandler([](const SentCommand& c) -> std::optional<Reply> {
    return c.cmd == 0x32 ? Reply{0x82, {}} : Reply{};
  });
  ASSERT_TRUE(PasswordLogin(port, 9, kPw));
  ASSERT_TRUE(ResetTransponder(port, 9));
  EXPECT_FALSE(port.PasswordMode());
  EXPECT_TRUE(port.RememberedPassword().empty());

  ASSERT_TRUE(PasswordLogin(port, 9, kPw));
  EXPECT_FALSE(PasswordLogin(port, 9, {1}));  // wrong length: refused before anything changes
  EXPECT_TRUE(port.PasswordMode());
  // A new login starts by forgetting: the protection test reads without password.
  reader.Clear();
  ASSERT_TRUE(PasswordLogin(port, 9, {9, 9, 9, 9}));
  EXPECT_EQ(reader.Sent(), (Cmds{Cmd(0x32, {0})}));
  EXPECT_EQ(port.RememberedPassword(), (Bytes{9, 9, 9, 9}));
}

TEST(XponderChangeResetLock, Commands) {
  const Bytes newPw{5, 6, 7, 8};
  struct Case {
    uint16_t capability;
    std::function<bool(CQZ_RW_Port&)> call;
    Cmds expected;
  } cases[] = {
      {kUnified, [&](CQZ_RW_Port& p) { return ChangePassword(p, kPw, newPw); },
       {Cmd(0xC4, With(With({6, 3}, kPw), newPw))}},
      {kLegacy, [&](CQZ_RW_Port& p) { return ChangePassword(p, kPw, newPw); },
       {Cmd(0x60, With(kPw, newPw))}},
      {kUnified, [](CQZ_RW_Port& p) { return ResetTransponder(p, 21); }, {Cmd(0xC4, {21, 1})}},
      {kLegacy, [](CQZ_RW_Port& p) { return ResetTransponder(p, 3); }, {Cmd(0x36)}},
      {kUnified, [](CQZ_RW_Port& p) { return ResetTransponder(p, 6); }, {Cmd(0xC4, {6, 1})}},
      {kLegacy, [](CQZ_RW_Port& p) { return ResetTransponder(p, 6); }, {Cmd(0x66)}},
      {kUnified, [](CQZ_RW_Port& p) { return ResetTransponder(p, 8); },
       {Cmd(0xF5, {0}), Cmd(0xF5, {1})}},
      {kUnified, [](CQZ_RW_Port& p) { return LockBlock(p, 10, 200); }, {Cmd(0xC4, {10, 22, 0, 200})}},
      {kLegacy, [](CQZ_RW_Port& p) { return LockBlock(p, 10, 7); }, {Cmd(0xB0, {0, 22, 7})}},
  };
  for (const Case& c : cases) {
    CQZ_RW_Port port;
    FakeReader reader(port, c.capability);
    ASSERT_TRUE(c.call(port));
    EXPECT_EQ(reader.Sent(), c.expected);
  }

  CQZ_RW_Port port;
  FakeReader reader(port, kUnified);
  EXPECT_FALSE(ChangePassword(port, kPw, {1, 2, 3}));
  EXPECT_EQ(port.LastError(), 9);
  EXPECT_FALSE(LockBlock(port, 4, 7));
  EXPECT_EQ(port.LastError(), 24);
  EXPECT_FALSE(LockBlock(port, 10, 256));
  EXPECT_EQ(port.LastError(), 12);
  EXPECT_TRUE(reader.Sent().empty());
}

TEST(XponderChangeResetLock, Hitag2ResetSucceedsWithoutAnyAnswer) {
  CQZ_RW_Port port;
  FakeReader reader(port, kLegacy);
  reader.SetHandler([](const SentCommand&) { return std::nullopt; });
  EXPECT_TRUE(ResetTransponder(port, 2));
  EXPECT_EQ(reader.Sent(), (Cmds{Cmd(0xF5, {0}), Cmd(0xF5, {1})}));
}

TEST(XponderModulation, GetAndSet) {
  CQZ_RW_Port port;
  FakeReader reader(port, kUnified);
  reader.Script({Reply{0, {5}}, Reply{0x01, {}}});
  EXPECT_EQ(GetModulation(port), 5);
  EXPECT_EQ(GetModulation(port), -1);  // a failed query forgets the value
  EXPECT_EQ(reader.Sent(), (Cmds{Cmd(0xFC), Cmd(0xFC)}));

  reader.Clear();
  ASSERT_TRUE(SetModulation(port, 2));
  ASSERT_TRUE(SetModulation(port, 2));  // already set: nothing sent
  EXPECT_EQ(reader.Sent(), (Cmds{Cmd(0xFC, {2})}));
  EXPECT_EQ(port.ModulationCache(), 2);
  EXPECT_FALSE(SetModulation(port, 300));
  EXPECT_EQ(port.LastError(), 13);

  // Legacy reader with capability 40h: only 0 and 1 are sent; the cache answers queries.
  CQZ_RW_Port legacy;
  FakeReader legacyReader(legacy, kLegacy);
  ASSERT_TRUE(SetModulation(legacy, 2));
  ASSERT_TRUE(SetModulation(legacy, 1));
  EXPECT_EQ(GetModulation(legacy), 1);
  EXPECT_EQ(legacyReader.Sent(), (Cmds{Cmd(0xFC, {1})}));

  // A refused switch keeps the cache.
  legacyReader.Script({Reply{0x05, {}}});
  EXPECT_FALSE(SetModulation(legacy, 0));
  EXPECT_EQ(legacy.LastError(), 5);
  EXPECT_EQ(legacy.ModulationCache(), 1);
}

Bytes Word(uint32_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 24)};
}

TEST(XponderModulation, DetectionWalksTheCandidates) {
  // An ATA5555 configured for modulation 7 (6001F050h) that answers only there.
  CQZ_RW_Port port;
  FakeReader reader(port, kUnified, 3);  // 200h, firmware 3: no extended values
  port.SetModulationCache(-1);
  reader.SetHandler([&](const SentCommand& c) -> std::optional<Reply> {
    if (c.cmd == 0xFC) return Reply{};
    return reader.modulation == 7 ? Reply{0, Word(0x6001F050)} : Reply{0x80, {}};
  });
  EXPECT_EQ(DetectModulation(port, 3, 0), 7);
  EXPECT_EQ(reader.Sent(), (Cmds{Cmd(0xFC, {0}), Cmd(0xC2, {3, 0, 1}), Cmd(0xFC, {1}),
                                 Cmd(0xC2, {3, 0, 1}), Cmd(0xFC, {2}), Cmd(0xC2, {3, 0, 1}),
                                 Cmd(0xFC, {7}), Cmd(0xC2, {3, 0, 1})}));

  // The tag answers at every modulation but its configuration says 7: the check finds it.
  reader.Clear();
  reader.SetHandler([](const SentCommand& c) -> std::optional<Reply> {
    return c.cmd == 0xFC ? Reply{} : Reply{0, Word(0x6001F050)};
  });
  EXPECT_EQ(DetectModulation(port, 3, 1), 7);
  EXPECT_EQ(reader.Sent().front(), Cmd(0xFC, {1}));

  // Nothing matches: the walk comes back to its start and gives up.
  reader.Clear();
  reader.SetHandler([](const SentCommand& c) -> std::optional<Reply> {
    return c.cmd == 0xFC ? Reply{} : Reply{0, Word(0)};
  });
  EXPECT_EQ(DetectModulation(port, 9, 0), -1);
  EXPECT_EQ(reader.Sent().size(), 12u);  // 0, 1, 2, 7, 5, 6

  // A start the reader cannot use begins the walk at the normalised value (5 -> 0 without 200h).
  CQZ_RW_Port basic;
  FakeReader basicReader(basic, 0x01F3);
  basicReader.SetHandler([&](const SentCommand& c) -> std::optional<Reply> {
    if (c.cmd == 0xFC) return Reply{};
    return basicReader.modulation == 1 ? Reply{0, Word(0x000A0000)} : Reply{0x80, {}};
  });
  EXPECT_EQ(DetectModulation(basic, 8, 5), 1);
  EXPECT_EQ(basicReader.Sent().front(), Cmd(0xFC, {0}));
}

TEST(XponderModulation, DetectionTriesEachCandidateOnceFromEveryStart) {
  // No tag in the field. Readers lacking some modulations fold the sequence back to 0 before it
  // comes round to the start again (052A with 134 once walked 0, 1, 0, 1 ... for ever).
  for (const auto& [cap, firmware] : {std::pair<uint16_t, uint8_t>{0x0303, 10}, {0x03F3, 3},
                                      {0x07F3, 61}, {0x01F3, 9}, {kLegacy, 14}, {kOldest, 0}}) {
    for (const int type : {3, 7, 8, 9, 11, 13, 16, 17, 18, 19, 21}) {
      for (int start = 0; start <= 134; start = start == 6 ? 128 : start + 1) {
        CQZ_RW_Port port;
        FakeReader reader(port, cap, firmware);
        reader.SetHandler([](const SentCommand& c) -> std::optional<Reply> {
          return c.cmd == 0xFC ? Reply{} : Reply{0x80, {}};
        });
        EXPECT_EQ(DetectModulation(port, type, start), -1);
        EXPECT_EQ(port.LastError(), 0x80) << "the reads' own reason";
        std::set<Bytes> switched;
        size_t reads = 0;
        for (const SentCommand& c : reader.Sent()) {
          if (c.cmd != 0xFC) ++reads;
          else EXPECT_TRUE(switched.insert(c.params).second) << type << "/" << start;
        }
        EXPECT_LE(reads, 11u) << "cap " << cap << " type " << type << " start " << start;
      }
    }
  }
}

TEST(XponderModulation, DetectionShortcuts) {
  CQZ_RW_Port port;
  FakeReader reader(port, kUnified);
  EXPECT_EQ(DetectModulation(port, 3, 7), -1);  // only 0-6 and 128-134 start a detection
  EXPECT_EQ(DetectModulation(port, 3, 135), -1);
  EXPECT_EQ(DetectModulation(port, 2, 5), 5);
  EXPECT_EQ(DetectModulation(port, 15, 130), 130);
  EXPECT_EQ(DetectModulation(port, 20, 0), 1);
  EXPECT_EQ(DetectModulation(port, 35, 0), 3);
  EXPECT_EQ(DetectModulation(port, 1, 0), -1);
  EXPECT_TRUE(reader.Sent().empty());
}

}  // namespace
}  // namespace tw::test
