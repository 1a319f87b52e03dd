// The shared job store as tagwright-cli sees it: which store and job a run uses (options, then the
// stored settings), "store init" and "store migrate", the shared job's "job set" and "job show",
// and "protocol export" of the whole line's records in the protocol file layout.
#pragma once
#include <memory>
#include <string>

#include "cli/cli_options.h"
#include "cli/cli_output.h"
#include "job/job_params.h"
#include "shell/settings_store.h"

namespace tw {
class CReservationStore;
}

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

// A write or read on the shared job: the store behind the reservation interface, and the job's
// fields from the store (the station keeps its protocol files and timings). The job fields say
// "count up" for a counted job and "a fixed value" for an import job: the store hands out each
// value, and the station needs no copy of the import file.
class SharedJobRun {
 public:
  SharedJobRun();
  ~SharedJobRun();
  // Connects and loads the job into job. Exit code; on failure the error is printed. Job options
  // other than protocol files and timings are refused: the job's fields are the store's.
  int Prepare(const CliOptions& options, const StoreChoice& choice, JobParams& job, CliOutput& out);
  // The store for the job engine (null before a successful Prepare).
  CReservationStore* Store();
  // The reader recorded with each value.
  void SetReader(const std::string& reader);
  // "database D on HOST:PORT".
  std::string Describe() const;
  // An import job whose lines are all taken: Prepare said so, nothing is left to write.
  bool NothingLeft() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tw::cli
