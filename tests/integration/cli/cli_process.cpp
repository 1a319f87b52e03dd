#include "cli_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "tests/support/sim_process.h"

namespace tw::test {

std::vector<std::string> CliResult::OutLines() const {
  std::vector<std::string> lines;
  std::istringstream in(out);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

bool ParseJsonObject(const std::string& s, JsonObject& out) {
  out.clear();
  size_t i = 0;
  auto ws = [&] {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  };
  auto str = [&](std::string& v) {
    if (i >= s.size() || s[i] != '"') return false;
    ++i;
    v.clear();
    while (i < s.size() && s[i] != '"') {
      if (s[i] == '\\') {
        if (++i >= s.size()) return false;
        const char e = s[i];
        if (e == 'n')
          v += '\n';
        else if (e == 'r')
          v += '\r';
        else if (e == 't')
          v += '\t';
        else if (e == 'u') {
          if (i + 4 >= s.size()) return false;
          v += static_cast<char>(std::strtol(s.substr(i + 1, 4).c_str(), nullptr, 16));
          i += 4;
        } else
          v += e;
        ++i;
        continue;
      }
      v += s[i++];
    }
    if (i >= s.size()) return false;
    ++i;
    return true;
  };
  ws();
  if (i >= s.size() || s[i++] != '{') return false;
  ws();
  if (i < s.size() && s[i] == '}') return true;
  for (;;) {
    std::string key, value;
    ws();
    if (!str(key)) return false;
    ws();
    if (i >= s.size() || s[i++] != ':') return false;
    ws();
    if (i < s.size() && s[i] == '"') {
      if (!str(value)) return false;
    } else {
      const size_t start = i;
      while (i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == '-')) ++i;
      if (i == start) return false;
      value = s.substr(start, i - start);
    }
    out[key] = value;
    ws();
    if (i < s.size() && s[i] == ',') {
      ++i;
      continue;
    }
    if (i < s.size() && s[i] == '}') {
      ++i;
      ws();
      return i == s.size();
    }
    return false;
  }
}

std::vector<JsonObject> JsonEvents(const std::string& out, const std::string& event) {
  std::vector<JsonObject> list;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    JsonObject o;
    if (ParseJsonObject(line, o) && o["event"] == event) list.push_back(o);
  }
  return list;
}

std::string CliProcess::StorePath() const { return configHome_ + "/Velkor Applikationen/Tagwright.conf"; }

CliResult CliProcess::Run(const std::vector<std::string>& args, int timeoutMs) {
  return RunUntil(
      args, [](const std::string&) { return false; }, timeoutMs);
}

CliResult CliProcess::RunUntil(const std::vector<std::string>& args,
                               const std::function<bool(const std::string&)>& onLine, int timeoutMs,
                               int stopSignal) {
  CliResult r;
  int outPipe[2], errPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) return r;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(outPipe[1], 1);
    dup2(errPipe[1], 2);
    setenv("XDG_CONFIG_HOME", configHome_.c_str(), 1);
    std::vector<std::string> all = {BinPath("tagwright-cli")};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(outPipe[1]);
  close(errPipe[1]);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  bool outOpen = true, errOpen = true, signalled = false;
  std::string partial;
  while (outOpen || errOpen) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      break;
    }
    pollfd p[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    if (poll(p, 2, 100) <= 0) continue;
    char buf[4096];
    for (int k = 0; k < 2; ++k) {
      if (!(p[k].revents & (POLLIN | POLLHUP))) continue;
      const ssize_t n = read(p[k].fd, buf, sizeof buf);
      if (n <= 0) {
        (k == 0 ? outOpen : errOpen) = false;
        p[k].fd = -1;
        continue;
      }
      (k == 0 ? r.out : r.err).append(buf, static_cast<size_t>(n));
      if (k != 0) continue;
      partial.append(buf, static_cast<size_t>(n));
      size_t eol;
      while ((eol = partial.find('\n')) != std::string::npos) {
        const std::string line = partial.substr(0, eol);
        partial.erase(0, eol + 1);
        if (!signalled && onLine(line)) {
          kill(pid, stopSignal);
          signalled = true;
        }
      }
    }
    if (!outOpen && !errOpen) break;
  }
  close(outPipe[0]);
  close(errPipe[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return r;
}

}  // namespace tw::test
