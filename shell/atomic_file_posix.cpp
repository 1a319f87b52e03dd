#include "shell/atomic_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/tick.h"

namespace tw {
namespace {

std::string Folder(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool WriteAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (w == 0) return false;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

}  // namespace

bool ReplaceFileAtomically(const std::string& pathIn, const std::string& bytes, int mode) {
  std::string path = pathIn;
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    // Replacing the link itself would cut it off from the file the user keeps elsewhere.
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr) return false;
    path = real;
    std::free(real);
  }
  bool exists = ::stat(path.c_str(), &st) == 0;
  if (exists) {
    if (!S_ISREG(st.st_mode)) return false;
    // A file the user made read-only stays as it is, even though its folder would allow a rename.
    if (::access(path.c_str(), W_OK) != 0) return false;
  }
  const bool setMode = mode >= 0 || exists;
  const mode_t newMode = mode >= 0 ? static_cast<mode_t>(mode) : (st.st_mode & 07777);

  static std::atomic<unsigned> counter{0};
  std::string folder = Folder(path);
  std::string base = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
  std::string tmp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    tmp = folder + "/." + base + ".tmp" + std::to_string(::getpid()) + "-" +
          std::to_string(counter.fetch_add(1));
    // A new file without a requested mode gets 0666 less the umask, as any new file would;
    // otherwise 0600 until complete, then the exact mode (not cut by the umask).
    fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, setMode ? 0600 : 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;

  bool ok = WriteAll(fd, bytes.data(), bytes.size());
  if (ok) {
    if (setMode) ok = ::fchmod(fd, newMode) == 0;
    if (ok && exists && ::geteuid() == 0) {
      // Root editing another user's file must not take it over.
      if (::fchown(fd, st.st_uid, st.st_gid) != 0) { /* ownership is best effort */
      }
    }
  }
  if (ok) ok = ::fsync(fd) == 0;
  if (::close(fd) != 0) ok = false;
  if (ok) ok = ::rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(tmp.c_str());
    return false;
  }
  // Make the rename itself durable.
  int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return true;
}

bool LockFileWithin(int fd, bool exclusive, int waitMs) {
  const int op = (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
  const uint32_t start = TickCount();
  for (;;) {
    if (::flock(fd, op) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    if (static_cast<int>(TicksSince(start)) >= waitMs) return false;
    SleepMs(10);
  }
}

bool ReadWholeFile(int fd, std::string& out) {
  out.clear();
  struct stat st {};
  if (::fstat(fd, &st) == 0 && st.st_size > 0) out.reserve(static_cast<size_t>(st.st_size));
  char buf[65536];
  for (;;) {
    ssize_t r = ::read(fd, buf, sizeof buf);
    if (r < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (r == 0) return true;
    out.append(buf, static_cast<size_t>(r));
  }
}

}  // namespace tw
