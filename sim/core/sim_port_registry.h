// Announces the simulator's terminal so that the interface dialog can list it: a file "<pid>.pty"
// holding the terminal's path, locked for as long as the simulator runs. Folder:
// $TAGWRIGHT_SIM_REGISTRY, else $XDG_RUNTIME_DIR/tagwright-sim, else /tmp/tagwright-sim-<uid>.
#pragma once
#include <string>

namespace tw::sim {

// The folder every announcement of this user's simulators goes to.
std::string SimRegistryDir();

// Writes line into "<folder>/<pid><suffix>" through a temporary file that is locked before it gets its
// final name, so a reader never sees it unlocked while this process lives. On success fd holds the
// lock and path the file; on failure error names what (e.g. "the terminal") could not be announced.
bool WriteAnnouncement(const std::string& suffix, const std::string& line, const std::string& what, int& fd,
                       std::string& path, std::string& error);
// Removes an announcement written by WriteAnnouncement (nothing when fd < 0).
void RemoveAnnouncement(int& fd, std::string& path);

class SimPortRegistration {
 public:
  SimPortRegistration() = default;
  ~SimPortRegistration() { Withdraw(); }
  SimPortRegistration(const SimPortRegistration&) = delete;
  SimPortRegistration& operator=(const SimPortRegistration&) = delete;

  // False with error when the file cannot be written; the simulator runs on without it.
  bool Announce(const std::string& ptyPath, std::string& error);
  void Withdraw() { RemoveAnnouncement(fd_, path_); }

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace tw::sim
