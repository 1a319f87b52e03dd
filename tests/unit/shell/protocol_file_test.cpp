#include "shell/protocol_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>

#include "shell/string_table.h"
#include "tests/unit/shell/run_without_root.h"
#include "tests/unit/shell/temp_dir.h"

namespace tw {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

class ProtocolFile : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    SetLanguage(Language::German);
  }
  void TearDown() override { SetLanguage(Language::German); }

  static ProtocolLineInput Input(CMyByteArray uid, std::string value = "4711") {
    ProtocolLineInput in;
    in.uid = std::move(uid);
    in.valueText = std::move(value);
    return in;
  }
  // 09.12.2026 12:34:56 UTC
  static constexpr std::time_t kWhen = 1796819696;
  TempDir dir_;
};

TEST_F(ProtocolFile, FirstLineOfANewFileIsByteExact) {
  std::string path = dir_.File("Protokoll_S.txt");
  ASSERT_TRUE(AppendProtocolLine(path, BuildProtocolLineBody(Input({0x01, 0x02, 0x03, 0xA4}), kWhen)));
  EXPECT_EQ(ReadFile(path),
            "     1\t09.12.2026 12:34:56\tA4030201\tDez BIN\xC4R Normal\t   0\t   4\t4711\r\n");
  ASSERT_TRUE(AppendProtocolLine(path, BuildProtocolLineBody(Input({}, "x"), kWhen)));
  EXPECT_EQ(ReadFile(path).substr(ReadFile(path).find("\r\n") + 2, 7), "     2\t");
}

TEST_F(ProtocolFile, UidWidths) {
  EXPECT_EQ(FormatProtocolUid({0x78, 0x56, 0x34, 0x12}), "12345678");
  EXPECT_EQ(FormatProtocolUid({0x05, 0x04, 0x03, 0x02, 0x01}), "0102030405");
  EXPECT_EQ(FormatProtocolUid({0x06, 0x05, 0x04, 0x03, 0x02, 0xE0}), "E00203040506");
  EXPECT_EQ(FormatProtocolUid({0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0xE0}), "E002030405060708");
  EXPECT_EQ(FormatProtocolUid({0, 0, 0, 0}), "00000000");
  EXPECT_EQ(FormatProtocolUid({}), "");
  EXPECT_EQ(FormatProtocolUid({1, 2, 3, 4, 5, 6, 7}), "");
  std::string body = BuildProtocolLineBody(Input({1, 2, 3, 4, 5, 6, 7}), kWhen);
  EXPECT_EQ(body, "09.12.2026 12:34:56\t\tDez BIN\xC4R Normal\t   0\t   4\t4711\r\n");
}

TEST_F(ProtocolFile, LabelsAndNumberFields) {
  ProtocolLineInput in = Input({}, "AB;CD");
  in.numberFormat = 0;
  in.display = 1;
  in.orientation = 0;
  in.startBlock = 12;
  in.byteCount = 1000;
  EXPECT_EQ(BuildProtocolLineBody(in, kWhen),
            "09.12.2026 12:34:56\t\t--- ASCII Normal\t  12\t1000\tAB;CD\r\n");
  in.numberFormat = 2;
  in.display = 7;
  in.orientation = 1;
  in.startBlock = -1;
  in.byteCount = 12345;
  EXPECT_EQ(BuildProtocolLineBody(in, kWhen),
            "09.12.2026 12:34:56\t\tHex BIN\xC4R Gedreht\t  -1\t12345\tAB;CD\r\n");
  in.numberFormat = 9;
  SetLanguage(Language::English);
  EXPECT_EQ(BuildProtocolLineBody(in, kWhen),
            "09.12.2026 12:34:56\t\tDec BINARY Reversed\t  -1\t12345\tAB;CD\r\n");
}

TEST_F(ProtocolFile, LastLineWithoutLineEndCountsAndIsContinued) {
  std::string path = dir_.File("edited.txt");
  WriteFile(path, "     1\tfirst\r\n     2\thand edit");
  ASSERT_TRUE(AppendProtocolLine(path, "body\r\n"));
  EXPECT_EQ(ReadFile(path), "     1\tfirst\r\n     2\thand edit     3\tbody\r\n");
  ASSERT_TRUE(AppendProtocolLine(path, "next\r\n"));
  EXPECT_EQ(ReadFile(path).substr(ReadFile(path).size() - 13), "     3\tnext\r\n");
}

TEST_F(ProtocolFile, BothLogsOnOneFileShareTheNumbering) {
  std::string path = dir_.File("both.txt");
  ProtocolLineInput written = Input({1, 2, 3, 4}, "100");
  ProtocolLineInput read = Input({1, 2, 3, 4}, "100");
  read.display = 1;
  ASSERT_TRUE(WriteProtocolLine(path, written));
  ASSERT_TRUE(WriteProtocolLine(path, read));
  ASSERT_TRUE(WriteProtocolLine(path, written));
  std::string text = ReadFile(path);
  EXPECT_EQ(CountProtocolLines(path), 3);
  EXPECT_NE(text.find("     1\t"), std::string::npos);
  EXPECT_NE(text.find("\r\n     2\t"), std::string::npos);
  EXPECT_NE(text.find("Dez ASCII Normal"), std::string::npos);
  EXPECT_NE(text.find("\r\n     3\t"), std::string::npos);
}

TEST_F(ProtocolFile, SevenDigitsFromLineOneMillion) {
  std::string path = dir_.File("long.txt");
  WriteFile(path, std::string(999998, '\n'));
  ASSERT_TRUE(AppendProtocolLine(path, "a\r\n"));
  ASSERT_TRUE(AppendProtocolLine(path, "b\r\n"));
  std::string text = ReadFile(path);
  EXPECT_EQ(text.substr(999998), "999999\ta\r\n1000000\tb\r\n");
}

TEST_F(ProtocolFile, ChangesBehindOurBackAreCountedAgain) {
  std::string path = dir_.File("changed.txt");
  ASSERT_TRUE(AppendProtocolLine(path, "a\r\n"));
  ASSERT_TRUE(AppendProtocolLine(path, "b\r\n"));
  {  // another program appends two lines
    std::FILE* f = std::fopen(path.c_str(), "ab");
    std::fputs("x\r\ny\r\n", f);
    std::fclose(f);
  }
  ASSERT_TRUE(AppendProtocolLine(path, "c\r\n"));
  EXPECT_NE(ReadFile(path).find("     5\tc\r\n"), std::string::npos);
  // Replaced by a file of exactly the same size with fewer lines.
  std::string size = ReadFile(path);
  std::string replacement(size.size() - 2, 'z');
  replacement += "\r\n";
  WriteFile(path + ".new", replacement);
  ASSERT_EQ(std::rename((path + ".new").c_str(), path.c_str()), 0);
  ASSERT_TRUE(AppendProtocolLine(path, "d\r\n"));
  EXPECT_EQ(ReadFile(path).substr(replacement.size()), "     2\td\r\n");
  // Deleted: starts again at 1.
  ::unlink(path.c_str());
  ASSERT_TRUE(AppendProtocolLine(path, "e\r\n"));
  EXPECT_EQ(ReadFile(path), "     1\te\r\n");
}

TEST_F(ProtocolFile, LineFeedInsideTheValueBecomesCrLf) {
  std::string body = BuildProtocolLineBody(Input({}, "a\nb\rc"), kWhen);
  EXPECT_EQ(body.substr(body.size() - 9), "\ta\r\nb\rc\r\n");
}

TEST_F(ProtocolFile, UnwritableTargetsReportFailure) {
  EXPECT_FALSE(WriteProtocolLine("", Input({})));
  EXPECT_FALSE(WriteProtocolLine(dir_.File("missing/Protokoll_S.txt"), Input({})));
  EXPECT_FALSE(WriteProtocolLine(dir_.Path(), Input({})));  // a folder
  EXPECT_FALSE(test::Exists(dir_.File("missing")));
  ::chmod(dir_.Path().c_str(), 0755);
  std::string ro = dir_.File("ro.txt");
  WriteFile(ro, "     1\tx\r\n");
  ::chmod(ro.c_str(), 0444);
  EXPECT_TRUE(test::RunWithoutRoot([&] { return !WriteProtocolLine(ro, Input({})); }));
  EXPECT_EQ(ReadFile(ro), "     1\tx\r\n");
}

}  // namespace
}  // namespace tw
