// One complete simulated reader: reader core, transponder field, frame trace, pseudo-terminal and
// control socket, started and stopped together. tagwright-sim is this plus a command line; the
// desktop application and the CLI can run it in-process as their built-in reader.
#pragma once
#include <memory>
#include <string>

#include "sim/core/sim_reader.h"

namespace tw::sim {

class ISimCommandHandler;
class SimControl;
class SimControlSocket;
class SimPtyTransport;
class SimTrace;

struct SimInstanceOptions {
  SimReaderConfig reader;
  std::string tracePath;    // empty: no trace
  std::string controlPath;  // empty: no control socket
  bool withTransponders = true;
};

class SimInstance {
 public:
  SimInstance();
  ~SimInstance();
  SimInstance(const SimInstance&) = delete;
  SimInstance& operator=(const SimInstance&) = delete;

  // False with error when the trace, the socket or the pseudo-terminal cannot be set up; nothing
  // is left running then.
  bool Start(const SimInstanceOptions& options, std::string& error);
  void Stop();

  const std::string& PtyPath() const;
  // One control line, one reply line (as on standard input or the socket).
  std::string Control(const std::string& line);
  bool QuitRequested() const;
  SimReader& Reader() { return *reader_; }

 private:
  std::unique_ptr<SimReader> reader_;
  std::unique_ptr<ISimCommandHandler> field_;
  std::unique_ptr<SimTrace> trace_;
  std::unique_ptr<SimControl> control_;
  std::unique_ptr<SimControlSocket> socket_;
  std::unique_ptr<SimPtyTransport> pty_;
  std::string none_;
};

}  // namespace tw::sim
