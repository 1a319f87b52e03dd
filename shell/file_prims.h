// File primitives of one platform for the shell's files (file_prims_posix.cpp, file_prims_win32.cpp):
// descriptors from the C runtime, paths as UTF-8 (handed to Windows as UTF-16), binary mode.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

namespace tw {

// open(2) flags and mode; close-on-exec and binary mode are added. -1 and errno on failure.
int OpenFile(const std::string& path, int flags, int mode);
int CloseFile(int fd);

// What the shell compares to tell whether a file changed: device and file number (where the
// system has them), size, modification time.
struct FileStat {
  bool regular = false;
  uint64_t dev = 0;
  uint64_t ino = 0;
  long long size = -1;
  long long mtimeNs = -1;
};
bool StatFile(const std::string& path, FileStat& st);
bool StatFd(int fd, FileStat& st);

// Reads at an offset without moving the file position; -1 on error.
long long ReadAt(int fd, void* buf, size_t size, long long offset);
// Writes at an offset (the file position is not to be relied on afterwards); -1 on error.
long long WriteAt(int fd, const void* buf, size_t size, long long offset);
// Flushes the file's data to the disk.
bool SyncData(int fd);
bool TruncateFd(int fd, long long size);
// Flushes the folder entry of a file (a new file's name) to the disk.
bool SyncFolderOf(const std::string& path);
// Creates one folder (owner-only where the system has modes); true when it exists afterwards.
bool MakeFolder(const std::string& path, int mode);
bool LocalTime(std::time_t t, std::tm* out);
// One byte of a stream used by one thread only; EOF at the end.
int ReadChar(std::FILE* f);
std::FILE* OpenStream(const std::string& path, const char* mode);

}  // namespace tw
