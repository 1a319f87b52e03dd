// The running program as the system knows it: its process id, the host's name, the folder of
// its executable, and ending it at once the way a crash or a power loss would.
#pragma once
#include <string>
#include <vector>

namespace tw {

long ProcessId();
// The host name (for reports naming a station); empty when the system gives none.
std::string HostName();
// The folder of the running executable, with '/' between folders; "." when it cannot be found.
std::string ProgramDir();
// A console program's arguments as UTF-8, and its console set to show UTF-8 output. (Windows hands
// main its arguments in the ANSI code page, which cannot hold every file name: they are taken from
// the UTF-16 command line instead.)
std::vector<std::string> ConsoleArguments(int argc, char** argv);
// Ends the process at once: no destructors, no flushing, nothing written on the way out.
[[noreturn]] void EndProcessAtOnce();

}  // namespace tw
