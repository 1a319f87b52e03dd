// An advisory lock on a device node that a library opened for us (and whose descriptor we never
// see): held while the link is open, so that a second opener of the same device, in this process
// or another one, is refused instead of sharing its answers. Per platform
// (device_node_lock_posix.cpp, device_node_lock_win32.cpp).
#pragma once
#include <string>

namespace tw {

class CDeviceNodeLock {
 public:
  CDeviceNodeLock() = default;
  ~CDeviceNodeLock() { Release(); }
  CDeviceNodeLock(const CDeviceNodeLock&) = delete;
  CDeviceNodeLock& operator=(const CDeviceNodeLock&) = delete;

  // 0 when the node is ours now (or names no file that could be locked), else an errno value:
  // EBUSY when someone else holds it.
  int Acquire(const std::string& path);
  void Release();

 private:
  int fd_ = -1;
};

}  // namespace tw
