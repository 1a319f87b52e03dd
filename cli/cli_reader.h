// The reader of a tagwright-cli run: the interface name from the stored Port settings or the
// options, opening and checking it as the desktop application does, and the built-in simulated
// reader (an in-process simulator on a pseudo-terminal with a feeder of new tags; POSIX only,
// cli_sim_reader_posix.cpp / cli_sim_reader_win32.cpp).
#pragma once
#include <memory>
#include <string>

#include "cli/cli_options.h"
#include "shell/settings_store.h"

namespace tw::cli {

struct PortChoice {
  std::string name;         // interface name with ":address"
  int baudSetting = 19200;  // baud rate plus parity code, as stored
  int timeoutMs = 500;
};

// Options first, then section "Port" of the store ("Name" without its "USB: "/"LAN: " prefix,
// "Adresse", "Baudrate", "Timeout").
PortChoice ChoosePort(const CliOptions& options, ISettingsView& store);

struct ReaderInfo {
  int handle = 0;
  std::string raw;       // version answer
  std::string model;     // model name
  std::string firmware;  // "FW V1.10"
  int deviceCode = -1;
  bool canWrite = false;
  bool usb = false;
  std::string interfaceText;  // model, "USB:" when so, interface name
};

// Opens and identifies the reader. requireWriter: the device must be one of the writing units
// (else closed, message 231). Returns an exit code; on failure message holds the text.
int OpenReader(const PortChoice& port, bool requireWriter, ReaderInfo& info, std::string& message);

// The built-in simulated reader.
class SimulatedReader {
 public:
  // Why this build has no simulated reader; empty when it has one.
  static std::string WhyUnavailable();

  SimulatedReader();
  ~SimulatedReader();
  // Starts it with tags of transponderType fed every feedMs. False with error.
  bool Start(int transponderType, int feedMs, const std::string& version, const std::string& trace,
             std::string& error);
  const std::string& PtyPath() const;
  std::string Control(const std::string& line);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tw::cli
