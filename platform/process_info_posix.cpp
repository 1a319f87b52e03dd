#include <signal.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/process_info.h"

namespace tw {

long ProcessId() { return static_cast<long>(::getpid()); }

std::string HostName() {
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0) return std::string();
  return host;
}

std::string ProgramDir() {
  char buf[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  const std::string path(buf, static_cast<size_t>(n));
  const size_t slash = path.rfind('/');
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::vector<std::string> ConsoleArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

void EndProcessAtOnce() {
  ::raise(SIGKILL);
  std::_Exit(137);  // not reached: SIGKILL cannot be caught
}

}  // namespace tw
