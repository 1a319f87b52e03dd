#include "shell/settings_store.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

#include "shell/settings_keys.h"
#include "tests/unit/shell/temp_dir.h"

namespace tw {
namespace {

using test::ReadFile;
using test::TempDir;

void ExpectDefaultsAndTypes(ISettingsStore& s) {
  EXPECT_EQ(s.GetProfileInt("Settings", "Startblock", 0), 0);
  EXPECT_EQ(s.GetProfileString("Settings", "Passwort", "5A3C9E17"), "5A3C9E17");
  EXPECT_TRUE(s.WriteProfileInt("Settings", "Startblock", -3));
  EXPECT_TRUE(s.WriteProfileString("Settings", "Wert", ""));
  EXPECT_TRUE(s.WriteProfileString("Settings", "Transpondertyp", "Hitag 2"));
  EXPECT_EQ(s.GetProfileInt("settings", "STARTBLOCK", 0), -3);
  EXPECT_EQ(s.GetProfileString("Settings", "Startblock", ""), "-3");
  EXPECT_EQ(s.GetProfileString("Settings", "Wert", "default"), "");  // stored empty stays empty
  EXPECT_EQ(s.GetProfileInt("Settings", "Wert", 9), 9);
  EXPECT_EQ(s.GetProfileInt("Settings", "Transpondertyp", 4), 4);  // text read as integer: default
  EXPECT_TRUE(s.WriteProfileString("Port", "Name", "COM1"));
  EXPECT_EQ(s.GetProfileString("Port", "Name", ""), "COM1");
  EXPECT_EQ(s.GetProfileString("Settings", "Name", "none"), "none");
}

TEST(SettingsStore, MemoryDefaultsTypesAndTransactions) {
  MemorySettingsStore s;
  ExpectDefaultsAndTypes(s);
  s.SetFailWrites(true);
  EXPECT_FALSE(s.Transaction([](ISettingsView& v) {
    v.WriteProfileString("Settings", "Wert", "lost");
    v.WriteProfileInt("Settings", "DatenLinesUsed", 5);
  }));
  EXPECT_EQ(s.GetProfileString("Settings", "Wert", "x"), "");
  EXPECT_FALSE(s.Has("Settings", "DatenLinesUsed"));
}

TEST(SettingsStore, CallsIntoTheStoreFromATransactionJoinIt) {
  TempDir dir;
  FileSettingsStore s(dir.File("t.conf"));
  EXPECT_TRUE(s.Transaction([&](ISettingsView& v) {
    v.WriteProfileInt("Settings", "DatenLinesUsed", 4);
    EXPECT_EQ(s.GetProfileInt("Settings", "DatenLinesUsed", 0), 4);
    EXPECT_TRUE(s.WriteProfileString("Settings", "Wert", "17"));
  }));
  FileSettingsStore fresh(s.Path());
  EXPECT_EQ(fresh.GetProfileString("Settings", "Wert", ""), "17");
  EXPECT_EQ(fresh.GetProfileInt("Settings", "DatenLinesUsed", 0), 4);
}

TEST(SettingsStore, FileDefaultsTypesModeAndFormat) {
  TempDir dir;
  FileSettingsStore s(dir.File("Velkor Applikationen/Tagwright.conf"));
  EXPECT_EQ(s.GetProfileInt("Settings", "ZyklusZeit", 250), 250);  // no file yet
  ExpectDefaultsAndTypes(s);
  struct stat st {};
  ASSERT_EQ(::stat(s.Path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_EQ(::stat(dir.File("Velkor Applikationen").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(ReadFile(s.Path()),
            "[Settings]\r\nStartblock=-3\r\nWert=\r\nTranspondertyp=Hitag 2\r\n[Port]\r\nName=COM1\r\n");
  // A second store on the same file (another program) sees the values.
  FileSettingsStore other(s.Path());
  EXPECT_EQ(other.GetProfileInt("Settings", "Startblock", 0), -3);
}

TEST(SettingsStore, CaseChangesOfValuesAreStored) {
  TempDir dir;
  FileSettingsStore s(dir.File("t.conf"));
  ASSERT_TRUE(s.WriteProfileString("Settings", "DatenFile", "/data/Werte.txt"));
  ASSERT_TRUE(s.WriteProfileString("Settings", "DatenFile", "/data/werte.txt"));
  FileSettingsStore fresh(s.Path());
  EXPECT_EQ(fresh.GetProfileString("Settings", "DatenFile", ""), "/data/werte.txt");
}

TEST(SettingsStore, TransactionStoresSeveralValuesInOneReplacement) {
  TempDir dir;
  FileSettingsStore s(dir.File("t.conf"));
  ASSERT_TRUE(s.WriteProfileString("Settings", "Wert", "100"));
  struct stat before {};
  ASSERT_EQ(::stat(s.Path().c_str(), &before), 0);
  EXPECT_TRUE(s.Transaction([](ISettingsView& v) {
    EXPECT_EQ(v.GetProfileString("Settings", "Wert", ""), "100");
    v.WriteProfileString("Settings", "Wert", "101");
    v.WriteProfileInt("Settings", "DatenLinesUsed", 6);
  }));
  struct stat after {};
  ASSERT_EQ(::stat(s.Path().c_str(), &after), 0);
  EXPECT_NE(before.st_ino, after.st_ino);  // replaced, not rewritten in place
  EXPECT_EQ(s.GetProfileString("Settings", "Wert", ""), "101");
  EXPECT_EQ(s.GetProfileInt("Settings", "DatenLinesUsed", 0), 6);
  // Writing what is stored does not touch the file.
  EXPECT_TRUE(s.WriteProfileString("Settings", "Wert", "101"));
  struct stat same {};
  ASSERT_EQ(::stat(s.Path().c_str(), &same), 0);
  EXPECT_EQ(same.st_ino, after.st_ino);
}

TEST(SettingsStore, FailedWriteLeavesTheOldFile) {
  TempDir dir;
  FileSettingsStore s(dir.File("t.conf"));
  ASSERT_TRUE(s.WriteProfileString("Settings", "Wert", "old"));
  const std::string before = ReadFile(s.Path());
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit rl {
      16, 16
    };
    ::setrlimit(RLIMIT_FSIZE, &rl);
    FileSettingsStore child(dir.File("t.conf"));
    bool ok = child.Transaction([](ISettingsView& v) {
      v.WriteProfileString("Settings", "Wert", std::string(1000, 'n'));
      v.WriteProfileInt("Settings", "DatenLinesUsed", 3);
    });
    bool readsOld = child.GetProfileString("Settings", "Wert", "") == "old";
    ::_exit(!ok && readsOld ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(ReadFile(s.Path()), before);
}

TEST(SettingsStore, TwoProcessesWritingDifferentKeysLoseNothing) {
  TempDir dir;
  const std::string path = dir.File("shared.conf");
  constexpr int kWrites = 60;
  pid_t pids[2];
  for (int p = 0; p < 2; ++p) {
    pids[p] = ::fork();
    ASSERT_GE(pids[p], 0);
    if (pids[p] == 0) {
      FileSettingsStore s(path);
      bool ok = true;
      for (int i = 1; i <= kWrites; ++i) {
        ok &= s.WriteProfileInt("Settings", "Key" + std::to_string(p) + "_" + std::to_string(i), i);
        ok &= s.Transaction([&](ISettingsView& v) {
          v.WriteProfileInt("Settings", p == 0 ? "CounterA" : "CounterB", i);
          v.WriteProfileString("Protokoll", p == 0 ? "A" : "B", std::to_string(i));
        });
      }
      ::_exit(ok ? 0 : 1);
    }
  }
  for (pid_t pid : pids) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  FileSettingsStore s(path);
  for (int p = 0; p < 2; ++p)
    for (int i = 1; i <= kWrites; ++i)
      EXPECT_EQ(s.GetProfileInt("Settings", "Key" + std::to_string(p) + "_" + std::to_string(i), 0), i);
  EXPECT_EQ(s.GetProfileInt("Settings", "CounterA", 0), kWrites);
  EXPECT_EQ(s.GetProfileInt("Settings", "CounterB", 0), kWrites);
  EXPECT_EQ(s.GetProfileString("Protokoll", "B", ""), std::to_string(kWrites));
}

TEST(SettingsStore, DefaultPathFollowsXdgConfigHome) {
  const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
  std::string saved = oldXdg ? oldXdg : "";
  const char* oldHome = std::getenv("HOME");
  std::string savedHome = oldHome ? oldHome : "";
  ::setenv("XDG_CONFIG_HOME", "/cfg/here/", 1);
  EXPECT_EQ(DefaultSettingsPath(), "/cfg/here/Velkor Applikationen/Tagwright.conf");
  ::setenv("XDG_CONFIG_HOME", "relative", 1);  // not absolute: ignored
  ::setenv("HOME", "/home/op", 1);
  EXPECT_EQ(DefaultSettingsPath(), "/home/op/.config/Velkor Applikationen/Tagwright.conf");
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(DefaultSettingsPath(), "/home/op/.config/Velkor Applikationen/Tagwright.conf");
  if (oldXdg) ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  if (oldHome) ::setenv("HOME", savedHome.c_str(), 1);
}

}  // namespace
}  // namespace tw
