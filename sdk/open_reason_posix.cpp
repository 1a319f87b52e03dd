#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "sdk/open_reason.h"

namespace tw {

int DeviceHolder(const std::string& path) {
  // Serial devices are locked with flock; /proc/locks names the holder by device and inode.
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return 0;
  std::FILE* f = std::fopen("/proc/locks", "r");
  if (!f) return 0;
  char line[256];
  int pid = 0;
  while (pid == 0 && std::fgets(line, sizeof line, f)) {
    unsigned maj = 0, min = 0;
    unsigned long ino = 0;
    int p = 0;
    char kind[16], mode[16], access[16];
    if (std::sscanf(line, "%*d: %15s %15s %15s %d %x:%x:%lu", kind, mode, access, &p, &maj, &min,
                    &ino) == 7 &&
        std::strcmp(kind, "FLOCK") == 0 && ino == st.st_ino && maj == major(st.st_dev) &&
        min == minor(st.st_dev))
      pid = p;
  }
  std::fclose(f);
  return pid;
}

std::string PermissionDeniedReason(const std::string& path) {
  std::string group;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0)
    if (const struct group* g = ::getgrgid(st.st_gid)) group = g->gr_name;
  return "permission denied \x97 add the user to the group that owns " + path +
         (group.empty() ? std::string() : " (" + group + ")");
}

int CurrentProcessId() { return static_cast<int>(::getpid()); }

}  // namespace tw
