#include "sim/core/sim_port_registry.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tw::sim {
namespace {

std::string RegistryDir() {
  if (const char* dir = getenv("TAGWRIGHT_SIM_REGISTRY"); dir && *dir) return dir;
  if (const char* run = getenv("XDG_RUNTIME_DIR"); run && *run)
    return std::string(run) + "/tagwright-sim";
  return "/tmp/tagwright-sim-" + std::to_string(geteuid());
}

}  // namespace

bool SimPortRegistration::Announce(const std::string& ptyPath, std::string& error) {
  Withdraw();
  const std::string dir = RegistryDir();
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
    error = "cannot create " + dir + ": " + strerror(errno);
    return false;
  }
  const std::string base = dir + "/" + std::to_string(getpid());
  const std::string temp = base + ".tmp";
  unlink(temp.c_str());
  const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    error = "cannot write " + temp + ": " + strerror(errno);
    return false;
  }
  // Locked before it gets its final name, so a reader never sees it unlocked while we live.
  const std::string line = ptyPath + "\n";
  if (flock(fd, LOCK_EX) != 0 || write(fd, line.data(), line.size()) != ssize_t(line.size()) ||
      rename(temp.c_str(), (base + ".pty").c_str()) != 0) {
    error = "cannot announce the terminal in " + dir + ": " + strerror(errno);
    close(fd);
    unlink(temp.c_str());
    return false;
  }
  fd_ = fd;
  path_ = base + ".pty";
  return true;
}

void SimPortRegistration::Withdraw() {
  if (fd_ < 0) return;
  unlink(path_.c_str());
  close(fd_);
  fd_ = -1;
  path_.clear();
}

}  // namespace tw::sim
