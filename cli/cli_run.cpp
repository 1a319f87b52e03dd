#include "cli/cli_run.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "cli/exit_codes.h"
#include "job/job_checks.h"
#include "job/write_cycle.h"
#include "platform/tick.h"
#include "sdk/lf_sdk.h"
#include "shell/file_prims.h"
#include "shell/import_file.h"
#include "shell/protocol_file.h"
#include "shell/string_table.h"

namespace tw::cli {
namespace {

constexpr int kSdkErrorTimeout = 7;  // LF_GetLastError: the reader did not answer in time

// Opens (creating) the protocol file for appending, so that a path that cannot be written fails
// before the first tag instead of after it.
bool CanOpen(const std::string& path, int flags) {
  const int fd = OpenFile(path, flags, 0644);
  if (fd < 0) return false;
  CloseFile(fd);
  return true;
}

bool Cyclic(const CliOptions& o) { return o.cycle || o.count > 0; }

// Checks before any tag: the job, the protocol file and the import file.
int Prepare(RunContext& run, bool write) {
  JobParams& job = run.job;
  StatusReporter& status = run.engine.Status();
  // The import file gives the first value, so it is opened before the check.
  if (write && job.importData && !job.autoIncrement) {
    if (job.importFile.empty() || !CanOpen(job.importFile, O_RDONLY)) {
      run.out.Error(kExitBadArguments, "import file '" + job.importFile + "' cannot be read");
      return kExitBadArguments;
    }
    if (!run.engine.OpenImportFile(job.importLinesUsed)) {
      run.out.Error(kExitBadArguments, LoadString(IDS_IMPORT_INVALID) + ": " + job.importFile);
      return kExitBadArguments;
    }
  }
  const bool checked = write ? ValidateWriteJob(job, status) && CheckDataOutsidePasswordBlocks(job, status)
                             : ValidateReadJob(job, status);
  if (!checked) {
    run.out.Error(kExitCheckFailed, LoadString(33011));
    return kExitCheckFailed;
  }
  const bool logging = write ? job.logWrites : job.logReads;
  const std::string& log = write ? job.writeLogFile : job.readLogFile;
  if (logging && !CanOpen(log, O_WRONLY | O_APPEND | O_CREAT)) {
    run.out.Error(kExitBadArguments, FormatString(33012, log.c_str()) + ": " + std::strerror(errno));
    return kExitBadArguments;
  }
  return kExitOk;
}

std::string Uid(JobEngine& engine) { return FormatProtocolUid(engine.State().lastUid); }

int Finish(RunContext& run, const char* op, long count, int code, const std::string& reason) {
  run.out.End(op, count, code, reason);
  return code;
}

int TooLate(RunContext& run, const char* op, long count) {
  run.engine.StopCycles();
  run.out.Error(kExitNoReader, FormatString(33014, run.timeoutMs));
  return Finish(run, op, count, kExitNoReader, "reader too slow");
}

}  // namespace

bool TimeoutWatch::Exhausted(bool stepFailed, int lastError) {
  count_ = stepFailed && lastError == kSdkErrorTimeout ? count_ + 1 : 0;
  return count_ >= kLimit;
}

int RunWrite(RunContext& run) {
  JobEngine& engine = run.engine;
  CliView& view = run.view;
  if (const int code = Prepare(run, true); code != kExitOk) return code;
  const int h = engine.PortHandle();

  if (!Cyclic(run.options)) {
    view.BeginStep();
    engine.OnWriteSingle();
    if (!view.written) {
      if (ReaderLost(h)) {
        run.out.Error(kExitNoReader, LoadString(33005));
        return Finish(run, "write", 0, kExitNoReader, "reader lost");
      }
      // No store, no write: the operator restarts the station once the store is back.
      if (view.Reported(kMsgStoreUnreachable)) return Finish(run, "write", 0, kExitNoReader, "no store");
      if (view.Reported(kMsgValuesUsedUp)) return Finish(run, "write", 0, kExitOk, "import exhausted");
      return Finish(run, "write", 0, kExitFailed, "no tag written");
    }
    run.out.Tag("write", 1, view.writtenValue, Uid(engine));
    if (view.Reported(kMsgStoreUnreachable)) return Finish(run, "write", 1, kExitNoReader, "no store");
    if (view.Reported(kMsgProtocolNotWritten) || view.Reported(kMsgProgressNotSaved))
      return Finish(run, "write", 1, kExitFailed, "protocol or progress not saved");
    return Finish(run, "write", 1, kExitOk, "done");
  }

  engine.OnWriteCyclic();
  if (!engine.WriteCycleRunning()) {
    // A station started after the last line of a shared import was taken has nothing to do.
    if (view.Reported(kMsgValuesUsedUp)) return Finish(run, "write", 0, kExitOk, "import exhausted");
    if (view.Reported(kMsgStoreUnreachable)) return Finish(run, "write", 0, kExitNoReader, "no store");
    run.out.Error(kExitCheckFailed, LoadString(33011));
    return kExitCheckFailed;
  }
  long count = 0;
  TimeoutWatch timeouts;
  const int period = run.job.cycleTime > 0 ? run.job.cycleTime : 250;
  uint32_t last = TickCount() - static_cast<uint32_t>(period);  // first tick at once
  for (;;) {
    const long wait = period - static_cast<long>(TicksSince(last));
    if (WaitForSignal(wait > 0 ? static_cast<int>(wait) : 0) != 0) {
      engine.StopCycles();
      return Finish(run, "write", count, kExitInterrupted, "interrupted");
    }
    last = TickCount();
    view.BeginStep();
    engine.OnTimer(kWriteTimerId);
    if (view.written) run.out.Tag("write", ++count, view.writtenValue, Uid(engine));
    if (view.Reported(kMsgStoreUnreachable)) {
      engine.StopCycles();
      return Finish(run, "write", count, kExitNoReader, "no store");
    }
    if (view.Reported(kMsgValuesUsedUp)) {
      engine.StopCycles();
      return Finish(run, "write", count, kExitOk, "import exhausted");
    }
    if (view.Reported(kMsgProtocolNotWritten) || view.Reported(kMsgProgressNotSaved)) {
      engine.StopCycles();
      return Finish(run, "write", count, kExitFailed, "protocol or progress not saved");
    }
    if (run.options.count > 0 && count >= run.options.count) {
      engine.StopCycles();
      return Finish(run, "write", count, kExitOk, "count reached");
    }
    if (!engine.WriteCycleRunning()) {
      // The engine stops the cycle at the end of the import data, or when the next value fails
      // the job's checks.
      if (run.job.importData && run.job.importFile.empty()) {
        run.out.Info(LoadString(33006));
        return Finish(run, "write", count, kExitOk, "import exhausted");
      }
      run.out.Error(kExitCheckFailed, LoadString(33011));
      return Finish(run, "write", count, kExitCheckFailed, "check failed");
    }
    const bool failed = !view.written && !engine.State().sameTag;
    const int error = LF_GetLastError(engine.PortHandle());  // before ReaderLost asks the reader
    if (failed && ReaderLost(engine.PortHandle())) {
      engine.StopCycles();
      run.out.Error(kExitNoReader, LoadString(33005));
      return Finish(run, "write", count, kExitNoReader, "reader lost");
    }
    if (timeouts.Exhausted(failed, error)) return TooLate(run, "write", count);
  }
}

int RunRead(RunContext& run) {
  JobEngine& engine = run.engine;
  CliView& view = run.view;
  if (const int code = Prepare(run, false); code != kExitOk) return code;

  if (!Cyclic(run.options)) {
    view.BeginStep();
    const bool ok = engine.ReadStep(false);
    if (!ok) {
      if (ReaderLost(engine.PortHandle())) {
        run.out.Error(kExitNoReader, LoadString(33005));
        return Finish(run, "read", 0, kExitNoReader, "reader lost");
      }
      if (view.ids.empty()) run.out.Status(kMsgNoValidTag, LoadString(kMsgNoValidTag));
      return Finish(run, "read", 0, kExitFailed, "no tag read");
    }
    run.out.Tag("read", 1, run.job.valueText, Uid(engine));
    if (view.Reported(kMsgProtocolNotWritten))
      return Finish(run, "read", 1, kExitFailed, "protocol not saved");
    return Finish(run, "read", 1, kExitOk, "done");
  }

  engine.OnReadCyclic();
  if (!engine.ReadCycleRunning()) {
    run.out.Error(kExitCheckFailed, LoadString(33011));
    return kExitCheckFailed;
  }
  long count = 0;
  TimeoutWatch timeouts;
  const int period = run.job.cycleTime > 0 ? run.job.cycleTime : 250;
  uint32_t last = TickCount() - static_cast<uint32_t>(period);
  for (;;) {
    const long wait = period - static_cast<long>(TicksSince(last));
    if (WaitForSignal(wait > 0 ? static_cast<int>(wait) : 0) != 0) {
      engine.StopCycles();
      return Finish(run, "read", count, kExitInterrupted, "interrupted");
    }
    last = TickCount();
    view.BeginStep();
    // The read tick as the engine's timer handler runs it, keeping its result: a tag still in the
    // field is not read again.
    engine.Status().inTimer = 1;
    const bool ok = engine.ReadStep(true);
    engine.Status().inTimer = 0;
    const bool fresh = ok && !engine.State().sameTag;
    if (fresh) run.out.Tag("read", ++count, run.job.valueText, Uid(engine));
    if (view.Reported(kMsgProtocolNotWritten)) {
      engine.StopCycles();
      return Finish(run, "read", count, kExitFailed, "protocol not saved");
    }
    if (run.options.count > 0 && count >= run.options.count) {
      engine.StopCycles();
      return Finish(run, "read", count, kExitOk, "count reached");
    }
    const bool failed = !ok && !engine.State().sameTag;
    const int error = LF_GetLastError(engine.PortHandle());  // before ReaderLost asks the reader
    if (failed && ReaderLost(engine.PortHandle())) {
      engine.StopCycles();
      run.out.Error(kExitNoReader, LoadString(33005));
      return Finish(run, "read", count, kExitNoReader, "reader lost");
    }
    if (timeouts.Exhausted(failed, error)) return TooLate(run, "read", count);
  }
}

}  // namespace tw::cli
