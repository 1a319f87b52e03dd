#include "job/job_params.h"

#include <gtest/gtest.h>

#include <climits>

#include "job/type_layout.h"
#include "tests/support/recording_view.h"

namespace tw {
namespace {

TEST(TransponderTable, RowsInComboOrder) {
  struct Row {
    const char* name;
    int code, first, last, lastWithPassword, capacity;
  } rows[] = {
      {"Hitag 1", 5, 16, 63, 63, 192},  {"Hitag 2", 2, 4, 7, 7, 16},
      {"Hitag S", 4, 2, 63, 63, 248},   {"Hitag \xB5", 10, 0, 53, 53, 216},
      {"ATA5555 (Q5)", 3, 1, 7, 6, 28}, {"ATA5577", 9, 1, 7, 6, 28},
      {"EM4305", 8, 5, 13, 13, 36},     {"EM4450 (Titan)", 6, 3, 31, 31, 116},
      {"SIC7888", 12, 2, 40, 40, 156},
  };
  ASSERT_EQ(std::size(rows), static_cast<size_t>(kTransponderTypeCount));
  for (size_t i = 0; i < std::size(rows); ++i) {
    const Row& r = rows[i];
    EXPECT_STREQ(TransponderTypes()[i].name, r.name);
    EXPECT_EQ(TransponderTypes()[i].code, r.code);
    EXPECT_EQ(FirstBlock(r.code), r.first);
    EXPECT_EQ(LastBlock(r.code, false), r.last);
    EXPECT_EQ(LastBlock(r.code, true), r.lastWithPassword);
    EXPECT_EQ(CapacityBytes(r.code, false), r.capacity);
    EXPECT_EQ(TypeNameFromCode(r.code), r.name);
    EXPECT_EQ(TypeCodeFromName(r.name), r.code);
  }
  EXPECT_EQ(CapacityBytes(kTypeAta5577, true), 24);
  for (int unknown : {0, 1, 7, 11, 13, -1, INT_MAX}) {
    EXPECT_EQ(FirstBlock(unknown), 0);
    EXPECT_EQ(LastBlock(unknown, true), 0);
    EXPECT_EQ(CapacityBytes(unknown, false), 0);
    EXPECT_EQ(TypeNameFromCode(unknown), "Hitag S");
  }
}

TEST(TransponderTable, NameLookupIgnoresLetterCase) {
  EXPECT_EQ(TypeCodeFromName("HITAG \xB5"), kTypeHitagMu);
  EXPECT_EQ(TypeCodeFromName("hitag 2"), kTypeHitag2);
  EXPECT_EQ(TypeCodeFromName("em4450 (TITAN)"), kTypeEm4450);
  for (const char* unknown : {"", "Hitag 3", "Hitag 2 ", "ATA5577x", "Hitag \xC2\xB5"})
    EXPECT_EQ(TypeCodeFromName(unknown), kTypeHitagS) << unknown;
}

TEST(JobParams, Defaults) {
  const JobParams j;
  EXPECT_EQ(j.transponderType, kTypeHitagS);
  EXPECT_EQ(j.startBlock, 0);
  EXPECT_EQ(j.byteCount, 4);
  EXPECT_EQ(j.numberFormat, kFormatDecimal);
  EXPECT_EQ(j.display, kDisplayBinary);
  EXPECT_EQ(j.orientation, kOrientationNormal);
  EXPECT_EQ(j.autoIncrement, 1);
  EXPECT_EQ(j.password, "5A3C9E17");
  EXPECT_EQ(j.tagPassword, "6B2D91");
  EXPECT_EQ(j.cycleTime, 250);
  EXPECT_EQ(j.beepTime, 300);
}

TEST(JobParams, DerivedQuantities) {
  EXPECT_EQ(BlocksUsed(1), 1);
  EXPECT_EQ(BlocksUsed(4), 1);
  EXPECT_EQ(BlocksUsed(5), 2);
  EXPECT_EQ(BlocksUsed(0), 0);
  EXPECT_EQ(BlocksUsed(INT_MAX), 536870912);
  EXPECT_EQ(BlocksUsed(INT_MIN), -536870911);  // rounds toward zero like the int division
  JobParams j;
  j.startBlock = 16;
  j.byteCount = 5;
  EXPECT_EQ(LastBlockWritten(j), 17);
  j.startBlock = INT_MAX;
  j.byteCount = INT_MAX;
  EXPECT_EQ(LastBlockWritten(j), INT_MAX);

  EXPECT_TRUE(IsHexText(""));
  EXPECT_TRUE(IsHexText("0123456789abcdefABCDEF"));
  EXPECT_FALSE(IsHexText("12G"));
  EXPECT_FALSE(IsHexText(" 1"));
  EXPECT_FALSE(IsHexText("\xB5"));

  EXPECT_EQ(ModulationReaderCode(0), 0);
  EXPECT_EQ(ModulationReaderCode(1), 5);
  EXPECT_EQ(ModulationReaderCode(2), 6);
  EXPECT_EQ(ModulationReaderCode(3), 1);
  EXPECT_STREQ(ModulationName(2), "Diff. Biphase(RF/64)");
  EXPECT_EQ(ModulationName(4), nullptr);
}

TEST(JobParams, ValueCharLimit) {
  const int digits[] = {0, 3, 5, 8, 10, 13, 15, 17, 20, 20, 20};
  JobParams j;
  for (int n = 0; n <= 10; ++n) {
    j.byteCount = n;
    j.display = kDisplayBinary;
    j.numberFormat = kFormatDecimal;
    EXPECT_EQ(ValueCharLimit(j), digits[n]);
    j.numberFormat = kFormatHex;
    EXPECT_EQ(ValueCharLimit(j), 2 * n);
    j.numberFormat = kFormatNone;
    EXPECT_EQ(ValueCharLimit(j), 2 * n);
    j.display = kDisplayAscii;
    EXPECT_EQ(ValueCharLimit(j), n);
  }
  j.byteCount = INT_MAX;
  j.display = kDisplayBinary;
  EXPECT_EQ(ValueCharLimit(j), INT_MAX);
  j.byteCount = -3;
  EXPECT_EQ(ValueCharLimit(j), 0);
}

TEST(TypeLayout, VisibilityByType) {
  // Columns: passwordActive, readWithPassword, password, tagPassword, modulation, authMode, key,
  // ranges; for P=0/A=0 and P=1/A=1.
  struct Row {
    int type;
    const char* plain;
    const char* both;
  } rows[] = {
      {kTypeHitag1, "--------", "--------"},  {kTypeHitag2, "--xx----", "--xx----"},
      {kTypeHitagS, "-----x--", "---x-xx-"},  {kTypeHitagMu, "x-------", "x-x-----"},
      {kTypeAta5555, "x---x---", "x-x-x---"}, {kTypeAta5577, "x---x---", "x-x-x---"},
      {kTypeEm4305, "xx--x---", "xxx-x---"},  {kTypeEm4450, "x------x", "x-x----x"},
      {kTypeSic7888, "xx------", "xxxx----"}, {99, "--------", "--------"},
  };
  auto Flags = [](const TypeLayout& l) {
    std::string s;
    for (bool b : {l.passwordActive, l.readWithPassword, l.password, l.tagPassword, l.modulation, l.authMode,
                   l.authKey, l.em4450Ranges})
      s += b ? 'x' : '-';
    return s;
  };
  for (const auto& r : rows) {
    JobParams j;
    j.transponderType = r.type;
    EXPECT_EQ(Flags(ComputeTypeLayout(j)), r.plain) << r.type;
    j.passwordActive = 1;
    j.authMode = 1;
    const TypeLayout l = ComputeTypeLayout(j);
    EXPECT_EQ(Flags(l), r.both) << r.type;
    EXPECT_TRUE(l.lockUsedBlocks);
    EXPECT_EQ(l.passwordLabelId, r.type == kTypeSic7888 ? 247 : 245);
    EXPECT_EQ(l.tagPasswordLabelId, r.type == kTypeSic7888 ? 246 : 244);
  }
}

TEST(TypeLayout, ApplyClearsExtraTextForBinaryAndEnables) {
  RecordingView view;
  JobParams j;
  j.allowExtraText = 1;
  j.display = kDisplayAscii;
  j.byteCount = 6;
  ApplyTypeLayout(j, view);
  EXPECT_EQ(j.allowExtraText, 1);
  ASSERT_EQ(view.layouts.size(), 1u);
  EXPECT_EQ(view.layouts[0].valueCharLimit, 6);
  EXPECT_FALSE(view.layouts[0].clearAllowExtraText);
  j.display = kDisplayBinary;
  ApplyTypeLayout(j, view);
  EXPECT_EQ(j.allowExtraText, 0);
  EXPECT_TRUE(view.layouts[1].clearAllowExtraText);
  EXPECT_EQ(view.layouts[1].valueCharLimit, 15);
  EXPECT_EQ(view.enableCalls, (std::vector<bool>{true, true}));
}

}  // namespace
}  // namespace tw
