// The command line of tagwright-cli: subcommand, general options, and the options that override
// single job fields. Parsing never touches a reader or a file; job options are applied to a job
// later (ApplyJobOptions), after it has been loaded from the store or a settings file.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "job/job_params.h"

namespace tw::cli {

struct CliOptions {
  std::string command;                  // write, read, identify, ports, lan, job, store, protocol, demo, help
  std::vector<std::string> positional;  // words after the command (job show, lan set NAME ...)
  bool help = false;
  bool json = false;
  std::string lang;          // "de", "en" or empty: the stored language
  std::string port;          // interface name; empty: the stored Port settings
  int address = -1;          // device address; -1: stored
  int baud = -1;             // -1: stored
  int timeoutMs = -1;        // -1: stored
  bool cycle = false;        // run cyclically until stopped (or the import file ends)
  long count = 0;            // cyclic until this many tags (0: no limit)
  std::string settingsFile;  // job from this settings file
  bool noSave = false;       // do not keep the advanced value in the store
  bool noLan = false;        // ports: leave out the LAN search (no broadcast)
  bool simulate = false;
  int simFeedMs = 400;     // a new simulated tag every this many ms
  std::string simVersion;  // version answer of the simulated reader
  std::string simTrace;    // frame trace of the simulated reader
  std::string protocol;    // demo: protocol file
  // lan set
  std::string lanAddress, lanNetMask, lanGateway;
  // Shared job store: connection string (empty: the stored setting), job, this station's name.
  std::string store;
  std::string jobName;
  std::string station;
  int eachTagOnce = -1;  // job set: -1 keep, 0 off, 1 on
  // The general options given, by name without "--" (job set refuses those it does not store).
  std::vector<std::string> generalOptions;
  // Job field overrides, in command-line order: option name without "--", value.
  std::vector<std::pair<std::string, std::string>> jobOptions;
};

// False with a message naming the option when the command line is wrong.
bool ParseCommandLine(int argc, char** argv, CliOptions& out, std::string& error);

// Applies the job overrides in order. False with a message naming the option and its value.
bool ApplyJobOptions(const std::vector<std::pair<std::string, std::string>>& options, JobParams& job,
                     std::string& error);

// A type given as code (2, 9 ...) or name ("Hitag S", "hitags", "ata5577", "q5", "titan"); 0 when
// the text names no offered type.
int ParseTypeName(const std::string& text);

// Strict decimal number in [min, max].
bool ParseNumber(const std::string& text, long min, long max, long& value);

const char* UsageText();

}  // namespace tw::cli
