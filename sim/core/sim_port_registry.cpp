#include "sim/core/sim_port_registry.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tw::sim {

std::string SimRegistryDir() {
  if (const char* dir = getenv("TAGWRIGHT_SIM_REGISTRY"); dir && *dir) return dir;
  if (const char* run = getenv("XDG_RUNTIME_DIR"); run && *run)
    return std::string(run) + "/tagwright-sim";
  return "/tmp/tagwright-sim-" + std::to_string(geteuid());
}

bool WriteAnnouncement(const std::string& suffix, const std::string& line, const std::string& what, int& fd,
                       std::string& path, std::string& error) {
  RemoveAnnouncement(fd, path);
  const std::string dir = SimRegistryDir();
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
    error = "cannot create " + dir + ": " + strerror(errno);
    return false;
  }
  const std::string final = dir + "/" + std::to_string(getpid()) + suffix;
  const std::string temp = final + ".tmp";
  unlink(temp.c_str());
  const int f = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (f < 0) {
    error = "cannot write " + temp + ": " + strerror(errno);
    return false;
  }
  if (flock(f, LOCK_EX) != 0 || write(f, line.data(), line.size()) != ssize_t(line.size()) ||
      rename(temp.c_str(), final.c_str()) != 0) {
    error = "cannot announce " + what + " in " + dir + ": " + strerror(errno);
    close(f);
    unlink(temp.c_str());
    return false;
  }
  fd = f;
  path = final;
  return true;
}

void RemoveAnnouncement(int& fd, std::string& path) {
  if (fd < 0) return;
  unlink(path.c_str());
  close(fd);
  fd = -1;
  path.clear();
}

bool SimPortRegistration::Announce(const std::string& ptyPath, std::string& error) {
  return WriteAnnouncement(".pty", ptyPath + "\n", "the terminal", fd_, path_, error);
}

}  // namespace tw::sim
