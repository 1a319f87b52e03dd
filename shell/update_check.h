// Looks for a newer release of the program: fetches the maker's version list once per run on a
// worker thread, compares it with the program's own version and build date, and downloads and
// starts the installer it names. No UI here: results reach a window through IUpdateNotify.
#pragma once
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace tw {

class ISettingsView;

// A window that wants to hear when the fetch has ended. PostUpdateNotify is called on the worker
// thread (or on the caller's thread when the result is already there) and must only queue the
// two notifications (the command id, then the window message with first parameter id), never
// touch the window directly.
class IUpdateNotify {
 public:
  virtual ~IUpdateNotify() = default;
  virtual void PostUpdateNotify(int id) = 0;
};

// The notification's window message and the id both callers use.
inline constexpr int kUpdateNotifyId = 1034;

// Section "Version": where the list is fetched from when set (an https address), so that
// operators and tests can point the check at another server.
inline constexpr char kListAddressKey[] = "ListenAdresse";

class CUpdateCheck {
 public:
  // settings: where the address override lives; nullptr means the user's store.
  CUpdateCheck(std::string listFileName, std::string productKey, ISettingsView* settings = nullptr);
  // Waits for a running fetch (it is asked to stop at once) before the worker is released.
  ~CUpdateCheck();
  CUpdateCheck(const CUpdateCheck&) = delete;
  CUpdateCheck& operator=(const CUpdateCheck&) = delete;

  // Sets the notify window (the one set last gets the result), starts the fetch once, and
  // delivers the stored result at once when the fetch has already ended. False when the worker
  // thread could not be started.
  bool StartCheck(IUpdateNotify* window, int id);
  // Takes window out as notify window (a closing window calls this), so that no notification
  // is posted to it afterwards. When this returns, no call into window is in progress.
  void DropNotifyWindow(IUpdateNotify* window);

  bool IsRunning() const;
  bool IsFinished() const;

  // The list's Version and Build for this program (empty when missing); false when the list
  // text is empty. Call only after a notification arrived or IsFinished() was seen.
  bool ListVersion(std::string* version, std::string* build) const;
  bool IsNewerAvailable() const;
  // The list's Installer value, empty when missing.
  std::string InstallerAddress() const;
  // Downloads the installer into folder (a private folder in the temporary folder when empty);
  // the local path on success, else empty (a partial file is removed).
  std::string DownloadInstaller(const std::string& folder) const;
  // Starts the downloaded installer. On failure *message holds the text to show the operator.
  bool StartInstaller(const std::string& path, std::string* message) const;

  const std::string& ListAddress() const { return listAddress_; }
  const std::string& ListText() const { return listText_; }
  const std::string& OwnVersion() const { return ownVersion_; }
  const std::string& OwnBuildDate() const { return ownBuildDate_; }

  // For tests: the own identity as another build would have it, a certificate file trusted
  // instead of the system's, and the command used to open a file with the desktop.
  void SetOwnIdentityForTest(const std::string& productVersion, const std::string& buildDate);
  void SetCaFileForTest(const std::string& path) { caFile_ = path; }
  void SetOpenCommandForTest(const std::string& command) { openCommand_ = command; }

 private:
  void Fetch(std::string address);
  // Posts to the notify window when both window and id are set; called under notifyMutex_.
  void PostLocked();

  std::string listFileName_;
  std::string productKey_;
  ISettingsView* settings_;
  std::string listAddress_;
  std::string listText_;
  std::string ownVersion_;
  std::string ownBuildDate_;
  std::string caFile_;
  std::string openCommand_ = "xdg-open";

  // The worker reads the notify window once after the fetch; the lock makes sure a window that
  // is being set or taken out at that moment is either notified completely or not at all.
  mutable std::mutex notifyMutex_;
  IUpdateNotify* notifyWindow_ = nullptr;
  int notifyId_ = 0;

  std::unique_ptr<std::thread> worker_;
  std::atomic<bool> running_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> stopping_{false};
};

// The program's one update check ("RFIDVersionsLF.txt", "Tagwright"), made on first use.
CUpdateCheck& TheUpdateCheck();

// Own version from a product version text: "-.--" when missing, empty or longer than 19
// characters; a text shorter than 4 characters gets one space appended.
std::string OwnVersionFromText(const char* productVersion);
// Last-modification date of the running program file, local time, "%Y-%m-%d"; empty when unknown.
std::string ProgramBuildDate();
// "1.06" gives 1006, "2.5" gives 2005, "-.--" gives 0.
long long VersionNumber(const std::string& text);
// The installer's local file name: the last path element of the address (query and fragment
// left out), percent-decoded; the whole address when it holds no "/" after its first character.
// Empty when the name is unusable: empty, "." or "..", or holding a path separator or a zero byte.
std::string InstallerFileName(const std::string& address);
// The maker's list address for a list file name.
std::string DefaultListAddress(const std::string& listFileName);

}  // namespace tw
