#include <gtest/gtest.h>

#include <map>
#include <set>

#include "job/job_checks.h"
#include "job/job_engine_state.h"
#include "job/job_view.h"
#include "shell/string_table.h"

namespace tw {
namespace {

class StringsTest : public ::testing::Test {
 protected:
  void TearDown() override { SetLanguage(Language::German); }
};

TEST_F(StringsTest, GermanTextsAsWindows1252) {
  SetLanguage(Language::German);
  EXPECT_EQ(FormatStatusMessage({kMsgStartBlockRange, {int64_t{4}, int64_t{3}}}),
            "Startblock muss zwischen 4 und 3 sein!");
  EXPECT_EQ(FormatStatusMessage({kMsgMaxChars, {int64_t{16}}}),
            "Im Transponder haben maximal 16 Zeichen Platz! Zeichenanzahl korrigieren!");
  EXPECT_EQ(FormatStatusMessage({kMsgBadPassword, {}}), "Ung\xFCltiges Passwort/Key eingegeben!");
  EXPECT_EQ(FormatStatusMessage({kMsgDecimalOver8, {}}),
            "Bytanzahl gr\xF6\xDF"
            "er 8 kann im Dezimal-Modus nicht bearbeitetet werden");
  EXPECT_EQ(FormatStatusMessage({32850, {std::string("A\xB5")}}), "Wert <A\xB5> erfolgreich geschrieben");
  EXPECT_EQ(FormatStatusMessage({139, {int64_t{1}, int64_t{5}}}), "FW V1.05");
}

TEST_F(StringsTest, EveryJobIdHasBothLanguages) {
  for (int id : {129,   139,   181,   187,   230,   231,   241,   242,   243,   244,
                 245,   246,   247,   32850, 32851, 32852, 32853, 32857, 32858, 32859,
                 32860, 32861, 32862, 32863, 32864, 32865, 32880, 32881, 61712}) {
    EXPECT_FALSE(LoadString(id, Language::German).empty()) << id;
    EXPECT_FALSE(LoadString(id, Language::English).empty()) << id;
    EXPECT_NE(LoadString(id, Language::German), LoadString(id, Language::English) + "x") << id;
  }
  SetLanguage(Language::English);
  EXPECT_EQ(FormatStatusMessage({kMsgStartBlockRange, {int64_t{1}, int64_t{6}}}),
            "Start block must be between 1 and 6!");
}

TEST_F(StringsTest, MissingOrMismatchedArgumentsAreSafe) {
  SetLanguage(Language::German);
  EXPECT_EQ(FormatStatusMessage({kMsgStartBlockRange, {}}), "Startblock muss zwischen 0 und 0 sein!");
  EXPECT_EQ(FormatStatusMessage({kMsgStartBlockRange, {std::string("x"), int64_t{2}}}),
            "Startblock muss zwischen 0 und 2 sein!");
  EXPECT_EQ(FormatStatusMessage({32850, {int64_t{12}}}), "Wert <12> erfolgreich geschrieben");
  EXPECT_EQ(FormatStatusMessage({32850, {}}), "Wert <> erfolgreich geschrieben");
  EXPECT_EQ(FormatStatusMessage({1, {}}), "");
  // 139 is "FW V%d.%02d": the zero-padded width survives.
  EXPECT_EQ(FormatStatusMessage({139, {int64_t{1}, int64_t{61}}}), "FW V1.61");
}

// Every id is defined once per language (a later definition would silently hide an earlier one)
// and both languages carry the same ids.
TEST(StringTables, OneDefinitionPerIdAndTheSameIdsInBothLanguages) {
  struct Entry {
    int id;
    const char* text;
  };
  const Entry german[] = {
#define TW_STR(id, text) {id, text},
#include "resources/strings/all_de.inc"
#undef TW_STR
  };
  const Entry english[] = {
#define TW_STR(id, text) {id, text},
#include "resources/strings/all_en.inc"
#undef TW_STR
  };
  auto ids = [](const auto& table) {
    std::map<int, int> count;
    for (const Entry& e : table) ++count[e.id];
    std::set<int> twice, all;
    for (auto [id, n] : count) {
      all.insert(id);
      if (n > 1) twice.insert(id);
    }
    EXPECT_TRUE(twice.empty()) << "defined more than once, first: " << *twice.begin();
    return all;
  };
  EXPECT_EQ(ids(german), ids(english));
}

TEST_F(StringsTest, SdkErrorMessages) {
  SetLanguage(Language::German);
  EXPECT_EQ(LoadString(SdkErrorMessageId(7)), "Timeout");
  EXPECT_EQ(LoadString(SdkErrorMessageId(21)), "Kein g\xFCltiger Transponder vorhanden!");
  EXPECT_EQ(LoadString(SdkErrorMessageId(15)),
            "An diesem Port ist kein Leser angeschlossen.\r\nBitte w\xE4hlen sie eine andere Schnittstelle.");
  EXPECT_EQ(LoadString(SdkErrorMessageId(6)),
            "Fehler beim Port \xF6"
            "ffnen");
  for (int code : {0, 10, 14, 24, 200, -1})
    EXPECT_EQ(LoadString(SdkErrorMessageId(code)), "Unbekannter Fehler ist aufgetreten");
}

}  // namespace
}  // namespace tw
