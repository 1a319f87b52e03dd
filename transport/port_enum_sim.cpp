// Finding the terminals of running simulators through their registration files.
#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>

#include "transport/port_enum.h"
#include "transport/usb_sysfs.h"

namespace tw {
namespace {

// Only our own files in a folder nobody else can write to are believed.
bool Trusted(const struct stat& st) {
  return st.st_uid == geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool PlausibleTerminalPath(const std::string& path) {
  if (path.size() < 6 || path.size() > 200 || path.compare(0, 5, "/dev/") != 0) return false;
  for (unsigned char c : path)
    if (!std::isalnum(c) && c != '/' && c != '_' && c != '-' && c != '.') return false;
  if (path.find("..") != std::string::npos) return false;
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

}  // namespace

std::string SimRegistryDir() {
  if (const char* dir = getenv("TAGWRIGHT_SIM_REGISTRY"); dir && *dir) return dir;
  if (const char* run = getenv("XDG_RUNTIME_DIR"); run && *run)
    return std::string(run) + "/tagwright-sim";
  return "/tmp/tagwright-sim-" + std::to_string(geteuid());
}

void AppendSimulatorPorts(std::vector<std::string>& list) {
  const std::string dirPath = SimRegistryDir();
  struct stat dirStat {};
  if (stat(dirPath.c_str(), &dirStat) != 0 || !S_ISDIR(dirStat.st_mode) || !Trusted(dirStat))
    return;
  DIR* dir = opendir(dirPath.c_str());
  if (!dir) return;
  std::vector<std::string> found;
  while (const dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name.size() < 5 || name.compare(name.size() - 4, 4, ".pty") != 0) continue;
    const int fd = open((dirPath + "/" + name).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) continue;
    struct stat st {};
    // A file we can lock has no simulator behind it any more.
    const bool live = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && Trusted(st) &&
                      flock(fd, LOCK_SH | LOCK_NB) != 0;
    close(fd);
    if (!live) continue;
    const auto path = ReadSysfsAttr(dirPath + "/" + name, 256);
    if (path && PlausibleTerminalPath(*path)) found.push_back(*path);
  }
  closedir(dir);
  SortPortEntries(found);
  for (const std::string& p : found) list.push_back(p + kSimPortSuffix);
}

}  // namespace tw
