#include "shell/update_check.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <vector>

#include "platform/tick.h"
#include "platform/trace.h"
#include "platform/ui_hooks.h"
#include "shell/ini_ex.h"
#include "shell/settings_keys.h"
#include "shell/settings_store.h"
#include "shell/string_table.h"
#include "tw_version.h"

extern char** environ;

namespace tw {
namespace {

constexpr int kAppTitleId = 57344;
constexpr size_t kChunkSize = 65536;
// A version list is a few lines; anything this large is not one and is not kept.
constexpr size_t kMaxListBytes = 1 << 20;
constexpr uint32_t kOpenerWaitMs = 5000;

std::string AppTitle() {
  const std::string& title = LoadString(kAppTitleId);
  return title.empty() ? std::string(TW_PRODUCT_NAME) : title;
}

struct TransferContext {
  const std::atomic<bool>* stop;
  const std::function<bool(const char*, size_t)>* sink;
};

size_t WriteCallback(char* data, size_t size, size_t count, void* user) {
  auto* ctx = static_cast<TransferContext*>(user);
  const size_t n = size * count;
  // Returning less than n makes curl end the transfer with an error.
  return (*ctx->sink)(data, n) ? n : 0;
}

int ProgressCallback(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* ctx = static_cast<TransferContext*>(user);
  return ctx->stop != nullptr && ctx->stop->load() ? 1 : 0;
}

void GlobalInitOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// One https GET: fresh from the server, certificates verified, proxy from the environment.
// True when the transfer completed; *status gets the HTTP status of the last response.
bool HttpsGet(const std::string& address, const std::string& caFile, const std::atomic<bool>* stop,
              const std::function<bool(const char*, size_t)>& sink, long* status) {
  GlobalInitOnce();
  *status = 0;
  CURL* curl = curl_easy_init();
  if (curl == nullptr) return false;
  TransferContext ctx{stop, &sink};
  const std::string agent = AppTitle();
  curl_slist* headers = nullptr;
  headers = curl_slist_append(headers, "Cache-Control: no-cache");
  headers = curl_slist_append(headers, "Pragma: no-cache");
  curl_easy_setopt(curl, CURLOPT_URL, address.c_str());
  // The list and the installer live on an https server; nothing else is ever fetched, and a
  // text without a scheme fails here instead of being guessed into a host name.
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!caFile.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.c_str());
  curl_easy_setopt(curl, CURLOPT_USERAGENT, agent.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 30L);
  // A server that stops sending must not hold the program forever.
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 60L);
  curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, static_cast<long>(kChunkSize));
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteCallback);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &ctx);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, ProgressCallback);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &ctx);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  const CURLcode rc = curl_easy_perform(curl);
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, status);
  if (rc != CURLE_OK) Trace("update: %s: %s", address.c_str(), curl_easy_strerror(rc));
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  return rc == CURLE_OK;
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

// Starts file with args in a session of its own, so that it outlives this program.
// 0 on success, else the error number; *pid gets the child.
int Spawn(const std::vector<std::string>& argv, bool searchPath, pid_t* pid) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
  const int rc = searchPath ? posix_spawnp(pid, args[0], nullptr, &attr, args.data(), environ)
                            : posix_spawn(pid, args[0], nullptr, &attr, args.data(), environ);
  posix_spawnattr_destroy(&attr);
  return rc;
}

// Collects a child that keeps running, so that it leaves no zombie behind.
void ReapLater(pid_t pid) {
  std::thread([pid] {
    int st = 0;
    while (waitpid(pid, &st, 0) < 0 && errno == EINTR) {
    }
  }).detach();
}

std::string FormatPathMessage(const char* fmt, const std::string& path, int a = 0, int b = 0, int c = 0) {
  const int n = std::snprintf(nullptr, 0, fmt, path.c_str(), a, b, c);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  std::snprintf(out.data(), out.size() + 1, fmt, path.c_str(), a, b, c);
  return out;
}

bool WriteAll(int fd, const char* data, size_t n) {
  while (n > 0) {
    const ssize_t w = write(fd, data, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

}  // namespace

std::string OwnVersionFromText(const char* productVersion) {
  if (productVersion == nullptr) return "-.--";
  std::string v = productVersion;
  if (v.empty() || v.size() > 19) return "-.--";
  if (v.size() < 4) v += ' ';
  return v;
}

std::string ProgramBuildDate() {
  struct stat st {};
  if (stat("/proc/self/exe", &st) != 0) return {};
  std::tm tm{};
  const time_t t = st.st_mtime;
  if (localtime_r(&t, &tm) == nullptr) return {};
  char buf[32];
  if (std::strftime(buf, sizeof buf, "%Y-%m-%d", &tm) == 0) return {};
  return buf;
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
  const std::function<bool(const char*, size_t)> sink = [&](const char* data, size_t n) {
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
  if (!HttpsGet(address, caFile_, &stopping_, sink, &status)) {
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
  std::string dir = folder;
  std::string madeDir;
  if (dir.empty()) {
    // A folder of our own: a name planted in the shared temporary folder cannot redirect the write.
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") + "/tagwright-XXXXXX";
    if (mkdtemp(templ.data()) == nullptr) return {};
    dir = madeDir = templ;
  }
  if (dir.back() != '/') dir += '/';
  const std::string path = dir + name;
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    if (!madeDir.empty()) rmdir(madeDir.c_str());
    return {};
  }
  const std::function<bool(const char*, size_t)> sink = [fd](const char* data, size_t n) {
    return WriteAll(fd, data, n);
  };
  long status = 0;
  const bool transferred = HttpsGet(address, caFile_, nullptr, sink, &status);
  // An error page or a cut-off transfer is not an installer.
  bool ok = transferred && status < 400;
  if (ok) ok = fchmod(fd, 0700) == 0;
  if (close(fd) != 0) ok = false;
  if (!ok) {
    if (!transferred) SleepMs(1000);
    unlink(path.c_str());
    if (!madeDir.empty()) rmdir(madeDir.c_str());
    return {};
  }
  return path;
}

bool CUpdateCheck::StartInstaller(const std::string& path, std::string* message) const {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    if (message) *message = FormatPathMessage("The File\n\"%s\"\ndoes not exist!", path);
    return false;
  }
  BeginWaitCursor();
  SleepMs(1000);
  bool started = false;
  pid_t pid = 0;
  // 1: run it as a program.
  int first = access(path.c_str(), X_OK) == 0 ? Spawn({path}, false, &pid) : EACCES;
  if (first == 0) {
    ReapLater(pid);
    started = true;
  }
  // 2: open it with the desktop's "open".
  int second = 0;
  if (!started) {
    second = Spawn({openCommand_, path}, true, &pid);
    if (second == 0) {
      int st2 = 0;
      const uint32_t t0 = TickCount();
      pid_t done = 0;
      while ((done = waitpid(pid, &st2, WNOHANG)) == 0 && TicksSince(t0) < kOpenerWaitMs) SleepMs(10);
      if (done == 0) {
        // Still busy handing the file over: it has been taken.
        ReapLater(pid);
        started = true;
      } else if (done == pid && WIFEXITED(st2) && WEXITSTATUS(st2) == 0) {
        started = true;
      } else {
        second = done == pid && WIFEXITED(st2) ? WEXITSTATUS(st2) : ECHILD;
      }
    }
  }
  // 3: start it as a process whatever its mode bits claim.
  int third = 0;
  if (!started) {
    third = Spawn({path}, false, &pid);
    if (third == 0) {
      ReapLater(pid);
      started = true;
    }
  }
  if (!started && message) {
    *message = FormatPathMessage("The File\n\"%s\"\ncan not be started!\nError %d %d %d", path, first,
                                 second, third);
  }
  EndWaitCursor();
  return started;
}

CUpdateCheck& TheUpdateCheck() {
  static CUpdateCheck check("RFIDVersionsLF.txt", "Tagwright");
  return check;
}

}  // namespace tw
