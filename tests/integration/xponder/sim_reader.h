// A simulated reader opened through the SDK: starts tagwright-sim with a version answer that selects
// the reader generation, opens it with LF_OpenPort and places tags through the control channel.
#pragma once
#include <string>
#include <vector>

#include "sdk/lf_sdk.h"
#include "tests/support/sim_process.h"

namespace tw::test {

using Bytes = std::vector<uint8_t>;

struct Generation {
  const char* name;
  const char* version;  // version answer: model code and revision character
  uint16_t capability;  // what the SDK derives from it
};

// Unified command set with extended modulation; legacy per-type commands (capability 0073h);
// the oldest legacy readers (capability 0: reversed answers, packed ATA5555 streams).
inline const Generation kUnified{"Unified", "2439", 0x03F3};
inline const Generation kLegacy{"Legacy", "0403", 0x0073};
inline const Generation kOldest{"Oldest", "0050", 0x0000};

class SimReader {
 public:
  // Starts the simulator and opens it; handle() <= 0 when that failed.
  explicit SimReader(const Generation& g) {
    if (!sim_.Start({"--version", g.version})) return;
    handle_ = LF_OpenPort(sim_.PtyPath().c_str(), 115200, 0, 500);
  }
  ~SimReader() {
    if (handle_ > 0) LF_ClosePort(handle_);
  }
  int handle() const { return handle_; }
  SimProcess& sim() { return sim_; }

  // "tag add ..." with the rest of the line; true when the simulator said ok.
  bool AddTag(const std::string& args) { return sim_.Control("tag add " + args).rfind("ok", 0) == 0; }
  std::string Control(const std::string& line) { return sim_.Control(line); }
  int Error() const { return LF_GetLastError(handle_); }

  // Transactions since the last call (frames the reader received).
  int TakeTransactions() {
    int n = 0;
    for (const auto& line : sim_.Trace()) n += line.rfind("RX", 0) == 0 ? 1 : 0;
    sim_.ClearTrace();
    return n;
  }

  Bytes ReadUid(int type) {
    Bytes buf(32);
    const int n = LF_ReadUid(handle_, type, buf.data(), static_cast<int>(buf.size()));
    buf.resize(n < 0 ? 0 : static_cast<size_t>(n));
    return buf;
  }
  // -1 on failure, else the bytes in out.
  int Read(int type, int block, int count, Bytes& out) {
    out.assign(static_cast<size_t>(count), 0);
    const int n = LF_ReadBlocks(handle_, type, block, out.data(), count);
    out.resize(n < 0 ? 0 : static_cast<size_t>(n));
    return n;
  }
  int Write(int type, int block, const Bytes& data, int lock = 0) {
    return LF_WriteBlocks(handle_, type, block, data.data(), static_cast<int>(data.size()), lock);
  }
  int Authenticate(int type, const Bytes& params, Bytes* answer = nullptr) {
    Bytes buf(32);
    const int n = LF_Authenticate(handle_, type, params.data(), static_cast<int>(params.size()),
                                  buf.data(), static_cast<int>(buf.size()));
    if (answer) answer->assign(buf.begin(), buf.begin() + (n < 0 ? 0 : n));
    return n;
  }
  int Login(int type, const Bytes& pw) {
    return LF_PasswordLogin(handle_, type, pw.data(), static_cast<int>(pw.size()));
  }

 private:
  SimProcess sim_;
  int handle_ = -1;
};

}  // namespace tw::test
