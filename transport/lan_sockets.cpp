#include "transport/lan_sockets.h"

#include "transport/net_socket.h"

namespace tw {

bool InitSocketLibrary() { return net::Startup(); }

}  // namespace tw
