// Whole-file replacement on Windows: the new contents go to a temporary file in the same folder,
// are flushed, and take the old file's place with ReplaceFileW (which keeps its attributes and
// security) or, for a new file, MoveFileExW.
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cerrno>

#include "platform/tick.h"
#include "platform/wide_text.h"
#include "shell/atomic_file.h"

namespace tw {

bool ReplaceFileAtomically(const std::string& path, const std::string& bytes, int) {
  const std::wstring target = Utf8ToWide(path);
  const DWORD attrs = GetFileAttributesW(target.c_str());
  const bool exists = attrs != INVALID_FILE_ATTRIBUTES;
  if (exists) {
    if (attrs & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) return false;
    // A file the user made read-only stays as it is.
    if (attrs & FILE_ATTRIBUTE_READONLY) return false;
  }
  static std::atomic<unsigned> counter{0};
  const size_t slash = path.find_last_of("/\\");
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  std::wstring tmp;
  HANDLE h = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
    tmp = Utf8ToWide(folder + "/." + base + ".tmp" + std::to_string(GetCurrentProcessId()) + "-" +
                     std::to_string(counter.fetch_add(1)));
    h = CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return false;
  }
  if (h == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  size_t done = 0;
  while (ok && done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(bytes.size() - done > (1u << 30) ? (1u << 30) : bytes.size() - done);
    DWORD written = 0;
    ok = WriteFile(h, bytes.data() + done, chunk, &written, nullptr) && written > 0;
    done += written;
  }
  if (ok) ok = FlushFileBuffers(h) != 0;
  if (!CloseHandle(h)) ok = false;
  if (ok) {
    ok = exists ? ReplaceFileW(target.c_str(), tmp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                               nullptr, nullptr) != 0
                : false;
    // A file that vanished meanwhile, or a system without ReplaceFileW: a plain replacing move.
    if (!ok) ok = MoveFileExW(tmp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  }
  if (!ok) DeleteFileW(tmp.c_str());
  return ok;
}

bool LockFileWithin(int fd, bool exclusive, int waitMs) {
  HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  if (h == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return false;
  }
  const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
  const uint32_t start = TickCount();
  for (;;) {
    // One byte far past any content stands for the file, as an advisory lock does: the locks of
    // our processes exclude each other, while a reader of the file (the name of the program that
    // holds a lock file, a protocol shown meanwhile) is not turned away.
    OVERLAPPED ov{};
    ov.OffsetHigh = 0x7FFFFFFF;
    if (LockFileEx(h, flags, 0, 1, 0, &ov)) return true;
    const DWORD err = GetLastError();
    if (err != ERROR_LOCK_VIOLATION && err != ERROR_IO_PENDING) {
      errno = EIO;
      return false;
    }
    if (static_cast<int>(TicksSince(start)) >= waitMs) {
      errno = EWOULDBLOCK;
      return false;
    }
    SleepMs(10);
  }
}

bool ReadWholeFile(int fd, std::string& out) {
  out.clear();
  char buf[65536];
  for (;;) {
    const int r = _read(fd, buf, sizeof buf);
    if (r < 0) return false;
    if (r == 0) return true;
    out.append(buf, static_cast<size_t>(r));
  }
}

}  // namespace tw
