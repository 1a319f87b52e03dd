// The update check against a https server on 127.0.0.1 with a certificate made for the run.
#include "shell/update_check.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

#include "local_https.h"
#include "shell/settings_keys.h"
#include "shell/settings_store.h"

namespace tw {
namespace {

namespace fs = std::filesystem;

// Records what a window would receive.
class RecordingWindow : public IUpdateNotify {
 public:
  void PostUpdateNotify(int id) override {
    std::lock_guard<std::mutex> lock(m_);
    ids_.push_back(id);
    cv_.notify_all();
  }
  bool WaitFor(size_t count, int ms = 20000) {
    std::unique_lock<std::mutex> lock(m_);
    return cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return ids_.size() >= count; });
  }
  size_t Count() {
    std::lock_guard<std::mutex> lock(m_);
    return ids_.size();
  }
  int Last() {
    std::lock_guard<std::mutex> lock(m_);
    return ids_.empty() ? 0 : ids_.back();
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  std::vector<int> ids_;
};

std::string List(const std::string& version, const std::string& build, const std::string& installer = "") {
  std::string s = "[Andere]\r\nVersion=9.99\r\n[Tagwright]\r\nVersion=" + version + "\r\nBuild=" + build + "\r\n";
  if (!installer.empty()) s += "Installer=" + installer + "\r\n";
  return s;
}

class UpdateCheckTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Loopback must be reached directly, whatever proxy the machine is set up with.
    for (const char* v : {"https_proxy", "HTTPS_PROXY", "http_proxy", "all_proxy", "ALL_PROXY"}) unsetenv(v);
    server_ = new test::LocalHttps();
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(server_->Ok()) << "local https server did not start";
    std::string tmpl = (fs::temp_directory_path() / "tw-update-dl-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    folder_ = tmpl;
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }

  // A check whose list is served at listPath (one list file per test, so tests do not meet).
  std::unique_ptr<CUpdateCheck> MakeCheck(const std::string& address, bool trustServer = true) {
    settings_.WriteProfileString(settings::kVersion, kListAddressKey, address);
    auto check = std::make_unique<CUpdateCheck>("RFIDVersionsLF.txt", "Tagwright", &settings_);
    check->SetOwnIdentityForTest("1.06", "2026-02-10");
    if (trustServer) check->SetCaFileForTest(server_->CaFile());
    return check;
  }
  std::unique_ptr<CUpdateCheck> FetchList(const std::string& name, const std::string& list) {
    server_->Serve("/rfid/software/" + name, list);
    auto check = MakeCheck(server_->Url("/rfid/software/" + name));
    RecordingWindow window;
    EXPECT_TRUE(check->StartCheck(&window, kUpdateNotifyId));
    EXPECT_TRUE(window.WaitFor(1));
    EXPECT_TRUE(check->IsFinished());
    EXPECT_EQ(window.Last(), kUpdateNotifyId);
    return check;
  }

  static test::LocalHttps* server_;
  MemorySettingsStore settings_;
  RecordingWindow window_;
  std::string folder_;
};

test::LocalHttps* UpdateCheckTest::server_ = nullptr;

TEST(UpdateRules, VersionNumbers) {
  EXPECT_EQ(VersionNumber("1.06"), 1006);
  EXPECT_EQ(VersionNumber("2.5"), 2005);
  EXPECT_EQ(VersionNumber("-.--"), 0);
  EXPECT_EQ(VersionNumber("3"), 3000);
  EXPECT_EQ(VersionNumber("1.07b"), 1007);
  // A point in front is not a separator: the whole text is read, and gives nothing.
  EXPECT_EQ(VersionNumber(".5"), 0);
  EXPECT_EQ(VersionNumber(""), 0);
  // Absurd digit runs stay bounded instead of overflowing.
  EXPECT_GT(VersionNumber("99999999999999999999.1"), VersionNumber("2.0"));
}

TEST(UpdateRules, OwnVersionText) {
  EXPECT_EQ(OwnVersionFromText(nullptr), "-.--");
  EXPECT_EQ(OwnVersionFromText(""), "-.--");
  EXPECT_EQ(OwnVersionFromText("12345678901234567890"), "-.--");
  EXPECT_EQ(OwnVersionFromText("1234567890123456789"), "1234567890123456789");
  EXPECT_EQ(OwnVersionFromText("1.0"), "1.0 ");
  EXPECT_EQ(OwnVersionFromText("1.06"), "1.06");
  const std::string date = ProgramBuildDate();
  ASSERT_EQ(date.size(), 10u) << date;
  for (size_t i = 0; i < date.size(); ++i) EXPECT_TRUE(i == 4 || i == 7 ? date[i] == '-' : isdigit(date[i])) << date;
}

TEST(UpdateRules, InstallerFileNames) {
  EXPECT_EQ(InstallerFileName("https://h.example/rfid/software/Tagwright-1.07.run"), "Tagwright-1.07.run");
  EXPECT_EQ(InstallerFileName("https://h.example/a/setup%20neu.run?x=1/2#y"), "setup neu.run");
  EXPECT_EQ(InstallerFileName("setup.run"), "setup.run");
  for (const char* hostile : {"https://h.example/a/", "https://h.example/a/.", "https://h.example/a/..",
                              "https://h.example/a/%2e%2E", "https://h.example/a/..%2Fetc%2Fpasswd",
                              "https://h.example/a/x%5Cy", "https://h.example/a/x%00.run", "/setup.run", ""}) {
    EXPECT_EQ(InstallerFileName(hostile), "") << hostile;
  }
}

TEST_F(UpdateCheckTest, NewerByVersion) {
  auto check = FetchList("newer-version.txt", List("1.07", "2026-01-01"));
  std::string version, build;
  ASSERT_TRUE(check->ListVersion(&version, &build));
  EXPECT_EQ(version, "1.07");
  EXPECT_EQ(build, "2026-01-01");
  EXPECT_TRUE(check->IsNewerAvailable());
  // Agent and cache request as the server saw them.
  EXPECT_NE(server_->RequestLog().find("/rfid/software/newer-version.txt|Tagwright|no-cache"), std::string::npos);
}

TEST_F(UpdateCheckTest, NewerByBuildDateAndUpToDate) {
  EXPECT_TRUE(FetchList("newer-build.txt", List("1.06", "2026-03-01"))->IsNewerAvailable());
  EXPECT_FALSE(FetchList("same.txt", List("1.06", "2026-02-10"))->IsNewerAvailable());
  EXPECT_FALSE(FetchList("earlier.txt", List("1.06", "2026-01-31"))->IsNewerAvailable());
  EXPECT_FALSE(FetchList("older.txt", List("1.05", ""))->IsNewerAvailable());
}

TEST_F(UpdateCheckTest, WithoutOwnVersionEveryListedVersionIsNewer) {
  server_->Serve("/rfid/software/noversion.txt", List("0.01", ""));
  auto check = MakeCheck(server_->Url("/rfid/software/noversion.txt"));
  check->SetOwnIdentityForTest("", "2026-02-10");
  EXPECT_EQ(check->OwnVersion(), "-.--");
  ASSERT_TRUE(check->StartCheck(&window_, kUpdateNotifyId));
  ASSERT_TRUE(window_.WaitFor(1));
  EXPECT_TRUE(check->IsNewerAvailable());
}

TEST_F(UpdateCheckTest, NoListWhenNothingAnswersOrCertificateIsNotTrusted) {
  auto refused = MakeCheck("https://127.0.0.1:" + std::to_string(test::ClosedLoopbackPort()) + "/rfid/software/x");
  ASSERT_TRUE(refused->StartCheck(&window_, kUpdateNotifyId));
  ASSERT_TRUE(window_.WaitFor(1));
  std::string version, build;
  EXPECT_FALSE(refused->ListVersion(&version, &build));
  EXPECT_FALSE(refused->IsNewerAvailable());

  server_->Serve("/rfid/software/untrusted.txt", List("9.00", "2030-01-01"));
  auto untrusted = MakeCheck(server_->Url("/rfid/software/untrusted.txt"), /*trustServer=*/false);
  ASSERT_TRUE(untrusted->StartCheck(&window_, kUpdateNotifyId));
  ASSERT_TRUE(window_.WaitFor(2));
  EXPECT_TRUE(untrusted->ListText().empty());
  EXPECT_FALSE(untrusted->IsNewerAvailable());
}

TEST_F(UpdateCheckTest, PageWithoutThisProgramsSection) {
  // A list for other programs only, and the server's error page for a list that is not there.
  server_->Serve("/rfid/software/other.txt", "[Andere]\r\nVersion=2.00\r\nBuild=2030-01-01\r\n");
  for (const char* name : {"other.txt", "missing.txt"}) {
    SCOPED_TRACE(name);
    auto check = MakeCheck(server_->Url(std::string("/rfid/software/") + name));
    RecordingWindow window;
    ASSERT_TRUE(check->StartCheck(&window, kUpdateNotifyId));
    ASSERT_TRUE(window.WaitFor(1));
    EXPECT_FALSE(check->ListText().empty());
    std::string version, build;
    EXPECT_TRUE(check->ListVersion(&version, &build));
    EXPECT_TRUE(version.empty() && build.empty());
    EXPECT_FALSE(check->IsNewerAvailable());
  }
}

TEST_F(UpdateCheckTest, NotificationGoesToTheWindowSetLastAndOnlyOnce) {
  server_->Serve("/rfid/software/once.txt", List("1.07", "2026-01-01"));
  auto check = MakeCheck(server_->Url("/rfid/software/once.txt"));
  RecordingWindow mainDlg, aboutDlg, later;
  ASSERT_TRUE(check->StartCheck(&mainDlg, kUpdateNotifyId));
  ASSERT_TRUE(check->StartCheck(&aboutDlg, kUpdateNotifyId));
  ASSERT_TRUE(aboutDlg.WaitFor(1));
  EXPECT_EQ(mainDlg.Count(), 0u);
  // A window set after the end gets the stored result at once, without a second fetch.
  ASSERT_TRUE(check->StartCheck(&later, kUpdateNotifyId));
  EXPECT_EQ(later.Count(), 1u);
  EXPECT_EQ(aboutDlg.Count(), 1u);
  // Without an id nothing is delivered.
  ASSERT_TRUE(check->StartCheck(&later, 0));
  EXPECT_EQ(later.Count(), 1u);
  const std::string log = server_->RequestLog();
  size_t fetches = 0;
  for (size_t p = log.find("/once.txt|"); p != std::string::npos; p = log.find("/once.txt|", p + 1)) ++fetches;
  EXPECT_EQ(fetches, 1u);
}

TEST_F(UpdateCheckTest, ClosedWindowIsNotNotified) {
  auto check = MakeCheck("https://127.0.0.1:" + std::to_string(test::ClosedLoopbackPort()) + "/x");
  auto closing = std::make_unique<RecordingWindow>();
  ASSERT_TRUE(check->StartCheck(closing.get(), kUpdateNotifyId));
  check->DropNotifyWindow(&window_);  // another window's leaving changes nothing
  check->DropNotifyWindow(closing.get());
  closing.reset();
  while (!check->IsFinished()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_TRUE(check->StartCheck(&window_, kUpdateNotifyId));
  EXPECT_EQ(window_.Count(), 1u);
}

TEST_F(UpdateCheckTest, InstallerIsDownloadedAndStarted) {
  const std::string marker = folder_ + "/started";
  server_->Serve("/rfid/software/Tagwright-setup.sh", "#!/bin/sh\necho \"$0\" > '" + marker + "'\n");
  auto check = FetchList("with-installer.txt",
                         List("1.07", "2026-01-01", server_->Url("/rfid/software/Tagwright-setup.sh")));
  const std::string path = check->DownloadInstaller(folder_);
  ASSERT_EQ(path, folder_ + "/Tagwright-setup.sh");
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  std::string message;
  ASSERT_TRUE(check->StartInstaller(path, &message)) << message;
  for (int i = 0; i < 1000 && !fs::exists(marker); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(fs::exists(marker));
}

TEST_F(UpdateCheckTest, DefaultFolderIsAPrivateOneInTheTemporaryFolder) {
  server_->Serve("/rfid/software/setup-default.run", "#!/bin/sh\n");
  auto check = FetchList("default-folder.txt",
                         List("1.07", "2026-01-01", server_->Url("/rfid/software/setup-default.run")));
  const char* old = getenv("TMPDIR");
  const std::string saved = old ? old : "";
  setenv("TMPDIR", folder_.c_str(), 1);
  const std::string path = check->DownloadInstaller("");
  if (old) setenv("TMPDIR", saved.c_str(), 1); else unsetenv("TMPDIR");
  ASSERT_FALSE(path.empty());
  const fs::path dir = fs::path(path).parent_path();
  EXPECT_EQ(dir.parent_path(), fs::path(folder_));
  EXPECT_EQ(fs::path(path).filename(), "setup-default.run");
  EXPECT_EQ(fs::status(dir).permissions() & fs::perms::all, fs::perms::owner_all);
}

TEST_F(UpdateCheckTest, FailedDownloadsLeaveNoFile) {
  const std::string base = server_->Url("/rfid/software/");
  // A deleted installer (error page), a transfer cut short, an address without "/" (no scheme,
  // so nothing is looked up), and names that would leave the folder or name it.
  for (const std::string& installer :
       {base + "gone.run", server_->Url("/cut/setup.run"), std::string("setup.run"), base + "%2e%2e",
        base + "..%2Fescaped.run", base + "x%2f..%2f..%2fescaped.run", base}) {
    SCOPED_TRACE(installer);
    server_->Serve("/rfid/software/fail.txt", List("1.07", "2026-01-01", installer));
    RecordingWindow w;
    auto check = MakeCheck(server_->Url("/rfid/software/fail.txt"));
    ASSERT_TRUE(check->StartCheck(&w, kUpdateNotifyId));
    ASSERT_TRUE(w.WaitFor(1));
    EXPECT_EQ(check->InstallerAddress(), installer);
    EXPECT_EQ(check->DownloadInstaller(folder_), "");
    EXPECT_TRUE(fs::is_empty(folder_));
    EXPECT_FALSE(fs::exists(fs::path(folder_).parent_path() / "escaped.run"));
  }
  EXPECT_EQ(server_->RequestLog().find("escaped"), std::string::npos);
}

TEST_F(UpdateCheckTest, StartFailuresAreReported) {
  auto check = MakeCheck(server_->Url("/unused"));
  std::string message;
  EXPECT_FALSE(check->StartInstaller(folder_ + "/none.run", &message));
  EXPECT_EQ(message, "The File\n\"" + folder_ + "/none.run\"\ndoes not exist!");

  // Not executable, and the desktop cannot open it either.
  const std::string plain = folder_ + "/plain.run";
  std::ofstream(plain) << "data";
  chmod(plain.c_str(), 0600);
  check->SetOpenCommandForTest("/bin/false");
  message.clear();
  if (geteuid() != 0) {
    EXPECT_FALSE(check->StartInstaller(plain, &message));
    EXPECT_NE(message.find("\ncan not be started!\nError 13 1 13"), std::string::npos) << message;
  } else {
    // Root may execute any file with some execute bit only; none is set here.
    EXPECT_FALSE(check->StartInstaller(plain, &message));
    EXPECT_EQ(message.rfind("The File\n\"" + plain + "\"\ncan not be started!\nError ", 0), 0u) << message;
  }
}

}  // namespace
}  // namespace tw
