#include "shell/ini_ex.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/unit/shell/temp_dir.h"

namespace tw {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// Attaches to a file holding text, lets edit change the document, then destroys it (which saves).
template <typename Edit>
std::string RewriteWith(const TempDir& dir, const std::string& text, Edit edit) {
  std::string path = dir.File("s.QZLF_Set");
  WriteFile(path, text);
  {
    CPrivateProfile doc(path);
    edit(doc);
  }
  return ReadFile(path);
}

TEST(IniEx, DuplicateEntriesReadAndWriteTheLaterOne) {
  TempDir dir;
  std::string out = RewriteWith(dir, "[S]\na=1\na=2\n", [](CIniEx& d) {
    EXPECT_EQ(d.GetProfileString("S", "a", ""), "2");
    d.WriteProfileString("S", "A", "3");
  });
  EXPECT_EQ(out, "[S]\r\na=1\r\na=3\r\n");
}

TEST(IniEx, DuplicateSectionsUseTheFirstAndKeepTheSecond) {
  TempDir dir;
  std::string out = RewriteWith(dir, "[S]\na=1\n[T]\nt=0\n[s]\na=9\nb=2\n", [](CIniEx& d) {
    EXPECT_EQ(d.GetProfileString("S", "a", ""), "1");
    EXPECT_EQ(d.GetProfileString("s", "b", "none"), "none");
    d.WriteProfileString("S", "b", "5");
  });
  EXPECT_EQ(out, "[S]\r\na=1\r\nb=5\r\n[T]\r\nt=0\r\n[s]\r\na=9\r\nb=2\r\n");
}

TEST(IniEx, EntriesBeforeTheFirstHeaderStayFirstWithoutHeader) {
  TempDir dir;
  std::string out = RewriteWith(dir, "top=1\n[S]\nx=2\n", [](CIniEx& d) {
    EXPECT_EQ(d.GetProfileString("", "top", ""), "1");
    d.WriteProfileString("S", "x", "3");
  });
  EXPECT_EQ(out, "top=1\r\n[S]\r\nx=3\r\n");
}

TEST(IniEx, SpacesAroundNamesAndValues) {
  CIniEx d;
  d.ParseText("[S]\nkey   =   value  \n lead=1\nplain=x\t\t\n");
  EXPECT_EQ(d.GetProfileString("S", "key", ""), "value  ");
  EXPECT_EQ(d.GetProfileString("S", "lead", "missing"), "missing");
  EXPECT_EQ(d.GetProfileString("S", " lead", ""), "1");
  EXPECT_EQ(d.GetProfileString("S", "plain", ""), "x");  // trailing TABs go, spaces stay
}

TEST(IniEx, LineWithoutEqualsAndNonHeadersAreEntries) {
  TempDir dir;
  std::string out = RewriteWith(dir, "[S]\njustaname   \n[X] \n;comment  \n", [](CIniEx& d) {
    EXPECT_EQ(d.GetProfileString("S", "justaname", "d"), "");
    EXPECT_EQ(d.GetProfileString("S", "[X]", "d"), "");
    EXPECT_EQ(d.GetProfileString("X", "anything", "d"), "d");
    d.WriteProfileString("S", "new", "1");
  });
  EXPECT_EQ(out, "[S]\r\njustaname=\r\n[X]=\r\n;comment  \r\nnew=1\r\n");
}

TEST(IniEx, EmptyAndEntrylessHeadersAreNotWrittenBack) {
  TempDir dir;
  std::string out = RewriteWith(dir, "[A]\na=1\n[Lonely]\n[B]\nb=1\n[]\nc=1\n", [](CIniEx& d) {
    EXPECT_EQ(d.GetProfileString("", "c", "d"), "d");  // the first unnamed section is a filler
    d.WriteProfileString("B", "b", "2");
  });
  EXPECT_EQ(out, "[A]\r\na=1\r\n[B]\r\nb=2\r\nc=1\r\n");
  CIniEx again;
  again.ParseText(out);
  EXPECT_EQ(again.GetProfileString("B", "c", ""), "1");  // now belongs to the previous section
}

TEST(IniEx, CommentsAndUnknownEntriesSurviveBlankLinesDoNot) {
  TempDir dir;
  std::string out = RewriteWith(
      dir, "; made by hand\r\n\r\n[Settings]\r\n; keep\r\nOther=x\r\n\r\n\r\nWert=1\r\n[Foreign]\r\nz=9\r\n",
      [](CIniEx& d) { d.WriteProfileString("Settings", "Wert", "2"); });
  EXPECT_EQ(out, "; made by hand\r\n[Settings]\r\n; keep\r\nOther=x\r\nWert=2\r\n[Foreign]\r\nz=9\r\n");
}

TEST(IniEx, ZeroLengthAndMissingFilesAttach) {
  TempDir dir;
  std::string empty = dir.File("empty.ini");
  WriteFile(empty, "");
  CPrivateProfile a;
  EXPECT_TRUE(a.Open(empty));
  EXPECT_TRUE(a.Sections().empty());
  std::string missing = dir.File("new.QZLF_Set");
  {
    CPrivateProfile b(missing);
    EXPECT_EQ(b.Path(), missing);
    EXPECT_TRUE(test::Exists(missing));  // created empty by the attach
    b.WriteProfileInt("Settings", "Startblock", 1);
    b.WriteProfileString("Settings", "Wert", "");
  }
  EXPECT_EQ(ReadFile(missing), "[Settings]\r\nStartblock=1\r\nWert=\r\n");
  CPrivateProfile c;
  EXPECT_FALSE(c.Open(dir.File("no/such/folder.ini")));
  EXPECT_TRUE(c.Path().empty());
}

TEST(IniEx, GetProfileIntReading) {
  CIniEx d;
  d.ParseText("[S]\nn=  -42xyz\nword=abc\nempty=\nplus=+7\nbig=99999999999\n");
  EXPECT_EQ(d.GetProfileInt("S", "n", 5), -42);
  EXPECT_EQ(d.GetProfileInt("S", "word", 5), 0);
  EXPECT_EQ(d.GetProfileInt("S", "empty", 5), 5);
  EXPECT_EQ(d.GetProfileInt("S", "missing", 5), 5);
  EXPECT_EQ(d.GetProfileInt("S", "plus", 5), 7);
  EXPECT_EQ(d.GetProfileInt("S", "big", 5), 2147483647);
}

TEST(IniEx, CaseInsensitiveLookupCoversWindows1252Letters) {
  CIniEx d;
  d.ParseText(
      "[Gr\xFC\xDF"
      "e]\n\xC4nderung=1\n");
  EXPECT_EQ(d.GetProfileString("GR\xDC\xDF"
                               "E",
                               "\xE4NDERUNG", ""),
            "1");
}

TEST(IniEx, WriteAddsSectionsAfterTheLastOneSeen) {
  CIniEx d;
  d.ParseText("[A]\na=1\n[Trailing]\n");
  d.WriteProfileString("New", "k", "v");
  EXPECT_TRUE(d.IsModified());
  EXPECT_EQ(d.ToText(), "[A]\r\na=1\r\n[New]\r\nk=v\r\n");
}

TEST(IniEx, ParseSaveParseRoundTripKeepsEverything) {
  const std::string text =
      "; head\r\npre=0\r\n[Settings]\r\nTranspondertyp=Hitag S\r\nWert=00 12;34\r\n"
      "AutoIncrement=1\r\n;c2\r\nnoequals=\r\n[Other]\r\nx=a=b\r\n";
  CIniEx a;
  a.ParseText(text);
  EXPECT_EQ(a.ToText(), text);
  CIniEx b;
  b.ParseText(a.ToText());
  EXPECT_EQ(b.ToText(), text);
  EXPECT_EQ(b.GetProfileString("other", "X", ""), "a=b");
}

TEST(IniEx, HostileTextNeverBreaksTheDocument) {
  std::string text = std::string("[S]\nnul=a\0b\n", 12) + "lone\rcr=1\n" + std::string(1 << 20, 'x') +
                     "=long\n\xFF\xFE\x01[\n]\n[\n";
  CIniEx d;
  d.ParseText(text);
  EXPECT_EQ(d.GetProfileString("S", "nul", ""), std::string("a\0b", 3));
  EXPECT_EQ(d.GetProfileString("S", "cr", ""), "1");  // a lone CR separates lines too
  EXPECT_EQ(d.GetProfileString("S", std::string(1 << 20, 'x'), ""), "long");
  CIniEx again;
  again.ParseText(d.ToText());
  EXPECT_EQ(again.ToText(), d.ToText());
}

TEST(IniEx, VanishedFileIsWrittenAgainAndMissingFolderIsSkipped) {
  TempDir dir;
  std::string path = dir.File("gone.ini");
  WriteFile(path, "[S]\na=1\n");
  CPrivateProfile d(path);
  ::unlink(path.c_str());
  d.WriteProfileString("S", "a", "2");
  EXPECT_TRUE(d.Save());
  EXPECT_EQ(ReadFile(path), "[S]\r\na=2\r\n");

  std::filesystem::create_directory(dir.File("sub"));
  CPrivateProfile e(dir.File("sub/x.ini"));
  std::filesystem::remove_all(dir.File("sub"));
  e.WriteProfileString("S", "a", "2");
  EXPECT_FALSE(e.Save());
  EXPECT_TRUE(e.IsModified());
}

TEST(IniEx, UnattachedDocumentNeverWrites) {
  TempDir dir;
  {
    CPrivateProfile d;
    d.ParseText("[S]\na=1\n");
    d.WriteProfileString("S", "a", "2");
    EXPECT_FALSE(d.Save());
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 0);
}

}  // namespace
}  // namespace tw
