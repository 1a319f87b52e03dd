// The settings document against what only POSIX systems have: file modes, symbolic links, time
// stamps set by hand, a file size limit, and a lock held by another opener.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include "shell/ini_ex.h"
#include "tests/unit/shell/run_without_root.h"
#include "tests/unit/shell/temp_dir.h"

namespace tw {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

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

}  // namespace
}  // namespace tw
