// What the system can tell about a serial device that would not open: who holds it, what keeps
// the user out. Per platform (open_reason_posix.cpp, open_reason_win32.cpp).
#pragma once
#include <string>

namespace tw {

// The process that holds the device (its lock); 0 when unknown.
int DeviceHolder(const std::string& path);
// The reason for a refused open, with what the user can do about it.
std::string PermissionDeniedReason(const std::string& path);
int CurrentProcessId();

}  // namespace tw
