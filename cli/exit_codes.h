// The exit codes of tagwright-cli. Scripts rely on them: never renumber.
#pragma once

namespace tw::cli {

inline constexpr int kExitOk = 0;             // done: every requested tag written or read
inline constexpr int kExitFailed = 1;         // a write or read failed (or a file could not be written)
inline constexpr int kExitBadArguments = 2;   // unknown option, bad number, missing file
inline constexpr int kExitNoReader = 3;       // no reader, unsuitable reader, reader lost or too slow
inline constexpr int kExitCheckFailed = 4;    // the job fails its check
inline constexpr int kExitJobBusy = 5;        // another process runs the stored job
inline constexpr int kExitInterrupted = 130;  // SIGINT, SIGTERM or SIGHUP ended a run after the step

}  // namespace tw::cli
