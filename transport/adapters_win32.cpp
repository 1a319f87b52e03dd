#include "transport/adapters.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <windows.h>

#include <vector>

#include "platform/wide_text.h"
#include "transport/net_socket.h"

namespace tw {

namespace {
std::string AddrText(const in_addr& a) {
  char buf[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &a, buf, sizeof buf);
  return buf;
}
}  // namespace

std::vector<CAdapter> ListAdapters() {
  std::vector<CAdapter> out;
  ULONG size = 16 * 1024;
  std::vector<unsigned char> buf;
  ULONG r = ERROR_BUFFER_OVERFLOW;
  for (int attempt = 0; attempt < 3 && r == ERROR_BUFFER_OVERFLOW; ++attempt) {
    buf.resize(size);
    r = GetAdaptersAddresses(AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST |
                                          GAA_FLAG_SKIP_DNS_SERVER,
                             nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buf.data()), &size);
  }
  if (r != NO_ERROR) return out;
  for (auto* a = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buf.data()); a; a = a->Next) {
    // Wired and wireless Ethernet only; loopback, tunnels and the like are no adapters here.
    if (a->IfType != IF_TYPE_ETHERNET_CSMACD && a->IfType != IF_TYPE_IEEE80211) continue;
    if (a->OperStatus != IfOperStatusUp) continue;
    for (auto* u = a->FirstUnicastAddress; u; u = u->Next) {
      if (!u->Address.lpSockaddr || u->Address.lpSockaddr->sa_family != AF_INET) continue;
      CAdapter c;
      c.ipAddress = AddrText(reinterpret_cast<sockaddr_in*>(u->Address.lpSockaddr)->sin_addr);
      if (c.ipAddress == "0.0.0.0") continue;
      ULONG mask = 0;
      ConvertLengthToIpv4Mask(u->OnLinkPrefixLength, &mask);
      in_addr m{};
      m.s_addr = mask;
      c.subnetMask = AddrText(m);
      c.interfaceIndex = a->IfIndex;
      c.interfaceName = WideToUtf8(a->FriendlyName);
      out.push_back(c);
    }
  }
  return out;
}

bool BestLocalAddress(const std::string& host, std::string& localAddress) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(9);
  if (!net::Startup() || inet_pton(AF_INET, host.c_str(), &to.sin_addr) != 1) return false;
  SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
  if (s == INVALID_SOCKET) return false;
  bool ok = false;
  // connect() on a UDP socket only picks the route; no packet leaves.
  if (connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
    sockaddr_in local{};
    int len = sizeof local;
    if (getsockname(s, reinterpret_cast<sockaddr*>(&local), &len) == 0) {
      localAddress = AddrText(local.sin_addr);
      ok = true;
    }
  }
  closesocket(s);
  return ok;
}

}  // namespace tw
