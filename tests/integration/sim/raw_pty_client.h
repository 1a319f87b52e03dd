// A bare host side for the simulator's pseudo-terminal: raw bytes in and out, no SDK involved.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tw::test {

class RawPtyClient {
 public:
  ~RawPtyClient();
  bool Open(const std::string& path);
  void Close();
  bool Write(const std::vector<uint8_t>& bytes);
  // Collects bytes until `want` have arrived or nothing more comes for quietMs; returns them.
  std::vector<uint8_t> Read(size_t want, uint32_t quietMs = 1000);
  // Waits up to timeoutMs for the far side to go away (hang-up seen on poll or read).
  bool WaitHangup(uint32_t timeoutMs);
  int Fd() const { return fd_; }

 private:
  int fd_ = -1;
};

}  // namespace tw::test
