// Runs a check as an ordinary user, for tests of file permissions on POSIX systems.
#pragma once
#include <sys/wait.h>
#include <unistd.h>

namespace tw::test {

// Runs fn (returning true on success) as an ordinary user: root ignores file permissions, so
// tests of read-only files run in a child that gave up root. The folder must be reachable.
template <typename Fn>
bool RunWithoutRoot(Fn fn) {
  if (::geteuid() != 0) return fn();
  pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
    ::_exit(fn() ? 0 : 1);
  }
  int status = 0;
  return ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace tw::test
