#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "shell/file_prims.h"

namespace tw {
namespace {
void Fill(const struct stat& s, FileStat& st) {
  st.regular = S_ISREG(s.st_mode);
  st.dev = static_cast<uint64_t>(s.st_dev);
  st.ino = static_cast<uint64_t>(s.st_ino);
  st.size = static_cast<long long>(s.st_size);
  st.mtimeNs = static_cast<long long>(s.st_mtim.tv_sec) * 1000000000LL + s.st_mtim.tv_nsec;
}
}  // namespace

int OpenFile(const std::string& path, int flags, int mode) {
  return ::open(path.c_str(), flags | O_CLOEXEC, mode);
}

int CloseFile(int fd) { return ::close(fd); }

bool StatFile(const std::string& path, FileStat& st) {
  struct stat s {};
  if (::stat(path.c_str(), &s) != 0) return false;
  Fill(s, st);
  return true;
}

bool StatFd(int fd, FileStat& st) {
  struct stat s {};
  if (::fstat(fd, &s) != 0) return false;
  Fill(s, st);
  return true;
}

long long ReadAt(int fd, void* buf, size_t size, long long offset) {
  return static_cast<long long>(::pread(fd, buf, size, static_cast<off_t>(offset)));
}

long long WriteAt(int fd, const void* buf, size_t size, long long offset) {
  return static_cast<long long>(::pwrite(fd, buf, size, static_cast<off_t>(offset)));
}

bool SyncData(int fd) { return ::fdatasync(fd) == 0; }

bool TruncateFd(int fd, long long size) { return ::ftruncate(fd, static_cast<off_t>(size)) == 0; }

bool SyncFolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

bool MakeFolder(const std::string& path, int mode) {
  return ::mkdir(path.c_str(), static_cast<mode_t>(mode)) == 0 || errno == EEXIST;
}

bool LocalTime(std::time_t t, std::tm* out) { return localtime_r(&t, out) != nullptr; }

int ReadChar(std::FILE* f) { return getc_unlocked(f); }

// "e": close on exec.
std::FILE* OpenStream(const std::string& path, const char* mode) {
  return std::fopen(path.c_str(), (std::string(mode) + "e").c_str());
}

}  // namespace tw
