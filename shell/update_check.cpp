#include "shell/update_check.h"

#include <cstdio>

#include "platform/tick.h"
#include "platform/trace.h"
#include "platform/ui_hooks.h"
#include "shell/ini_ex.h"
#include "shell/settings_keys.h"
#include "shell/settings_store.h"
#include "shell/string_table.h"
#include "shell/update_platform.h"
#include "tw_version.h"

namespace tw {
namespace {

constexpr int kAppTitleId = 57344;
// A version list is a few lines; anything this large is not one and is not kept.
constexpr size_t kMaxListBytes = 1 << 20;

std::string AppTitle() {
  const std::string& title = LoadString(kAppTitleId);
  return title.empty() ? std::string(TW_PRODUCT_NAME) : title;
}

// Decimal value as a C text-to-integer conversion reads it (white space, one sign, digits up to
// the first other character), held within a range where the version arithmetic cannot overflow.
long long LeadingInt(const std::string& s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  long long v = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    if (v < 1000000000LL) v = v * 10 + (s[i] - '0');
  }
  return negative ? -v : v;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecode(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && HexDigit(s[i + 1]) >= 0 && HexDigit(s[i + 2]) >= 0) {
      out += static_cast<char>(HexDigit(s[i + 1]) * 16 + HexDigit(s[i + 2]));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::string FormatPathMessage(const char* fmt, const std::string& path, int a = 0, int b = 0, int c = 0) {
  const int n = std::snprintf(nullptr, 0, fmt, path.c_str(), a, b, c);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  std::snprintf(out.data(), out.size() + 1, fmt, path.c_str(), a, b, c);
  return out;
}

}  // namespace

std::string OwnVersionFromText(const char* productVersion) {
  if (productVersion == nullptr) return "-.--";
  std::string v = productVersion;
  if (v.empty() || v.size() > 19) return "-.--";
  if (v.size() < 4) v += ' ';
  return v;
}

long long VersionNumber(const std::string& text) {
  const size_t dot = text.find('.');
  if (dot != std::string::npos && dot > 0) {
    return LeadingInt(text.substr(0, dot)) * 1000 + LeadingInt(text.substr(dot + 1));
  }
  return LeadingInt(text) * 1000;
}

std::string InstallerFileName(const std::string& address) {
  std::string a = address.substr(0, address.find_first_of("?#"));
  const size_t slash = a.rfind('/');
  std::string raw = (slash == std::string::npos || slash == 0) ? a : a.substr(slash + 1);
  std::string name = PercentDecode(raw);
  if (name.empty() || name == "." || name == "..") return {};
  if (name.find_first_of(std::string("/\\\0", 3)) != std::string::npos) return {};
  return name;
}

std::string DefaultListAddress(const std::string& listFileName) {
  return "https://www.velkor.example/rfid/software/" + listFileName;
}

CUpdateCheck::CUpdateCheck(std::string listFileName, std::string productKey, ISettingsView* settings)
    : listFileName_(std::move(listFileName)),
      productKey_(std::move(productKey)),
      settings_(settings),
      listAddress_(DefaultListAddress(listFileName_)),
      ownVersion_(OwnVersionFromText(TW_PRODUCT_VERSION)),
      ownBuildDate_(ProgramBuildDate()) {}

CUpdateCheck::~CUpdateCheck() {
  stopping_ = true;
  if (worker_) {
    while (running_) SleepMs(1);
    if (worker_->joinable()) worker_->join();
  }
}

void CUpdateCheck::SetOwnIdentityForTest(const std::string& productVersion, const std::string& buildDate) {
  ownVersion_ = OwnVersionFromText(productVersion.c_str());
  ownBuildDate_ = buildDate;
}

bool CUpdateCheck::StartCheck(IUpdateNotify* window, int id) {
  std::lock_guard<std::mutex> lock(notifyMutex_);
  notifyWindow_ = window;
  notifyId_ = id;
  if (!worker_) {
    ISettingsView& settings = settings_ != nullptr ? *settings_ : UserSettings();
    const std::string over = settings.GetProfileString(settings::kVersion, kListAddressKey, "");
    listAddress_ = over.empty() ? DefaultListAddress(listFileName_) : over;
    running_ = true;
    try {
      worker_ = std::make_unique<std::thread>(&CUpdateCheck::Fetch, this, listAddress_);
    } catch (...) {
      running_ = false;
      worker_.reset();
      return false;
    }
    return true;
  }
  // The worker posts and marks itself finished under the same lock, so a window set at any
  // moment gets the result exactly once.
  if (!running_ && finished_) PostLocked();
  return true;
}

void CUpdateCheck::DropNotifyWindow(IUpdateNotify* window) {
  std::lock_guard<std::mutex> lock(notifyMutex_);
  if (notifyWindow_ == window) {
    notifyWindow_ = nullptr;
    notifyId_ = 0;
  }
}

void CUpdateCheck::PostLocked() {
  if (notifyWindow_ != nullptr && notifyId_ != 0) notifyWindow_->PostUpdateNotify(notifyId_);
}

bool CUpdateCheck::IsRunning() const { return running_; }
bool CUpdateCheck::IsFinished() const { return finished_; }

void CUpdateCheck::Fetch(std::string address) {
  std::string text;
  bool tooLong = false;
  const update::Sink sink = [&](const char* data, size_t n) {
    if (text.size() + n > kMaxListBytes) {
      tooLong = true;
      return false;
    }
    // Text ends at a zero byte within the chunk, as each chunk is taken as a C string.
    size_t len = 0;
    while (len < n && data[len] != '\0') ++len;
    text.append(data, len);
    return true;
  };
  long status = 0;
  if (!update::HttpsGet(address, AppTitle(), caFile_, &stopping_, sink, &status)) {
    text.clear();
    if (!stopping_) SleepMs(1000);
  }
  if (tooLong) text.clear();
  std::lock_guard<std::mutex> lock(notifyMutex_);
  listText_ = text;
  // Finished before the window hears of it, so that it finds the result when it looks.
  running_ = false;
  finished_ = true;
  PostLocked();
}

bool CUpdateCheck::ListVersion(std::string* version, std::string* build) const {
  version->clear();
  build->clear();
  if (!finished_ || listText_.empty()) return false;
  CPrivateProfile list;
  list.ParseText(listText_);
  *version = list.GetProfileString(productKey_, "Version", "");
  *build = list.GetProfileString(productKey_, "Build", "");
  return true;
}

bool CUpdateCheck::IsNewerAvailable() const {
  std::string version, build;
  if (!ListVersion(&version, &build)) return false;
  if (VersionNumber(version) > VersionNumber(ownVersion_)) return true;
  if (!build.empty()) return ownBuildDate_ < build;
  return false;
}

std::string CUpdateCheck::InstallerAddress() const {
  if (!finished_ || listText_.empty()) return {};
  CPrivateProfile list;
  list.ParseText(listText_);
  return list.GetProfileString(productKey_, "Installer", "");
}

std::string CUpdateCheck::DownloadInstaller(const std::string& folder) const {
  const std::string address = InstallerAddress();
  if (address.empty()) return {};
  const std::string name = InstallerFileName(address);
  if (name.empty()) {
    Trace("update: installer address gives no usable file name: %s", address.c_str());
    return {};
  }
  update::InstallerFile* file = update::CreateInstallerFile(folder, name);
  if (file == nullptr) return {};
  const update::Sink sink = [file](const char* data, size_t n) { return update::WriteInstallerFile(file, data, n); };
  long status = 0;
  const bool transferred = update::HttpsGet(address, AppTitle(), caFile_, nullptr, sink, &status);
  if (!transferred) SleepMs(1000);
  // An error page or a cut-off transfer is not an installer.
  return update::CloseInstallerFile(file, transferred && status < 400);
}

bool CUpdateCheck::StartInstaller(const std::string& path, std::string* message) const {
  if (!update::FileExists(path)) {
    if (message) *message = FormatPathMessage("The File\n\"%s\"\ndoes not exist!", path);
    return false;
  }
  BeginWaitCursor();
  SleepMs(1000);
  int results[3] = {};
  const bool started = update::StartThreeWays(path, openCommand_, results);
  if (!started && message) {
    *message = FormatPathMessage("The File\n\"%s\"\ncan not be started!\nError %d %d %d", path, results[0],
                                 results[1], results[2]);
  }
  EndWaitCursor();
  return started;
}

CUpdateCheck& TheUpdateCheck() {
  static CUpdateCheck check("RFIDVersionsLF.txt", "Tagwright");
  return check;
}

}  // namespace tw
