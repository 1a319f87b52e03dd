// Runs the built tagwright-cli as a child process with its own settings folder (XDG_CONFIG_HOME),
// collecting its output and exit code, and a small reader for its JSON lines.
#pragma once
#include <signal.h>
#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace tw::test {

struct CliResult {
  int exitCode = -1;  // 128 + signal when killed by one
  std::string out;
  std::string err;
  std::vector<std::string> OutLines() const;
};

// One flat JSON object: strings as their text, numbers as their digits. Empty on a parse error.
using JsonObject = std::map<std::string, std::string>;
bool ParseJsonObject(const std::string& line, JsonObject& out);
// Every JSON line of out whose "event" is event.
std::vector<JsonObject> JsonEvents(const std::string& out, const std::string& event);

class CliProcess {
 public:
  explicit CliProcess(std::string configHome) : configHome_(std::move(configHome)) {}

  // Runs to the end (at most timeoutMs, then SIGKILL).
  CliResult Run(const std::vector<std::string>& args, int timeoutMs = 60000);
  // Runs and calls onLine with each line of standard output as it comes; when onLine returns true
  // the child gets stopSignal (once). Then waits for the end.
  CliResult RunUntil(const std::vector<std::string>& args,
                     const std::function<bool(const std::string&)>& onLine, int timeoutMs = 60000,
                     int stopSignal = SIGTERM);

  // The store file the child uses.
  std::string StorePath() const;

 private:
  std::string configHome_;
};

}  // namespace tw::test
