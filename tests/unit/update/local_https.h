// A https server on 127.0.0.1 for the update check's tests: a certificate made for the run
// (trusted only by the checks that are given its file), a folder it serves, and a request log.
#pragma once
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

extern char** environ;

namespace tw::test {

class LocalHttps {
 public:
  LocalHttps() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "tw-update-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) return;
    dir_ = tmpl;
    root_ = dir_ + "/www";
    std::filesystem::create_directories(root_ + "/rfid/software");
    const std::string cmd = "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2"
                            " -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout '" +
                            dir_ + "/key.pem' -out '" + dir_ + "/cert.pem' >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) return;
    int fds[2];
    if (::pipe(fds) != 0) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
    posix_spawn_file_actions_addclose(&fa, fds[0]);
    const std::string script = std::string(TW_SOURCE_DIR) + "/tests/unit/update/https_server.py";
    const std::string cert = CaFile(), key = dir_ + "/key.pem";
    const char* argv[] = {"python3", script.c_str(), root_.c_str(), cert.c_str(), key.c_str(), nullptr};
    const int rc = posix_spawnp(&pid_, "python3", &fa, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(fds[1]);
    if (rc != 0) {
      pid_ = 0;
      ::close(fds[0]);
      return;
    }
    std::string line;
    char c;
    while (::read(fds[0], &c, 1) == 1 && c != '\n') line += c;
    ::close(fds[0]);
    port_ = std::atoi(line.c_str());
  }
  ~LocalHttps() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      int st = 0;
      ::waitpid(pid_, &st, 0);
    }
    std::error_code ec;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
  }
  LocalHttps(const LocalHttps&) = delete;
  LocalHttps& operator=(const LocalHttps&) = delete;

  bool Ok() const { return port_ > 0; }
  std::string CaFile() const { return dir_ + "/cert.pem"; }
  std::string Url(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(port_) + path;
  }
  // Puts a file where the server finds it under path ("/rfid/software/x").
  void Serve(const std::string& path, const std::string& bytes) const {
    std::filesystem::create_directories(std::filesystem::path(root_ + path).parent_path());
    std::ofstream(root_ + path, std::ios::binary | std::ios::trunc) << bytes;
  }
  std::string RequestLog() const {
    std::ifstream in(root_ + "/requests.log");
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

 private:
  std::string dir_, root_;
  pid_t pid_ = 0;
  int port_ = 0;
};

// A loopback port on which nothing listens.
inline int ClosedLoopbackPort() { return 1; }

}  // namespace tw::test
