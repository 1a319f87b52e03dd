// The write and read runs of tagwright-cli on an open reader: once, cyclically until stopped, until
// a number of tags, or until the import file ends. The stop signals are taken between steps only
// (stop_signals.h), so a step always finishes with its protocol line and its saved progress.
#pragma once
#include "cli/cli_options.h"
#include "cli/cli_output.h"
#include "cli/stop_signals.h"
#include "job/job_engine.h"
#include "job/job_engine_sdk.h"

namespace tw::cli {

struct RunContext {
  const CliOptions& options;
  JobParams& job;
  CliOutput& out;
  CliView& view;
  JobEngine& engine;
  int timeoutMs;  // the reader's answer timeout, for the message when it keeps timing out
};

// Both return the exit code and have printed the tag lines, the end line and any error.
int RunWrite(RunContext& run);
int RunRead(RunContext& run);

// Consecutive cyclic steps that ended in a reader timeout. A reader that always answers too late
// still seems to answer the version probe of ReaderLost (with the late answer of the step before),
// so the cycle would go on forever without a word.
class TimeoutWatch {
 public:
  static constexpr int kLimit = 3;
  // After each step: whether the reader has now timed out kLimit steps in a row. A step that
  // wrote, read or met the tag still in the field got its answers, so only failed steps count.
  bool Exhausted(bool stepFailed, int lastError);

 private:
  int count_ = 0;
};

}  // namespace tw::cli
