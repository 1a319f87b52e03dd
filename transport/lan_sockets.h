// Start-up check of the socket layer for Ethernet readers. POSIX sockets need no set-up; what can
// fail is the system itself (no IPv4 support, no descriptors left), so a socket is tried once.
#pragma once

namespace tw {

bool InitSocketLibrary();

}  // namespace tw
