#include "sim_tags_support.h"

namespace tw::sim::test {
namespace {

TEST_F(FieldTest, EmptyFieldFailsUidRequestsWithReaderStatus) {
  auto u = UnifiedReader();
  SimAnswer a = Cmd(0xC0, {5, 0}, u);
  EXPECT_EQ(a.status, kStatusNoTag);
  EXPECT_TRUE(a.data.empty());
  auto l = LegacyReader();
  EXPECT_EQ(Cmd(0x58, {}, l).status, kStatusNoTag);
  EXPECT_EQ(Cmd(0x28, {}, l).status, kStatusNoTag);
}

TEST_F(FieldTest, EachGenerationTakesOnlyItsOwnCommands) {
  Add("hitag1 01020304");
  SimAnswer a;
  auto l = LegacyReader();
  EXPECT_FALSE(field.Handle(0xC0, {5, 0}, l, a));
  auto u = UnifiedReader();
  EXPECT_FALSE(field.Handle(0x58, {}, u, a));
  EXPECT_FALSE(field.Handle(0xF0, {}, u, a));  // reader commands are not the field's
  EXPECT_TRUE(field.Handle(0xC0, {5, 0}, u, a));
  EXPECT_EQ(a.data, (Bytes{1, 2, 3, 4}));
}

TEST_F(FieldTest, WrongTypeOrUnknownTypeIsRefused) {
  Add("hitag1 01020304");
  auto u = UnifiedReader();
  EXPECT_EQ(Cmd(0xC0, {2, 0}, u).status, kStatusNoTag);        // a Hitag 2 is not there
  EXPECT_EQ(Cmd(0xC0, {7, 0}, u).status, kStatusBadParameter);  // type the reader does not know
  EXPECT_EQ(Cmd(0xC2, {5, 0}, u).status, kStatusBadParameter);  // parameters missing
}

TEST_F(FieldTest, TagKeepsMemoryOnShelfAndComesBack) {
  Add("hitag1 0A0B0C0D");
  auto u = UnifiedReader();
  ASSERT_EQ(Cmd(0xC3, {5, 20, 1, 2, 3, 4}, u).status, 0);
  EXPECT_EQ(Ctl("tag remove").rfind("ok #0 hitag1 0A0B0C0D", 0), 0u);
  EXPECT_EQ(Cmd(0xC2, {5, 20, 1}, u).status, kStatusNoTag);
  Add("hitag1 11223344");
  EXPECT_EQ(Cmd(0xC2, {5, 20, 1}, u).data, (Bytes{0, 0, 0, 0}));
  EXPECT_EQ(Ctl("tag back 0A0B0C0D"), "ok #0 hitag1 0A0B0C0D in field");
  EXPECT_EQ(Cmd(0xC2, {5, 20, 1}, u).data, (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(Ctl("tag list"), "ok 2 tags, #0 hitag1 0A0B0C0D field, #1 hitag1 11223344 shelf");
  EXPECT_EQ(Ctl("tag back"), "ok #1 hitag1 11223344 in field");
}

TEST_F(FieldTest, LeavingTheFieldOrFieldOffEndsTheLogin) {
  Add("hitag2 01020304");
  auto u = UnifiedReader();
  const Bytes auth = {2, 0x17, 0x9E, 0x3C, 0x5A};  // factory password 5A3C9E17 as the job types it
  ASSERT_EQ(Cmd(0xC1, auth, u).status, 0);
  ASSERT_EQ(Cmd(0xC2, {2, 4, 1}, u).status, 0);
  field.OnFieldChanged(false);
  EXPECT_EQ(Cmd(0xC2, {2, 4, 1}, u).status, kStatusNoTag);  // no power, no answer
  field.OnFieldChanged(true);
  EXPECT_EQ(Cmd(0xC2, {2, 4, 1}, u).status, kStatusAccessDenied);
  ASSERT_EQ(Cmd(0xC1, auth, u).status, 0);
  Ctl("tag remove");
  Ctl("tag back");
  EXPECT_EQ(Cmd(0xC2, {2, 4, 1}, u).status, kStatusAccessDenied);
}

TEST_F(FieldTest, ControlLinesCheckTheirInput) {
  std::string r;
  EXPECT_FALSE(field.HandleControl("delay 5", r));
  EXPECT_EQ(Ctl("tag add hitag1 010203").rfind("error", 0), 0u);       // UID too short
  EXPECT_EQ(Ctl("tag add nosuch 01020304").rfind("error", 0), 0u);
  EXPECT_EQ(Ctl("tag add hitag1 0102030G").rfind("error", 0), 0u);
  EXPECT_EQ(Ctl("tag add ata5577 0102030405060708").rfind("error", 0), 0u);  // no trace marker
  EXPECT_EQ(Ctl("tag add hitag1 01020304 protected 1234").rfind("error", 0), 0u);
  EXPECT_EQ(Ctl("tag add em4305 01020304 mem 99=00000000").rfind("error", 0), 0u);
  EXPECT_EQ(Ctl("tag add em4305 01020304 mem 5=123").rfind("error", 0), 0u);
  EXPECT_EQ(Ctl("tag add em4305 01020304 bogus").rfind("error", 0), 0u);
  EXPECT_EQ(Ctl("tag remove"), "error field is empty");
  EXPECT_EQ(Ctl("tag back"), "error shelf is empty");
  EXPECT_EQ(Ctl("tag dump 7"), "error no tag '7'");
  EXPECT_EQ(Ctl("tag frobnicate").rfind("error", 0), 0u);
  EXPECT_EQ(Ctl("tag help").rfind("ok tag add", 0), 0u);
  EXPECT_EQ(Ctl("feed next").rfind("error", 0), 0u);
  EXPECT_EQ(Ctl("feed hitag1 0").rfind("error", 0), 0u);
  EXPECT_EQ(Ctl("tag list"), "ok 0 tags");
}

TEST_F(FieldTest, MemOptionAndDumpUseBlockWords) {
  Add("6 01020304 protected 11223344 mem 5=DEADBEEF,31=00000001");
  auto l = LegacyReader();
  EXPECT_EQ(Cmd(0x62, {5}, l).data, (Bytes{0xEF, 0xBE, 0xAD, 0xDE}));
  std::string d = Ctl("tag dump");
  EXPECT_EQ(d.rfind("ok #0 em4450 01020304 0:11223344 1:00000000 2:00011F03 3:00000000", 0), 0u) << d;
  EXPECT_NE(d.find(" 5:DEADBEEF "), std::string::npos);
  EXPECT_NE(d.find(" 32:04030201 33:"), std::string::npos);
}

TEST_F(FieldTest, FeederPresentsFreshTagsOnItsClock) {
  uint32_t now = 1000;
  field.SetClock([&now] { return now; });
  std::string r = Ctl("feed em4450 500");
  ASSERT_EQ(r.rfind("ok feed em4450 every 500 ms, #0 em4450 ", 0), 0u) << r;
  auto l = LegacyReader();
  Bytes first = Cmd(0x62, {32}, l).data;
  ASSERT_EQ(first.size(), 4u);
  now += 499;
  EXPECT_EQ(Cmd(0x62, {32}, l).data, first);
  now += 1;
  Bytes second = Cmd(0x62, {32}, l).data;
  EXPECT_NE(second, first);
  EXPECT_EQ(Ctl("feed next").rfind("ok #2 em4450", 0), 0u);
  EXPECT_NE(Cmd(0x62, {32}, l).data, second);
  EXPECT_EQ(Ctl("feed off"), "ok feed off");
  now += 10000;
  Bytes last = Cmd(0x62, {32}, l).data;
  EXPECT_EQ(Cmd(0x62, {32}, l).data, last);
  EXPECT_EQ(Ctl("tag list").rfind("ok 3 tags", 0), 0u);
}

TEST_F(FieldTest, FeederKeepsTheShelfBounded) {
  uint32_t now = 0;
  field.SetClock([&now] { return now; });
  Ctl("feed ata5577 1");
  for (int i = 0; i < 1100; ++i) {
    now += 1;
    Ctl("tag list");
  }
  std::string list = Ctl("tag list");
  EXPECT_EQ(list.rfind("ok 1000 tags", 0), 0u);
  EXPECT_NE(list.find("field"), std::string::npos);
}

}  // namespace
}  // namespace tw::sim::test
