#include "sim/standin/hidapi/sim_hid_announce.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>

namespace tw::sim {
namespace {

// The same folder the simulator announces its terminal in.
std::string RegistryDir() {
  if (const char* dir = getenv("TAGWRIGHT_SIM_REGISTRY"); dir && *dir) return dir;
  if (const char* run = getenv("XDG_RUNTIME_DIR"); run && *run) return std::string(run) + "/tagwright-sim";
  return "/tmp/tagwright-sim-" + std::to_string(geteuid());
}

}  // namespace

bool SimHidAnnouncement::ValidDevice(const std::string& device) {
  int fields = 1;
  for (unsigned char c : device) {
    if (c == ':') ++fields;
    // The entry is one line of a list separated by ';' and '='.
    else if (!std::isprint(c) || c == ';' || c == '=')
      return false;
  }
  if (fields != 3 && fields != 5) return false;
  const size_t a = device.find(':'), b = device.find(':', a + 1);
  auto hex = [](const std::string& t) {
    return !t.empty() && t.size() <= 4 && t.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
  };
  return hex(device.substr(0, a)) && hex(device.substr(a + 1, b - a - 1));
}

bool SimHidAnnouncement::Announce(const std::string& device, const std::string& ptyPath, std::string& error) {
  Withdraw();
  const std::string dir = RegistryDir();
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
    error = "cannot create " + dir + ": " + strerror(errno);
    return false;
  }
  const std::string base = dir + "/" + std::to_string(getpid());
  const std::string temp = base + ".hidtmp";
  unlink(temp.c_str());
  const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    error = "cannot write " + temp + ": " + strerror(errno);
    return false;
  }
  std::string entry = device;
  if (std::count(device.begin(), device.end(), ':') == 2) entry += ":9:9";
  const std::string line = entry + "=" + ptyPath + "\n";
  // Locked before it gets its final name, so a reader never sees it unlocked while we live.
  if (flock(fd, LOCK_EX) != 0 || write(fd, line.data(), line.size()) != ssize_t(line.size()) ||
      rename(temp.c_str(), (base + ".hid").c_str()) != 0) {
    error = "cannot announce the HID reader in " + dir + ": " + strerror(errno);
    close(fd);
    unlink(temp.c_str());
    return false;
  }
  fd_ = fd;
  path_ = base + ".hid";
  return true;
}

void SimHidAnnouncement::Withdraw() {
  if (fd_ < 0) return;
  unlink(path_.c_str());
  close(fd_);
  fd_ = -1;
  path_.clear();
}

}  // namespace tw::sim
