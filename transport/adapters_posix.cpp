#include "transport/adapters.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <set>

namespace tw {

namespace {
std::string AddrText(const sockaddr* sa) {
  char buf[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(sa)->sin_addr, buf, sizeof buf);
  return buf;
}
}  // namespace

std::vector<CAdapter> ListAdapters() {
  std::vector<CAdapter> out;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return out;
  // The link-layer entries tell Ethernet-like interfaces (wired and wireless report ARPHRD_ETHER)
  // from loopback, tunnels and the like.
  std::set<std::string> ethernet;
  for (ifaddrs* i = list; i; i = i->ifa_next) {
    if (!i->ifa_addr || i->ifa_addr->sa_family != AF_PACKET) continue;
    auto* ll = reinterpret_cast<const sockaddr_ll*>(i->ifa_addr);
    if (ll->sll_hatype == ARPHRD_ETHER && !(i->ifa_flags & IFF_LOOPBACK)) ethernet.insert(i->ifa_name);
  }
  for (ifaddrs* i = list; i; i = i->ifa_next) {
    if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET) continue;
    if ((i->ifa_flags & IFF_LOOPBACK) || !(i->ifa_flags & IFF_UP)) continue;
    if (!ethernet.count(i->ifa_name)) continue;
    CAdapter a;
    a.ipAddress = AddrText(i->ifa_addr);
    if (a.ipAddress == "0.0.0.0") continue;
    a.subnetMask = i->ifa_netmask ? AddrText(i->ifa_netmask) : "255.255.255.255";
    a.interfaceIndex = if_nametoindex(i->ifa_name);
    a.interfaceName = i->ifa_name;
    out.push_back(a);
  }
  freeifaddrs(list);
  return out;
}

bool BestLocalAddress(const std::string& host, std::string& localAddress) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(9);
  if (inet_pton(AF_INET, host.c_str(), &to.sin_addr) != 1) return false;
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  bool ok = false;
  // connect() on a UDP socket only picks the route; no packet leaves.
  if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
    sockaddr_in local{};
    socklen_t len = sizeof local;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len) == 0) {
      localAddress = AddrText(reinterpret_cast<sockaddr*>(&local));
      ok = true;
    }
  }
  close(fd);
  return ok;
}

}  // namespace tw
