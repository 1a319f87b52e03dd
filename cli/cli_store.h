// The shared job store as tagwright-cli sees it: which store and job a run uses (options, then the
// stored settings), "store init" and "store migrate", the shared job's "job set" and "job show",
// and "protocol export" of the whole line's records in the protocol file layout.
#pragma once
#include <string>

#include "cli/cli_options.h"
#include "cli/cli_output.h"
#include "job/job_params.h"
#include "shell/settings_store.h"

namespace tw::cli {

struct StoreChoice {
  std::string conninfo;  // empty: the local store
  std::string job;       // shared job name
  std::string station;   // this station's name in the records
  bool Shared() const { return !conninfo.empty(); }
};

// --store, else "JobStore" in section "Settings"; --job, else "JobName"; --station, else the host name.
StoreChoice ChooseStore(const CliOptions& options, ISettingsView& settings);

// Whether this program was built with the shared store.
bool SharedStoreBuiltIn();

// store init | store migrate. Exit code.
int StoreCommand(const CliOptions& options, ISettingsView& settings, CliOutput& out);
// protocol export --job NAME FILE. Exit code.
int ProtocolCommand(const CliOptions& options, ISettingsView& settings, CliOutput& out);
// job set / job import / job show on the shared job; job holds the fields as loaded (stored job,
// settings file, options). Exit code.
int SharedJobCommand(const std::string& sub, const CliOptions& options, const StoreChoice& store,
                     const JobParams& job, CliOutput& out);

}  // namespace tw::cli
