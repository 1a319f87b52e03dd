#include "shell/ini_ex.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>

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

TEST(IniEx, CaseOnlyChangeAndSameValuesLeaveTheFileUntouched) {
  TempDir dir;
  std::string path = dir.File("c.ini");
  WriteFile(path, "[Settings]\nPasswort=abcdef\nStartblock=3\n");
  struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), old, 0), 0);
  {
    CPrivateProfile d(path);
    d.WriteProfileString("settings", "PASSWORT", "ABCDEF");
    EXPECT_EQ(d.GetProfileString("Settings", "Passwort", ""), "ABCDEF");
    d.WriteProfileInt("Settings", "Startblock", 3);
    EXPECT_FALSE(d.IsModified());
  }
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
  EXPECT_EQ(ReadFile(path), "[Settings]\nPasswort=abcdef\nStartblock=3\n");
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

TEST(IniEx, SaveKeepsModeAndFollowsSymlinks) {
  TempDir dir;
  std::string real = dir.File("real.ini"), link = dir.File("link.ini");
  WriteFile(real, "[S]\na=1\n");
  ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
  ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
  {
    CPrivateProfile d(link);
    d.WriteProfileString("S", "a", "2");
  }
  struct stat st {};
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(::stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(ReadFile(real), "[S]\r\na=2\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2);  // no temp left
}

TEST(IniEx, ReadOnlyFileIsReadButNotRewrittenUnreadableFileFails) {
  TempDir dir;
  ::chmod(dir.Path().c_str(), 0755);
  std::string path = dir.File("ro.ini");
  WriteFile(path, "[Settings]\nStartblock=7\n");
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  std::string unreadable = dir.File("secret.ini");
  WriteFile(unreadable, "[Settings]\nStartblock=7\n");
  ASSERT_EQ(::chmod(unreadable.c_str(), 0), 0);
  EXPECT_TRUE(test::RunWithoutRoot([&] {
    CPrivateProfile none;
    if (none.Open(unreadable)) return false;
    CPrivateProfile d(path);
    bool ok = d.GetProfileInt("Settings", "Startblock", 1) == 7;
    d.WriteProfileInt("Settings", "Startblock", 8);
    return ok && !d.Save() && d.IsModified();
  }));
  EXPECT_EQ(ReadFile(path), "[Settings]\nStartblock=7\n");
}

TEST(IniEx, FailedSaveLeavesTheOldFileIntact) {
  TempDir dir;
  std::string path = dir.File("full.ini");
  const std::string old = "[Settings]\nWert=keep me\n";
  WriteFile(path, old);
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    // A file size limit makes the write fail as a full disk does.
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit rl {
      64, 64
    };
    ::setrlimit(RLIMIT_FSIZE, &rl);
    CPrivateProfile d(path);
    d.WriteProfileString("Settings", "Wert", std::string(4096, 'v'));
    bool saved = d.Save();
    bool stillModified = d.IsModified();
    ::_exit(!saved && stillModified ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(ReadFile(path), old);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
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

TEST(IniEx, AttachWaitsWhileAnotherHolderHasTheFile) {
  TempDir dir;
  std::string path = dir.File("held.ini");
  WriteFile(path, "[S]\na=1\n");
  int fd = ::open(path.c_str(), O_RDONLY);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  std::thread releaser([fd] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    ::flock(fd, LOCK_UN);
  });
  auto start = std::chrono::steady_clock::now();
  CPrivateProfile d(path);
  auto waited = std::chrono::steady_clock::now() - start;
  releaser.join();
  ::close(fd);
  EXPECT_GE(waited, std::chrono::milliseconds(100));
  EXPECT_EQ(d.GetProfileString("S", "a", ""), "1");
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
