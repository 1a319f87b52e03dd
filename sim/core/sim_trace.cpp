// Frame trace file of the simulator.
#include "sim/core/sim_trace.h"

#include <fcntl.h>
#include <unistd.h>

namespace tw::sim {

std::string SimTraceLine(const char* dir, const std::vector<uint8_t>& bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string line = dir;
  for (uint8_t b : bytes) {
    line += ' ';
    line += kHex[b >> 4];
    line += kHex[b & 15];
  }
  return line;
}

SimTrace::~SimTrace() {
  if (file_) fclose(file_);
}

bool SimTrace::Open(const std::string& path) {
  std::lock_guard<std::mutex> lock(mu_);
  if (file_) fclose(file_);
  file_ = nullptr;
  // O_APPEND so that a reader who truncates the file to clear it does not leave a hole behind.
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  file_ = fdopen(fd, "a");
  if (!file_) {
    close(fd);
    return false;
  }
  return true;
}

void SimTrace::Write(const char* dir, const std::vector<uint8_t>& bytes) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!file_) return;
  const std::string line = SimTraceLine(dir, bytes);
  fprintf(file_, "%s\n", line.c_str());
  fflush(file_);
}

}  // namespace tw::sim
