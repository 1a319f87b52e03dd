#include "transport/device_node_lock.h"

namespace tw {

// Windows decides who may share a device by the sharing mode of the device's own open; there is
// no separate lock to take.
int CDeviceNodeLock::Acquire(const std::string&) { return 0; }

void CDeviceNodeLock::Release() { fd_ = -1; }

}  // namespace tw
