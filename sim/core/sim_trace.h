// Hex trace of the frames a simulated reader receives and sends, one line per frame
// ("RX 02 01 F0 00 F1" / "TX ..."), flushed per line so that tests can read it at any moment.
#pragma once
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace tw::sim {

// "RX 02 01 F0" style line (no line end).
std::string SimTraceLine(const char* dir, const std::vector<uint8_t>& bytes);

class SimTrace {
 public:
  SimTrace() = default;
  ~SimTrace();
  SimTrace(const SimTrace&) = delete;
  SimTrace& operator=(const SimTrace&) = delete;

  // Appends to path (created with mode 0600 when missing). False when it cannot be opened.
  bool Open(const std::string& path);
  void Rx(const std::vector<uint8_t>& bytes) { Write("RX", bytes); }
  void Tx(const std::vector<uint8_t>& bytes) { Write("TX", bytes); }

 private:
  void Write(const char* dir, const std::vector<uint8_t>& bytes);
  std::mutex mu_;
  FILE* file_ = nullptr;
};

}  // namespace tw::sim
