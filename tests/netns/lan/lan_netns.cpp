#include "lan_netns.h"

#include <dirent.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace tw::test {

namespace {
int RunQuiet(const std::vector<std::string>& args) {
  pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
      dup2(null, 1);
      dup2(null, 2);
    }
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Namespaces "twl<pid>-..." whose creating test process is gone are leftovers of a crash.
void RemoveStaleNamespaces() {
  DIR* d = opendir("/run/netns");
  if (!d) return;
  std::vector<std::string> stale;
  while (dirent* e = readdir(d)) {
    std::string n = e->d_name;
    if (n.rfind("twl", 0) != 0) continue;
    pid_t owner = static_cast<pid_t>(std::atoi(n.c_str() + 3));
    if (owner > 0 && kill(owner, 0) != 0 && errno == ESRCH) stale.push_back(n);
  }
  closedir(d);
  for (const auto& n : stale) RunQuiet({"ip", "netns", "del", n});
}
}  // namespace

LanTestNet::LanTestNet() : prefix_("twl" + std::to_string(getpid())) {}

LanTestNet::~LanTestNet() { Destroy(); }

std::string LanTestNet::Unavailable() {
  if (geteuid() != 0) return "needs root to create network namespaces";
  if (RunQuiet({"ip", "netns", "list"}) != 0) return "`ip netns` is not available";
  return {};
}

std::string LanTestNet::Ns(const std::string& role) const { return prefix_ + "-" + role; }

bool LanTestNet::Ip(const std::vector<std::string>& args) {
  std::vector<std::string> full{"ip"};
  full.insert(full.end(), args.begin(), args.end());
  if (RunQuiet(full) == 0) return true;
  error_ = "failed:";
  for (const auto& a : full) error_ += " " + a;
  return false;
}

std::string LanTestNet::LogPath(int i) const { return dir_ + "/device" + std::to_string(i) + ".log"; }

bool LanTestNet::Create(int deviceCount) {
  RemoveStaleNamespaces();
  char tmpl[] = "/tmp/tw-lan-XXXXXX";
  if (!mkdtemp(tmpl)) return false;
  dir_ = tmpl;
  deviceCount_ = deviceCount;
  devices_.assign(static_cast<size_t>(deviceCount), -1);
  const std::string br = Ns("br"), host = Ns("h");
  for (const auto& ns : {br, host}) {
    if (!Ip({"netns", "add", ns})) return false;
    namespaces_.push_back(ns);
  }
  if (!Ip({"-n", br, "link", "add", "br0", "type", "bridge"}) ||
      !Ip({"-n", br, "link", "set", "br0", "up"}) || !Ip({"-n", host, "link", "set", "lo", "up"}))
    return false;
  // Two adapters of the host under test, both on the bridge.
  for (int k = 0; k < 2; ++k) {
    const std::string side = "h" + std::to_string(k), eth = "eth" + std::to_string(k);
    if (!Ip({"-n", br, "link", "add", side, "type", "veth", "peer", "name", eth, "netns", host}) ||
        !Ip({"-n", br, "link", "set", side, "master", "br0", "up"}) ||
        !Ip({"-n", host, "addr", "add", HostAdapter(k) + "/24", "dev", eth}) ||
        !Ip({"-n", host, "link", "set", eth, "up"}))
      return false;
  }
  for (int i = 0; i < deviceCount; ++i) {
    const std::string ns = Ns("d" + std::to_string(i)), side = "d" + std::to_string(i);
    if (!Ip({"netns", "add", ns})) return false;
    namespaces_.push_back(ns);
    if (!Ip({"-n", br, "link", "add", side, "type", "veth", "peer", "name", "eth0", "netns", ns}) ||
        !Ip({"-n", br, "link", "set", side, "master", "br0", "up"}) ||
        !Ip({"-n", ns, "addr", "add", DeviceAddress(i) + "/24", "dev", "eth0"}) ||
        !Ip({"-n", ns, "link", "set", "eth0", "up"}) || !Ip({"-n", ns, "link", "set", "lo", "up"}))
      return false;
  }
  return true;
}

bool LanTestNet::EnterHost() {
  if (savedNs_ < 0) savedNs_ = open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
  int fd = open(("/run/netns/" + Ns("h")).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = setns(fd, CLONE_NEWNET) == 0;
  close(fd);
  if (!ok) return false;
  // Nothing may go out on the machine's own interfaces: only loopback and our two adapters.
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return false;
  for (ifaddrs* i = list; i; i = i->ifa_next) {
    std::string n = i->ifa_name;
    if (n != "lo" && n != "eth0" && n != "eth1") {
      error_ = "unexpected interface " + n + " in the host namespace";
      ok = false;
    }
  }
  freeifaddrs(list);
  return ok;
}

void LanTestNet::LeaveHost() {
  if (savedNs_ >= 0) {
    if (setns(savedNs_, CLONE_NEWNET) != 0) error_ = "could not return to the first namespace";
    close(savedNs_);
    savedNs_ = -1;
  }
}

bool LanTestNet::StartDevice(int i, const std::vector<std::string>& args, const std::string& program) {
  StopDevice(i);
  unlink(LogPath(i).c_str());
  std::vector<std::string> argv{"ip", "netns", "exec", Ns("d" + std::to_string(i)),
                                std::string(TW_BIN_DIR) + "/" + program,
                                "--bind", DeviceAddress(i), "--lan-iface", "eth0", "--lan-log", LogPath(i)};
  argv.insert(argv.end(), args.begin(), args.end());
  pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    // The device goes with the test, even when the test dies without cleaning up.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
      dup2(null, 0);
      dup2(null, 1);
    }
    std::vector<char*> v;
    for (const auto& a : argv) v.push_back(const_cast<char*>(a.c_str()));
    v.push_back(nullptr);
    execvp(v[0], v.data());
    _exit(127);
  }
  devices_[static_cast<size_t>(i)] = pid;
  for (int waited = 0; waited < 5000; waited += 10) {
    if (CountEvents(i, "UP") > 0) return true;
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      devices_[static_cast<size_t>(i)] = -1;
      error_ = "device " + std::to_string(i) + " ended at start";
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  error_ = "device " + std::to_string(i) + " did not come up";
  return false;
}

void LanTestNet::StopDevice(int i) {
  pid_t& pid = devices_[static_cast<size_t>(i)];
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  int status = 0;
  for (int waited = 0; waited < 2000; waited += 10) {
    if (waitpid(pid, &status, WNOHANG) == pid) {
      pid = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  pid = -1;
}

std::vector<std::string> LanTestNet::DeviceEvents(int i) const {
  std::vector<std::string> lines;
  std::ifstream in(LogPath(i));
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

int LanTestNet::CountEvents(int i, const std::string& event) const {
  int n = 0;
  for (const auto& l : DeviceEvents(i)) n += l == event;
  return n;
}

void LanTestNet::Destroy() {
  LeaveHost();
  for (int i = 0; i < static_cast<int>(devices_.size()); ++i) StopDevice(i);
  devices_.clear();
  // Deleting a namespace removes its veth ends, and with them their peers.
  for (auto it = namespaces_.rbegin(); it != namespaces_.rend(); ++it) RunQuiet({"ip", "netns", "del", *it});
  namespaces_.clear();
  if (!dir_.empty()) {
    for (int i = 0; i < deviceCount_; ++i) unlink(LogPath(i).c_str());
    rmdir(dir_.c_str());
    dir_.clear();
  }
}

}  // namespace tw::test
