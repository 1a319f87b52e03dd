// Test fixture that runs tagwright-sim as a child process (see sim_process.h).
#include "tests/support/sim_process.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "platform/tick.h"

extern char** environ;

namespace tw::test {

std::string BinPath(const std::string& name) { return std::string(TW_SUPPORT_BIN_DIR) + "/" + name; }

SimProcess::SimProcess() = default;

SimProcess::~SimProcess() { Stop(); }

bool SimProcess::Running() const {
  if (pid_ <= 0) return false;
  return waitpid(pid_, nullptr, WNOHANG) == 0;
}

// Reads one line from fd within timeoutMs; false on timeout or end of file.
static bool ReadLine(int fd, std::string& line, uint32_t timeoutMs) {
  line.clear();
  const uint32_t start = TickCount();
  for (;;) {
    const uint32_t spent = TicksSince(start);
    if (spent >= timeoutMs) return false;
    pollfd p{fd, POLLIN, 0};
    const int r = poll(&p, 1, static_cast<int>(timeoutMs - spent));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    char c;
    const ssize_t n = read(fd, &c, 1);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) return false;
    if (c == '\n') return true;
    line += c;
  }
}

bool SimProcess::Start(const std::vector<std::string>& args) {
  Stop();
  char tmpl[] = "/tmp/tw-sim-XXXXXX";
  if (!mkdtemp(tmpl)) return false;
  dir_ = tmpl;
  tracePath_ = dir_ + "/trace.txt";
  controlPath_ = dir_ + "/control.sock";

  std::vector<std::string> argv = {BinPath("tagwright-sim"), "--trace", tracePath_, "--control",
                                   controlPath_};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargv;
  for (std::string& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);

  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, cargv[0], &actions, nullptr, cargv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (rc != 0) {
    close(out[0]);
    return false;
  }
  pid_ = pid;
  stdoutFd_ = out[0];
  if (!ReadLine(stdoutFd_, ptyPath_, 5000) || ptyPath_.empty() || ptyPath_[0] != '/') {
    Stop();
    return false;
  }
  return true;
}

void SimProcess::Stop() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    // Give it a second to end cleanly, then make sure it is gone.
    const uint32_t start = TickCount();
    while (waitpid(pid_, nullptr, WNOHANG) == 0) {
      if (TicksSince(start) > 1000) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        break;
      }
      SleepMs(5);
    }
    pid_ = -1;
  }
  if (stdoutFd_ >= 0) close(stdoutFd_);
  stdoutFd_ = -1;
  if (!dir_.empty()) {
    unlink(tracePath_.c_str());
    unlink(controlPath_.c_str());
    rmdir(dir_.c_str());
    dir_.clear();
  }
  ptyPath_.clear();
}

std::string SimProcess::Control(const std::string& line) {
  if (pid_ <= 0) return "error simulator not running";
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return "error socket";
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  snprintf(addr.sun_path, sizeof addr.sun_path, "%s", controlPath_.c_str());
  std::string reply = "error no reply";
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
    const std::string msg = line + "\n";
    if (send(fd, msg.data(), msg.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(msg.size())) {
      std::string got;
      if (ReadLine(fd, got, 10000)) reply = got;
    }
  } else {
    reply = std::string("error connect: ") + strerror(errno);
  }
  close(fd);
  return reply;
}

std::vector<std::string> SimProcess::Trace() const {
  std::vector<std::string> lines;
  std::ifstream in(tracePath_);
  std::string line;
  while (std::getline(in, line))
    if (!line.empty()) lines.push_back(line);
  return lines;
}

void SimProcess::ClearTrace() {
  if (tracePath_.empty()) return;
  // The simulator appends, so truncating in place is safe.
  const int fd = open(tracePath_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd >= 0) close(fd);
}

// Command byte of a traced frame: STX/BCC when it starts with 02h and its BCC holds over the
// length its N byte gives, CRC-16 otherwise.
static int CommandOf(const std::vector<int>& b) {
  if (b.size() >= 5 && b[0] == 0x02 && b.size() == static_cast<size_t>(b[3]) + 5) {
    int x = 0;
    for (size_t i = 1; i + 1 < b.size(); ++i) x ^= b[i];
    if (x == b.back()) return b[2];
  }
  return b.size() >= 2 ? b[1] : -1;
}

int SimProcess::CountCommands(uint8_t cmd) const {
  int count = 0;
  for (const std::string& line : Trace()) {
    if (line.rfind("RX ", 0) != 0) continue;
    std::istringstream in(line.substr(3));
    std::vector<int> bytes;
    std::string hex;
    while (in >> hex) bytes.push_back(static_cast<int>(strtol(hex.c_str(), nullptr, 16)));
    if (CommandOf(bytes) == cmd) ++count;
  }
  return count;
}

}  // namespace tw::test
