// Reader identification from the version answer: type code, revision, capability word, write
// capability, model names.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "sdk/device_types.h"

using namespace tw;

namespace {
CMyByteArray Bytes(const std::string& s) { return CMyByteArray(s.begin(), s.end()); }
}  // namespace

TEST(Identification, VersionAnswerExamples) {
  struct Case {
    const char* answer;
    int type;
    int revision;
    uint16_t caps;
    bool canWrite;
  } cases[] = {
      {"2439", 0x243, 9, 0x03F3, true},  {"243a", 0x243, 36, 0x03F3, true},
      {"243z", 0x243, 61, 0x07F3, true}, {"0291", 0x029, 1, 0x0001, true},
      {"029E", 0x029, 14, 0x0073, true}, {"5400", 0x540, 0, 0x0303, false},
      {"243-", 0x243, 255, 0x07F3, true}, {"24x5", 0x024, 5, 0x0001, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    const ReaderIdentity id = EvaluateVersion(Bytes(c.answer));
    EXPECT_EQ(id.typeCode, c.type);
    EXPECT_EQ(id.revision, c.revision);
    EXPECT_EQ(id.capabilityWord, c.caps);
    EXPECT_EQ(CanWrite(id.typeCode), c.canWrite);
  }
}

TEST(Identification, ShortAndTextAnswers) {
  for (const char* s : {"", "2", "24", "243"}) {
    const ReaderIdentity id = EvaluateVersion(Bytes(s));
    EXPECT_EQ(id.typeCode, 0);
    EXPECT_EQ(id.revision, 0);
    EXPECT_EQ(id.capabilityWord, 0);
  }
  const ReaderIdentity text = EvaluateVersion(Bytes("QZ RW V1.0"));
  EXPECT_EQ(text.typeCode, 0x242);
  EXPECT_EQ(text.revision, 3);
  EXPECT_EQ(text.capabilityWord, 0x0103);
  EXPECT_TRUE(CanWrite(text.typeCode));
}

TEST(Identification, RevisionCharacters) {
  EXPECT_EQ(RevisionFromChar('0'), 0);
  EXPECT_EQ(RevisionFromChar('9'), 9);
  EXPECT_EQ(RevisionFromChar('A'), 10);
  EXPECT_EQ(RevisionFromChar('Z'), 35);
  EXPECT_EQ(RevisionFromChar('a'), 36);
  EXPECT_EQ(RevisionFromChar('z'), 61);
  EXPECT_EQ(RevisionFromChar('@'), 255);
  EXPECT_EQ(RevisionFromChar(0xE4), 255);
}

TEST(Identification, CapabilityTableRowByRow) {
  struct Row {
    int h, f;
    uint16_t caps;
  } rows[] = {
      {0x001, 0, 0x0010},  {0x000, 5, 0x0000},  {0x010, 20, 0x0000}, {0x021, 6, 0x0001},
      {0x021, 7, 0x0003},  {0x029, 12, 0x0013}, {0x029, 13, 0x0033}, {0x029, 14, 0x0073},
      {0x039, 0, 0x0073},  {0x041, 0, 0x0073},  {0x053, 0, 0x07F3},  {0x054, 0, 0x07F3},
      {0x052, 0, 0x0303},  {0x543, 0, 0x07F3},  {0x544, 9, 0x07F3},  {0x541, 0, 0x0303},
      {0x061, 6, 0x0001},  {0x061, 7, 0x0003},  {0x069, 12, 0x0013}, {0x069, 13, 0x0033},
      {0x069, 14, 0x0073}, {0x081, 0, 0x0003},  {0x109, 0, 0x0073},  {0x101, 0, 0x0003},
      {0x219, 13, 0x0033}, {0x219, 14, 0x0073}, {0x211, 20, 0x0003}, {0x243, 2, 0x01F3},
      {0x243, 3, 0x03F3},  {0x245, 37, 0x03F3}, {0x245, 38, 0x07F3}, {0x242, 38, 0x0303},
      {0x242, 2, 0x0103},  {0x253, 2, 0x01F3},  {0x254, 3, 0x03F3},  {0x251, 61, 0x0303},
      {0x522, 0, 0x0103},  {0x532, 0, 0x0103},  {0x271, 0, 0x0003},  {0x273, 0, 0x0103},
      {0x231, 0, 0x03F3},  {0x283, 0, 0x03F3},  {0x284, 0, 0x03F3},  {0x281, 0, 0x0303},
      {0x293, 0, 0x07F3},  {0x294, 0, 0x07F3},  {0x291, 0, 0x0303},  {0x553, 0, 0x07F3},
      {0x555, 0, 0x07F3},  {0x552, 0, 0x0303},  {0x565, 0, 0x07F3},  {0x560, 0, 0x0303},
      {0x575, 0, 0x07F3},  {0x571, 0, 0x0303},  {0x071, 0, 0x0000},  {0x2F0, 0, 0x0000},
      {0x233, 0, 0x0000},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << std::hex << r.h << " f=" << std::dec << r.f);
    EXPECT_EQ(CapabilityWord(r.h, r.f), r.caps);
  }
}

TEST(Identification, WriteCapabilityRowByRow) {
  struct Row {
    int h;
    bool rw;
  } rows[] = {
      {0x000, true},  {0x001, true},  {0x010, true},  {0x021, true},  {0x022, false},
      {0x039, true},  {0x031, false}, {0x041, true},  {0x044, false}, {0x050, false},
      {0x051, false}, {0x052, true},  {0x054, true},  {0x055, false}, {0x061, true},
      {0x064, false}, {0x081, true},  {0x109, true},  {0x211, true},  {0x214, false},
      {0x231, false}, {0x232, true},  {0x241, false}, {0x244, true},  {0x245, false},
      {0x253, true},  {0x522, true},  {0x535, false}, {0x271, true},  {0x273, true},
      {0x272, false}, {0x284, true},  {0x291, false}, {0x553, true},  {0x564, true},
      {0x572, true},  {0x575, false}, {0x543, false}, {0x071, false}, {0x011, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << std::hex << r.h);
    EXPECT_EQ(CanWrite(r.h), r.rw);
  }
}

TEST(Identification, ModelTableAndNames) {
  size_t n = 0;
  const ModelRow* rows = ModelTable(&n);
  ASSERT_EQ(n, 77u);
  std::set<std::string> names;
  std::set<int> codes;
  constexpr size_t kDialogNameBuffer = 30;  // what the main dialog hands to LF_GetVersion
  for (size_t i = 0; i < n; ++i) {
    names.insert(rows[i].name);
    codes.insert(rows[i].code);
    EXPECT_LE(std::string(rows[i].name).size() + 1, kDialogNameBuffer) << rows[i].name;
  }
  EXPECT_EQ(names.size(), 77u);
  EXPECT_EQ(codes.size(), 77u);
  EXPECT_EQ(rows[0].code, 0x001);
  EXPECT_EQ(rows[47].code, 0x522);
  EXPECT_EQ(rows[76].code, 0x573);

  EXPECT_EQ(ModelName(Bytes("2F05")), "QZ-#2F0");
  EXPECT_EQ(ModelName(Bytes("24")), "---");
  EXPECT_EQ(ModelName(Bytes("")), "---");
  EXPECT_EQ(ModelName(Bytes("2439")), "QZ-243 read/write unit enh.");
  EXPECT_EQ(ModelName(Bytes("243")), "QZ-243 read/write unit enh.");
  EXPECT_EQ(FirmwareText(5), "FW V1.05");
  EXPECT_EQ(FirmwareText(10), "FW V1.10");
}
