// The update check's WinHTTP transfer under Wine, against the https server on 127.0.0.1 that
// run-with-https starts: the list and the installer fetched with the run's certificate trusted,
// the installer started, and no list when the certificate is unknown to the system, nothing
// listens, or the address is not https.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "platform/tick.h"
#include "platform/windows_api.h"
#include "shell/settings_keys.h"
#include "shell/settings_store.h"
#include "shell/update_check.h"

namespace tw {
namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class WindowsUpdate : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(Env("TW_HTTPS_PORT").empty()) << "run through run-with-https"; }
  static std::string Url(const std::string& path) { return "https://127.0.0.1:" + Env("TW_HTTPS_PORT") + path; }
  static void Serve(const std::string& path, const std::string& bytes) {
    std::ofstream(Env("TW_HTTPS_ROOT") + path, std::ios::binary | std::ios::trunc) << bytes;
  }
  std::unique_ptr<CUpdateCheck> Fetch(const std::string& address, bool trust = true) {
    settings_.WriteProfileString(settings::kVersion, kListAddressKey, address);
    auto check = std::make_unique<CUpdateCheck>("RFIDVersionsLF.txt", "Tagwright", &settings_);
    check->SetOwnIdentityForTest("1.06", "2026-02-10");
    if (trust) check->SetCaFileForTest(Env("TW_HTTPS_CA"));
    EXPECT_TRUE(check->StartCheck(nullptr, 0));
    for (int i = 0; i < 3000 && !check->IsFinished(); ++i) SleepMs(10);
    EXPECT_TRUE(check->IsFinished());
    return check;
  }
  MemorySettingsStore settings_;
};

TEST_F(WindowsUpdate, ListAndInstallerOverHttps) {
  const std::string installer("MZ\0\x01 installer", 14);
  Serve("/rfid/software/setup.exe", installer);
  Serve("/rfid/software/list.txt",
        "[Tagwright]\r\nVersion=1.07\r\nBuild=2026-01-01\r\nInstaller=" + Url("/rfid/software/setup.exe") + "\r\n");
  auto check = Fetch(Url("/rfid/software/list.txt"));
  EXPECT_TRUE(check->IsNewerAvailable()) << check->ListText();
  EXPECT_NE(ReadAll(Env("TW_HTTPS_ROOT") + "/requests.log").find("/rfid/software/list.txt|Tagwright|no-cache"),
            std::string::npos);

  // Into a private folder in the temporary folder, byte for byte.
  const std::string path = check->DownloadInstaller("");
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(ReadAll(path), installer);
  const std::string dir = path.substr(0, path.find_last_of('\\'));
  EXPECT_NE(dir.find("tagwright-"), std::string::npos);
  EXPECT_TRUE(DeleteFileA(path.c_str()));
  EXPECT_TRUE(RemoveDirectoryA(dir.c_str()));

  // A transfer cut short leaves nothing behind.
  Serve("/rfid/software/cut.txt",
        "[Tagwright]\r\nVersion=1.07\r\nBuild=2026-01-01\r\nInstaller=" + Url("/cut/setup.exe") + "\r\n");
  check = Fetch(Url("/rfid/software/cut.txt"));
  const std::string folder = Env("TW_HTTPS_ROOT") + "/dl";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  EXPECT_EQ(check->DownloadInstaller(folder), "");
  EXPECT_EQ(GetFileAttributesA((folder + "\\setup.exe").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(WindowsUpdate, StartingTheInstaller) {
  CUpdateCheck check("RFIDVersionsLF.txt", "Tagwright", &settings_);
  std::string message;
  EXPECT_FALSE(check.StartInstaller(Env("TW_HTTPS_ROOT") + "\\missing.exe", &message));
  EXPECT_NE(message.find("\"\ndoes not exist!"), std::string::npos) << message;
  // A program of the system's own, run as a program.
  char dir[MAX_PATH] = {};
  ASSERT_GT(GetSystemDirectoryA(dir, MAX_PATH), 0u);
  EXPECT_TRUE(check.StartInstaller(std::string(dir) + "\\hostname.exe", &message)) << message;
}

TEST_F(WindowsUpdate, NoListWithoutATrustedServer) {
  Serve("/rfid/software/plain.txt", "[Tagwright]\r\nVersion=1.07\r\nBuild=2026-01-01\r\n");
  const std::string http = "http://127.0.0.1:" + Env("TW_HTTPS_PORT") + "/rfid/software/plain.txt";
  // The run's certificate is unknown to the system; nothing listens on port 1; not https.
  for (const auto& [address, trust] : {std::pair{Url("/rfid/software/plain.txt"), false},
                                       {std::string("https://127.0.0.1:1/rfid/software/plain.txt"), true},
                                       {http, true}}) {
    SCOPED_TRACE(address);
    auto check = Fetch(address, trust);
    EXPECT_EQ(check->ListText(), "");
    EXPECT_FALSE(check->IsNewerAvailable());
  }
}

}  // namespace
}  // namespace tw
