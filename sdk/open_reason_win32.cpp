#include <windows.h>

#include "sdk/open_reason.h"

namespace tw {

// A COM port is claimed without sharing; Windows does not say by whom.
int DeviceHolder(const std::string&) { return 0; }

std::string PermissionDeniedReason(const std::string& path) {
  return "access denied: " + path + " is in use by another program or not accessible";
}

int CurrentProcessId() { return static_cast<int>(GetCurrentProcessId()); }

}  // namespace tw
