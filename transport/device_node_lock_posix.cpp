#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "transport/device_node_lock.h"

namespace tw {

int CDeviceNodeLock::Acquire(const std::string& path) {
  Release();
  // Library paths that are not file names (a bus address) leave nothing to lock.
  if (path.empty() || path[0] != '/') return 0;
  // Read access suffices for flock; no controlling terminal and no wait for a slow device.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno == EWOULDBLOCK ? EBUSY : errno;
    ::close(fd);
    return err;
  }
  fd_ = fd;
  return 0;
}

void CDeviceNodeLock::Release() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace tw
