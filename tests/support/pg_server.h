// Test fixture: a private PostgreSQL server in a temporary folder, made with initdb and reachable
// only through a Unix socket in that folder (no TCP port). A root test run starts it as an
// unprivileged user, since the server refuses to run as root.
#pragma once
#include <string>
#include <vector>

namespace tw::test {

class PgServer {
 public:
  PgServer() = default;
  ~PgServer();  // stops the server and removes the folder
  PgServer(const PgServer&) = delete;
  PgServer& operator=(const PgServer&) = delete;

  // The reason the server cannot run here (not installed), or empty when it can.
  static std::string Unavailable();

  // initdb and start. durable: keep fsync on (benchmarks); tests run without it. False with error.
  bool Start(std::string& error, bool durable = false);
  // Stops the server (fast shutdown: sessions are ended) / starts it again on the same data.
  bool Stop();
  bool Restart(std::string& error);
  bool Running() const { return running_; }

  // Creates a database and returns its connection string (socket folder, no password).
  bool CreateDatabase(const std::string& name, std::string& conninfo, std::string& error);
  std::string ConnInfo(const std::string& db) const;
  const std::string& Dir() const { return dir_; }

 private:
  // Runs a server program as the server's user; output goes to the log. Exit status.
  int Run(const std::string& program, const std::vector<std::string>& args);
  void StartWatchdog();
  int watchdog_ = -1;
  std::string dir_;
  std::string bin_;
  std::string user_;  // empty: the current user
  bool durable_ = false;
  bool running_ = false;
};

}  // namespace tw::test
