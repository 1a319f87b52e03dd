// The update check on POSIX: libcurl for https (proxy from the environment), the installer as a
// file of its own user, started with posix_spawn in a session of its own.
#include <curl/curl.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/tick.h"
#include "platform/trace.h"
#include "shell/update_check.h"
#include "shell/update_platform.h"

extern char** environ;

namespace tw {
namespace update {
namespace {

constexpr size_t kChunkSize = 65536;
constexpr uint32_t kOpenerWaitMs = 5000;

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

struct TransferContext {
  const std::atomic<bool>* stop;
  const Sink* sink;
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

}  // namespace

bool HttpsGet(const std::string& address, const std::string& agent, const std::string& caFile,
              const std::atomic<bool>* stop, const Sink& sink, long* status) {
  GlobalInitOnce();
  *status = 0;
  CURL* curl = curl_easy_init();
  if (curl == nullptr) return false;
  TransferContext ctx{stop, &sink};
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


struct InstallerFile {
  int fd = -1;
  std::string path;
  std::string madeDir;  // the private folder made for it, removed with a discarded file
};

InstallerFile* CreateInstallerFile(const std::string& folder, const std::string& name) {
  auto* f = new InstallerFile;
  std::string dir = folder;
  if (dir.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") + "/tagwright-XXXXXX";
    if (mkdtemp(templ.data()) == nullptr) {
      delete f;
      return nullptr;
    }
    dir = f->madeDir = templ;
  }
  if (dir.back() != '/') dir += '/';
  f->path = dir + name;
  f->fd = open(f->path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (f->fd < 0) {
    if (!f->madeDir.empty()) rmdir(f->madeDir.c_str());
    delete f;
    return nullptr;
  }
  return f;
}

bool WriteInstallerFile(InstallerFile* file, const char* data, size_t n) { return WriteAll(file->fd, data, n); }

std::string CloseInstallerFile(InstallerFile* file, bool keep) {
  bool ok = keep && fchmod(file->fd, 0700) == 0;
  if (close(file->fd) != 0) ok = false;
  std::string path = file->path;
  if (!ok) {
    unlink(path.c_str());
    if (!file->madeDir.empty()) rmdir(file->madeDir.c_str());
    path.clear();
  }
  delete file;
  return path;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

bool StartThreeWays(const std::string& path, const std::string& openCommand, int results[3]) {
  pid_t pid = 0;
  // 1: run it as a program.
  results[0] = access(path.c_str(), X_OK) == 0 ? Spawn({path}, false, &pid) : EACCES;
  if (results[0] == 0) {
    ReapLater(pid);
    return true;
  }
  // 2: open it with the desktop's "open".
  results[1] = Spawn({openCommand, path}, true, &pid);
  if (results[1] == 0) {
    int st = 0;
    const uint32_t t0 = TickCount();
    pid_t done = 0;
    while ((done = waitpid(pid, &st, WNOHANG)) == 0 && TicksSince(t0) < kOpenerWaitMs) SleepMs(10);
    if (done == 0) {
      // Still busy handing the file over: it has been taken.
      ReapLater(pid);
      return true;
    }
    if (done == pid && WIFEXITED(st) && WEXITSTATUS(st) == 0) return true;
    results[1] = done == pid && WIFEXITED(st) ? WEXITSTATUS(st) : ECHILD;
  }
  // 3: start it as a process whatever its mode bits claim.
  results[2] = Spawn({path}, false, &pid);
  if (results[2] == 0) {
    ReapLater(pid);
    return true;
  }
  return false;
}

}  // namespace update

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

}  // namespace tw
