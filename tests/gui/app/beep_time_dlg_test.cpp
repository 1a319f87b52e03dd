// The timing dialog: first-start defaults, the range checks with their bounds, storing on OK only.
#include <gtest/gtest.h>

#include <QLineEdit>

#include "app/app_text.h"
#include "app/beep_time_dlg.h"
#include "shell/settings_store.h"
#include "shell/string_table.h"

namespace tw {
namespace {

struct Attempt {
  const char* beep;
  const char* cycle;
  bool accepted;
  const char* message;  // part of the message when refused
};

TEST(BeepTimeDlg, EmptyStoreGetsDefaultsWrittenAtOnce) {
  SetLanguage(Language::German);
  MemorySettingsStore s;
  CBeepTimeDlg d(s);
  EXPECT_EQ(d.beepTime, 300u);
  EXPECT_EQ(d.cycleTime, 250u);
  EXPECT_EQ(s.GetProfileInt("Settings", "BeepTime", -5), 300);
  EXPECT_EQ(s.GetProfileInt("Settings", "ZyklusZeit", -5), 250);
  EXPECT_EQ(d.BeepEdit()->text(), "300");
}

TEST(BeepTimeDlg, RangesAreCheckedWithInclusiveBounds) {
  SetLanguage(Language::German);
  const Attempt attempts[] = {
      {"0", "250", true, ""},
      {"1000", "100", true, ""},
      {"1000", "10000", true, ""},
      {"300", "99", false, "zwischen 100 und 10000"},
      {"300", "10001", false, "zwischen 100 und 10000"},
      {"1001", "250", false, "zwischen 0 und 1000"},
      {"-1", "250", false, "positive ganze Zahl"},
      {"abc", "250", false, "positive ganze Zahl"},
      {"300", "", false, "positive ganze Zahl"},
  };
  for (const Attempt& a : attempts) {
    SCOPED_TRACE(std::string(a.beep) + "/" + a.cycle);
    MemorySettingsStore s;
    CBeepTimeDlg d(s);
    d.quietMessages = true;
    d.BeepEdit()->setText(a.beep);
    d.CycleEdit()->setText(a.cycle);
    d.accept();
    EXPECT_EQ(d.result() == QDialog::Accepted, a.accepted);
    if (a.accepted) {
      EXPECT_EQ(s.GetProfileInt("Settings", "BeepTime", -5), std::stoi(a.beep));
      EXPECT_EQ(s.GetProfileInt("Settings", "ZyklusZeit", -5), std::stoi(a.cycle));
    } else {
      EXPECT_TRUE(d.LastMessage().contains(QString::fromUtf8(a.message))) << d.LastMessage().toStdString();
      EXPECT_EQ(s.GetProfileInt("Settings", "BeepTime", -5), 300);  // nothing stored
      EXPECT_EQ(s.GetProfileInt("Settings", "ZyklusZeit", -5), 250);
    }
  }
}

TEST(BeepTimeDlg, CancelKeepsTheStore) {
  MemorySettingsStore s;
  s.WriteProfileInt("Settings", "BeepTime", 120);
  s.WriteProfileInt("Settings", "ZyklusZeit", 700);
  CBeepTimeDlg d(s);
  EXPECT_EQ(d.CycleEdit()->text(), "700");
  d.BeepEdit()->setText("5");
  d.reject();
  EXPECT_EQ(s.GetProfileInt("Settings", "BeepTime", -5), 120);
  EXPECT_EQ(d.beepTime, 120u);
}

}  // namespace
}  // namespace tw
