#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstring>

#include "platform/wide_text.h"
#include "shell/file_prims.h"

namespace tw {
namespace {
// Windows file times count 100 ns from 1601; the POSIX epoch is 1970.
constexpr long long kEpochDelta100ns = 116444736000000000LL;

bool FromHandle(HANDLE h, FileStat& st) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (h == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(h, &info)) return false;
  st.regular = (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0 &&
               GetFileType(h) == FILE_TYPE_DISK;
  st.dev = info.dwVolumeSerialNumber;
  st.ino = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  st.size = static_cast<long long>((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
  const long long t = static_cast<long long>((static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                                             info.ftLastWriteTime.dwLowDateTime);
  st.mtimeNs = (t - kEpochDelta100ns) * 100;
  return true;
}
HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

// A positioned read or write on a handle opened for ordinary I/O.
OVERLAPPED At(long long offset) {
  OVERLAPPED ov{};
  ov.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
  ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return ov;
}
}  // namespace

int OpenFile(const std::string& path, int flags, int) {
  // Shared for reading, writing and deleting, as a POSIX file is: a file held open (and locked)
  // can still be replaced whole by a rename. Binary: a line feed stays one byte.
  DWORD access = GENERIC_READ;
  if ((flags & (_O_WRONLY | _O_RDWR)) == _O_WRONLY) access = GENERIC_WRITE;
  if (flags & _O_RDWR) access = GENERIC_READ | GENERIC_WRITE;
  DWORD disposition = OPEN_EXISTING;
  if ((flags & _O_CREAT) && (flags & _O_EXCL)) disposition = CREATE_NEW;
  else if ((flags & _O_CREAT) && (flags & _O_TRUNC)) disposition = CREATE_ALWAYS;
  else if (flags & _O_CREAT) disposition = OPEN_ALWAYS;
  else if (flags & _O_TRUNC) disposition = TRUNCATE_EXISTING;
  HANDLE h = CreateFileW(Utf8ToWide(path).c_str(), access,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD err = GetLastError();
    errno = err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND ? ENOENT
            : err == ERROR_FILE_EXISTS || err == ERROR_ALREADY_EXISTS  ? EEXIST
            : err == ERROR_ACCESS_DENIED                               ? EACCES
                                                                       : EIO;
    return -1;
  }
  const int crtFlags = _O_BINARY | (flags & _O_APPEND) | ((flags & _O_RDWR) ? 0 : (flags & _O_WRONLY) ? 0 : _O_RDONLY);
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), crtFlags);
  if (fd < 0) CloseHandle(h);
  return fd;
}

int CloseFile(int fd) { return _close(fd); }

bool StatFile(const std::string& path, FileStat& st) {
  HANDLE h = CreateFileW(Utf8ToWide(path).c_str(), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    errno = ENOENT;
    return false;
  }
  const bool ok = FromHandle(h, st);
  CloseHandle(h);
  return ok;
}

bool StatFd(int fd, FileStat& st) { return FromHandle(HandleOf(fd), st); }

long long ReadAt(int fd, void* buf, size_t size, long long offset) {
  OVERLAPPED ov = At(offset);
  DWORD got = 0;
  if (!ReadFile(HandleOf(fd), buf, static_cast<DWORD>(size), &got, &ov)) {
    if (GetLastError() == ERROR_HANDLE_EOF) return 0;
    errno = EIO;
    return -1;
  }
  return got;
}

long long WriteAt(int fd, const void* buf, size_t size, long long offset) {
  OVERLAPPED ov = At(offset);
  DWORD put = 0;
  if (!WriteFile(HandleOf(fd), buf, static_cast<DWORD>(size), &put, &ov)) {
    errno = EIO;
    return -1;
  }
  return put;
}

bool SyncData(int fd) { return FlushFileBuffers(HandleOf(fd)) != 0; }

bool TruncateFd(int fd, long long size) { return _chsize_s(fd, size) == 0; }

// NTFS journals a new file's folder entry itself; a folder handle cannot be flushed without
// backup rights.
bool SyncFolderOf(const std::string&) { return true; }

bool MakeFolder(const std::string& path, int) {
  if (CreateDirectoryW(Utf8ToWide(path).c_str(), nullptr)) return true;
  return GetLastError() == ERROR_ALREADY_EXISTS;
}

bool LocalTime(std::time_t t, std::tm* out) { return localtime_s(out, &t) == 0; }

int ReadChar(std::FILE* f) { return _getc_nolock(f); }

std::FILE* OpenStream(const std::string& path, const char* mode) {
  // Through OpenFile rather than _wfopen, whose sharing keeps other programs from replacing the
  // file (an import file saved again by an editor while a job reads it).
  const bool append = mode[0] == 'a';
  const int flags = mode[0] == 'r' ? _O_RDONLY : _O_WRONLY | _O_CREAT | (append ? _O_APPEND : _O_TRUNC);
  const int fd = OpenFile(path, std::strchr(mode, '+') ? (flags & ~_O_WRONLY) | _O_RDWR : flags, 0);
  if (fd < 0) return nullptr;
  std::FILE* f = _fdopen(fd, mode);
  if (f == nullptr) _close(fd);
  return f;
}

}  // namespace tw
