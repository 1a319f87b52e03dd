#include "transport/device_node_lock.h"

#include <windows.h>

#include <cctype>
#include <cerrno>
#include <cstdint>

#include "platform/wide_text.h"

namespace tw {

// A Windows device path is no file that an advisory lock could be taken on, and HID readers are
// opened shared (the system and other programs read their attributes). The claim is a named mutex
// per device path instead, held while the link is open, seen by every program of this system.
int CDeviceNodeLock::Acquire(const std::string& path) {
  Release();
  if (path.empty()) return 0;
  // Device paths compare without case; a mutex name may hold no backslash.
  std::string name = "Global\\Tagwright.Device.";
  for (char c : path) name += c == '\\' ? '/' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  HANDLE m = CreateMutexW(nullptr, FALSE, Utf8ToWide(name).c_str());
  if (!m) return EACCES;
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(m);
    return EBUSY;
  }
  // Kernel handles carry 32 significant bits (they are shared with 32-bit programs).
  fd_ = static_cast<int>(reinterpret_cast<intptr_t>(m));
  return 0;
}

void CDeviceNodeLock::Release() {
  if (fd_ >= 0) CloseHandle(reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd_)));
  fd_ = -1;
}

}  // namespace tw
