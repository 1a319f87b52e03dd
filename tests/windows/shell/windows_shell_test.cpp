// The Windows side of the shell's files and settings, under Wine: the registry store, whole-file
// replacement of a file that is open and locked, and protocol lines written byte for byte.
#include <gtest/gtest.h>

#include <fcntl.h>

#include <fstream>
#include <sstream>

#include "platform/windows_api.h"
#include "shell/atomic_file.h"
#include "shell/file_prims.h"
#include "shell/ini_ex.h"
#include "shell/protocol_file.h"
#include "shell/registry_settings.h"

namespace {

std::string TestKey() {
  return std::string(tw::kRegistryKey) + "-test-" + std::to_string(GetCurrentProcessId());
}

std::string TempPath(const char* name) {
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  std::string d;
  for (const wchar_t* p = dir; *p; ++p) d += static_cast<char>(*p);
  return d + "tw-" + std::to_string(GetCurrentProcessId()) + "-" + name;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class RegistryStore : public ::testing::Test {
 protected:
  void TearDown() override {
    RegDeleteTreeA(HKEY_CURRENT_USER, store.BaseKey().c_str());
  }
  tw::RegistrySettingsStore store{TestKey()};
};

TEST_F(RegistryStore, ValuesKeepTheirTypeAndWindows1252Text) {
  EXPECT_EQ(store.GetProfileInt("Job", "Count", 7), 7);
  EXPECT_EQ(store.GetProfileString("Job", "Name", "none"), "none");
  ASSERT_TRUE(store.WriteProfileInt("Job", "Count", -12));
  ASSERT_TRUE(store.WriteProfileString("Job", "Name", "M\xFC" "ller \xB5 \x80"));  // Müller µ €
  EXPECT_EQ(store.GetProfileInt("Job", "Count", 0), -12);
  EXPECT_EQ(store.GetProfileString("Job", "Name", ""), "M\xFC" "ller \xB5 \x80");
  // A text where a number is asked for reads as the default, and the other way round.
  EXPECT_EQ(store.GetProfileInt("Job", "Name", 5), 5);
  EXPECT_EQ(store.GetProfileString("Job", "Count", "d"), "d");
  // An empty text is a text.
  ASSERT_TRUE(store.WriteProfileString("Job", "Empty", ""));
  EXPECT_EQ(store.GetProfileString("Job", "Empty", "d"), "");
}

TEST_F(RegistryStore, TransactionSeesItsOwnWritesAndStoresThemTogether) {
  ASSERT_TRUE(store.Transaction([&](tw::ISettingsView& v) {
    v.WriteProfileInt("A", "x", 1);
    EXPECT_EQ(v.GetProfileInt("A", "x", 0), 1);
    // A call on the store itself inside the transaction belongs to it.
    store.WriteProfileString("B", "y", "two");
    EXPECT_EQ(store.GetProfileString("B", "y", ""), "two");
  }));
  EXPECT_EQ(store.GetProfileInt("A", "x", 0), 1);
  EXPECT_EQ(store.GetProfileString("B", "y", ""), "two");
}

TEST(WindowsFiles, ReplacingAFileThatIsOpenAndLocked) {
  const std::string path = TempPath("replace.ini");
  ASSERT_TRUE(tw::ReplaceFileAtomically(path, "old\r\n"));
  const int fd = tw::OpenFile(path, O_RDONLY, 0);
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(tw::LockFileWithin(fd, true, 100));
  EXPECT_TRUE(tw::ReplaceFileAtomically(path, "new\n"));
  tw::CloseFile(fd);
  EXPECT_EQ(ReadBytes(path), "new\n");
  // A file the user made read-only stays as it is.
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(tw::ReplaceFileAtomically(path, "other"));
  EXPECT_EQ(ReadBytes(path), "new\n");
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(path.c_str());
}

TEST(WindowsFiles, IniAndProtocolFilesAreWrittenByteForByte) {
  const std::string ini = TempPath("settings.ini");
  {
    tw::CIniEx doc;
    doc.Open(ini);
    doc.WriteProfileString("Job", "Text", "a\xFC");
    ASSERT_TRUE(doc.Save());
  }
  tw::CIniEx back;
  ASSERT_TRUE(back.Open(ini));
  EXPECT_EQ(back.GetProfileString("Job", "Text", ""), "a\xFC");
  EXPECT_EQ(ReadBytes(ini).find("\r\r"), std::string::npos);
  DeleteFileA(ini.c_str());

  const std::string log = TempPath("protocol.txt");
  ASSERT_TRUE(tw::AppendProtocolLine(log, "first\r\n"));
  ASSERT_TRUE(tw::AppendProtocolLine(log, "second\r\n"));
  EXPECT_EQ(ReadBytes(log), "     1\tfirst\r\n     2\tsecond\r\n");
  EXPECT_EQ(tw::CountProtocolLines(log), 2);
  DeleteFileA(log.c_str());
}

}  // namespace
