// The write and read runs of tagwright-cli on an open reader: once, cyclically until stopped, until
// a number of tags, or until the import file ends. SIGINT and SIGTERM are taken between steps only,
// so a step always finishes with its protocol line and its saved progress.
#pragma once
#include "cli/cli_options.h"
#include "cli/cli_output.h"
#include "job/job_engine.h"

namespace tw::cli {

// Blocks SIGINT and SIGTERM in the calling thread and every thread started after it; the runs then
// take them with WaitForSignal. Call first thing in main.
void BlockStopSignals();
// Waits up to ms for SIGINT or SIGTERM; returns the signal, or 0 when the time passed.
int WaitForSignal(int ms);

struct RunContext {
  const CliOptions& options;
  JobParams& job;
  CliOutput& out;
  CliView& view;
  JobEngine& engine;
};

// Both return the exit code and have printed the tag lines, the end line and any error.
int RunWrite(RunContext& run);
int RunRead(RunContext& run);

// Whether the reader still answers after a step that failed (a vanished device, a pulled cable).
bool ReaderLost(int handle);

}  // namespace tw::cli
