// The stop signals of tagwright-cli: SIGINT, SIGTERM and SIGHUP (the terminal closed); on Windows
// Ctrl+C, Ctrl+Break and the console window closing. They never end the program where they hit it:
// they are taken only where a long operation can stop cleanly (between two tag steps, between two
// waits of a search), so a step always finishes with its protocol line and its saved progress.
// Every such operation asks the same functions; a stop once taken stays taken.
#pragma once

namespace tw::cli {

// From now on a stop signal only marks the stop for WaitForSignal (POSIX: blocked in the calling
// thread and every thread started after it). Call first thing in main, before any thread starts.
void BlockStopSignals();
// Waits up to ms for a stop signal; returns the signal, or 0 when the time passed. Once a stop has
// been taken, every later call returns it at once.
int WaitForSignal(int ms);
// Whether a stop signal has arrived (without waiting); the signal, or 0.
inline int StopRequested() { return WaitForSignal(0); }

}  // namespace tw::cli
