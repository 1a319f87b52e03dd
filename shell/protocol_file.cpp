#include "shell/protocol_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

#include "shell/atomic_file.h"
#include "shell/file_prims.h"
#include "shell/string_table.h"

namespace tw {
namespace {

// How long a line write waits for another of our processes appending to the same file.
constexpr int kAppendLockWaitMs = 2000;

struct CountCache {
  uint64_t dev = 0;
  uint64_t ino = 0;
  long long size = -1;
  long long mtimeNs = -1;
  long long lineFeeds = 0;
  bool endsWithLineFeed = true;
};

std::mutex gCacheMutex;
std::map<std::string, CountCache> gCache;

bool Matches(const CountCache& c, const FileStat& st) {
  return c.dev == st.dev && c.ino == st.ino && c.size == st.size && c.mtimeNs == st.mtimeNs;
}

// Counts line feeds and notes the last byte, reading the file from the start.
bool CountFromFile(int fd, CountCache& c) {
  static thread_local char buf[1 << 16];
  c.lineFeeds = 0;
  c.endsWithLineFeed = true;
  long long off = 0;
  for (;;) {
    long long r = ReadAt(fd, buf, sizeof buf, off);
    if (r < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (r == 0) return true;
    for (const char* p = buf;
         (p = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(buf + r - p)))) != nullptr;
         ++p)
      ++c.lineFeeds;
    c.endsWithLineFeed = buf[r - 1] == '\n';
    off += r;
  }
}

long long Lines(const CountCache& c) { return c.lineFeeds + (c.endsWithLineFeed ? 0 : 1); }

}  // namespace

std::string FormatProtocolUid(const CMyByteArray& uid) {
  const size_t n = uid.size();
  if (n != 4 && n != 5 && n != 6 && n != 8) return std::string();
  uint64_t v = 0;
  for (size_t i = n; i-- > 0;) v = (v << 8) | uid[i];
  char buf[24];
  std::snprintf(buf, sizeof buf, "%0*" PRIX64, static_cast<int>(2 * n), v);
  return buf;
}

CMyByteArray ParseProtocolUid(const std::string& hex) {
  CMyByteArray out;
  if (hex.size() % 2 != 0 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return out;
  for (size_t i = hex.size(); i >= 2; i -= 2) out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i - 2, 2), nullptr, 16)));
  return out;
}

std::string BuildProtocolLineBody(const ProtocolLineInput& in, std::time_t now) {
  std::string s;
  std::tm tmLocal{};
  char date[64];
  if (LocalTime(now, &tmLocal) &&
      std::strftime(date, sizeof date, "%d.%m.%Y %H:%M:%S", &tmLocal) > 0)
    s += date;
  s += '\t';
  s += FormatProtocolUid(in.uid);
  s += '\t';
  s += LoadString(in.numberFormat == 0   ? IDS_PROT_FORMAT_NONE
                  : in.numberFormat == 2 ? IDS_PROT_FORMAT_HEX
                                         : IDS_PROT_FORMAT_DEC);
  s += ' ';
  s += LoadString(in.display == 1 ? IDS_PROT_ASCII : IDS_PROT_BINARY);
  s += ' ';
  s += LoadString(in.orientation == 0 ? IDS_PROT_NORMAL : IDS_PROT_REVERSED);
  char num[32];
  std::snprintf(num, sizeof num, "\t%4d\t%4d\t", in.startBlock, in.byteCount);
  s += num;
  // Text files end lines in CR LF; a line feed inside the value becomes one as well.
  for (char c : in.valueText) {
    if (c == '\n') s += '\r';
    s += c;
  }
  s += "\r\n";
  return s;
}

bool WriteProtocolLine(const std::string& path, const ProtocolLineInput& in) {
  std::string body = BuildProtocolLineBody(in, std::time(nullptr));
  return AppendProtocolLine(path, body);
}

bool AppendProtocolLine(const std::string& path, const std::string& body) {
  if (path.empty()) return false;
  int fd = OpenFile(path, O_RDWR | O_CREAT | O_APPEND, 0666);
  if (fd < 0) return false;
  // Between our own processes the count and the append must not interleave. Someone holding the
  // lock for longer does not cost the line: it is appended anyway (one write, so never mixed).
  bool locked = LockFileWithin(fd, true, kAppendLockWaitMs);
  (void)locked;

  FileStat st;
  if (!StatFd(fd, st) || !st.regular) {
    CloseFile(fd);
    return false;
  }
  CountCache count;
  {
    std::lock_guard<std::mutex> lock(gCacheMutex);
    auto it = gCache.find(path);
    if (it != gCache.end() && Matches(it->second, st)) count = it->second;
  }
  if (count.size < 0) {
    if (!CountFromFile(fd, count)) {
      CloseFile(fd);
      return false;
    }
  }

  char number[32];
  std::snprintf(number, sizeof number, "%6lld\t", Lines(count) + 1);
  std::string line = number + body;

  bool ok = true;
  size_t done = 0;
  while (done < line.size()) {
    ssize_t w = ::write(fd, line.data() + done, line.size() - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      ok = false;
      break;
    }
    done += static_cast<size_t>(w);
  }
  if (ok) ok = SyncData(fd);
  // The first line of a file that may be new: its name in the folder must last as well.
  if (ok && st.size == 0) ok = SyncFolderOf(path);
  if (!ok && done > 0) {
    // Leave no half line behind for the next line to continue.
    if (!TruncateFd(fd, st.size)) { /* the line stays partial; nothing more to do */
    }
  }

  FileStat after;
  std::lock_guard<std::mutex> lock(gCacheMutex);
  if (ok && StatFd(fd, after)) {
    CountCache next = count;
    for (char c : line)
      if (c == '\n') ++next.lineFeeds;
    next.endsWithLineFeed = line.back() == '\n';
    next.dev = after.dev;
    next.ino = after.ino;
    next.size = after.size;
    next.mtimeNs = after.mtimeNs;
    // Appends by others between our fstat calls would make the remembered count wrong.
    if (after.size == st.size + static_cast<long long>(line.size()))
      gCache[path] = next;
    else
      gCache.erase(path);
  } else {
    gCache.erase(path);
  }
  CloseFile(fd);
  return ok;
}

long long CountProtocolLines(const std::string& path) {
  int fd = OpenFile(path, O_RDONLY, 0);
  if (fd < 0) return -1;
  CountCache c;
  bool ok = CountFromFile(fd, c);
  CloseFile(fd);
  return ok ? Lines(c) : -1;
}

}  // namespace tw
