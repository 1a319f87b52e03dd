// Test fixture: runs build/bin/tagwright-sim as a child process on a real pseudo-terminal, talks to
// its control channel and reads its frame trace. Shared by every integration test.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tw::test {

class SimProcess {
 public:
  SimProcess();
  ~SimProcess();  // stops the child
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // Starts the simulator with extra command-line arguments (a trace file and a control socket in a
  // private temporary folder are added). Returns false when it did not come up within 5 s.
  bool Start(const std::vector<std::string>& args = {});
  void Stop();
  bool Running() const;
  pid_t Pid() const { return pid_; }

  // Device path printed by the simulator on its first line (e.g. /dev/pts/7).
  const std::string& PtyPath() const { return ptyPath_; }

  // Sends one control line and returns the simulator's reply (without the final line end).
  std::string Control(const std::string& line);

  // Frame trace so far: one line a frame, "RX <hex bytes>" or "TX <hex bytes>" (upper-case hex,
  // single spaces), in order.
  std::vector<std::string> Trace() const;
  void ClearTrace();
  // Number of received frames whose command byte is cmd (either framing).
  int CountCommands(uint8_t cmd) const;

  const std::string& TempDir() const { return dir_; }
  const std::string& TracePath() const { return tracePath_; }
  const std::string& ControlPath() const { return controlPath_; }

 private:
  pid_t pid_ = -1;
  std::string dir_;
  std::string ptyPath_;
  std::string tracePath_;
  std::string controlPath_;
  int stdoutFd_ = -1;
};

// Absolute path of a built program in build/bin.
std::string BinPath(const std::string& name);

}  // namespace tw::test
