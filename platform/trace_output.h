// Where a finished trace line goes: stderr on POSIX, the debugger output and stderr on Windows.
#pragma once

namespace tw {
// Called under the trace lock with one line without its line break.
void TraceOutput(const char* line);
}  // namespace tw
