// UID reads (both generations, the modulation search, the ATA5555 identity frame) and the
// authentication commands.
#include <gtest/gtest.h>

#include "sdk/transponder_ops.h"
#include "sdk/unique_daten.h"
#include "tests/unit/xponder/fake_reader.h"

namespace tw::test {
namespace {

constexpr uint16_t kUnified = 0x03F3;
constexpr uint16_t kLegacy = 0x0073;
constexpr uint16_t kOldest = 0x0000;

using Cmds = std::vector<SentCommand>;

const Bytes kUid{0x11, 0x22, 0x33, 0x44};

TEST(XponderReadUid, UnifiedSendsTypeAndSelectorAndStoresTheAnswer) {
  CQZ_RW_Port port;
  FakeReader reader(port, kUnified);
  reader.Script({Reply{0, {1, 2, 3, 4, 5, 6}}});
  CMyByteArray uid;
  ASSERT_TRUE(ReadUid(port, 10, uid, 3));
  EXPECT_EQ(reader.Sent(), (Cmds{Cmd(0xC0, {10, 3})}));
  EXPECT_EQ(reader.Sent()[0].timeoutMs, 1000u);  // raised for this transaction only
  EXPECT_EQ(port.Timeout(), 30u);
  EXPECT_EQ(uid, (Bytes{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(port.IdentityBytes(), uid);
}

TEST(XponderReadUid, LegacyCommandsPerType) {
  struct Case {
    uint16_t capability;
    int type;
    Cmds expected;
    Bytes uid;
  } cases[] = {
      {kLegacy, 2, {Cmd(0x28)}, kUid},
      {kOldest, 2, {Cmd(0x28)}, {0x44, 0x33, 0x22, 0x11}},  // reversed
      {kLegacy, 4, {Cmd(0x48)}, kUid},
      {kLegacy, 12, {Cmd(0x48)}, kUid},
      {kOldest, 5, {Cmd(0x58)}, kUid},
      {kLegacy, 6, {Cmd(0x62, {32})}, kUid},
      {kOldest, 6, {Cmd(0x62, {32})}, {0x44, 0x33, 0x22, 0x11}},
      {kLegacy, 10, {Cmd(0xB0, {0, 2})}, kUid},
      {kLegacy, 7, {Cmd(0x72, {1})}, kUid},  // probe at the reader's modulation
      {kLegacy, 18, {Cmd(0x02, {1})}, kUid},
  };
  for (const Case& c : cases) {
    CQZ_RW_Port port;
    FakeReader reader(port, c.capability);
    reader.SetHandler([](const SentCommand&) { return Reply{0, kUid}; });
    CMyByteArray uid;
    ASSERT_TRUE(ReadUid(port, c.type, uid)) << c.type;
    EXPECT_EQ(reader.Sent(), c.expected) << c.type;
    EXPECT_EQ(uid, c.uid) << c.type;
  }
  // Only Hitag µ keeps a legacy UID as identity bytes.
  CQZ_RW_Port port;
  FakeReader reader(port, kLegacy);
  reader.SetHandler([](const SentCommand&) { return Reply{0, kUid}; });
  CMyByteArray uid;
  ASSERT_TRUE(ReadUid(port, 5, uid));
  EXPECT_TRUE(port.IdentityBytes().empty());
  ASSERT_TRUE(ReadUid(port, 10, uid));
  EXPECT_EQ(port.IdentityBytes(), kUid);
  EXPECT_FALSE(ReadUid(port, 11, uid));
  EXPECT_EQ(port.LastError(), 24);
}

TEST(XponderReadUid, Ata5555IdentityFramePaths) {
  const Bytes identity{0x89, 0x67, 0x45, 0x23, 0x01};
  const Bytes frame = CUniqueDaten(identity).FrameBytes();
  // Older readers hand over the raw frame (34h), decoded here.
  {
    CQZ_RW_Port port;
    FakeReader reader(port, kOldest);
    port.SetPasswordMode(true);
    port.SetRememberedPassword({1, 2, 3, 4});
    reader.Script({Reply{}, Reply{0, frame}});
    CMyByteArray uid;
    ASSERT_TRUE(ReadUid(port, 3, uid));
    EXPECT_EQ(reader.Sent(), (Cmds{Cmd(0x39), Cmd(0x34)}));
    EXPECT_EQ(uid, identity);
    EXPECT_FALSE(port.PasswordMode());  // reading the identity forgets the password
    EXPECT_TRUE(port.RememberedPassword().empty());
  }
  // Capability bit 02h: command 10h, the answer as it is.
  {
    CQZ_RW_Port port;
    FakeReader reader(port, kLegacy);
    reader.Script({Reply{}, Reply{0, identity}});
    CMyByteArray uid;
    ASSERT_TRUE(ReadUid(port, 3, uid));
    EXPECT_EQ(reader.Sent(), (Cmds{Cmd(0x39), Cmd(0x10)}));
    EXPECT_EQ(uid, identity);
  }
  // Unified: preparation C4h [3, 5], frame C5h [0, 1].
  {
    CQZ_RW_Port port;
    FakeReader reader(port, kUnified);
    reader.Script({Reply{}, Reply{0, identity}});
    CMyByteArray uid;
    ASSERT_TRUE(ReadIdentityFrame(port, uid));
    EXPECT_EQ(reader.Sent(), (Cmds{Cmd(0xC4, {3, 5}), Cmd(0xC5, {0, 1})}));
    EXPECT_EQ(uid, identity);
  }
  // A frame whose stop bit is 1 does not decode.
  {
    CQZ_RW_Port port;
    FakeReader reader(port, kOldest);
    Bytes bad = frame;
    bad[7] |= 1;
    reader.Script({Reply{}, Reply{0, bad}});
    CMyByteArray uid;
    EXPECT_FALSE(ReadUid(port, 3, uid));
    EXPECT_TRUE(uid.empty());
    EXPECT_EQ(port.LastError(), 21) << "the failure names its own cause";
  }
  // A preparation that fails still ends the password session.
  {
    CQZ_RW_Port port;
    FakeReader reader(port, kLegacy);
    port.SetPasswordMode(true);
    port.SetRememberedPassword({1, 2, 3, 4});
    reader.Script({Reply{0x83, {}}});
    CMyByteArray uid;
    EXPECT_FALSE(ReadUid(port, 3, uid));
    EXPECT_EQ(port.LastError(), 0x83);
    EXPECT_FALSE(port.PasswordMode());
  }
}

TEST(XponderReadUid, ModulationSearchWalksCandidatesFromTheCache) {
  // EM4305 answering only at modulation 1; the reader switches 0 and 1 (capability 40h).
  CQZ_RW_Port port;
  FakeReader reader(port, kLegacy);
  port.SetModulationCache(0);
  reader.SetHandler([&](const SentCommand& c) -> std::optional<Reply> {
    if (c.cmd == 0xFC) return Reply{};
    if (reader.modulation == 1) return Reply{0, kUid};
    return Reply{0x80, {}};
  });
  CMyByteArray uid;
  ASSERT_TRUE(ReadUid(port, 8, uid));
  EXPECT_EQ(reader.Sent(), (Cmds{Cmd(0xA2, {1}), Cmd(0xFC, {1}), Cmd(0xA2, {1})}));
  EXPECT_EQ(port.ModulationCache(), 1);
  EXPECT_EQ(uid, kUid);

  // From 1 the search goes on to 0 and stops when it comes back to 1.
  reader.Clear();
  reader.SetHandler([](const SentCommand& c) -> std::optional<Reply> {
    return c.cmd == 0xFC ? Reply{} : Reply{0x80, {}};
  });
  EXPECT_FALSE(ReadUid(port, 8, uid));
  EXPECT_EQ(reader.Sent(), (Cmds{Cmd(0xA2, {1}), Cmd(0xFC, {0}), Cmd(0xA2, {1})}));
  EXPECT_EQ(port.LastError(), 0x80);

  // An unknown modulation (-1) has no candidates: one probe only.
  CQZ_RW_Port fresh;
  FakeReader freshReader(fresh, kLegacy);
  freshReader.SetHandler([](const SentCommand&) { return Reply{0x80, {}}; });
  EXPECT_FALSE(ReadUid(fresh, 16, uid));
  EXPECT_EQ(freshReader.Sent(), (Cmds{Cmd(0x02, {1})}));
}

TEST(XponderReadUid, Ata5577TraceDataProbe) {
  CQZ_RW_Port port;
  FakeReader reader(port, kLegacy);
  reader.SetHandler([](const SentCommand& c) -> std::optional<Reply> {
    if (c.cmd != 0x32) return Reply{};
    if (c.params[0] == 9) return Reply{0, {0xA0, 0xA1, 0x15, 0xE0}};
    return Reply{0, {0xB0, 0xB1, 0xB2, 0xB3}};
  });
  CMyByteArray uid;
  ASSERT_TRUE(ReadUid(port, 9, uid));
  EXPECT_EQ(reader.Sent(), (Cmds{Cmd(0x32, {9}), Cmd(0x32, {10})}));
  EXPECT_EQ(uid, (Bytes{0xB0, 0xB1, 0xB2, 0xB3, 0xA0, 0xA1}));

  // Trace data without the E0h 15h marks do not count, and say so rather than leave an older code.
  reader.SetHandler([](const SentCommand& c) -> std::optional<Reply> {
    return c.cmd == 0x32 ? Reply{0, {0, 0, 0, 0}} : Reply{};
  });
  port.SetLastError(8);
  EXPECT_FALSE(ReadUid(port, 9, uid));
  EXPECT_EQ(port.LastError(), 21);

  // A cache the reader cannot switch back to (134 on a reader without the extended values) once
  // walked 0, 1, 0, 1 ... for ever; each candidate is probed once.
  reader.Clear();
  port.SetModulationCache(134);
  EXPECT_FALSE(ReadUid(port, 9, uid));
  EXPECT_LE(reader.Sent().size(), 12u);
}

TEST(XponderAuthenticate, CommandsPerGeneration) {
  const Bytes pw{0x4D, 0x49, 0x4B, 0x52};
  struct Case {
    uint16_t capability;
    int type;
    Cmds expected;
    Bytes answer;
  } cases[] = {
      {kUnified, 2, {Cmd(0xC1, {2, 0x4D, 0x49, 0x4B, 0x52})}, kUid},
      {kUnified, 4, {Cmd(0xC1, {4, 0x4D, 0x49, 0x4B, 0x52})}, kUid},
      {kLegacy, 2, {Cmd(0x29, pw)}, kUid},
      {kOldest, 2, {Cmd(0x29, pw)}, {0x44, 0x33, 0x22, 0x11}},
      {kLegacy, 4, {Cmd(0x49, pw)}, kUid},
      {kLegacy, 12, {Cmd(0x49, pw)}, kUid},
      {kLegacy, 5, {Cmd(0x59, pw)}, kUid},
  };
  for (const Case& c : cases) {
    CQZ_RW_Port port;
    FakeReader reader(port, c.capability);
    reader.SetHandler([](const SentCommand&) { return Reply{0, kUid}; });
    CMyByteArray answer;
    ASSERT_TRUE(Authenticate(port, c.type, pw, answer));
    EXPECT_EQ(reader.Sent(), c.expected);
    EXPECT_EQ(answer, c.answer);
    if (c.capability == kUnified) {
      EXPECT_EQ(reader.Sent()[0].timeoutMs, 2000u);
    }
  }
  // Hitag µ: the bytes are stored, nothing is sent; other legacy types are not supported.
  for (uint16_t cap : {kUnified, kLegacy}) {
    CQZ_RW_Port port;
    FakeReader reader(port, cap);
    CMyByteArray answer;
    ASSERT_TRUE(Authenticate(port, 10, {1, 2, 3, 4, 5, 6, 7}, answer));
    EXPECT_TRUE(reader.Sent().empty());
    EXPECT_EQ(port.IdentityBytes(), (Bytes{1, 2, 3, 4, 5, 6, 7}));
  }
  CQZ_RW_Port port;
  FakeReader reader(port, kLegacy);
  CMyByteArray answer;
  EXPECT_FALSE(Authenticate(port, 8, pw, answer));
  EXPECT_EQ(port.LastError(), 24);
}

TEST(XponderAuthenticate, KeyAndPasswordUidAreFixedLength) {
  CQZ_RW_Port port;
  FakeReader reader(port, kUnified);
  CMyByteArray answer;
  ASSERT_TRUE(KeyAuthenticate(port, 4, {1, 2, 3}, answer));
  ASSERT_TRUE(KeyAuthenticate(port, 4, {1, 2, 3, 4, 5, 6, 7, 8}, answer));
  ASSERT_TRUE(ReadUidWithPassword(port, 9, {9, 8}, answer));
  EXPECT_EQ(reader.Sent(), (Cmds{Cmd(0xC4, {4, 1, 1, 2, 3, 0, 0, 0}),
                                 Cmd(0xC4, {4, 1, 1, 2, 3, 4, 5, 6}),
                                 Cmd(0xC4, {9, 6, 9, 8, 0, 0})}));
}

}  // namespace
}  // namespace tw::test
