// The running program as the system knows it: its process id, the host's name, the folder of
// its executable, and ending it at once the way a crash or a power loss would.
#pragma once
#include <string>

namespace tw {

long ProcessId();
// The host name (for reports naming a station); empty when the system gives none.
std::string HostName();
// The folder of the running executable, with '/' between folders; "." when it cannot be found.
std::string ProgramDir();
// Ends the process at once: no destructors, no flushing, nothing written on the way out.
[[noreturn]] void EndProcessAtOnce();

}  // namespace tw
