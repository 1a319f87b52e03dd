#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

#include "shell/documents_dir.h"
#include "shell/settings_keys.h"
#include "shell/string_table.h"
#include "shell/timing_settings.h"
#include "tests/unit/shell/temp_dir.h"

namespace tw {
namespace {

TEST(TimingSettings, FirstStartFillsInMissingValues) {
  MemorySettingsStore s;
  TimingSettings t = LoadTimingSettings(s);
  EXPECT_EQ(t.cycleTime, 250u);
  EXPECT_EQ(t.beepTime, 300u);
  EXPECT_EQ(s.GetProfileInt("Settings", "ZyklusZeit", 0), 250);
  EXPECT_EQ(s.GetProfileInt("Settings", "BeepTime", 0), 300);

  MemorySettingsStore stored;
  stored.WriteProfileInt("Settings", "ZyklusZeit", 1000);
  stored.WriteProfileInt("Settings", "BeepTime", -1);  // -1 stored counts as missing
  t = LoadTimingSettings(stored);
  EXPECT_EQ(t.cycleTime, 1000u);
  EXPECT_EQ(t.beepTime, 300u);
  EXPECT_EQ(stored.GetProfileInt("Settings", "BeepTime", 0), 300);
  EXPECT_TRUE(SaveTimingSettings(stored, {100, 0}));
  EXPECT_EQ(LoadTimingSettings(stored).cycleTime, 100u);
  EXPECT_EQ(LoadTimingSettings(stored).beepTime, 0u);
}

TEST(TimingSettings, HandEditedValuesOutsideTheRangeReadAsTheNearestBound) {
  const struct {
    int cycle, beep;
    unsigned wantCycle, wantBeep;
  } rows[] = {
      {0, -2, 100, 0},
      {-5, 1001, 100, 1000},
      {99, 0, 100, 0},
      {10001, 1000, 10000, 1000},
      {INT32_MAX, INT32_MIN, 10000, 0},
      {100, 300, 100, 300},
  };
  for (const auto& r : rows) {
    MemorySettingsStore s;
    s.WriteProfileInt("Settings", "ZyklusZeit", r.cycle);
    s.WriteProfileInt("Settings", "BeepTime", r.beep);
    const TimingSettings t = LoadTimingSettings(s);
    EXPECT_EQ(t.cycleTime, r.wantCycle) << r.cycle;
    EXPECT_EQ(t.beepTime, r.wantBeep) << r.beep;
    EXPECT_EQ(s.GetProfileInt("Settings", "ZyklusZeit", 0), r.cycle);  // the store keeps its value
  }
}

TEST(TimingSettings, FieldChecks) {
  unsigned v = 7;
  EXPECT_EQ(CheckTimingField("0", kBeepTimeMin, kBeepTimeMax, v), 0);
  EXPECT_EQ(v, 0u);
  EXPECT_EQ(CheckTimingField("1000", kBeepTimeMin, kBeepTimeMax, v), 0);
  EXPECT_EQ(CheckTimingField(" 100 ", kCycleTimeMin, kCycleTimeMax, v), 0);
  EXPECT_EQ(v, 100u);
  EXPECT_EQ(CheckTimingField("10000", kCycleTimeMin, kCycleTimeMax, v), 0);
  EXPECT_EQ(CheckTimingField("99", kCycleTimeMin, kCycleTimeMax, v), IDS_RANGE_MESSAGE);
  EXPECT_EQ(CheckTimingField("10001", kCycleTimeMin, kCycleTimeMax, v), IDS_RANGE_MESSAGE);
  EXPECT_EQ(CheckTimingField("1001", kBeepTimeMin, kBeepTimeMax, v), IDS_RANGE_MESSAGE);
  EXPECT_EQ(v, 10000u);  // unchanged by rejected input
  for (const char* bad : {"", "-1", "12a", "1.5", "99999999999", "+5"})
    EXPECT_EQ(CheckTimingField(bad, kCycleTimeMin, kCycleTimeMax, v), IDS_NOT_UNSIGNED_MESSAGE) << bad;
  SetLanguage(Language::German);
  EXPECT_EQ(FormatRangeMessage(100, 10000), "Geben Sie eine ganze Zahl zwischen 100 und 10000 ein.");
}

class DocumentsDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DOCUMENTS_DIR"}) {
      const char* v = std::getenv(name);
      saved_.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
    }
    ::setenv("HOME", home_.Path().c_str(), 1);
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("XDG_DOCUMENTS_DIR");
  }
  void TearDown() override {
    for (auto& [name, v] : saved_) v ? ::setenv(name.c_str(), v->c_str(), 1) : ::unsetenv(name.c_str());
  }
  test::TempDir home_;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(DocumentsDirTest, FallsBackToDocumentsInHomeWithoutCreatingIt) {
  EXPECT_EQ(DocumentsDir(), home_.Path() + "/Documents/");
  EXPECT_FALSE(test::Exists(home_.File("Documents")));
  EXPECT_EQ(DefaultLogFilePath(settings::kDefaultWriteLogName), home_.Path() + "/Documents/Protokoll_S.txt");
}

TEST_F(DocumentsDirTest, UserDirsFileAndEnvironment) {
  std::filesystem::create_directories(home_.File(".config"));
  test::WriteFile(home_.File(".config/user-dirs.dirs"),
                  "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
                  "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
  EXPECT_EQ(DocumentsDir(), home_.Path() + "/Dokumente/");
  test::WriteFile(home_.File(".config/user-dirs.dirs"), "XDG_DOCUMENTS_DIR=\"/srv/my \\\"docs\\\"/\"\n");
  EXPECT_EQ(DocumentsDir(), "/srv/my \"docs\"/");
  ::setenv("XDG_CONFIG_HOME", home_.File("elsewhere").c_str(), 1);
  EXPECT_EQ(DocumentsDir(), home_.Path() + "/Documents/");
  ::setenv("XDG_DOCUMENTS_DIR", "/data/docs", 1);
  EXPECT_EQ(DocumentsDir(), "/data/docs/");
}

}  // namespace
}  // namespace tw
