// Private PostgreSQL server for tests (see pg_server.h).
#include "tests/support/pg_server.h"

#include <fcntl.h>
#include <glob.h>
#include <pwd.h>
#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

extern char** environ;

namespace tw::test {
namespace {

// The newest installed server's program folder.
std::string ServerBinDir() {
  glob_t g{};
  std::string best;
  if (glob("/usr/lib/postgresql/*/bin/initdb", 0, nullptr, &g) == 0) {
    std::vector<std::string> found(g.gl_pathv, g.gl_pathv + g.gl_pathc);
    std::sort(found.begin(), found.end(), [](const std::string& a, const std::string& b) {
      return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    best = found.back().substr(0, found.back().rfind('/'));
  }
  globfree(&g);
  return best;
}

}  // namespace

std::string PgServer::Unavailable() {
  if (ServerBinDir().empty())
    return "PostgreSQL server programs not found under /usr/lib/postgresql (scripts/install-deps "
           "installs them)";
  if (getuid() == 0 && !getpwnam("postgres") && !getpwnam("nobody"))
    return "running as root and no unprivileged user (postgres, nobody) to run the server as";
  return {};
}

PgServer::~PgServer() {
  Stop();
  if (!dir_.empty()) {
    const std::string cmd = "rm -rf '" + dir_ + "'";
    (void)!system(cmd.c_str());
  }
  if (watchdog_ > 0) {
    kill(watchdog_, SIGKILL);
    waitpid(watchdog_, nullptr, 0);
  }
}

int PgServer::Run(const std::string& program, const std::vector<std::string>& args) {
  std::vector<std::string> argv;
  if (!user_.empty()) {
    // setpriv changes to the server's user without a login shell or a password.
    argv = {"/usr/bin/setpriv", "--reuid=" + user_, "--regid=" + user_, "--clear-groups", "--"};
    const passwd* pw = getpwnam(user_.c_str());
    argv[2] = "--regid=" + std::to_string(pw ? pw->pw_gid : 65534);
  }
  argv.push_back(bin_ + "/" + program);
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargv;
  for (auto& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);

  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  const std::string log = dir_ + "/tool.log";
  posix_spawn_file_actions_addopen(&fa, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&fa, 1, 2);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  // The server's user cannot enter root's home; tools should not try.
  std::vector<std::string> env = {"PATH=/usr/bin:/bin", "LC_ALL=C", "HOME=" + dir_, "TZ=UTC"};
  std::vector<char*> cenv;
  for (auto& e : env) cenv.push_back(e.data());
  cenv.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, cargv[0], &fa, nullptr, cargv.data(), cenv.data());
  posix_spawn_file_actions_destroy(&fa);
  if (rc != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool PgServer::Start(std::string& error, bool durable) {
  error = Unavailable();
  if (!error.empty()) return false;
  bin_ = ServerBinDir();
  durable_ = durable;
  // $TMPDIR may put the server on another file system (a benchmark on tmpfs); the socket path
  // must stay short.
  const char* tmp = getenv("TMPDIR");
  std::string base = tmp && *tmp == '/' && strlen(tmp) < 60 ? tmp : "/tmp";
  std::string pattern = base + "/tw-pg-XXXXXX";
  char* tmpl = pattern.data();
  if (!mkdtemp(tmpl)) {
    error = "cannot make a temporary folder";
    return false;
  }
  dir_ = tmpl;
  if (getuid() == 0) {
    user_ = getpwnam("postgres") ? "postgres" : "nobody";
    const passwd* pw = getpwnam(user_.c_str());
    if (!pw || chown(dir_.c_str(), pw->pw_uid, pw->pw_gid) != 0) {
      error = "cannot hand " + dir_ + " to user " + user_;
      return false;
    }
  }
  // Trust over the private socket only: nothing else can reach this server.
  if (Run("initdb", {"-D", dir_ + "/data", "-U", "tw", "-A", "trust", "-E", "UTF8", "--locale=C", "-N"}) != 0) {
    error = "initdb failed (see " + dir_ + "/tool.log)";
    return false;
  }
  if (!Restart(error)) return false;
  StartWatchdog();
  return true;
}

void PgServer::StartWatchdog() {
  // A test that is killed (a time-out) runs no destructor: this stops its server and removes the
  // folder once the test's process is gone.
  const std::string script = "while [ -d /proc/" + std::to_string(getpid()) + " ]; do sleep 1; done; '" + bin_ +
                             "/pg_ctl' -D '" + dir_ + "/data' -m immediate stop >/dev/null 2>&1; rm -rf '" + dir_ + "'";
  std::vector<std::string> argv;
  if (!user_.empty()) {
    const passwd* pw = getpwnam(user_.c_str());
    argv = {"/usr/bin/setpriv", "--reuid=" + user_, "--regid=" + std::to_string(pw ? pw->pw_gid : 65534),
            "--clear-groups", "--"};
  }
  argv.insert(argv.end(), {"/bin/sh", "-c", script});
  std::vector<char*> cargv;
  for (auto& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  std::vector<std::string> env = {"PATH=/usr/bin:/bin"};
  std::vector<char*> cenv;
  for (auto& e : env) cenv.push_back(e.data());
  cenv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, cargv[0], &fa, nullptr, cargv.data(), cenv.data()) == 0) watchdog_ = pid;
  posix_spawn_file_actions_destroy(&fa);
}

bool PgServer::Restart(std::string& error) {
  std::string opts = "-c listen_addresses='' -k " + dir_ + " -p 5432 -c max_connections=60";
  if (!durable_) opts += " -c fsync=off -c synchronous_commit=off -c full_page_writes=off";
  if (Run("pg_ctl", {"-D", dir_ + "/data", "-l", dir_ + "/server.log", "-o", opts, "-w", "-t", "60", "start"}) !=
      0) {
    error = "the server did not start (see " + dir_ + "/server.log)";
    return false;
  }
  running_ = true;
  return true;
}

bool PgServer::Stop() {
  if (!running_) return true;
  running_ = false;
  return Run("pg_ctl", {"-D", dir_ + "/data", "-m", "fast", "-w", "-t", "60", "stop"}) == 0;
}

std::string PgServer::ConnInfo(const std::string& db) const {
  return "host=" + dir_ + " port=5432 user=tw dbname=" + db;
}

bool PgServer::CreateDatabase(const std::string& name, std::string& conninfo, std::string& error) {
  if (Run("createdb", {"-h", dir_, "-p", "5432", "-U", "tw", name}) != 0) {
    error = "createdb " + name + " failed (see " + dir_ + "/tool.log)";
    return false;
  }
  conninfo = ConnInfo(name);
  return true;
}

}  // namespace tw::test
