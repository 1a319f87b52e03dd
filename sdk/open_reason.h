// What the system can tell about a serial device that would not open: who holds it, which group
// may use it. Per platform (open_reason_posix.cpp).
#pragma once
#include <string>

namespace tw {

// The process that holds the device (its lock); 0 when unknown.
int DeviceHolder(const std::string& path);
// The group whose members may open the device; empty when unknown.
std::string DeviceGroup(const std::string& path);
int CurrentProcessId();

}  // namespace tw
