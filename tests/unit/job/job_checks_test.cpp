#include "job/job_checks.h"

#include <gtest/gtest.h>

#include <climits>

#include "tests/support/recording_view.h"

namespace tw {
namespace {

struct Outcome {
  bool ok;
  StatusMessage msg;  // id 0 when nothing was reported
  JobControl focus;
};

template <typename F>
Outcome Run(F check, const JobParams& job, bool inTimer = false) {
  RecordingView view;
  StatusReporter status(view);
  status.inTimer = inTimer;
  Outcome o{check(job, status), {}, JobControl::TypeCombo};
  EXPECT_LE(view.messages.size(), 1u);
  if (!view.messages.empty()) o.msg = view.messages[0];
  if (!view.focus.empty()) o.focus = view.focus[0];
  EXPECT_EQ(o.ok, view.messages.empty());
  EXPECT_EQ(view.messages.size(), view.focus.size());
  return o;
}
Outcome Write(const JobParams& j) { return Run(ValidateWriteJob, j); }
Outcome Read(const JobParams& j) { return Run(ValidateReadJob, j); }

JobParams Valid(int type, int startBlock, int byteCount) {
  JobParams j;
  j.transponderType = type;
  j.startBlock = startBlock;
  j.byteCount = byteCount;
  j.valueText = "1";
  j.password = "0123ABcd";
  j.tagPassword = type == kTypeSic7888 ? "89ABCDEF" : "89ABCD";
  j.authKey = "0123456789AB";
  return j;
}

StatusMessage Bounds(int64_t a, int64_t b) { return {kMsgStartBlockRange, {a, b}}; }

// Both checks at the block bounds of every type, 4 bytes and 8 bytes.
TEST(JobChecks, BlockBoundsOfEveryType) {
  struct Row {
    int type;
    bool passwordActive;
    int first, last;
  } rows[] = {
      {kTypeHitag1, false, 16, 63}, {kTypeHitag2, false, 4, 7},   {kTypeHitagS, false, 2, 63},
      {kTypeHitagMu, false, 0, 53}, {kTypeAta5555, false, 1, 7},  {kTypeAta5555, true, 1, 6},
      {kTypeAta5577, false, 1, 7},  {kTypeAta5577, true, 1, 6},   {kTypeEm4305, false, 5, 13},
      {kTypeEm4450, false, 3, 31},  {kTypeSic7888, false, 2, 40}, {kTypeSic7888, true, 2, 40},
  };
  for (const auto& r : rows)
    for (int bytes : {4, 8}) {
      const int n = bytes / 4;
      SCOPED_TRACE(::testing::Message()
                   << "type " << r.type << " pa " << r.passwordActive << " bytes " << bytes);
      for (int start : {r.first, r.last - n + 1}) {
        JobParams j = Valid(r.type, start, bytes);
        j.passwordActive = r.passwordActive;
        EXPECT_TRUE(Write(j).ok);
        EXPECT_TRUE(Read(j).ok);
      }
      for (int start : {r.first - 1, r.last - n + 2}) {
        JobParams j = Valid(r.type, start, bytes);
        j.passwordActive = r.passwordActive;
        const Outcome w = Write(j), rd = Read(j);
        EXPECT_EQ(w.msg, Bounds(r.first, r.last - n + 1));
        EXPECT_EQ(w.focus, JobControl::StartBlock);
        EXPECT_EQ(rd.msg, Bounds(r.first, r.last - n + 1));
        EXPECT_EQ(rd.focus, JobControl::StartBlock);
      }
    }
}

TEST(JobChecks, Hitag2Capacity) {
  JobParams j = Valid(kTypeHitag2, 4, 16);
  j.numberFormat = kFormatHex;
  EXPECT_TRUE(Write(j).ok);
  EXPECT_EQ(Write(Valid(kTypeHitag2, 5, 16)).msg, Bounds(4, 4));
  // More bytes than the type holds: the capacity, never a start block range that cannot be met.
  for (const Outcome& o : {Write(Valid(kTypeHitag2, 4, 20)), Read(Valid(kTypeHitag2, 4, 20))}) {
    EXPECT_EQ(o.msg, (StatusMessage{kMsgMaxChars, {int64_t{16}}}));
    EXPECT_EQ(o.focus, JobControl::ByteCount);
  }
}

TEST(JobChecks, FiveBytesUseTwoBlocks) {
  EXPECT_TRUE(Write(Valid(kTypeHitag1, 62, 5)).ok);
  EXPECT_EQ(Write(Valid(kTypeHitag1, 63, 5)).msg, Bounds(16, 62));
}

TEST(JobChecks, Credentials) {
  struct Case {
    const char* name;
    int type;
    int passwordActive, authMode;
    const char *password, *tagPassword, *authKey;
    bool writeOk, readOk;
    JobControl focus;
  } cases[] = {
      {"hitag2 short tag pw", kTypeHitag2, 0, 0, "0123ABcd", "89ABC", "", false, false,
       JobControl::TagPassword},
      {"hitag2 bad pw", kTypeHitag2, 0, 0, "0123ABcG", "89ABCD", "", false, false, JobControl::Password},
      {"hitagS no auth", kTypeHitagS, 0, 0, "", "", "", true, true, JobControl::TypeCombo},
      {"hitagS key short", kTypeHitagS, 0, 1, "", "89ABCD", "0123456789A", false, false, JobControl::AuthKey},
      {"hitagS tag pw", kTypeHitagS, 0, 1, "", "89ABCDE", "0123456789AB", false, false,
       JobControl::TagPassword},
      {"mu pw inactive", kTypeHitagMu, 0, 0, "", "", "", false, true, JobControl::Password},
      {"mu pw active", kTypeHitagMu, 1, 0, "123", "", "", false, false, JobControl::Password},
      {"ata5577 inactive", kTypeAta5577, 0, 0, "x", "", "", true, true, JobControl::TypeCombo},
      {"ata5577 active", kTypeAta5577, 1, 0, "x", "", "", false, false, JobControl::Password},
      {"em4450 active", kTypeEm4450, 1, 0, "123456789", "", "", false, false, JobControl::Password},
      {"em4305 active", kTypeEm4305, 1, 0, "", "", "", false, false, JobControl::Password},
      {"sic inactive", kTypeSic7888, 0, 0, "", "", "", true, true, JobControl::TypeCombo},
      {"sic 6-digit tag pw", kTypeSic7888, 1, 0, "01234567", "89ABCD", "", false, false,
       JobControl::TagPassword},
      {"hitag1 anything", kTypeHitag1, 1, 1, "", "", "", true, true, JobControl::TypeCombo},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    JobParams j = Valid(c.type, FirstBlock(c.type), 4);
    j.passwordActive = c.passwordActive;
    j.authMode = c.authMode;
    j.password = c.password;
    j.tagPassword = c.tagPassword;
    j.authKey = c.authKey;
    const Outcome w = Write(j), r = Read(j);
    EXPECT_EQ(w.ok, c.writeOk);
    EXPECT_EQ(r.ok, c.readOk);
    if (!c.writeOk) {
      EXPECT_EQ(w.msg.id, kMsgBadPassword);
      EXPECT_EQ(w.focus, c.focus);
    }
    if (!c.readOk) {
      EXPECT_EQ(r.focus, c.focus);
    }
  }
}

TEST(JobChecks, OrderOfSteps) {
  // SIC7888 checks its credentials before the start block; the others the start block first.
  JobParams sic = Valid(kTypeSic7888, 0, 4);
  sic.passwordActive = 1;
  sic.password = "bad";
  EXPECT_EQ(Write(sic).msg.id, kMsgBadPassword);
  JobParams h2 = Valid(kTypeHitag2, 0, 4);
  h2.password = "bad";
  EXPECT_EQ(Write(h2).msg, Bounds(4, 7));
  // The read check looks at credentials before blocks.
  EXPECT_EQ(Read(h2).msg.id, kMsgBadPassword);
}

TEST(JobChecks, ValueCheck) {
  struct Case {
    int format, display, bytes;
    const char* value;
    int id;  // 0 = passes
    JobControl focus;
  } cases[] = {
      {kFormatDecimal, kDisplayBinary, 4, "", kMsgNoData, JobControl::Value},
      {kFormatNone, kDisplayAscii, 4, "", kMsgNoData, JobControl::Value},
      {kFormatDecimal, kDisplayBinary, 9, "", kMsgNoData, JobControl::Value},
      {kFormatDecimal, kDisplayBinary, 9, "12", kMsgDecimalOver8, JobControl::ByteCount},
      {kFormatDecimal, kDisplayBinary, 4, "12a", kMsgNoDecimal, JobControl::Value},
      {kFormatDecimal, kDisplayBinary, 4, "-1", kMsgNoDecimal, JobControl::Value},
      // A value is refused when its bytes would not read back as itself.
      {kFormatDecimal, kDisplayBinary, 8, "99999999999999999999", kMsgValueDoesNotFit, JobControl::Value},
      {kFormatDecimal, kDisplayBinary, 8, "9223372036854775807", 0, JobControl::TypeCombo},
      {kFormatDecimal, kDisplayBinary, 8, "9223372036854775808", kMsgValueDoesNotFit, JobControl::Value},
      {kFormatDecimal, kDisplayBinary, 1, "255", 0, JobControl::TypeCombo},
      {kFormatDecimal, kDisplayBinary, 1, "256", kMsgValueDoesNotFit, JobControl::Value},
      {kFormatHex, kDisplayBinary, 2, "12345", kMsgValueDoesNotFit, JobControl::Value},
      {kFormatHex, kDisplayBinary, 2, "00abcd", 0, JobControl::TypeCombo},
      {kFormatNone, kDisplayAscii, 8, "ABCDEFGHIJKLMNOPQRSTUVWXYZ", kMsgValueDoesNotFit, JobControl::Value},
      {kFormatNone, kDisplayAscii, 8, "ABCDEFGH", 0, JobControl::TypeCombo},
      {kFormatDecimal, kDisplayAscii, 6, "0042", 0, JobControl::TypeCombo},
      {kFormatNone, kDisplayBinary, 4, "12AB", 0, JobControl::TypeCombo},
      {kFormatNone, kDisplayBinary, 4, "123456789", kMsgValueDoesNotFit, JobControl::Value},
      {kFormatHex, kDisplayBinary, 4, "12aG", kMsgNoHex, JobControl::Value},
      {kFormatHex, kDisplayBinary, 4, "12aF", 0, JobControl::TypeCombo},
      {kFormatHex, kDisplayAscii, 4, "xyz", 0, JobControl::TypeCombo},
      {kFormatNone, kDisplayBinary, 4, "xyz", kMsgValueDoesNotFit, JobControl::Value},
      {kFormatDecimal, kDisplayAscii, 12, "LOT-1", 0, JobControl::TypeCombo},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    JobParams j = Valid(kTypeHitagS, 2, c.bytes);
    j.numberFormat = c.format;
    j.display = c.display;
    j.valueText = c.value;
    const Outcome w = Write(j);
    EXPECT_EQ(w.ok, c.id == 0);
    EXPECT_EQ(w.msg.id, c.id);
    if (c.id) {
      EXPECT_EQ(w.focus, c.focus);
    }
    if (c.id == kMsgValueDoesNotFit) {
      ASSERT_EQ(w.msg.args.size(), 2u);
      EXPECT_EQ(w.msg.args[1], StatusArg{int64_t{c.bytes}});
    }
  }
}

TEST(JobChecks, ReadDecimalAboveEightBytes) {
  JobParams j = Valid(kTypeHitagS, 2, 9);
  j.valueText = "";
  const Outcome r = Read(j);
  EXPECT_EQ(r.msg.id, kMsgDecimalOver8);
  EXPECT_EQ(r.focus, JobControl::ByteCount);
  j.startBlock = 1;  // the block check comes first
  EXPECT_EQ(Read(j).msg.id, kMsgStartBlockRange);
  j.startBlock = 2;
  j.display = kDisplayAscii;
  EXPECT_TRUE(Read(j).ok);
}

TEST(JobChecks, ByteCountsOutOfRange) {
  for (int bytes : {0, -1, -100, INT_MIN}) {
    const Outcome w = Write(Valid(kTypeHitag1, 16, bytes)), r = Read(Valid(kTypeHitag1, 16, bytes));
    EXPECT_EQ(w.msg.id, kMsgByteCountTooSmall);
    EXPECT_EQ(w.focus, JobControl::ByteCount);
    EXPECT_EQ(r.msg.id, kMsgByteCountTooSmall);
  }
  for (int bytes : {193, 5000, INT_MAX}) {
    EXPECT_EQ(Write(Valid(kTypeHitag1, 16, bytes)).msg, (StatusMessage{kMsgMaxChars, {int64_t{192}}}));
    EXPECT_EQ(Read(Valid(kTypeHitag1, 16, bytes)).msg, (StatusMessage{kMsgMaxChars, {int64_t{192}}}));
  }
  const Outcome s = Write(Valid(kTypeHitag1, INT_MIN, 4));
  EXPECT_EQ(s.msg, Bounds(16, 63));
}

TEST(JobChecks, UnknownTypeChecksTheValueOnly) {
  JobParams j = Valid(77, -5, 40);
  j.display = kDisplayAscii;
  EXPECT_TRUE(Write(j).ok);
  j.valueText.clear();
  EXPECT_EQ(Write(j).msg.id, kMsgNoData);
  // Read: the table gives first = last = 0.
  EXPECT_EQ(Read(Valid(77, 0, 8)).msg, (StatusMessage{kMsgMaxChars, {int64_t{4}}}));
  EXPECT_TRUE(Read(Valid(77, 0, 4)).ok);
}

TEST(JobChecks, Em4450RangeFieldsAbove255) {
  JobParams j = Valid(kTypeEm4450, 3, 4);
  j.readProtectFirst = 255;
  j.autoreadLast = 255;
  EXPECT_TRUE(Write(j).ok);
  j.writeProtectLast = 256;
  const Outcome w = Write(j);
  EXPECT_EQ(w.msg.id, kMsgRangeOver255);
  EXPECT_EQ(w.focus, JobControl::WriteProtectLast);
  EXPECT_TRUE(Read(j).ok);  // reading does not use the ranges
  // Other types hide the ranges and ignore them.
  j.transponderType = kTypeHitagS;
  j.startBlock = 2;
  EXPECT_TRUE(Write(j).ok);
}

TEST(StatusReporter, SuppressesRepeatsOnlyInsideTheTimer) {
  RecordingView view;
  StatusReporter status(view);
  JobParams j = Valid(kTypeHitag2, 4, 4);
  j.password.clear();
  ValidateWriteJob(j, status);
  ValidateWriteJob(j, status);
  EXPECT_EQ(view.messages.size(), 2u);
  status.inTimer = 1;
  ValidateWriteJob(j, status);
  ValidateWriteJob(j, status);
  EXPECT_EQ(view.messages.size(), 3u);
  EXPECT_EQ(view.focus.size(), 4u);  // the focus still moves
  // Formatted lines are always shown.
  j = Valid(kTypeHitag2, 9, 4);
  ValidateWriteJob(j, status);
  ValidateWriteJob(j, status);
  EXPECT_EQ(view.messages.size(), 5u);
  // A different id is shown and becomes the one to suppress.
  EXPECT_TRUE(status.AddStatusMessage(kMsgNoData));
  EXPECT_FALSE(status.AddStatusMessage(kMsgNoData));
  status.lastStatusId = 0;
  EXPECT_TRUE(status.AddStatusMessage(kMsgNoData));
}

}  // namespace
}  // namespace tw
