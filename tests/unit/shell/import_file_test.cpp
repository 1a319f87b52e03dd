#include "shell/import_file.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "shell/atomic_file.h"
#include "tests/unit/shell/temp_dir.h"

namespace tw {
namespace {

using test::TempDir;
using test::WriteFile;

std::vector<std::string> AllLines(const std::string& path, long long* count = nullptr) {
  CImportFile f;
  EXPECT_TRUE(f.Open(path));
  if (count) *count = f.LineCount();
  std::vector<std::string> lines;
  std::string line;
  while (f.ReadLine(line)) lines.push_back(line);
  return lines;
}

TEST(ImportFile, LineRules) {
  TempDir dir;
  std::string path = dir.File("d.txt");
  WriteFile(path, "a\r\nb\n\nc\rd\r\r\n12;34;56\n\"quoted\"  \nlast");
  long long count = 0;
  std::vector<std::string> lines = AllLines(path, &count);
  std::vector<std::string> expected = {"a", "b", "", "c\rd\r", "12;34;56", "\"quoted\"  ", "last"};
  EXPECT_EQ(lines, expected);
  EXPECT_EQ(count, 7);
  WriteFile(path, "one\n");
  EXPECT_EQ(AllLines(path, &count), std::vector<std::string>{"one"});
  EXPECT_EQ(count, 1);
  WriteFile(path, "");
  EXPECT_TRUE(AllLines(path, &count).empty());
  EXPECT_EQ(count, 0);
}

TEST(ImportFile, MegabyteLineAndNulBytes) {
  TempDir dir;
  std::string path = dir.File("big.txt");
  std::string big(1 << 20, 'x');
  WriteFile(path, big + "\r\n" + std::string("a\0b", 3) + "\n");
  EXPECT_EQ(AllLines(path), (std::vector<std::string>{big, std::string("a\0b", 3)}));
}

class DataImport : public ::testing::Test {
 protected:
  void WriteLines(int n) {
    std::string text;
    for (int i = 1; i <= n; ++i) text += "value" + std::to_string(i) + "\r\n";
    WriteFile(path_, text);
  }
  TempDir dir_;
  std::string path_ = dir_.File("werte.csv");
  CDataImport imp_;
  std::string value_;
};

TEST_F(DataImport, ThreeLinesThenTheEnd) {
  WriteLines(3);
  imp_.importFile = path_;
  ASSERT_EQ(imp_.OpenImportFile(0, value_), ImportOpenResult::Loaded);
  EXPECT_EQ(value_, "value1");
  EXPECT_EQ(imp_.counterText, "1 / 3");
  EXPECT_TRUE(imp_.ReadNextImportLine(value_));
  EXPECT_TRUE(imp_.ReadNextImportLine(value_));
  EXPECT_EQ(value_, "value3");
  EXPECT_EQ(imp_.counterText, "3 / 3");
  EXPECT_EQ(imp_.importLinesUsed, 3);
  EXPECT_FALSE(imp_.ReadNextImportLine(value_));
  EXPECT_EQ(value_, "");
  EXPECT_EQ(imp_.counterText, "");
  EXPECT_EQ(imp_.importFile, "");
  EXPECT_FALSE(imp_.IsOpen());
  EXPECT_FALSE(imp_.ReadNextImportLine(value_));  // no file open
}

TEST_F(DataImport, ReopeningAtTheSavedPosition) {
  WriteLines(10);
  imp_.importFile = path_;
  ASSERT_EQ(imp_.OpenImportFile(5, value_), ImportOpenResult::Loaded);
  EXPECT_EQ(value_, "value5");
  EXPECT_EQ(imp_.counterText, "5 / 10");
  EXPECT_EQ(imp_.importLinesUsed, 5);
  ASSERT_EQ(imp_.OpenImportFile(1, value_), ImportOpenResult::Loaded);
  EXPECT_EQ(value_, "value1");
  ASSERT_EQ(imp_.OpenImportFile(10, value_), ImportOpenResult::Loaded);
  EXPECT_EQ(value_, "value10");
}

TEST_F(DataImport, PositionBeyondTheEndIsInvalid) {
  WriteLines(10);
  imp_.importFile = path_;
  value_ = "before";
  EXPECT_EQ(imp_.OpenImportFile(12, value_), ImportOpenResult::Invalid);
  EXPECT_EQ(value_, "before");  // no value loaded
  EXPECT_EQ(imp_.importFile, "");
  EXPECT_FALSE(imp_.IsOpen());
  imp_.importFile = path_;
  EXPECT_EQ(imp_.OpenImportFile(11, value_), ImportOpenResult::Invalid);  // skips 10, no line 11
  EXPECT_EQ(imp_.importFile, "");
  WriteFile(path_, "");
  imp_.importFile = path_;
  EXPECT_EQ(imp_.OpenImportFile(0, value_), ImportOpenResult::Invalid);
}

TEST_F(DataImport, MissingOrUnnamedFileCannotOpen) {
  EXPECT_EQ(imp_.OpenImportFile(0, value_), ImportOpenResult::CannotOpen);
  imp_.importFile = dir_.File("nope.txt");
  EXPECT_EQ(imp_.OpenImportFile(0, value_), ImportOpenResult::CannotOpen);
  imp_.importFile = dir_.Path();  // a folder
  EXPECT_EQ(imp_.OpenImportFile(0, value_), ImportOpenResult::CannotOpen);
}

TEST_F(DataImport, FileReplacedWhileOpenKeepsItsCount) {
  WriteLines(3);
  imp_.importFile = path_;
  ASSERT_EQ(imp_.OpenImportFile(0, value_), ImportOpenResult::Loaded);
  std::string longer;
  for (int i = 1; i <= 20; ++i) longer += "new" + std::to_string(i) + "\n";
  ASSERT_TRUE(ReplaceFileAtomically(path_, longer));  // an editor's save: a new file under the old name
  EXPECT_TRUE(imp_.ReadNextImportLine(value_));
  EXPECT_EQ(value_, "value2");
  EXPECT_EQ(imp_.counterText, "2 / 3");
  ASSERT_EQ(imp_.OpenImportFile(2, value_), ImportOpenResult::Loaded);
  EXPECT_EQ(value_, "new2");
  EXPECT_EQ(imp_.counterText, "2 / 20");
}

}  // namespace
}  // namespace tw
