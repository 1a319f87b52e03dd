// The transponder functions against tagwright-sim over a pseudo-terminal, per type and reader
// generation: UID, block writes with read-back, logins, password change, locks, read-back failure,
// modulation detection.
#include <gtest/gtest.h>

#include "tests/integration/xponder/sim_reader.h"

namespace tw::test {
namespace {

const Bytes kData{0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE,
                  0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
// The simulator reads password text like the job: "11223344" is the word 11223344h.
const char* const kPwText = "11223344";
const Bytes kPw{0x44, 0x33, 0x22, 0x11};

struct TypeCase {
  const char* name;
  int type;
  std::string tag;   // "tag add" arguments
  Bytes uid;         // as LF_ReadUid returns it on a unified reader
  Bytes legacyUid;   // on a legacy reader (empty: the same)
  int dataBlock;
  // Hitag 2: authenticate with the password; Hitag 1, Hitag S, SIC7888: select by UID.
  enum { kNone, kPassword, kSelect } login = kNone;
};

const TypeCase kTypes[] = {
    {"Hitag1", 5, "hitag1 A1B2C3D4", {0xA1, 0xB2, 0xC3, 0xD4}, {}, 16, TypeCase::kSelect},
    {"Hitag2", 2, std::string("hitag2 A1B2C3D4 protected ") + kPwText, {0xA1, 0xB2, 0xC3, 0xD4}, {}, 4,
     TypeCase::kPassword},
    {"HitagS", 4, "hitags A1B2C3D4", {0xA1, 0xB2, 0xC3, 0xD4}, {}, 4, TypeCase::kSelect},
    {"HitagMu", 10, "hitagmu A1B2C3D4E5F6", {0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6}, {}, 0},
    {"Ata5555", 3, "q5 0102030405", {0x01, 0x02, 0x03, 0x04, 0x05}, {}, 1},
    // Configured for modulation 0, which a legacy reader can switch to.
    {"Ata5577", 9, "ata5577 AABB15E011223344 mem 0=00148000",
     {0xAA, 0xBB, 0x15, 0xE0, 0x11, 0x22, 0x33, 0x44}, {0x11, 0x22, 0x33, 0x44, 0xAA, 0xBB}, 1},
    {"Em4305", 8, "em4305 A1B2C3D4", {0xA1, 0xB2, 0xC3, 0xD4}, {}, 5},
    {"Em4450", 6, "em4450 A1B2C3D4", {0xA1, 0xB2, 0xC3, 0xD4}, {}, 3},
    {"Sic7888", 12, "sic7888 A1B2C3D4", {0xA1, 0xB2, 0xC3, 0xD4}, {}, 4, TypeCase::kSelect},
};

class PerType : public ::testing::TestWithParam<std::tuple<Generation, TypeCase>> {};

TEST_P(PerType, UidWriteWithReadBackAndRead) {
  const auto& [gen, t] = GetParam();
  SimReader r(gen);
  ASSERT_GT(r.handle(), 0);
  ASSERT_TRUE(r.AddTag(t.tag));

  const Bytes uid = r.ReadUid(t.type);
  const bool unified = gen.capability & 0x100;
  EXPECT_EQ(uid, unified || t.legacyUid.empty() ? t.uid : t.legacyUid) << "error " << r.Error();
  if (t.login != TypeCase::kNone) {
    ASSERT_GE(r.Authenticate(t.type, t.login == TypeCase::kPassword ? kPw : uid), 0) << r.Error();
  }

  ASSERT_EQ(r.Write(t.type | 0x100, t.dataBlock, kData), 0) << "error " << r.Error();
  Bytes back;
  ASSERT_EQ(r.Read(t.type, t.dataBlock, 16, back), 16) << "error " << r.Error();
  EXPECT_EQ(back, kData);

  // Six bytes write two blocks, the second padded with zeros; the read-back compares the six.
  const Bytes six{1, 2, 3, 4, 5, 6};
  ASSERT_EQ(r.Write(t.type | 0x100, t.dataBlock, six), 0) << "error " << r.Error();
  ASSERT_EQ(r.Read(t.type, t.dataBlock, 8, back), 8);
  EXPECT_EQ(back, (Bytes{1, 2, 3, 4, 5, 6, 0, 0}));

  // Out of range before anything is sent.
  r.TakeTransactions();
  EXPECT_EQ(r.Read(t.type, 256, 4, back), -1);
  EXPECT_EQ(r.Error(), 12);
  EXPECT_EQ(r.TakeTransactions(), 0);

  // Without a tag the reader answers with its status.
  r.Control("tag remove");
  EXPECT_TRUE(r.ReadUid(t.type).empty());
  EXPECT_NE(r.Error(), 0);
}

INSTANTIATE_TEST_SUITE_P(Xponder, PerType,
                         ::testing::Combine(::testing::Values(kUnified, kLegacy),
                                            ::testing::ValuesIn(kTypes)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  std::get<1>(info.param).name;
                         });

class PerGeneration : public ::testing::TestWithParam<Generation> {};

TEST_P(PerGeneration, AtaPasswordModeIsRememberedAndUsed) {
  SimReader r(GetParam());
  ASSERT_GT(r.handle(), 0);
  for (const auto& [type, tag] : {std::pair{9, std::string("ata5577 AABB15E011223344 mem 0=00148000")},
                                  {3, std::string("q5 0102030405")}}) {
    ASSERT_TRUE(r.AddTag(tag + " protected " + kPwText));
    r.ReadUid(type);
    EXPECT_EQ(r.Login(type, kPw), 0) << type << " error " << r.Error();
    ASSERT_EQ(r.Write(type | 0x100, 1, kData), 0) << type << " error " << r.Error();
    Bytes back;
    ASSERT_EQ(r.Read(type, 1, 16, back), 16) << type << " error " << r.Error();
    EXPECT_EQ(back, kData);
    // A reset forgets the password: the tag no longer answers reads.
    ASSERT_EQ(LF_ResetTransponder(r.handle(), type), 0);
    EXPECT_EQ(r.Read(type, 1, 4, back), -1);
  }
  // A tag without password mode: the login fails without a new error code.
  ASSERT_TRUE(r.AddTag("ata5577 AABB15E011223344 mem 0=00148000,2=01020304"));
  r.ReadUid(9);
  const int before = r.Error();
  EXPECT_EQ(r.Login(9, kPw), before != 0 ? -1 : 1);
  EXPECT_EQ(r.Error(), before);
}

TEST_P(PerGeneration, LoginsOfTheOtherTypes) {
  SimReader r(GetParam());
  ASSERT_GT(r.handle(), 0);
  const bool unified = GetParam().capability & 0x100;
  const Bytes wrong{9, 9, 9, 9};
  Bytes back;

  // EM4450: read protection of blocks 3-10 lifts with the password.
  ASSERT_TRUE(r.AddTag(std::string("em4450 A1B2C3D4 protected ") + kPwText + " mem 1=00000A03"));
  r.ReadUid(6);
  EXPECT_EQ(r.Read(6, 4, 4, back), -1);
  EXPECT_EQ(r.Login(6, wrong), -1);
  EXPECT_EQ(r.Login(6, kPw), 0) << r.Error();
  EXPECT_EQ(r.Read(6, 4, 4, back), 4) << r.Error();

  // EM4305 in protection: login, then write.
  ASSERT_TRUE(r.AddTag(std::string("em4305 A1B2C3D4 protected ") + kPwText));
  r.ReadUid(8);
  EXPECT_EQ(r.Login(8, kPw), 0) << r.Error();
  EXPECT_EQ(r.Write(8, 5, {1, 2, 3, 4}), 0) << r.Error();

  // Hitag µ: the UID given to LF_Authenticate names the tag for the login.
  ASSERT_TRUE(r.AddTag(std::string("hitagmu A1B2C3D4E5F6 protected ") + kPwText));
  const Bytes muUid = r.ReadUid(10);
  EXPECT_EQ(r.Authenticate(10, muUid), 0);
  EXPECT_EQ(r.Login(10, kPw), 0) << r.Error();
  EXPECT_EQ(r.Write(10, 2, {1, 2, 3, 4}), 0) << r.Error();

  // Hitag 2: authentication answers with the configuration byte in byte 3.
  ASSERT_TRUE(r.AddTag(std::string("hitag2 A1B2C3D4 protected ") + kPwText));
  r.ReadUid(2);
  Bytes answer;
  EXPECT_EQ(r.Authenticate(2, wrong), -1);
  ASSERT_EQ(r.Authenticate(2, kPw, &answer), 4) << r.Error();

  // SIC7888 (unified only) and Hitag S with a key (a legacy reader refuses the unified command).
  if (unified) {
    ASSERT_TRUE(r.AddTag(std::string("sic7888 A1B2C3D4 protected ") + kPwText));
    r.ReadUid(12);
    EXPECT_EQ(r.Write(12, 4, {1, 2, 3, 4}), -1);
    EXPECT_EQ(r.Login(12, kPw), 0) << r.Error();
    EXPECT_EQ(r.Write(12, 4, {1, 2, 3, 4}), 0) << r.Error();

    const Bytes key{0x66, 0x55, 0x44, 0x33, 0x22, 0x11};
    ASSERT_TRUE(r.AddTag("hitags A1B2C3D4 protected 112233445566"));
    r.ReadUid(4);
    Bytes buf(8);
    EXPECT_GE(LF_KeyAuthenticate(r.handle(), 4, key.data(), 6, buf.data(), 8), 0) << r.Error();
    EXPECT_EQ(r.Read(4, 4, 4, back), 4) << r.Error();
  } else {
    ASSERT_TRUE(r.AddTag("sic7888 A1B2C3D4"));
    EXPECT_EQ(r.Login(12, kPw), -1);
    EXPECT_EQ(r.Error(), 24);
  }
}

TEST_P(PerGeneration, Em4450PasswordChange) {
  SimReader r(GetParam());
  ASSERT_GT(r.handle(), 0);
  ASSERT_TRUE(r.AddTag(std::string("em4450 A1B2C3D4 protected ") + kPwText));
  const Bytes newPw{0x01, 0x02, 0x03, 0x04};
  Bytes three{1, 2, 3};
  EXPECT_EQ(LF_ChangePassword(r.handle(), 6, kPw.data(), 4, three.data(), 3), -1);
  EXPECT_EQ(r.Error(), 9);
  ASSERT_EQ(LF_ChangePassword(r.handle(), 6, kPw.data(), 4, newPw.data(), 4), 0) << r.Error();
  EXPECT_EQ(r.Login(6, kPw), -1);
  EXPECT_EQ(r.Login(6, newPw), 0) << r.Error();
}

TEST_P(PerGeneration, LocksAndPartialWrites) {
  SimReader r(GetParam());
  ASSERT_GT(r.handle(), 0);
  Bytes back;
  // Hitag µ: a locked block refuses writes; a write across it stops there, earlier blocks stay.
  ASSERT_TRUE(r.AddTag("hitagmu A1B2C3D4E5F6"));
  r.ReadUid(10);
  ASSERT_EQ(LF_LockBlock(r.handle(), 10, 6), 0) << r.Error();
  EXPECT_EQ(LF_LockBlock(r.handle(), 5, 6), -1);
  EXPECT_EQ(r.Error(), 24);
  EXPECT_EQ(r.Write(10, 4, kData), -1);
  EXPECT_NE(r.Error(), 0);
  ASSERT_EQ(r.Read(10, 4, 16, back), 16);
  const bool unified = GetParam().capability & 0x100;
  if (!unified) {  // block by block: 4 and 5 were written before the refusal
    EXPECT_EQ(Bytes(back.begin(), back.begin() + 8), Bytes(kData.begin(), kData.begin() + 8));
  }
  EXPECT_EQ(Bytes(back.begin() + 12, back.end()), Bytes(4, 0));

  // ATA5577: the lock flag locks the block.
  ASSERT_TRUE(r.AddTag("ata5577 AABB15E011223344 mem 0=00148000"));
  r.ReadUid(9);
  ASSERT_EQ(r.Write(9, 3, {1, 2, 3, 4}, 1), 0) << r.Error();
  EXPECT_EQ(r.Write(9, 3, {5, 6, 7, 8}), -1);
  ASSERT_EQ(r.Read(9, 3, 4, back), 4);
  EXPECT_EQ(back, (Bytes{1, 2, 3, 4}));
}

TEST_P(PerGeneration, ReadBackFailureIs20) {
  SimReader r(GetParam());
  ASSERT_GT(r.handle(), 0);
  // The EM4305 password block takes writes but never reads back.
  ASSERT_TRUE(r.AddTag("em4305 A1B2C3D4"));
  r.ReadUid(8);
  EXPECT_EQ(r.Write(8 | 0x100, 2, {1, 2, 3, 4}), -1);
  EXPECT_EQ(r.Error(), 20);
  EXPECT_EQ(r.Write(8, 2, {1, 2, 3, 4}), 0);  // the write itself is fine
  // Type word checks of the interface.
  EXPECT_EQ(r.Write(40, 0, {1, 2, 3, 4}), -1);
  EXPECT_EQ(r.Error(), 10);
  Bytes back;
  EXPECT_EQ(r.Read(0x400, 0, 4, back), -1);
  EXPECT_EQ(r.Error(), 10);
  // A caller buffer smaller than the answer: 8, nothing copied (legacy readers read whole blocks).
  if (!(GetParam().capability & 0x100)) {
    EXPECT_EQ(r.Read(8, 5, 5, back), -1);
    EXPECT_EQ(r.Error(), 8);
  }
}

INSTANTIATE_TEST_SUITE_P(Xponder, PerGeneration, ::testing::Values(kUnified, kLegacy),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(XponderSim, DetectionWalksToTheTagsModulation) {
  SimReader r(kUnified);
  ASSERT_GT(r.handle(), 0);
  // ATA5555 configured for modulation 7 (6001F050h): tried after 0, 1 and 2.
  ASSERT_TRUE(r.AddTag("q5 0102030405 mem 0=6001F050"));
  r.sim().ClearTrace();
  EXPECT_EQ(LF_DetectModulation(r.handle(), 3, 0), 7);
  EXPECT_EQ(r.sim().CountCommands(0xFC), 4);
  EXPECT_EQ(LF_GetModulation(r.handle()), 7);
  // Nothing more to send when asked for the modulation already set.
  r.sim().ClearTrace();
  EXPECT_EQ(LF_SetModulation(r.handle(), 7), 0);
  EXPECT_EQ(r.sim().CountCommands(0xFC), 0);
  // Start values above 6 (without bit 80h) are refused at once.
  EXPECT_EQ(LF_DetectModulation(r.handle(), 3, 7), -1);
  EXPECT_EQ(r.sim().CountCommands(0xFC), 0);

  // ATA5577 in modulation 2 (107000h).
  ASSERT_TRUE(r.AddTag("ata5577 AABB15E011223344 mem 0=00107000"));
  EXPECT_EQ(LF_DetectModulation(r.handle(), 9, 0), 2);
  // EM4305 with its factory configuration answers at 0.
  ASSERT_TRUE(r.AddTag("em4305 A1B2C3D4"));
  EXPECT_EQ(LF_DetectModulation(r.handle(), 8, 1), 0);
}

TEST(XponderSim, LegacyUidSearchFollowsTheModulation) {
  SimReader r(kLegacy);
  ASSERT_GT(r.handle(), 0);
  // An EM4305 whose configuration asks for modulation 1 (Biphase, 8Fh): from 0 the search moves on.
  ASSERT_TRUE(r.AddTag("em4305 A1B2C3D4 mem 4=0000008F"));
  ASSERT_EQ(LF_SetModulation(r.handle(), 0), 0);
  EXPECT_EQ(r.ReadUid(8), (Bytes{0xA1, 0xB2, 0xC3, 0xD4})) << r.Error();
  EXPECT_EQ(LF_GetModulation(r.handle()), 1);
}

TEST(XponderSim, OldestReaderReversesAndPacks) {
  SimReader r(kOldest);
  ASSERT_GT(r.handle(), 0);
  ASSERT_TRUE(r.AddTag("q5 0102030405"));
  // The identity arrives as a raw frame and is decoded here.
  EXPECT_EQ(r.ReadUid(3), (Bytes{0x01, 0x02, 0x03, 0x04, 0x05})) << r.Error();
  ASSERT_EQ(r.Write(3 | 0x100, 1, kData), 0) << r.Error();
  Bytes back;
  ASSERT_EQ(r.Read(3, 1, 16, back), 16);
  EXPECT_EQ(back, kData);
  // Hitag 2 and EM4450 answers come reversed and are put back into order.
  ASSERT_TRUE(r.AddTag(std::string("hitag2 A1B2C3D4 protected ") + kPwText));
  EXPECT_EQ(r.ReadUid(2), (Bytes{0xA1, 0xB2, 0xC3, 0xD4}));
  ASSERT_GE(r.Authenticate(2, kPw), 0) << r.Error();
  ASSERT_EQ(r.Write(2 | 0x100, 4, kData), 0) << r.Error();
  ASSERT_TRUE(r.AddTag("em4450 A1B2C3D4"));
  EXPECT_EQ(r.ReadUid(6), (Bytes{0xA1, 0xB2, 0xC3, 0xD4}));
  ASSERT_EQ(r.Write(6 | 0x100, 3, kData), 0) << r.Error();
}

}  // namespace
}  // namespace tw::test
