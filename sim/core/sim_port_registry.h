// Announces the simulator's terminal so that the interface dialog can list it: a file "<pid>.pty"
// holding the terminal's path, locked for as long as the simulator runs. Folder:
// $TAGWRIGHT_SIM_REGISTRY, else $XDG_RUNTIME_DIR/tagwright-sim, else /tmp/tagwright-sim-<uid>.
#pragma once
#include <string>

namespace tw::sim {

class SimPortRegistration {
 public:
  SimPortRegistration() = default;
  ~SimPortRegistration() { Withdraw(); }
  SimPortRegistration(const SimPortRegistration&) = delete;
  SimPortRegistration& operator=(const SimPortRegistration&) = delete;

  // False with error when the file cannot be written; the simulator runs on without it.
  bool Announce(const std::string& ptyPath, std::string& error);
  void Withdraw();

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace tw::sim
